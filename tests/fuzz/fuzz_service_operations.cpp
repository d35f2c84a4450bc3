// The service's operations on the simulated platform with any bytes as
// application ids, device UIDs, profile names and rule ids: nothing throws
// or crashes, and a service started afterwards over what was saved loads it.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/taps/StreamFormat.h"
#include "platform/sim/ManualSerialQueue.h"
#include "platform/sim/SimHal.h"
#include "platform/sim/SimIdentity.h"
#include "platform/sim/SimInputLevels.h"
#include "platform/sim/SimMainQueue.h"
#include "platform/sim/SimTapPlatform.h"
#include "service/AudioService.h"

namespace {

using namespace tavuno;

constexpr int maxSteps = 48;
constexpr std::size_t maxText = 24;

// Declared so that the service goes first and the simulated hardware last:
// queued jobs still hold sessions that talk to the taps when dropped.
struct World {
  SimMainQueue main;
  SimHal hal{main};
  SimInputLevels inputLevels{main, &hal};
  SimTapPlatform tap;
  SimIdentity identity;
  InMemoryDefaultsStore defaults;
  ManualSerialQueueFactory workers;

  std::shared_ptr<AudioService> start() {
    ServicePorts ports{defaults, main, hal, workers};
    ports.tap = &tap;
    ports.identity = &identity;
    ports.inputLevels = &inputLevels;
    ServiceOptions options;
    options.now = [] { return WallTime(std::chrono::hours(24 * 20000 + 7)); };
    options.calendar = [] { return Calendar(); };
    return AudioService::create(ports, std::move(options));
  }
};

class Driver {
 public:
  Driver(FuzzedDataProvider& input, World& world, AudioService& service)
      : in_(input), world_(world), service_(service) {}

  void step() {
    const auto& state = service_.state();
    switch (in_.ConsumeIntegralInRange<int>(0, 18)) {
      case 0:
        addDevice();
        break;
      case 1:
        if (auto id = device()) world_.hal.removeDevice(id);
        break;
      case 2:
        addApp();
        break;
      case 3: {
        const ActiveApp target = app();
        const float volume = number();
        service_.setAppMix(target, volume, in_.ConsumeBool());
        break;
      }
      case 4: {
        const ActiveApp target = app();
        service_.setAppOutput(target, in_.ConsumeBool() ? std::optional(text()) : std::nullopt);
        break;
      }
      case 5:
        switch (in_.ConsumeIntegralInRange<int>(0, 2)) {
          case 0:
            service_.startApp(app());
            break;
          case 1:
            service_.stopApp(text());
            break;
          default:
            service_.retryApp(app());
        }
        break;
      case 6: {
        const AudioObjectID id = device();
        service_.setDefault(id, in_.ConsumeBool());
        break;
      }
      case 7:
        if (in_.ConsumeBool())
          service_.setVolume(number());
        else
          service_.setMute(in_.ConsumeBool());
        break;
      case 8:
        switch (in_.ConsumeIntegralInRange<int>(0, 3)) {
          case 0:
            service_.setPreferredUID(text());
            break;
          case 1:
            service_.setPreferredInputUID(text());
            break;
          case 2:
            service_.setPreferredOutput(text());
            break;
          default:
            service_.setAutomatic(in_.ConsumeBool());
        }
        break;
      case 9:
        service_.saveProfile(text());
        break;
      case 10:
        // Copies, as a screen holds its own: the service replaces its list.
        if (auto profile = pick(state.profiles)) {
          const AudioProfile chosen = *profile;
          service_.updateProfile(chosen, text());
        }
        break;
      case 11:
        if (auto profile = pick(state.profiles)) {
          const AudioProfile chosen = *profile;
          if (in_.ConsumeBool())
            service_.applyProfile(chosen);
          else
            service_.deleteProfile(chosen);
        }
        break;
      case 12: {
        // Arguments are drawn in order, so that a seed means the same to
        // every compiler.
        const int kind = in_.ConsumeIntegralInRange<int>(0, 2);
        const std::string subject = text();
        const auto hour = in_.ConsumeIntegral<std::int64_t>();
        const auto minute = in_.ConsumeIntegral<std::int64_t>();
        const Uuid profile = profileID();
        if (kind == 0) service_.addRule(subject, profile);
        if (kind == 1) service_.addLaunchRule(subject, profile);
        if (kind == 2) service_.addScheduledRule(hour, minute, profile);
        break;
      }
      case 13:
        changeRule();
        break;
      case 14:
        service_.setAutomaticControl(in_.ConsumeBool());
        break;
      case 15:
        if (auto process = pick(processes_)) world_.hal.removeProcess(*process);
        break;
      case 16:
        failLater();
        break;
      case 17:
        meter();
        break;
      default:
        world_.workers.runAll();
        world_.main.advance(in_.ConsumeIntegralInRange<int>(0, 200) / 10.0);
    }
  }

 private:
  std::string text() { return in_.ConsumeRandomLengthString(maxText); }

  float number() {
    switch (in_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:
        return std::numeric_limits<float>::quiet_NaN();
      case 1:
        return -std::numeric_limits<float>::infinity();
      default:
        return in_.ConsumeFloatingPointInRange<float>(-2.0f, 2.0f);
    }
  }

  template <class T>
  const T* pick(const std::vector<T>& items) {
    if (items.empty()) return nullptr;
    return &items[in_.ConsumeIntegralInRange<std::size_t>(0, items.size() - 1)];
  }

  AudioObjectID device() {
    const auto ids = world_.hal.deviceIDs();
    if (ids.empty() || in_.ConsumeIntegralInRange<int>(0, 7) == 0)
      return in_.ConsumeIntegral<AudioObjectID>();
    return *pick(ids);
  }

  // The input meter: shown or hidden, tested, read, failing; at most one
  // stream is ever open, and only while the meter says it meters.
  void meter() {
    switch (in_.ConsumeIntegralInRange<int>(0, 4)) {
      case 0:
        service_.setInputMeterShown(in_.ConsumeBool());
        break;
      case 1:
        service_.setInputMeterTesting(in_.ConsumeBool());
        break;
      case 2:
        world_.inputLevels.failStreams(device());
        break;
      case 3:
        world_.inputLevels.failOpens(device(), in_.ConsumeIntegralInRange<int>(-1, 2));
        break;
      default:
        world_.inputLevels.setLevel(device(), number());
    }
    if (auto peak = service_.inputPeak(); peak && !(*peak >= 0 && *peak <= 1)) std::abort();
    const auto status = service_.state().inputMeter;
    const bool metering = status == InputMeterStatus::live || status == InputMeterStatus::testing;
    if (world_.inputLevels.openDevices().size() != (metering ? 1u : 0u)) std::abort();
  }

  void addDevice() {
    const std::uint32_t transports[] = {transport::builtIn, transport::usb, transport::bluetooth,
                                        transport::virtualDevice, transport::hdmi};
    SimDeviceSpec spec;
    spec.uid = text();
    spec.name = text();
    spec.transport = transports[in_.ConsumeIntegralInRange<std::size_t>(0, 4)];
    spec.inputStreams = in_.ConsumeBool();
    spec.outputStreams = in_.ConsumeBool();
    spec.masterVolume = SimControl{0.5f};
    spec.mute = SimControl{0};
    world_.hal.addDevice(spec);
    if (spec.outputStreams) world_.tap.addDevice({spec.uid, 48000, {floatFormat(48000, 2)}, {}});
  }

  void addApp() {
    const std::int32_t pid = nextPid_++;
    RunningApplication running{pid, std::nullopt, std::nullopt, text()};
    if (in_.ConsumeBool()) running.bundleIdentifier = text();
    world_.identity.addRunning(running);
    std::vector<AudioObjectID> outputs;
    if (in_.ConsumeBool()) outputs.push_back(device());
    processes_.push_back(world_.hal.addProcess({.pid = pid,
                                                .runningOutput = true,
                                                .runningInput = in_.ConsumeBool(),
                                                .outputDevices = outputs}));
  }

  ActiveApp app() {
    if (in_.ConsumeBool())
      if (auto found = pick(service_.state().activeApps)) return *found;
    return ActiveApp{text(), text(), {}};
  }

  Uuid id(const std::vector<Uuid>& known) {
    switch (in_.ConsumeIntegralInRange<int>(0, 2)) {
      case 0:
        if (auto found = pick(known)) return *found;
        return {};
      case 1:
        return Uuid::parse(text()).value_or(Uuid{});
      default: {
        std::array<std::uint8_t, 16> bytes{};
        for (auto& byte : bytes)
          byte = in_.ConsumeIntegral<std::uint8_t>();
        return Uuid(bytes);
      }
    }
  }

  Uuid profileID() {
    std::vector<Uuid> known;
    for (const auto& profile : service_.state().profiles)
      known.push_back(profile.id);
    return id(known);
  }

  template <class Rule>
  Uuid ruleID(const std::vector<Rule>& rules) {
    std::vector<Uuid> known;
    for (const auto& rule : rules)
      known.push_back(rule.id);
    return id(known);
  }

  void changeRule() {
    const auto& state = service_.state();
    const int operation = in_.ConsumeIntegralInRange<int>(0, 2);
    const std::int64_t offset = in_.ConsumeIntegral<std::int64_t>();
    switch (in_.ConsumeIntegralInRange<int>(0, 2)) {
      case 0: {
        const Uuid rule = ruleID(state.rules);
        if (operation == 0) service_.toggleRule(rule);
        if (operation == 1) service_.moveRule(rule, offset);
        if (operation == 2) service_.deleteRule(rule);
        break;
      }
      case 1: {
        const Uuid rule = ruleID(state.launchRules);
        if (operation == 0) service_.toggleLaunchRule(rule);
        if (operation == 1) service_.moveLaunchRule(rule, offset);
        if (operation == 2) service_.deleteLaunchRule(rule);
        break;
      }
      default: {
        const Uuid rule = ruleID(state.scheduledRules);
        if (operation == 0) service_.toggleScheduledRule(rule);
        if (operation == 1) service_.moveScheduledRule(rule, offset);
        if (operation == 2) service_.deleteScheduledRule(rule);
      }
    }
  }

  // A write the hardware refuses after it had been taken.
  void failLater() {
    const std::uint32_t selectors[] = {selector::defaultInputDevice, selector::defaultOutputDevice,
                                       selector::volumeScalar, selector::mute, selector::devices};
    const PropertyAddress address{selectors[in_.ConsumeIntegralInRange<std::size_t>(0, 4)],
                                  in_.ConsumeBool() ? scope::output : scope::global,
                                  in_.ConsumeIntegralInRange<std::uint32_t>(0, 2)};
    const AudioObjectID object = device();
    world_.hal.failDeferredWrite(object, address, in_.ConsumeIntegral<OSStatus>());
  }

  FuzzedDataProvider& in_;
  World& world_;
  AudioService& service_;
  std::vector<AudioObjectID> processes_;
  std::int32_t nextPid_ = 100;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  World world;
  world.hal.setDefaultOutput(world.hal.addDevice({.uid = "speakers",
                                                  .transport = tavuno::transport::builtIn,
                                                  .outputStreams = 1,
                                                  .masterVolume = tavuno::SimControl{0.5f},
                                                  .mute = tavuno::SimControl{0}}));
  world.tap.addDevice({"speakers", 48000, {tavuno::floatFormat(48000, 2)}, {}});

  auto service = world.start();
  Driver driver(input, world, *service);
  for (int step = 0; step < maxSteps && input.remaining_bytes() > 0; ++step)
    driver.step();
  world.workers.runAll();
  world.main.advance(20);

  // What was saved loads again.
  service.reset();
  world.workers.runAll();
  auto restarted = world.start();
  world.workers.runAll();
  world.main.advance(5);
  restarted.reset();
  world.workers.runAll();
  return 0;
}
