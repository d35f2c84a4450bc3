#include "platform/linux/PropertyTable.h"

#include <gtest/gtest.h>

#include <cstring>

#include "devices/HeadsetPair.h"
#include "linux/hal/ServerStateBuilders.h"
#include "platform/linux/SnapshotControlPlane.h"
#include "platform/linux/Transport.h"

namespace tavuno {
namespace {

using test::add;
using test::sink;
using test::source;
using test::stream;

PropertyAddress at(std::uint32_t selector, std::uint32_t scope = scope::global,
                   std::uint32_t element = 0) {
  return {selector, scope, element};
}

std::vector<AudioObjectID> ids(const PropertyTable& table, AudioObjectID object,
                               const PropertyAddress& address) {
  const PropertyValue* value = table.find(object, address);
  if (!value) return {};
  std::vector<AudioObjectID> out(value->data.size() / sizeof(AudioObjectID));
  if (!out.empty()) std::memcpy(out.data(), value->data.data(), value->data.size());
  return out;
}

template <class T>
T scalar(const PropertyTable& table, AudioObjectID object, const PropertyAddress& address) {
  const PropertyValue* value = table.find(object, address);
  T out{};
  EXPECT_TRUE(value && value->data.size() == sizeof out);
  if (value && value->data.size() == sizeof out) std::memcpy(&out, value->data.data(), sizeof out);
  return out;
}

std::string text(const PropertyTable& table, AudioObjectID object, std::uint32_t selector) {
  const PropertyValue* value = table.find(object, at(selector));
  return value ? std::string(value->data.begin(), value->data.end()) : std::string("<absent>");
}

AudioObjectID deviceNamed(const PropertyTable& table, const std::string& serverName, bool output) {
  for (const auto& [id, facts] : table.devices())
    if (facts.serverName == serverName && facts.output == output) return id;
  return 0;
}

const Proplist bluetooth{{"device.api", "bluez5"}, {"api.bluez5.address", "00:11:22:33:44:55"}};

ServerState desktop() {
  ServerState state;
  add(state, sink(1, "speakers", {{"device.bus", "pci"}}, {kVolumeNorm, kVolumeNorm / 2}));
  add(state, source(1, "speakers.monitor", {}, 1));
  add(state, sink(2, "bluez_output.00_11_22_33_44_55.1", bluetooth));
  add(state, source(2, "bluez_output.00_11_22_33_44_55.1.monitor", {}, 2));
  add(state, source(3, "bluez_input.00_11_22_33_44_55.0", bluetooth));
  add(state, sink(4, "tavuno.tap.1.1", {{"tavuno.owner.pid", "1"}, {"tavuno.owner.start", "3"}}));
  add(state, sink(5, PropertyTable::placeholderSink));
  state.info.defaultSinkName = "speakers";
  state.info.defaultSourceName = "speakers.monitor";
  return state;
}

class PropertyTableTest : public ::testing::Test {
 protected:
  ObjectIds objectIds;
  std::map<std::int32_t, std::uint64_t> startTimes{{1, 3}};  // the Tavuno of desktop()
  ProcessLookup lookup{[this](std::int32_t pid) -> std::optional<std::uint64_t> {
                         auto it = startTimes.find(pid);
                         if (it == startTimes.end()) return std::nullopt;
                         return it->second;
                       },
                       nullptr};
  PropertyTable build(const ServerState& state) {
    return PropertyTable::build(state, objectIds, lookup);
  }
};

TEST_F(PropertyTableTest, DevicesAreSinksAndRealSourcesWithTheirShapes) {
  PropertyTable table = build(desktop());
  const AudioObjectID speakers = deviceNamed(table, "speakers", true);
  const AudioObjectID headset = deviceNamed(table, "bluez_output.00_11_22_33_44_55.1", true);
  const AudioObjectID mic = deviceNamed(table, "bluez_input.00_11_22_33_44_55.0", false);

  // Monitors, Tavuno's own node and the placeholder sink are not devices.
  EXPECT_EQ(ids(table, kAudioObjectSystemObject, at(selector::devices)),
            (std::vector<AudioObjectID>{speakers, headset, mic}));
  EXPECT_EQ(scalar<AudioObjectID>(table, 1, at(selector::defaultOutputDevice)), speakers);
  EXPECT_EQ(scalar<AudioObjectID>(table, 1, at(selector::defaultInputDevice)), 0u)
      << "a default naming a monitor reads as none";
  EXPECT_TRUE(table.find(1, at(selector::defaultOutputDevice))->settable);

  EXPECT_EQ(text(table, speakers, selector::deviceUID), "speakers");
  EXPECT_EQ(text(table, speakers, selector::name), "speakers description");
  EXPECT_EQ(ids(table, speakers, at(selector::streams, scope::output)).size(), 1u);
  EXPECT_TRUE(ids(table, speakers, at(selector::streams, scope::input)).empty());
  EXPECT_EQ(ids(table, mic, at(selector::streams, scope::input)).size(), 1u);
  EXPECT_EQ(table.find(speakers, at(selector::streamConfiguration, scope::output))->data.size(),
            24u);

  // Per-channel volume on the server's scale, no main element, mute settable.
  EXPECT_EQ(scalar<float>(table, speakers, at(selector::volumeScalar, scope::output, 1)), 1.0f);
  EXPECT_EQ(scalar<float>(table, speakers, at(selector::volumeScalar, scope::output, 2)), 0.5f);
  EXPECT_FALSE(table.find(speakers, at(selector::volumeScalar, scope::output, 0)));
  EXPECT_TRUE(table.find(speakers, at(selector::volumeScalar, scope::output, 1))->settable);
  EXPECT_TRUE(table.find(speakers, at(selector::mute, scope::output))->settable);
  // A source the same on the input side, and nothing of it on the output side.
  EXPECT_EQ(scalar<float>(table, mic, at(selector::volumeScalar, scope::input, 2)), 0.75f);
  EXPECT_TRUE(table.find(mic, at(selector::volumeScalar, scope::input, 1))->settable);
  EXPECT_TRUE(table.find(mic, at(selector::mute, scope::input))->settable);
  EXPECT_FALSE(table.find(mic, at(selector::volumeScalar, scope::output, 1)));
  EXPECT_FALSE(table.find(speakers, at(selector::mute, scope::input)));

  // The headset's two nodes share no name stem but pair by address.
  EXPECT_EQ(text(table, headset, selector::deviceUID), "bluez:00:11:22:33:44:55:output");
  std::vector<AudioDevice> devices{
      {headset, "bluez:00:11:22:33:44:55:output", "", false, true, false, transport::bluetooth},
      {mic, "bluez:00:11:22:33:44:55:input", "", true, false, false, transport::bluetooth}};
  EXPECT_EQ(text(table, mic, selector::deviceUID), devices[1].uid);
  EXPECT_EQ(HeadsetPair::inputUID(devices[0], devices), devices[1].uid);
}

// The sessions open their streams at the output's own rate; 48000 when the server gave none.
TEST_F(PropertyTableTest, SessionsSeeAnOutputsOwnRate) {
  ServerState state = desktop();
  state.info.serverName = "PulseAudio (on PipeWire 0.3.65)";
  state.sinks[1].rate = 44100;
  auto snapshot = std::make_shared<Snapshot>();
  snapshot->table = build(state);
  snapshot->state = state;
  snapshot->connected = true;
  SnapshotHub hub;
  hub.publish(snapshot);
  SnapshotControlPlane plane(hub);
  auto speakers = plane.output(deviceNamed(snapshot->table, "speakers", true));
  ASSERT_TRUE(speakers);
  EXPECT_EQ(speakers->rate, 44100u);
  EXPECT_EQ(speakers->nodeName, "speakers");
  auto headset =
      plane.output(deviceNamed(snapshot->table, "bluez_output.00_11_22_33_44_55.1", true));
  ASSERT_TRUE(headset);
  EXPECT_EQ(headset->rate, 48000u);
}

TEST_F(PropertyTableTest, IdsFollowWhatObjectsAreNotServerIndices) {
  ServerState first = desktop();
  first.sinkInputs[7] = stream(7, kNoIndex, 1, {{"application.process.id", "4242"}});
  startTimes[4242] = 1000;
  PropertyTable before = build(first);

  // A restarted server numbers everything anew.
  ServerState second;
  for (auto [index, s] : first.sinks) {
    s.index = index + 50;
    add(second, s);
  }
  for (auto [index, s] : first.sources) {
    s.index = index + 50;
    if (s.monitorOfSink != kNoIndex) s.monitorOfSink += 50;
    add(second, s);
  }
  second.info = first.info;
  second.sinkInputs[3] = stream(3, kNoIndex, 51, {{"application.process.id", "4242"}});
  PropertyTable after = build(second);
  EXPECT_EQ(ids(before, 1, at(selector::devices)), ids(after, 1, at(selector::devices)));
  EXPECT_EQ(ids(before, 1, at(selector::processObjectList)),
            ids(after, 1, at(selector::processObjectList)));
  EXPECT_TRUE(before.diff(after).empty());

  // The same pid with another start time is another process.
  startTimes[4242] = 2000;
  PropertyTable recycled = build(second);
  EXPECT_NE(ids(recycled, 1, at(selector::processObjectList)),
            ids(after, 1, at(selector::processObjectList)));
}

TEST_F(PropertyTableTest, DiffNamesExactlyTheChangedAddresses) {
  ServerState state = desktop();
  PropertyTable before = build(state);
  state.sinks[1].volume[1] = kVolumeNorm / 4;
  state.sinks[1].volume[0] = 3 * kVolumeNorm;  // above 100 % reads as 1.0: no change
  PropertyTable after = build(state);
  const AudioObjectID speakers = deviceNamed(after, "speakers", true);
  EXPECT_EQ(before.diff(after),
            (std::vector<PropertyKey>{{speakers, at(selector::volumeScalar, scope::output, 2)}}));

  // The headset output goes while the server still names it the default.
  state.sinks.erase(2);
  state.info.defaultSinkName = "bluez_output.00_11_22_33_44_55.1";
  PropertyTable gone = build(state);
  const AudioObjectID headset = deviceNamed(after, "bluez_output.00_11_22_33_44_55.1", true);
  std::set<std::pair<AudioObjectID, std::uint32_t>> changed;
  for (const auto& key : after.diff(gone))
    changed.insert({key.object == headset ? 0 : key.object, key.address.selector});
  EXPECT_EQ(changed,
            (std::set<std::pair<AudioObjectID, std::uint32_t>>{{1, selector::devices},
                                                               {1, selector::defaultOutputDevice},
                                                               {0, selector::deviceUID},
                                                               {0, selector::name},
                                                               {0, selector::transportType},
                                                               {0, selector::streams},
                                                               {0, selector::streamConfiguration},
                                                               {0, selector::volumeScalar},
                                                               {0, selector::mute}}));
}

TEST_F(PropertyTableTest, ProcessesComeFromStreamsWithTheirPidAndState) {
  ServerState state = desktop();
  state.clients[1] = {1, {{"application.process.id", "100"}, {"pipewire.sec.pid", "9"}}};
  state.clients[2] = {2, {{"pipewire.sec.pid", "200"}}};
  state.clients[3] = {3, {}};
  state.sinkInputs[1] = stream(1, 1, 1);  // pid 100 from client
  state.sinkInputs[2] = stream(2, 1, 2, {{"application.process.id", "150"}});  // own pid wins
  state.sinkInputs[3] = stream(3, 2, 1, {}, true);                             // 200, corked
  state.sinkInputs[4] = stream(4, 3, 1);                                       // no pid: dropped
  state.clients[5] = {5, {{"application.process.id", "1"}, {"pipewire.sec.pid", "1"}}};
  state.sinkInputs[5] = stream(5, 5, 4, {{"tavuno.owner.pid", "1"}, {"tavuno.owner.start", "3"}});
  state.sourceOutputs[1] = stream(1, 2, 1);  // 200 records a monitor: not an input
  state.sourceOutputs[2] = stream(2, 1, 3);  // 100 records the mic
  // A sandboxed client reports its namespace pid; the host pid is looked up.
  state.clients[4] = {
      4, {{"application.process.id", "2"}, {"pipewire.access.portal.app_id", "org.example.Flat"}}};
  state.sinkInputs[6] = stream(6, 4, 1);
  lookup.hostPid = [](std::int32_t pid, const std::string& appId) -> std::optional<std::int32_t> {
    if (pid == 2 && appId == "org.example.Flat") return 5000;
    return std::nullopt;
  };
  PropertyTable table = build(state);

  std::map<std::int32_t, AudioObjectID> byPid;
  for (AudioObjectID id : ids(table, 1, at(selector::processObjectList)))
    byPid[scalar<std::int32_t>(table, id, at(selector::processPID))] = id;
  ASSERT_EQ(byPid.size(), 4u);
  EXPECT_EQ(table.sourcesOfPid(5000),
            (std::vector<ProcessSource>{{ProcessSource::Kind::sinkInput, 6},
                                        {ProcessSource::Kind::client, 4}}));
  const AudioObjectID speakers = deviceNamed(table, "speakers", true);
  const AudioObjectID headset = deviceNamed(table, "bluez_output.00_11_22_33_44_55.1", true);
  auto flag = [&](std::int32_t pid, std::uint32_t selector) {
    return scalar<std::uint32_t>(table, byPid.at(pid), at(selector));
  };
  EXPECT_EQ(flag(100, selector::processIsRunningOutput), 1u);
  EXPECT_EQ(flag(100, selector::processIsRunningInput), 1u);
  EXPECT_EQ(ids(table, byPid.at(100), at(selector::processDevices, scope::output)),
            std::vector<AudioObjectID>{speakers});
  EXPECT_EQ(ids(table, byPid.at(150), at(selector::processDevices, scope::output)),
            std::vector<AudioObjectID>{headset});
  EXPECT_EQ(flag(200, selector::processIsRunningOutput), 0u);
  EXPECT_EQ(flag(200, selector::processIsRunningInput), 0u);

  // Identity gets the pid's streams first, then its clients.
  EXPECT_EQ(table.sourcesOfPid(100),
            (std::vector<ProcessSource>{{ProcessSource::Kind::sinkInput, 1},
                                        {ProcessSource::Kind::sourceOutput, 2},
                                        {ProcessSource::Kind::client, 1}}));
}

// Rows: the owner mark hides a node only when it names a live Tavuno by pid and start time,
// the one that made the stream where the server says. Anyone can set the key on their nodes.
TEST_F(PropertyTableTest, AnOwnerMarkThatProvesNothingHidesNothing) {
  ServerState state;
  add(state, sink(1, "speakers"));
  auto marked = [](const std::string& pid, const std::string& start) {
    Proplist p{{"tavuno.owner.pid", pid}};
    if (!start.empty()) p["tavuno.owner.start"] = start;
    return p;
  };
  add(state, sink(2, "tavuno.tap.1.1", marked("1", "3")));  // the live Tavuno's: hidden
  add(state, sink(3, "dac_without_start", marked("1", "")));
  add(state, sink(4, "dac_of_a_dead_tavuno", marked("77", "3")));
  add(state, sink(5, "dac_recycled_pid", marked("1", "4")));
  add(state, source(6, "mic_marked", marked("1", "x")));
  state.clients[1] = {1, {{"application.process.id", "300"}, {"pipewire.sec.pid", "300"}}};
  state.clients[2] = {2, {{"application.process.id", "1"}, {"pipewire.sec.pid", "1"}}};
  state.sinkInputs[1] = stream(1, 1, 1, marked("1", "3"));  // a player copying the mark: shown
  state.sinkInputs[2] = stream(2, 2, 1, marked("1", "3"));  // Tavuno's own stream: hidden
  PropertyTable table = build(state);

  std::vector<std::string> names;
  for (AudioObjectID id : ids(table, kAudioObjectSystemObject, at(selector::devices)))
    names.push_back(text(table, id, selector::deviceUID));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"dac_of_a_dead_tavuno", "dac_recycled_pid",
                                             "dac_without_start", "mic_marked", "speakers"}));
  std::vector<std::int32_t> pids;
  for (AudioObjectID id : ids(table, 1, at(selector::processObjectList)))
    pids.push_back(scalar<std::int32_t>(table, id, at(selector::processPID)));
  EXPECT_EQ(pids, std::vector<std::int32_t>{300});
}

TEST_F(PropertyTableTest, HostileServerDataGivesSensibleValues) {
  ServerState state;
  ServerSink bad = sink(1, "bad", {}, {});  // no channels at all
  bad.description = std::string("Caixa \xFF\xFE de som", 16) + std::string(65536, 'x');
  add(state, bad);
  add(state, sink(2, "wide", {}, std::vector<std::uint32_t>(64, kVolumeNorm / 2)));
  state.info.defaultSinkName = "gone";
  PropertyTable table = build(state);

  const AudioObjectID badID = deviceNamed(table, "bad", true);
  const std::string name = text(table, badID, selector::name);
  EXPECT_LE(name.size(), PropertyTable::maxNameBytes);
  EXPECT_TRUE(name.starts_with("Caixa \xEF\xBF\xBD\xEF\xBF\xBD de som"));
  EXPECT_FALSE(table.find(badID, at(selector::volumeScalar, scope::output, 1)));
  const AudioObjectID wide = deviceNamed(table, "wide", true);
  EXPECT_EQ(scalar<float>(table, wide, at(selector::volumeScalar, scope::output, 64)), 0.5f);
  EXPECT_EQ(scalar<AudioObjectID>(table, 1, at(selector::defaultOutputDevice)), 0u);

  EXPECT_EQ(sanitizedText("\xE2\x82", 10), "\xEF\xBF\xBD\xEF\xBF\xBD") << "truncated sequence";
  EXPECT_EQ(sanitizedText("\xED\xA0\x80", 10).find('\xED'), std::string::npos) << "surrogate";
  EXPECT_EQ(sanitizedText("ab\xC3\xA9", 3), "ab") << "never cuts inside a character";
}

TEST(TransportTest, FirstMatchingRuleOnTheDeviceThenItsCard) {
  struct Row {
    const char* what;
    std::string nodeName;
    Proplist device;
    std::optional<Proplist> card;
    std::uint32_t expected;
  };
  const std::vector<Row> rows{
      {"bluetooth by api", "bluez_output.x", {{"device.api", "bluez5"}}, {}, transport::bluetooth},
      {"bluetooth on the card",
       "n",
       {{"device.api", "alsa"}},
       Proplist{{"device.bus", "bluetooth"}},
       transport::bluetooth},
      {"usb", "alsa_output.usb-x", {{"device.bus", "usb"}}, {}, transport::usb},
      {"network sink", "raop_sink", {{"device.api", "raop"}, {"device.bus", "pci"}}, {}, 0},
      {"tunnel", "tunnel.host", {{"tunnel.remote.server", "h"}}, {}, 0},
      {"hdmi on the PCI codec",
       "alsa_output.pci-0000_00_1f.3.hdmi-stereo",
       {{"device.bus", "pci"}, {"device.form_factor", "internal"}},
       Proplist{{"device.api", "alsa"}},
       transport::hdmi},
      {"displayport by profile",
       "alsa_output.pci-x",
       {{"device.profile.name", "DisplayPort-2"}, {"device.bus", "pci"}},
       {},
       transport::hdmi},
      {"built-in on the card",
       "alsa_output.pci-x",
       {},
       Proplist{{"device.bus", "pci"}},
       transport::builtIn},
      {"internal form factor", "n", {{"device.form_factor", "internal"}}, {}, transport::builtIn},
      {"virtual: no card, no api", "null", {}, {}, transport::virtualDevice},
      {"virtual by flag", "n", {{"node.virtual", "true"}}, Proplist{}, transport::virtualDevice},
      {"unknown", "n", {{"device.api", "alsa"}}, Proplist{}, 0},
  };
  for (const auto& row : rows) {
    ServerCard card;
    if (row.card) card.properties = *row.card;
    EXPECT_EQ(transportOf({row.nodeName, "", &row.device, row.card ? &card : nullptr}),
              row.expected)
        << row.what;
  }
}

}  // namespace
}  // namespace tavuno
