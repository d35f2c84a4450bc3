// tavuno-headless: the service on the Linux audio server without a screen.
// It prints every change of the state a screen would show and takes a few
// commands on standard input, so the platform can be exercised before (and
// without) the desktop front end.
#include <pthread.h>
#include <signal.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "control/CommandLine.h"
#include "control/ControlCommands.h"
#include "platform/linux/LinuxBackEnd.h"
#include "platform/linux/Transport.h"
#include "platform/std/FileDefaultsStore.h"
#include "platform/std/ThreadMainQueue.h"
#include "service/AudioService.h"

namespace tavuno {
namespace {

const char* usage =
    "usage: tavuno-headless [--server ADDRESS] [--settings FILE] [--seconds N]\n"
    "  --server ADDRESS  the audio server (default: the session's own, as pactl finds it)\n"
    "  --settings FILE   keep settings in FILE (default: in memory only, so nothing you\n"
    "                    saved with Tavuno is touched)\n"
    "  --seconds N       quit after N seconds (default: until Ctrl+C or 'quit')\n"
    "commands on standard input: those of tavuno (tavuno --help), and refresh\n"
    "  (reads the server again now); a name with spaces goes in double quotes\n";

struct Arguments {
  std::string server;
  std::string settings;
  std::optional<double> seconds;
};

std::optional<Arguments> parse(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const bool hasValue = i + 1 < argc;
    if (flag == "--server" && hasValue) {
      arguments.server = argv[++i];
    } else if (flag == "--settings" && hasValue) {
      arguments.settings = argv[++i];
    } else if (flag == "--seconds" && hasValue) {
      try {
        arguments.seconds = std::stod(argv[++i]);
      } catch (...) {
        return std::nullopt;
      }
    } else {
      return std::nullopt;
    }
  }
  return arguments;
}

std::string transportName(std::uint32_t code) {
  if (code == 0) return "unknown";
  if (code == transport::hdmi) return "hdmi";
  if (code == transport::builtIn) return "built-in";
  if (code == transport::bluetooth) return "bluetooth";
  if (code == transport::usb) return "usb";
  if (code == transport::virtualDevice) return "virtual";
  return fourCCText(code);
}

// Notifications on the terminal; permission is always granted.
class PrintedNotifications : public AudioNotificationManaging {
 public:
  explicit PrintedNotifications(MainQueue& main) : main_(main) {}
  void requestPermission(std::function<void(bool)> completion) override {
    main_.post([completion = std::move(completion)] { completion(true); });
  }
  void post(const std::string& body) override { std::printf("notification: %s\n", body.c_str()); }

 private:
  MainQueue& main_;
};

class Printer {
 public:
  explicit Printer(const AudioService& service) : service_(service) {}

  void print(ServiceField field) const {
    const ServiceState& state = service_.state();
    switch (field) {
      case ServiceField::devices:
        std::printf("devices:\n");
        for (const auto& device : state.devices)
          std::printf("  %u %-9s %s%s %s \"%s\"\n", device.id,
                      transportName(device.transport).c_str(), device.input ? "in" : "  ",
                      device.output ? "out" : "   ", device.uid.c_str(), device.name.c_str());
        break;
      case ServiceField::defaultOutput:
        std::printf("default output: %s\n", describe(state.defaultOutput).c_str());
        break;
      case ServiceField::defaultInput:
        std::printf("default input: %s\n", describe(state.defaultInput).c_str());
        break;
      case ServiceField::volume:
        std::printf("volume: %.2f\n", static_cast<double>(state.volume));
        break;
      case ServiceField::volumeAvailable:
        std::printf("volume control: %s\n", state.volumeAvailable ? "yes" : "no");
        break;
      case ServiceField::muted:
        std::printf("muted: %s\n", state.muted ? "yes" : "no");
        break;
      case ServiceField::inputVolume:
        std::printf("input volume: %.2f\n", static_cast<double>(state.inputVolume));
        break;
      case ServiceField::inputMuted:
        std::printf("input muted: %s\n", state.inputMuted ? "yes" : "no");
        break;
      case ServiceField::error:
        std::printf("error: %s\n", state.error ? state.error->c_str() : "(none)");
        break;
      case ServiceField::runningApps:
        std::printf("running:\n");
        for (const auto& app : state.runningApps)
          std::printf("  %s \"%s\"\n", app.id.c_str(), app.name.c_str());
        break;
      case ServiceField::activeApps:
        std::printf("playing:\n");
        for (const auto& app : state.activeApps)
          std::printf("  %s \"%s\"\n", app.id.c_str(), app.name.c_str());
        break;
      case ServiceField::controlledApps:
        std::printf("controlled:");
        for (const auto& id : state.controlledApps)
          std::printf(" %s", id.c_str());
        std::printf("\n");
        break;
      case ServiceField::quarantinedApps:
        std::printf("quarantined:");
        for (const auto& id : state.quarantinedApps)
          std::printf(" %s", id.c_str());
        std::printf("\n");
        break;
      case ServiceField::preferredUID:
        std::printf("preferred output: %s\n", state.preferredUID.c_str());
        break;
      case ServiceField::automatic:
        std::printf("automatic switching: %s\n", state.automatic ? "on" : "off");
        break;
      default:
        return;
    }
    std::fflush(stdout);
  }

 private:
  std::string describe(AudioObjectID id) const {
    for (const auto& device : service_.state().devices)
      if (device.id == id) return std::to_string(id) + " " + device.uid;
    return std::to_string(id);
  }
  const AudioService& service_;
};

// The words of one line: white space separates them, double quotes keep a
// name with spaces together ("profile apply \"Late night\"").
std::vector<std::string> wordsOf(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, inWord = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && std::isspace(static_cast<unsigned char>(c))) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

// One command line, on the main thread: the commands of `tavuno`, and
// `refresh`, which reads the server again at once. False after quit.
bool run(AudioService& service, control::ControlCommands& commands, const std::string& line) {
  const std::vector<std::string> words = wordsOf(line);
  if (words.empty()) return true;
  if (words.size() == 1 && words[0] == "refresh") {
    service.refresh();
    return true;
  }
  const auto parsed = control::parseCommand(words);
  if (!parsed.request) {
    std::printf("%s\n%s", parsed.error.c_str(), usage);
  } else if (parsed.request->command == control::Command::quit) {
    return false;
  } else {
    const auto result = commands.run(*parsed.request);
    if (result.ok())
      std::printf("%s", control::commandOutput(*parsed.request, result.value).c_str());
    else
      std::printf("failed: %s\n", result.message.c_str());
  }
  std::fflush(stdout);
  return true;
}

int headless(int argc, char** argv) {
  auto arguments = parse(argc, argv);
  if (!arguments) {
    std::fprintf(stderr, "%s", usage);
    return 2;
  }
  // Ctrl+C and SIGTERM are taken by one thread (below); block them in every
  // thread this program starts.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  ThreadMainQueue main;
  std::unique_ptr<DefaultsStore> defaults;
  if (arguments->settings.empty())
    defaults = std::make_unique<InMemoryDefaultsStore>();
  else
    defaults = std::make_unique<FileDefaultsStore>(arguments->settings);

  // What a killed Tavuno left steered is put back before any session starts, off this
  // thread as in the app: a server that does not answer must not hold up the commands.
  LinuxBackEnd backEnd(
      main, {.server = arguments->server,
             .silentServerTimeout = 2.0,
             .appSessions = true,
             .swept = [](int restored) {
               if (restored)
                 std::printf("put back %d stream(s) a previous Tavuno left steered\n", restored);
             }});
  if (!backEnd.synced()) std::printf("no audio server answered yet; carrying on and retrying\n");
  if (!backEnd.sessions()->controlsApps())
    std::printf("another Tavuno controls the apps; showing the devices only\n");

  ServiceOptions options;
  options.notifications = std::make_shared<PrintedNotifications>(main);
  options.makeSession = backEnd.sessions()->factory();
  std::shared_ptr<AudioService> service =
      AudioService::create({.defaults = *defaults,
                            .main = main,
                            .hal = backEnd.hal(),
                            .workers = backEnd.workers(),
                            // Sessions need a server to talk to; asked again at every refresh.
                            .perAppAudioSupported = backEnd.serverConnected(),
                            .identity = &backEnd.identity()},
                           std::move(options));
  Printer printer(*service);
  for (ServiceField field :
       {ServiceField::devices, ServiceField::defaultOutput, ServiceField::defaultInput,
        ServiceField::volume, ServiceField::muted, ServiceField::error})
    printer.print(field);
  auto subscription = service->observe([&printer](ServiceField field) { printer.print(field); });
  service->setNotificationsEnabled(true);

  if (arguments->seconds) main.postAfter(*arguments->seconds, [&main] { main.stop(); });
  std::thread signals([&main, stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    main.stop();
  });
  signals.detach();
  // Standard input is read on its own thread; each line runs on the main one.
  control::ControlCommands commands(service);
  std::thread input([&main, &service, &commands] {
    std::string line;
    while (std::getline(std::cin, line)) {
      bool keepGoing = true;
      main.sync([&] {
        if (service) keepGoing = run(*service, commands, line);
      });
      if (!keepGoing) {
        main.stop();
        break;
      }
    }
  });
  input.detach();

  main.run();
  // Nothing queued runs from here on, and the workers are let go.
  main.close();
  subscription.reset();
  service.reset();
  return 0;
}

}  // namespace
}  // namespace tavuno

int main(int argc, char** argv) {
  return tavuno::headless(argc, argv);
}
