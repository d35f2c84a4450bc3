#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "hal/HalTypes.h"
#include "support/SimPlatform.h"
#include "ui/model/AutomationTexts.h"
#include "ui/model/ProfileTexts.h"
#include "ui/model/RelativeTime.h"
#include "ui/model/SettingsTexts.h"

namespace tavuno {
namespace {

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;

const AudioDevice speakers{1, "spk", "Speakers", false, true, true, transport::builtIn};
const AudioDevice mic{4, "mic", "Mic", true, false, false, transport::usb};

AudioProfile profile(const char* name, std::string input, std::string output) {
  return {Uuid::random(), name, std::move(input), std::move(output), 0.62f, AppMixMap{}, false};
}

TEST(RuleRows, NameWhatIsGoneAndKeepTheirOrderAndSwitch) {
  ServiceState state;
  state.devices = {speakers};
  state.profiles = {profile("Casa", "mic", "spk")};
  state.runningApps = {{"org.player", "Player"}};
  const Uuid home = state.profiles[0].id, deleted = Uuid::random();
  state.rules = {{Uuid::random(), "usb-dac", home, false},
                 {Uuid::random(), "spk", deleted, true},
                 {Uuid::random(), "hdmi", home, true, "HDMI Monitor"}};
  state.launchRules = {{Uuid::random(), "org.player", home, true},
                       {Uuid::random(), "org.editor", home, true},
                       {Uuid::random(), "org.gone", home, true}};
  state.scheduledRules = {{Uuid::random(), 7, 5, home, true}, {Uuid::random(), 24, 60, home, true}};

  const auto connections = connectionRuleRows(state);
  ASSERT_EQ(connections.size(), 3u);
  EXPECT_EQ(connections[0].subject, "Dispositivo desconectado") << "a rule from before names";
  EXPECT_EQ(connections[2].subject, "HDMI Monitor (desconectado)");
  EXPECT_TRUE(connections[2].subjectMissing);
  EXPECT_TRUE(connections[0].subjectMissing);
  EXPECT_FALSE(connections[0].enabled) << "an unplugged device's rule keeps its switch";
  EXPECT_EQ(connections[0].profile, "Casa");
  EXPECT_EQ(connections[1].subject, "Speakers");
  EXPECT_EQ(connections[1].profile, "Perfil indisponível");
  EXPECT_TRUE(connections[1].profileMissing);

  // Not running: the installed name, else the id.
  const auto launches = launchRuleRows(state, [](const std::string& id) {
    return id == "org.editor" ? std::optional<std::string>("Editor") : std::nullopt;
  });
  EXPECT_EQ(launches[0].subject, "Player");
  EXPECT_EQ(launches[1].subject, "Editor");
  EXPECT_EQ(launches[2].subject, "org.gone");

  std::optional<test::ScopedLanguage> portuguese(std::in_place, test::portugueseCatalog());
  const auto times = scheduledRuleRows(state);
  EXPECT_EQ(times[0].subject, "07:05");
  EXPECT_EQ(times[1].subject, "24:60") << "edited storage is shown as it is";
  // English on the 12-hour clock, noon and midnight included.
  portuguese.reset();
  test::ScopedLanguage english(test::englishCatalog());
  EXPECT_EQ(scheduledRuleRows(state)[0].subject, "7:05 AM");
  EXPECT_EQ(scheduledRuleRows(state)[1].subject, "24:60");
  EXPECT_EQ(timeOfDayText(0, 0), "12:00 AM");
  EXPECT_EQ(timeOfDayText(12, 30), "12:30 PM");
  EXPECT_EQ(timeOfDayText(23, 59), "11:59 PM");
}

TEST(HistoryRows, SayTheTriggerAndOutcomeInTheCurrentLanguageNewestTwentyOnly) {
  const WallTime now = std::chrono::system_clock::now();
  std::vector<AutomationRecord> history{
      {Uuid::random(), now, "Casa", AutomationTrigger::device, true},
      {Uuid::random(), now - minutes(1), "TV", AutomationTrigger::schedule, false,
       "Não foi possível alterar o dispositivo (erro -50).",
       "Não foi possível alterar o dispositivo (erro %d).", -50},
      {Uuid::random(), now - minutes(2), "Jogo", AutomationTrigger::application, false,
       "Texto antigo", std::nullopt, std::nullopt},
  };
  auto rows = recentHistoryRows(history);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].status, "Dispositivo · Aplicado");
  EXPECT_FALSE(rows[0].detail);
  EXPECT_EQ(rows[1].status, "Horário · Não aplicado por completo");
  EXPECT_EQ(rows[2].status, "Aplicativo · Não aplicado por completo");
  EXPECT_EQ(rows[2].detail, "Texto antigo") << "without a key, the text recorded then";

  // The detail is made again from its key and code in the language shown.
  test::ScopedLanguage english(test::englishCatalog());
  rows = recentHistoryRows(history);
  EXPECT_EQ(rows[1].status, "Schedule · Not fully applied");
  EXPECT_EQ(rows[1].detail, "Could not change the device (error -50).");

  history.resize(30, history[0]);
  EXPECT_EQ(recentHistoryRows(history).size(), recentHistoryLimit);
}

TEST(ProfileRows, ShowMissingDevicesVolumeAndAppCount) {
  AudioProfile saved = profile("Casa", "mic", "tv");
  saved.appMix = AppMixMap{{"a", AppMix(0.5, false)}, {"b", AppMix(1, true)}};
  auto texts = profileRowTexts(saved, {speakers, mic});
  EXPECT_EQ(texts.output, "Dispositivo indisponível");
  EXPECT_TRUE(texts.outputMissing);
  EXPECT_EQ(texts.input, "Mic");
  EXPECT_EQ(texts.volume, "Volume: 62%");
  EXPECT_EQ(texts.apps, "Aplicativos: 2");

  saved.volume.reset();
  saved.appMix.reset();
  saved.inputUID.clear();
  texts = profileRowTexts(saved, {speakers, mic});
  EXPECT_EQ(texts.input, "Dispositivo indisponível") << "no input saved";
  EXPECT_EQ(texts.volume, "Volume: Indisponível") << "saved from an output without volume";
  EXPECT_EQ(texts.apps, "Aplicativos: 0");
}

TEST(Pickers, OfferSelecioneAndForgetAChoiceThatIsGone) {
  const std::vector<AudioProfile> profiles{profile("A", "", ""), profile("B", "", "")};
  auto picker = profilePicker(profiles, profiles[1].id.text(), true);
  EXPECT_EQ(picker.entries[0].label, "Selecione");
  EXPECT_EQ(picker.selected, 2);
  EXPECT_EQ(profilePicker(profiles, Uuid::random().text(), true).selected, 0);
  EXPECT_EQ(profilePicker(profiles, std::nullopt, false).selected, -1);
  EXPECT_EQ(findProfile(profiles, profiles[1].id.text()), &profiles[1]);

  picker = ruleDevicePicker({speakers, mic}, std::string("usb-dac"));
  EXPECT_EQ(picker.selected, 0);
  EXPECT_EQ(picker.entries[2].uid, "mic");
  // One headset, listed as an output and an input of one name.
  AudioDevice headsetOut = speakers, headsetIn = mic;
  headsetOut.name = headsetIn.name = "Headset";
  picker = ruleDevicePicker({headsetOut, headsetIn, speakers}, std::nullopt);
  EXPECT_EQ(picker.entries[1].label, "Headset (saída)");
  EXPECT_EQ(picker.entries[2].label, "Headset (entrada)");
  EXPECT_EQ(picker.entries[3].label, speakers.name) << "a name of its own stays bare";
  EXPECT_EQ(runningAppPicker({{"org.player", "Player"}}, std::string("org.player")).selected, 1);
}

TEST(SettingsTexts, TheShortcutTheLinuxWayAndTheGuidesCounter) {
  EXPECT_EQ(shortcutKeyLabel(ShortcutKey::m), "Ctrl+Alt+Super+M");
  const Picker keys = shortcutKeyPicker(ShortcutKey::s);
  EXPECT_EQ(keys.selected, 2);
  EXPECT_EQ(keys.entries[1].label, "Ctrl+Alt+Super+V");
  EXPECT_EQ(keys.entries[1].uid, "v");

  EXPECT_EQ(languagePicker("en").selected, 2);
  EXPECT_EQ(languagePicker("de").selected, 0) << "anything else follows the system";

  EXPECT_EQ(onboardingCounter(0), "TAVUNO  /  1 DE 6");
  EXPECT_EQ(onboardingCounter(9), "TAVUNO  /  6 DE 6");
  EXPECT_STREQ(onboardingTitle(1), "Permissões");
}

TEST(RelativeTime, OneUnitRoundedDownAndTheFutureIsNow) {
  const WallTime now = std::chrono::system_clock::now();
  struct Row {
    WallTime date;
    RelativeSpan expected;
  };
  const Row rows[] = {
      {now - seconds(59), {RelativeUnit::now, 0}},
      {now + hours(3), {RelativeUnit::now, 0}},
      {now - seconds(60), {RelativeUnit::minutes, 1}},
      {now - hours(2) - minutes(59), {RelativeUnit::hours, 2}},
      {now - hours(47), {RelativeUnit::days, 1}},
      {now - hours(24 * 13), {RelativeUnit::weeks, 1}},
      {now - hours(24 * 65), {RelativeUnit::months, 2}},
      {now - hours(24 * 800), {RelativeUnit::years, 2}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(relativeSpan(row.date, now), row.expected);
  // Far apart: no overflow of the clock's nanoseconds.
  const WallTime far = WallTime{} - hours(24 * 365 * 250);
  EXPECT_EQ(relativeSpan(far, now + hours(24 * 365 * 40)).unit, RelativeUnit::years);
}

}  // namespace
}  // namespace tavuno
