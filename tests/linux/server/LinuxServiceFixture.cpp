#include "linux/server/LinuxServiceFixture.h"

#include <cstdlib>

namespace tavuno::test {

namespace {

class AudioServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    server_ = std::make_unique<AudioStack>();
    if (auto failure = server_->start()) {
      failure_ = *failure;
      server_.reset();
    }
  }
  void TearDown() override { server_.reset(); }

  static inline std::unique_ptr<AudioStack> server_;
  static inline std::string failure_;
};

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new AudioServerEnvironment);

}  // namespace

AudioStack* audioServer() {
  return AudioServerEnvironment::server_.get();
}

const std::string& audioServerFailure() {
  return AudioServerEnvironment::failure_;
}

bool audioServerRequired() {
  const char* value = std::getenv("TAVUNO_REQUIRE_AUDIO_SERVER");
  return value && std::string(value) == "1";
}

void LinuxServiceTest::SetUp() {
  TAVUNO_REQUIRE_AUDIO_SERVER();
  backEnd = std::make_unique<LinuxBackEnd>(
      main, LinuxBackEndOptions{
                .server = server().pulseServer(), .syncTimeout = 10, .silentServerTimeout = 10});
  ASSERT_TRUE(backEnd->synced()) << "the mirror did not sync within 10 s";
  mirror = &backEnd->mirror();
  hal = &backEnd->hal();
  notifications = std::make_shared<FakeAudioNotifications>(main);
}

void LinuxServiceTest::makeService(bool startTimer) {
  ServiceOptions options;
  options.startTimer = startTimer;
  options.notifications = notifications;
  ServicePorts ports{defaults, main, *hal, workers};
  ports.inputLevels = &backEnd->inputLevels();
  service = AudioService::create(ports, std::move(options));
}

void LinuxServiceTest::TearDown() {
  service.reset();
  hal = nullptr;
  mirror = nullptr;
  backEnd.reset();
  if (AudioStack* stack = audioServer()) {
    stack->stopPlayers();
    for (const char* sink :
         {AudioStack::hdmi, AudioStack::speakers, AudioStack::usbDac, AudioStack::headset}) {
      stack->pactl({"set-sink-volume", sink, "100%"});
      stack->pactl({"set-sink-mute", sink, "0"});
    }
    stack->pactl({"set-source-volume", AudioStack::headsetMic, "100%"});
    stack->pactl({"set-source-mute", AudioStack::headsetMic, "0"});
    stack->pactl({"set-default-sink", AudioStack::speakers});
    stack->pactl({"set-default-source", AudioStack::headsetMic});
  }
}

bool LinuxServiceTest::pumpUntil(const std::function<bool()>& condition, double seconds) {
  const double deadline = main.uptime() + seconds;
  for (;;) {
    if (condition()) return true;
    if (main.uptime() >= deadline) return false;
    pump(0.01);
  }
}

void LinuxServiceTest::pump(double seconds) {
  main.postAfter(seconds, [this] { main.stop(); });
  main.run();
}

AudioObjectID LinuxServiceTest::idOf(const std::string& uid) const {
  for (const auto& device : service->state().devices)
    if (device.uid == uid) return device.id;
  return 0;
}

std::string LinuxServiceTest::defaultSinkOnServer() {
  const std::string info = server().pactl({"info"}).value_or("");
  const std::string mark = "Default Sink: ";
  const auto at = info.find(mark);
  if (at == std::string::npos) return {};
  return info.substr(at + mark.size(), info.find('\n', at) - at - mark.size());
}

}  // namespace tavuno::test
