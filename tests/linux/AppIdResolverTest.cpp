#include <gtest/gtest.h>

#include <set>

#include "platform/linux/AppIdResolver.h"

namespace tavuno {
namespace {

const std::string userScope = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";
const std::string uuid = "3f2b9c1e-8a4d-4e6f-9b0a-1c2d3e4f5a6b";

struct Row {
  const char* proves;
  ProcessClues clues;
  PropertyMaps properties;
  std::optional<ResolvedAppId> expected;
};

TEST(AppIdResolver, FirstRuleThatAnswersNamesTheApplication) {
  const std::set<std::string> installed = {"org.example.Player", "firefox-esr", "org.kde.konsole",
                                           "org.example.Daemon", "discord",     "spotify"};
  using enum AppIdSource;
  const Row rows[] = {
      {"the sandbox's own file wins over every other clue, a portal id it disagrees with too",
       {userScope + "app-gnome-firefox\\x2desr-42.scope\n", "[Application]\nname=org.other\n",
        "/usr/bin/firefox-esr"},
       {{{"application.id", "discord"}}, {{"pipewire.access.portal.app_id", "org.flat.App"}}},
       ResolvedAppId{"org.other", sandbox}},
      {"the portal's id where the cgroup is that application's sandbox",
       {userScope + "app-flatpak-org.flat.App-4242.scope\n", "", "/app/bin/app"},
       {{{"application.id", "discord"}}, {{"pipewire.access.portal.app_id", "org.flat.App"}}},
       ResolvedAppId{"org.flat.App", sandbox}},
      {"a portal id claimed by a process outside any sandbox is ignored",
       {userScope + "app-gnome-org.kde.konsole-11.scope\n", "", "/usr/bin/pacat"},
       {{{"pipewire.access.portal.app_id", "org.example.Player"}}},
       ResolvedAppId{"org.kde.konsole", scope}},
      {"a portal id naming another sandbox's application is ignored",
       {userScope + "app-flatpak-org.flat.Other-9.scope\n", "", "/app/bin/other"},
       {{{"pipewire.access.portal.app_id", "org.example.Player"}}},
       ResolvedAppId{"other", executable}},
      {"the Flatpak info names its application, installed or not",
       {"0::/\n", "[Application]\nname=org.flat.Other\nruntime=runtime/x\n", "/app/bin/other"},
       {},
       ResolvedAppId{"org.flat.Other", sandbox}},
      {"a runtime-only sandbox names no application",
       {"0::/\n", "[Runtime]\nname=org.freedesktop.Sdk\n", "/usr/bin/bash"},
       {},
       ResolvedAppId{"bash", executable}},
      {"a snap scope gives <snap>_<app>, the app's dashes kept and the uuid dropped",
       {userScope + "snap.spotify.spotify-client-" + uuid + ".scope\n", "", "/snap/x"},
       {},
       ResolvedAppId{"spotify_spotify-client", sandbox}},
      {"a snap hook is not an application",
       {userScope + "snap.spotify.hook.configure-" + uuid + ".scope\n", "", "/usr/bin/sh"},
       {},
       ResolvedAppId{"sh", executable}},
      {"a launcher's scope: launcher dropped, \\x2d unescaped",
       {userScope + "app-gnome-firefox\\x2desr-9812.scope\n", "", "/usr/lib/firefox-esr/firefox"},
       {},
       ResolvedAppId{"firefox-esr", scope}},
      {"a scope without launcher, the id's dots kept",
       {userScope + "app-org.kde.konsole-1234.scope\n", "", "/usr/bin/konsole"},
       {},
       ResolvedAppId{"org.kde.konsole", scope}},
      {"a service with an instance after '@'",
       {userScope + "app-org.example.Daemon@autostart.service\n", "", "/usr/bin/daemon"},
       {},
       ResolvedAppId{"org.example.Daemon", scope}},
      {"a legacy layout's named systemd hierarchy is read",
       {"4:memory:/x\n1:name=systemd:/user.slice/app-org.kde.konsole-7.scope\n", "", ""},
       {},
       ResolvedAppId{"org.kde.konsole", scope}},
      {"a scope naming no installed file falls through to the declared id",
       {userScope + "app-gnome-org.unknown-77.scope\n", "", "/usr/bin/pacat"},
       {{{"application.id", "org.example.Player"}}},
       ResolvedAppId{"org.example.Player", declared}},
      {"a terminal's child (session scope) is named by what it declares",
       {"0::/user.slice/user-1000.slice/session-2.scope\n", "", "/usr/bin/pacat"},
       {{{"application.id", "org.example.Player"}}},
       ResolvedAppId{"org.example.Player", declared}},
      {"application.id on any stream or client wins over the binary",
       {"0::/\n", "", "/usr/bin/x"},
       {{{"application.process.binary", "spotify"}}, {{"application.id", "org.example.Player"}}},
       ResolvedAppId{"org.example.Player", declared}},
      {"a declared id without a desktop file is passed over; the binary is lower-cased",
       {"0::/\n", "", "/opt/Discord/Discord"},
       {{{"application.id", "com.discordapp.Nope"}, {"application.process.binary", "Discord"}}},
       ResolvedAppId{"discord", declared}},
      {"the icon name answers when nothing else is installed",
       {"0::/\n", "", "/usr/bin/python3.11"},
       {{{"application.process.binary", "python3.11"}, {"application.icon_name", "Spotify"}}},
       ResolvedAppId{"spotify", declared}},
      {"the executable's file name last; a replaced binary loses ' (deleted)'",
       {"0::/\n", "", "/usr/bin/pacat (deleted)"},
       {{{"application.process.binary", "pacat"}, {"application.name", "paplay"}}},
       ResolvedAppId{"pacat", executable}},
      {"an executable name that is not UTF-8 is made valid",
       {"", "", "/tmp/pl\xe4yer"},
       {},
       ResolvedAppId{"pl\xef\xbf\xbdyer", executable}},
      {"nothing readable gives nothing", {}, {{{"application.name", "x"}}}, std::nullopt},
      {"a malformed sandbox file and cgroup give nothing",
       {"garbage\n::\n", "[Application\nname", ""},
       {},
       std::nullopt},
  };
  for (const Row& row : rows) {
    auto found = resolveAppId(row.clues, row.properties,
                              [&](const std::string& id) { return installed.count(id) > 0; });
    EXPECT_EQ(found, row.expected) << row.proves << (found ? ": got " + found->id : ": got none");
  }
}

}  // namespace
}  // namespace tavuno
