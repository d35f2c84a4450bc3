// The service on the real platform: devices, defaults, volume and mute,
// listeners and automatic switching against a private audio server.
#include <cmath>
#include <functional>
#include <optional>

#include "devices/HeadsetPair.h"
#include "linux/server/LinuxServiceFixture.h"
#include "platform/linux/Transport.h"
#include "support/ServiceProbe.h"

namespace tavuno::test {
namespace {

using Server = AudioStack;

// A 440 Hz tone at RMS 0.3536 (peak 0.5) heard at the server's volume v: ×v³.
constexpr double toneRMS = 0.3536;

// A microphone that hears the USB DAC (a remap of its monitor) while the
// tone plays there, gone again with this whatever the test did: the later
// tests count the devices. Its UID is its source name.
class DacMicrophone {
 public:
  static constexpr const char* name = "tavuno_test_mic";

  explicit DacMicrophone(AudioStack& server) : server_(server) {
    const auto module =
        server.pactl({"load-module", "module-remap-source", std::string("source_name=") + name,
                      std::string("master=") + Server::usbDac + ".monitor",
                      "source_properties=device.description=TestMic"});
    if (module) module_ = static_cast<std::uint32_t>(std::stoul(*module));
    playing_ = module_ && server.play("org.example.Talk", "Talk", Server::usbDac);
  }
  ~DacMicrophone() {
    if (module_) server_.unloadModule(*module_);
  }
  bool hearsTheTone() const { return playing_; }

 private:
  AudioStack& server_;
  std::optional<std::uint32_t> module_;
  bool playing_ = false;
};

TEST_F(LinuxServiceTest, DevicesCarryTheirTransportsAndTheHeadsetPairs) {
  makeService();
  const auto& devices = service->state().devices;
  std::map<std::string, AudioDevice> byUid;
  for (const auto& device : devices)
    byUid[device.uid] = device;
  ASSERT_EQ(byUid.size(), 5u) << "monitors, the placeholder and the mic's feed are not devices";
  EXPECT_EQ(byUid.at(Server::hdmi).transport, transport::hdmi);
  EXPECT_FALSE(byUid.at(Server::hdmi).builtIn);
  EXPECT_TRUE(byUid.at(Server::speakers).builtIn);
  EXPECT_EQ(byUid.at(Server::usbDac).transport, transport::usb);
  const AudioDevice& headset = byUid.at("bluez:00:11:22:33:44:55:output");
  const AudioDevice& mic = byUid.at("bluez:00:11:22:33:44:55:input");
  EXPECT_EQ(headset.transport, transport::bluetooth);
  EXPECT_TRUE(mic.input && !mic.output);
  EXPECT_EQ(HeadsetPair::inputUID(headset, devices), mic.uid);
  EXPECT_EQ(service->state().defaultOutput, byUid.at(Server::speakers).id);
  EXPECT_EQ(service->state().defaultInput, mic.id);
  EXPECT_EQ(headset.name, "BT Headset");
}

TEST_F(LinuxServiceTest, ANewDefaultReadsBackAtOnceAndReachesTheServer) {
  makeService();
  const AudioObjectID usb = idOf(Server::usbDac);
  ASSERT_TRUE(service->setDefault(usb, false));
  EXPECT_EQ(service->state().defaultOutput, usb) << "read back in the same turn";
  EXPECT_TRUE(pumpUntil([&] { return defaultSinkOnServer() == Server::usbDac; }, 10.0));
  // The server may show the new default a turn before the mirror confirms the write.
  EXPECT_TRUE(pumpUntil([&] { return hal->pendingWrites() == 0; }, 10.0));
}

TEST_F(LinuxServiceTest, VolumeAndMuteAreHeardOnTheServersScale) {
  makeService();
  ASSERT_TRUE(server().play("org.example.App", "App"));
  ASSERT_TRUE(service->setVolume(0.5f));
  EXPECT_FLOAT_EQ(service->state().volume, 0.5f);
  pumpUntil([&] { return hal->pendingWrites() == 0; }, 10.0);
  auto heard = server().rms(Server::speakers);
  ASSERT_TRUE(heard);
  EXPECT_NEAR(*heard, toneRMS * 0.125, 0.01);

  ASSERT_TRUE(service->setMute(true));
  pumpUntil([&] { return hal->pendingWrites() == 0; }, 10.0);
  heard = server().rms(Server::speakers);
  ASSERT_TRUE(heard);
  EXPECT_LT(*heard, 0.001);
}

TEST_F(LinuxServiceTest, BalanceIsKeptThroughZeroOnUnequalChannels) {
  makeService();
  server().pactl({"set-sink-volume", Server::speakers, "100%", "50%"});
  ASSERT_TRUE(pumpUntil(
      [&] {
        return ServiceProbe::channelVolumes(*service) == std::vector<float>{1.0f, 0.5f};
      },
      10.0));
  ASSERT_TRUE(service->setVolume(0.0f));
  ASSERT_TRUE(service->setVolume(0.6f));
  EXPECT_TRUE(pumpUntil(
      [&] {
        const std::string sink = server().pactl({"get-sink-volume", Server::speakers}).value_or("");
        return sink.find("60%") != std::string::npos && sink.find("30%") != std::string::npos;
      },
      10.0));
}

TEST_F(LinuxServiceTest, AnOutsideChangeReachesTheServiceThroughItsListener) {
  makeService(/*startTimer=*/false);
  const std::uint64_t refreshes = ServiceProbe::refreshCount(*service);
  server().pactl({"set-sink-volume", Server::speakers, "30%"});
  EXPECT_TRUE(pumpUntil([&] { return std::fabs(service->state().volume - 0.3f) < 0.01f; }, 10.0));
  EXPECT_GT(ServiceProbe::refreshCount(*service), refreshes);
  server().pactl({"set-sink-mute", Server::speakers, "1"});
  EXPECT_TRUE(pumpUntil([&] { return service->state().muted; }, 10.0));
}

// The microphone's level and mute are the server's, both ways, and a muted one records silence.
TEST_F(LinuxServiceTest, TheMicrophonesVolumeAndMuteAreTheServersAndHeardInARecording) {
  makeService(/*startTimer=*/false);
  ASSERT_TRUE(service->state().inputVolumeAvailable);
  ASSERT_TRUE(service->state().inputMuteAvailable);
  auto sourceVolume = [&](const char* source) {
    return server().pactl({"get-source-volume", source}).value_or("");
  };
  ASSERT_TRUE(service->setInputVolume(0.5f));
  EXPECT_FLOAT_EQ(service->state().inputVolume, 0.5f) << "read back in the same turn";
  EXPECT_TRUE(pumpUntil(
      [&] { return sourceVolume(Server::headsetMic).find("50%") != std::string::npos; }, 10.0));
  EXPECT_NE(server().pactl({"get-sink-volume", Server::speakers}).value_or("").find("100%"),
            std::string::npos)
      << "the output is untouched";
  server().pactl({"set-source-volume", Server::headsetMic, "30%"});
  EXPECT_TRUE(
      pumpUntil([&] { return std::fabs(service->state().inputVolume - 0.3f) < 0.01f; }, 10.0));
  server().pactl({"set-source-mute", Server::headsetMic, "1"});
  EXPECT_TRUE(pumpUntil([&] { return service->state().inputMuted; }, 10.0));
  EXPECT_FALSE(service->state().muted);

  // A microphone that hears the USB DAC: the tone, then silence once muted.
  const char* mic = DacMicrophone::name;
  DacMicrophone microphone(server());
  ASSERT_TRUE(microphone.hearsTheTone());
  ASSERT_TRUE(pumpUntil([&] { return idOf(mic) != 0; }, 10.0));
  ASSERT_TRUE(service->setDefault(idOf(mic), true));
  ASSERT_TRUE(pumpUntil([&] { return service->state().inputMuteAvailable; }, 10.0));
  ASSERT_TRUE(service->setInputVolume(1.0f));
  ASSERT_TRUE(service->setInputMute(false));
  pumpUntil([&] { return hal->pendingWrites() == 0; }, 10.0);
  auto heard = server().sourceLevel(mic);
  ASSERT_TRUE(heard.recorded);
  EXPECT_GT(heard.rms, toneRMS * 0.5);
  ASSERT_TRUE(service->setInputMute(true));
  pumpUntil([&] { return hal->pendingWrites() == 0; }, 10.0);
  heard = server().sourceLevel(mic);
  ASSERT_TRUE(heard.recorded);
  EXPECT_LT(heard.rms, 0.001);
}

// The input meter on the server: the Bluetooth microphone is left alone
// until tested; a microphone that hears a tone shows it, a muted one
// nothing; the recording stream exists only while the meter is shown.
TEST_F(LinuxServiceTest, TheInputMeterHearsTheMicrophoneOnlyWhileShownAndAsked) {
  makeService(/*startTimer=*/false);
  auto meterStreams = [&] {
    const std::string list = server().pactl({"list", "source-outputs"}).value_or("");
    std::size_t count = 0;
    for (auto at = list.find("Tavuno input level"); at != std::string::npos;
         at = list.find("Tavuno input level", at + 1))
      ++count;
    return count;
  };
  // Peaks read at the meters' pace, until one shows what is wanted.
  auto peakUntil = [&](const std::function<bool(float)>& wanted) {
    return pumpUntil([&] { return wanted(service->inputPeak().value_or(-1)); }, 10.0);
  };

  // The stack's default input is the headset's microphone.
  service->setInputMeterShown(true);
  EXPECT_EQ(service->state().inputMeter, InputMeterStatus::awaitingTest);
  pump(0.3);
  EXPECT_EQ(meterStreams(), 0u) << "a Bluetooth microphone is not recorded unasked";
  service->setInputMeterTesting(true);
  EXPECT_EQ(service->state().inputMeter, InputMeterStatus::testing);
  EXPECT_TRUE(pumpUntil([&] { return meterStreams() == 1; }, 10.0));
  service->setInputMeterTesting(false);
  EXPECT_TRUE(pumpUntil([&] { return meterStreams() == 0; }, 10.0));

  DacMicrophone microphone(server());
  ASSERT_TRUE(microphone.hearsTheTone());
  ASSERT_TRUE(pumpUntil([&] { return idOf(DacMicrophone::name) != 0; }, 10.0));
  ASSERT_TRUE(service->setDefault(idOf(DacMicrophone::name), true));
  EXPECT_EQ(service->state().inputMeter, InputMeterStatus::live) << "follows the new default";
  // The server may restore what an earlier test left on a source of this name.
  ASSERT_TRUE(pumpUntil([&] { return service->state().inputMuteAvailable; }, 10.0));
  ASSERT_TRUE(service->setInputVolume(1.0f));
  ASSERT_TRUE(service->setInputMute(false));
  EXPECT_TRUE(peakUntil([](float peak) { return peak > 0.3f; })) << "the tone's 0.5 peak";
  EXPECT_EQ(meterStreams(), 1u);

  ASSERT_TRUE(service->setInputMute(true));
  EXPECT_TRUE(peakUntil([](float peak) { return peak >= 0 && peak < 0.01f; }))
      << "a muted microphone shows nothing";
  ASSERT_TRUE(service->setInputMute(false));
  EXPECT_TRUE(peakUntil([](float peak) { return peak > 0.3f; }));
  server().stopPlayers();
  EXPECT_TRUE(peakUntil([](float peak) { return peak >= 0 && peak < 0.01f; })) << "silence";

  service->setInputMeterShown(false);
  EXPECT_EQ(service->inputPeak(), std::nullopt);
  EXPECT_TRUE(pumpUntil([&] { return meterStreams() == 0; }, 10.0)) << "closed when hidden";
  EXPECT_EQ(service->state().inputMeter, InputMeterStatus::off);
}

TEST_F(LinuxServiceTest, APluggedPreferredDeviceIsChosenAndTheBuiltInOneWhenItGoes) {
  makeService();
  service->setAutomatic(true);
  service->setPreferredOutput("plugged_dac");
  pump(AudioService::policyDelay + 0.2);

  auto module = server().loadNullSink(
      "plugged_dac", "device.description='Plugged DAC' device.bus=usb device.api=alsa");
  ASSERT_TRUE(module);
  EXPECT_TRUE(pumpUntil([&] { return defaultSinkOnServer() == "plugged_dac"; },
                        AudioService::policyDelay + 10.0));
  EXPECT_EQ(service->state().defaultOutput, idOf("plugged_dac"));

  // Gone: back to the built-in speakers, never to the HDMI output listed
  // before them.
  ASSERT_TRUE(server().unloadModule(*module));
  EXPECT_TRUE(pumpUntil([&] { return defaultSinkOnServer() == Server::speakers; },
                        AudioService::policyDelay + 10.0));
  pump(0.5);
  EXPECT_EQ(defaultSinkOnServer(), Server::speakers);
}

}  // namespace
}  // namespace tavuno::test
