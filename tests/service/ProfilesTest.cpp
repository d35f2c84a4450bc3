#include <gtest/gtest.h>

#include "automations/AutomationStores.h"
#include "engine/AppMixStore.h"
#include "profiles/ProfileStore.h"
#include "service/AudioService.h"
#include "support/ServiceProbe.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

// The simulated hardware, with a hook after every successful write: the
// hardware changing under the program, say as a device becomes the default.
class ReactingHal : public Hal {
 public:
  explicit ReactingHal(SimHal& sim) : sim_(sim) {}
  std::function<void(AudioObjectID, const PropertyAddress&)> afterWrite;

  OSStatus getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                               std::uint32_t& outSize) override {
    return sim_.getPropertyDataSize(object, address, outSize);
  }
  OSStatus getPropertyData(AudioObjectID object, const PropertyAddress& address,
                           std::uint32_t& ioSize, void* outData) override {
    return sim_.getPropertyData(object, address, ioSize, outData);
  }
  OSStatus setPropertyData(AudioObjectID object, const PropertyAddress& address, std::uint32_t size,
                           const void* data) override {
    OSStatus result = sim_.setPropertyData(object, address, size, data);
    if (result == status::noError && afterWrite) afterWrite(object, address);
    return result;
  }
  bool hasProperty(AudioObjectID object, const PropertyAddress& address) override {
    return sim_.hasProperty(object, address);
  }
  OSStatus isPropertySettable(AudioObjectID object, const PropertyAddress& address,
                              bool& outSettable) override {
    return sim_.isPropertySettable(object, address, outSettable);
  }
  OSStatus addPropertyListener(AudioObjectID object, const PropertyAddress& address,
                               PropertyListener listener, ListenerToken& outToken) override {
    return sim_.addPropertyListener(object, address, std::move(listener), outToken);
  }
  OSStatus removePropertyListener(AudioObjectID object, const PropertyAddress& address,
                                  ListenerToken token) override {
    return sim_.removePropertyListener(object, address, token);
  }

 private:
  SimHal& sim_;
};

class ProfilesTest : public ::testing::Test {
 protected:
  test::SimPlatform platform;
  test::ScopedLanguage language{test::englishCatalog()};
  AudioObjectID speakers = 0, mic = 0, headset = 0, bare = 0;

  void SetUp() override {
    speakers = platform.hal.addDevice({.uid = "speakers",
                                       .transport = transport::builtIn,
                                       .outputStreams = 1,
                                       .masterVolume = SimControl{0.5f},
                                       .mute = SimControl{0}});
    mic = platform.hal.addDevice({.uid = "mic", .inputStreams = 1});
    headset = platform.hal.addDevice({.uid = "headset",
                                      .inputStreams = 1,
                                      .outputStreams = 1,
                                      .masterVolume = SimControl{0.7f},
                                      .mute = SimControl{0}});
    bare = platform.hal.addDevice({.uid = "bare", .outputStreams = 1});  // no controls
    platform.hal.setDefaultOutput(speakers);
    platform.hal.setDefaultInput(mic);
  }
  static AudioProfile profile(std::string name, std::string in, std::string out,
                              std::optional<float> volume = std::nullopt,
                              std::optional<bool> muted = std::nullopt) {
    return AudioProfile{Uuid::random(), name, in, out, volume, std::nullopt, muted};
  }
  std::shared_ptr<AudioService> make() { return platform.makeService({.startTimer = false}); }
};

TEST_F(ProfilesTest, TheFirstStartCreatesTheDefaultProfileFromTheSystem) {
  auto service = make();
  ASSERT_EQ(service->state().profiles.size(), 1u);
  const auto& created = service->state().profiles[0];
  EXPECT_EQ(created.name, "Default profile");
  EXPECT_EQ(created.inputUID, "mic");
  EXPECT_EQ(created.outputUID, "speakers");
  EXPECT_EQ(created.volume, 0.5f);
  EXPECT_EQ(created.outputMuted, false);
  EXPECT_EQ(service->state().activeProfileID, created.id);
  EXPECT_EQ(platform.defaults.string("activeProfileID"), created.id.text());
  EXPECT_EQ(ProfileStore::load(platform.defaults).size(), 1u);
}

TEST_F(ProfilesTest, AnUnreadableStoreIsBackedUpBeforeTheDefaultReplacesIt) {
  const std::string damaged =
      R"([{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","name":"x","inputUID":""}])";
  platform.defaults.set("profiles", Bytes(damaged.begin(), damaged.end()));
  auto service = make();
  EXPECT_EQ(platform.defaults.data("profiles.corruptBackup"),
            Bytes(damaged.begin(), damaged.end()));
  ASSERT_EQ(service->state().profiles.size(), 1u);
  EXPECT_EQ(service->state().profiles[0].name, "Default profile");
}

// Two profiles stored with the same id: deleting one used to delete both.
TEST_F(ProfilesTest, DeletingOneOfTwoProfilesStoredWithTheSameIdRemovesOnlyIt) {
  auto home = profile("Casa", "mic", "speakers");
  auto copy = profile("Cópia", "mic", "headset");
  copy.id = home.id;
  auto third = profile("Fone", "headset", "headset");
  ProfileStore::save({home, copy, third}, platform.defaults);
  platform.defaults.set("activeProfileID", third.id.text());
  auto service = make();
  const auto loaded = service->state().profiles;
  ASSERT_EQ(loaded.size(), 3u);
  EXPECT_EQ(loaded[0].id, home.id) << "the first keeps its id";
  EXPECT_NE(loaded[1].id, home.id);
  service->deleteProfile(loaded[1]);
  ASSERT_EQ(service->state().profiles.size(), 2u);
  EXPECT_EQ(service->state().profiles[0], loaded[0]);
  EXPECT_EQ(service->state().profiles[1].name, "Fone");
  EXPECT_EQ(ProfileStore::load(platform.defaults), service->state().profiles);
}

TEST_F(ProfilesTest, AStoredActiveProfileIsAppliedAtStartAStaleOneOnlySelected) {
  auto work = profile("Trabalho", "headset", "headset", 0.2f, true);
  auto home = profile("Casa", "mic", "speakers");
  ProfileStore::save({home, work}, platform.defaults);
  platform.defaults.set("activeProfileID", work.id.text());
  auto service = make();
  EXPECT_EQ(platform.hal.defaultOutput(), headset);
  EXPECT_EQ(platform.hal.volume(headset, 0), 0.2f);
  EXPECT_EQ(platform.hal.muted(headset), true);
  EXPECT_EQ(service->state().activeProfileID, work.id);

  test::SimPlatform other;
  other.hal.addDevice({.uid = "speakers", .outputStreams = 1});
  ProfileStore::save({home, work}, other.defaults);
  other.defaults.set("activeProfileID", std::string("not a uuid"));
  auto fresh = other.makeService({.startTimer = false});
  EXPECT_EQ(fresh->state().activeProfileID, home.id);
  EXPECT_EQ(other.defaults.string("activeProfileID"), home.id.text());
  EXPECT_TRUE(other.hal.writes().empty()) << "selected, not applied";
}

TEST_F(ProfilesTest, AProfileTheOutputCannotTakeChangesNothing) {
  auto service = make();
  auto muting = profile("Mudo", "mic", "bare", std::nullopt, true);
  auto missing = profile("Longe", "mic", "gone");
  ProfileStore::save({service->state().profiles[0], muting, missing}, platform.defaults);
  auto reloaded = make();
  platform.hal.clearWrites();
  EXPECT_FALSE(reloaded->applyProfile(muting));
  EXPECT_EQ(reloaded->state().error,
            "The profile's output does not support mute. No change was made.");
  EXPECT_FALSE(reloaded->applyProfile(missing));
  EXPECT_EQ(ServiceProbe::automationErrorKey(*reloaded),
            "Os dispositivos do perfil não estão disponíveis. Nenhuma alteração foi aplicada.");
  EXPECT_TRUE(platform.hal.writes().empty());
  EXPECT_FALSE(reloaded->applyProfile(profile("Not saved", "mic", "speakers")));

  auto plain = profile("Simples", "mic", "bare");
  ProfileStore::save({reloaded->state().profiles[0], plain}, platform.defaults);
  auto third = make();
  EXPECT_TRUE(third->applyProfile(plain)) << "no volume and no mute asked of a bare output";
  EXPECT_EQ(third->state().activeProfileID, plain.id);
}

TEST_F(ProfilesTest, TheSnapshotFollowsTheSystemAndDropsControlsTheOutputLacks) {
  auto service = make();
  platform.hal.setVolume(speakers, 0, 0.9f);
  service->refresh();
  EXPECT_EQ(service->state().profiles[0].volume, 0.9f);

  ASSERT_TRUE(service->setDefault(bare, false));
  const auto& active = service->state().profiles[0];
  EXPECT_EQ(active.outputUID, "bare");
  EXPECT_EQ(active.volume, std::nullopt);
  EXPECT_EQ(active.outputMuted, std::nullopt);
  // The second change in a row is stored at the end of the write interval.
  platform.main.advance(AudioService::settingsWriteInterval);
  EXPECT_EQ(ProfileStore::load(platform.defaults)[0], active);
}

// A profile keeps the input's level and mute too, applied after the output's;
// one saved before they were kept leaves the input alone.
TEST_F(ProfilesTest, TheInputsLevelIsAppliedAfterTheOutputsAndOlderProfilesLeaveItAlone) {
  const AudioObjectID studio = platform.hal.addDevice({.uid = "studio",
                                                       .inputStreams = 1,
                                                       .inputMasterVolume = SimControl{0.4f},
                                                       .inputMute = SimControl{0}});
  auto recording = profile("Gravação", "studio", "speakers", 0.3f);
  recording.inputVolume = 0.8f;
  recording.inputMuted = true;
  auto older = profile("Antigo", "studio", "speakers", 0.6f);
  auto bareMic = profile("Sem controle", "mic", "speakers");
  bareMic.inputMuted = false;
  ProfileStore::save({older, recording, bareMic}, platform.defaults);
  auto service = make();

  platform.hal.clearWrites();
  ASSERT_TRUE(service->applyProfile(recording));
  EXPECT_EQ(platform.hal.volume(studio, 0, scope::input), 0.8f);
  EXPECT_EQ(platform.hal.muted(studio, scope::input), true);
  const auto& writes = platform.hal.writes();
  auto firstOn = [&](std::uint32_t direction) {
    return std::find_if(writes.begin(), writes.end(), [&](const auto& w) {
      return w.address.selector == selector::volumeScalar && w.address.scope == direction;
    });
  };
  EXPECT_LT(firstOn(scope::output), firstOn(scope::input)) << "the output's first";

  ASSERT_TRUE(service->applyProfile(older));
  EXPECT_EQ(platform.hal.volume(speakers, 0), 0.6f);
  EXPECT_EQ(platform.hal.volume(studio, 0, scope::input), 0.8f) << "left alone";
  EXPECT_EQ(platform.hal.muted(studio, scope::input), true);

  // Saving and following the system keep the input's fields like the output's.
  ASSERT_EQ(service->saveProfile("Agora"), ProfileOutcome::done);
  EXPECT_EQ(service->state().profiles.back().inputVolume, 0.8f);
  EXPECT_EQ(service->state().profiles.back().inputMuted, true);
  platform.hal.setVolume(studio, 0, 0.25f, scope::input);
  service->refresh();
  EXPECT_EQ(service->state().profiles.back().inputVolume, 0.25f);
  ASSERT_TRUE(service->setDefault(mic, true));
  EXPECT_EQ(service->state().profiles.back().inputVolume, std::nullopt) << "a mic without it";
  EXPECT_EQ(service->state().profiles.back().inputMuted, std::nullopt);

  // A profile asking a mute of an input without one changes nothing.
  platform.hal.clearWrites();
  EXPECT_FALSE(service->applyProfile(bareMic));
  EXPECT_EQ(service->state().error,
            "The profile's input does not support mute. No change was made.");
  EXPECT_TRUE(platform.hal.writes().empty());
}

TEST_F(ProfilesTest, DeletingKeepsOneProfileAndTakesItsRulesAlong) {
  auto service = make();
  const AudioProfile first = service->state().profiles[0];
  service->deleteProfile(first);
  EXPECT_EQ(service->state().error, "Keep at least one profile.");

  service->saveProfile("  Noite \n");
  ASSERT_EQ(service->state().profiles.size(), 2u);
  const AudioProfile night = service->state().profiles[1];
  EXPECT_EQ(night.name, "Noite");
  EXPECT_EQ(service->state().activeProfileID, night.id);
  service->saveProfile("   ");
  EXPECT_EQ(service->state().profiles.size(), 2u);

  service->addRule("headset", night.id);
  service->addRule("speakers", first.id);
  service->addLaunchRule("org.player", night.id);
  service->addScheduledRule(8, 0, night.id);
  service->deleteProfile(night);
  EXPECT_EQ(service->state().activeProfileID, first.id) << "the first other profile was applied";
  ASSERT_EQ(service->state().profiles.size(), 1u);
  ASSERT_EQ(service->state().rules.size(), 1u);
  EXPECT_EQ(service->state().rules[0].deviceUID, "speakers");
  EXPECT_TRUE(service->state().launchRules.empty());
  EXPECT_TRUE(AutomationStore(platform.defaults).load().size() == 1);
  EXPECT_TRUE(ScheduledRuleStore(platform.defaults).load().empty());
}

TEST_F(ProfilesTest, DeletingTheActiveProfileStopsWhenTheOtherCannotBeApplied) {
  auto keep = profile("Fora", "mic", "gone");
  auto active = profile("Agora", "mic", "speakers");
  ProfileStore::save({keep, active}, platform.defaults);
  platform.defaults.set("activeProfileID", active.id.text());
  auto service = make();
  service->deleteProfile(active);
  EXPECT_EQ(service->state().profiles.size(), 2u);
  EXPECT_EQ(service->state().activeProfileID, active.id);
}

TEST_F(ProfilesTest, FailuresAfterTheSwitchAreReportedAndKeepTheActiveProfile) {
  // Each row breaks something once the profile's `switched` default has been
  // written; the profile asks for volume 0.2 and mute on the headset.
  const struct {
    const char* proves;
    std::uint32_t switched;
    SimHal::Fault fault;
    const char* key;
    std::optional<std::int32_t> code;
    bool outputSwitched;
  } rows[] = {
      {"the output write fails after the input switched",
       selector::defaultInputDevice,
       {.operation = SimHal::Operation::set,
        .selector = selector::defaultOutputDevice,
        .status = -9},
       "A entrada foi alterada, mas não foi possível alterar a saída.",
       std::nullopt,
       false},
      {"the volume control is gone after the switch",
       selector::defaultOutputDevice,
       {.operation = SimHal::Operation::get, .selector = selector::volumeScalar},
       "Os dispositivos foram alterados, mas a saída não oferece controle de volume.",
       std::nullopt,
       true},
      {"the mute control is gone after the switch",
       selector::defaultOutputDevice,
       {.operation = SimHal::Operation::isSettable, .selector = selector::mute},
       "Os dispositivos foram alterados, mas a saída não oferece controle de silêncio.",
       std::nullopt,
       true},
      {"the volume write fails",
       selector::defaultOutputDevice,
       {.operation = SimHal::Operation::set, .selector = selector::volumeScalar, .status = -5},
       "Não foi possível alterar todos os canais (erro %d).",
       -5,
       true},
      {"the mute write fails",
       selector::defaultOutputDevice,
       {.operation = SimHal::Operation::set, .selector = selector::mute, .status = -6},
       "Não foi possível alterar o silêncio (erro %d).",
       -6,
       true},
  };
  for (const auto& row : rows) {
    test::SimPlatform sim;
    const AudioObjectID speakers = sim.hal.addDevice(
        {.uid = "speakers", .outputStreams = 1, .masterVolume = SimControl{0.5f}});
    const AudioObjectID headset = sim.hal.addDevice({.uid = "headset",
                                                     .inputStreams = 1,
                                                     .outputStreams = 1,
                                                     .masterVolume = SimControl{0.7f},
                                                     .mute = SimControl{0}});
    sim.hal.setDefaultOutput(speakers);
    auto home = profile("Casa", "", "speakers");
    auto work = profile("Trabalho", "headset", "headset", 0.2f, true);
    ProfileStore::save({home, work}, sim.defaults);
    ReactingHal hal(sim.hal);
    auto service =
        AudioService::create({sim.defaults, sim.main, hal, sim.workers}, {.startTimer = false});
    hal.afterWrite = [&, done = false](AudioObjectID, const PropertyAddress& address) mutable {
      if (done || address.selector != row.switched) return;
      done = true;
      sim.hal.injectFault(row.fault);
    };

    EXPECT_FALSE(service->applyProfile(work)) << row.proves;
    EXPECT_EQ(ServiceProbe::automationErrorKey(*service), row.key) << row.proves;
    EXPECT_EQ(ServiceProbe::automationErrorCode(*service), row.code) << row.proves;
    EXPECT_EQ(sim.hal.defaultInput(), headset) << row.proves;
    EXPECT_EQ(sim.hal.defaultOutput(), row.outputSwitched ? headset : speakers) << row.proves;
    EXPECT_EQ(service->state().activeProfileID, home.id) << row.proves;
  }
}

TEST_F(ProfilesTest, RenamingTrimsTheNameAndRefusesAProfileNoLongerListed) {
  auto service = make();
  const AudioProfile first = service->state().profiles[0];
  service->saveProfile("Noite");
  const Uuid active = *service->state().activeProfileID;

  service->updateProfile(first, "\u3000Casa\u2028");
  EXPECT_EQ(service->state().profiles[0].name, "Casa");
  EXPECT_EQ(ProfileStore::load(platform.defaults)[0].name, "Casa");
  EXPECT_EQ(service->state().activeProfileID, active) << "renaming does not activate";

  service->updateProfile(first, " \u00A0 ");
  EXPECT_EQ(service->state().error, "Enter a name for the profile.");
  service->setError(std::nullopt);
  service->updateProfile(profile("Apagado", "mic", "speakers"), "Outro");
  EXPECT_EQ(ServiceProbe::automationErrorKey(*service), "Informe um nome para o perfil.");
  EXPECT_EQ(ProfileStore::load(platform.defaults), service->state().profiles);
  EXPECT_EQ(service->state().profiles[0].name, "Casa");
  EXPECT_EQ(service->state().profiles.size(), 2u);
}

// The settings in memory, counting the writes of each key.
class CountingStore : public InMemoryDefaultsStore {
 public:
  void set(const std::string& key, DefaultsValue value) override {
    ++writes[key];
    InMemoryDefaultsStore::set(key, std::move(value));
  }
  std::map<std::string, int> writes;
};

TEST_F(ProfilesTest, NamesAndTheCountOfProfilesAreBounded) {
  auto service = make();
  const std::string longest(AudioService::maxProfileNameLength, 'a');
  // Characters, not bytes: 200 letters of two bytes each fit.
  std::string accented;
  for (std::size_t i = 0; i < AudioService::maxProfileNameLength; ++i)
    accented += "\u00E9";
  EXPECT_EQ(service->saveProfile("  " + longest + "\n"), ProfileOutcome::done);
  EXPECT_EQ(service->saveProfile(accented), ProfileOutcome::done);
  const auto saved = service->state().profiles;
  ASSERT_EQ(saved.size(), 3u);

  const struct {
    const char* proves;
    std::string name;
    const char* message;
  } refused[] = {
      {"one character too many", longest + "a", "Use at most 200 characters in the profile name."},
      {"a name of 8 MiB", std::string(8 << 20, 'x'),
       "Use at most 200 characters in the profile name."},
      {"bytes that are not UTF-8, which the settings file cannot hold", "Noite\xC0\xA0",
       "The profile name is not valid text."},
  };
  for (const auto& row : refused) {
    EXPECT_EQ(service->saveProfile(row.name), ProfileOutcome::overLimit) << row.proves;
    EXPECT_EQ(service->state().error, row.message) << row.proves;
    EXPECT_EQ(service->lastFailure().message, row.message) << row.proves;
    EXPECT_EQ(service->updateProfile(saved[0], row.name), ProfileOutcome::overLimit) << row.proves;
  }
  EXPECT_EQ(service->state().profiles, saved) << "nothing saved, nothing renamed";
  EXPECT_EQ(ProfileStore::load(platform.defaults), saved);

  while (service->state().profiles.size() < AudioService::maxProfiles)
    ASSERT_EQ(service->saveProfile("P"), ProfileOutcome::done);
  EXPECT_EQ(service->saveProfile("One more"), ProfileOutcome::overLimit);
  EXPECT_EQ(service->state().error,
            "Delete a profile before saving another: the limit is 200 profiles.");
  EXPECT_EQ(service->state().profiles.size(), AudioService::maxProfiles);
  EXPECT_EQ(ProfileStore::load(platform.defaults).size(), AudioService::maxProfiles);
  EXPECT_EQ(service->deleteProfile(saved[1]), ProfileOutcome::done);
  EXPECT_EQ(service->saveProfile("One more"), ProfileOutcome::done) << "room again";
}

TEST_F(ProfilesTest, ADragWritesTheProfilesAndTheMixOncePerIntervalAndTheLastStepAtQuit) {
  CountingStore store;
  ServicePorts ports{store, platform.main, platform.hal, platform.workers};
  auto service = AudioService::create(ports, {.startTimer = false});
  ASSERT_TRUE(service->saveProfile("Noite") == ProfileOutcome::done);
  store.writes.clear();
  const ActiveApp player{.id = "org.player", .name = "Player"};

  // One turn of the loop: a hundred steps of the volume and of an app's slider.
  for (int step = 1; step <= 100; ++step) {
    ASSERT_TRUE(service->setVolume(static_cast<float>(step) / 100.0f));
    service->setAppMix(player, static_cast<float>(step) / 200.0f, std::nullopt);
  }
  EXPECT_EQ(service->state().profiles[1].volume, 1.0f) << "the snapshot in memory is current";
  EXPECT_EQ(store.writes["profiles"], 1) << "the first step is written at once, no more";
  const int mixWrites = store.writes["appMix"];
  EXPECT_LE(mixWrites, 1);
  EXPECT_FLOAT_EQ(*ProfileStore::load(store)[1].volume, 0.01f);

  platform.main.advance(AudioService::settingsWriteInterval);
  EXPECT_EQ(store.writes["profiles"], 2) << "the rest at the end of the interval, together";
  EXPECT_EQ(store.writes["appMix"], mixWrites + 1);
  EXPECT_EQ(ProfileStore::load(store), service->state().profiles);
  EXPECT_EQ(AppMixStore::load(store), service->state().appSettings);

  // Nothing changed in the next interval: it closes, and the next change is
  // written at once.
  platform.main.advance(AudioService::settingsWriteInterval);
  ASSERT_TRUE(service->setVolume(0.4f));
  EXPECT_EQ(store.writes["profiles"], 3);
  EXPECT_FLOAT_EQ(*ProfileStore::load(store)[1].volume, 0.4f);

  // Quitting inside the interval writes the last step.
  ASSERT_TRUE(service->setVolume(0.3f));
  service->setAppMix(player, 0.9f, true);
  EXPECT_FLOAT_EQ(*ProfileStore::load(store)[1].volume, 0.4f);
  service.reset();
  EXPECT_FLOAT_EQ(*ProfileStore::load(store)[1].volume, 0.3f);
  EXPECT_TRUE(mixFor(AppMixStore::load(store), "org.player").muted());
}

}  // namespace
}  // namespace tavuno
