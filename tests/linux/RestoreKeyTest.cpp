#include <gtest/gtest.h>

#include "platform/linux/PipeWireSession.h"
#include "platform/linux/PulseSession.h"

namespace tavuno {
namespace {

// The seeded volume only helps under the key the server looks the next stream up by: the first
// present of role, application id, application name, media name (and node name on PipeWire).
TEST(RestoreKey, FirstPresentPropertyAsEachServerSpellsIt) {
  const std::map<std::string, std::string> all = {
      {"media.role", "Music"}, {"application.id", "org.example.App"}, {"media.name", "Song"}};
  EXPECT_EQ(PipeWireSession::restoreKey(all), "restore.stream.Output/Audio.media.role:Music");
  EXPECT_EQ(PulseSession::restoreEntry(all), "sink-input-by-media-role:Music");
  std::map<std::string, std::string> noRole = all;
  noRole.erase("media.role");
  EXPECT_EQ(PipeWireSession::restoreKey(noRole),
            "restore.stream.Output/Audio.application.id:org.example.App");
  EXPECT_EQ(PulseSession::restoreEntry(noRole), "sink-input-by-application-id:org.example.App");
  EXPECT_EQ(PipeWireSession::restoreKey({{"node.name", "n"}}),
            "restore.stream.Output/Audio.node.name:n");
  EXPECT_EQ(PulseSession::restoreEntry({{"node.name", "n"}}), "");
  EXPECT_EQ(PipeWireSession::restoreKey({}), "");

  EXPECT_EQ(PipeWireSession::restoreValue(0.2f, 2),
            R"({ "volume": 1.0, "mute": false, "volumes": [ 0.200000, 0.200000 ], )"
            R"("channels": [ "FL", "FR" ] })");
  EXPECT_EQ(PipeWireSession::restoreValue(7.0f, 1),
            R"({ "volume": 1.0, "mute": false, "volumes": [ 1.000000 ], "channels": [ "MONO" ] })");
}

}  // namespace
}  // namespace tavuno
