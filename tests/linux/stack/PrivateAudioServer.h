#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/Deadline.h"

namespace tavuno::test {

// A private desktop audio stack for end-to-end tests and benchmarks: a
// session bus, PipeWire, WirePlumber and pipewire-pulse in a temporary
// XDG_RUNTIME_DIR / XDG_STATE_HOME / XDG_CONFIG_HOME (exported to this
// process, so libpulse finds it), with virtual devices that look like an
// HDMI output, built-in speakers, a USB DAC and a Bluetooth headset with its
// microphone. No sound card is needed. Everything it starts is stopped by
// stop() or the destructor, and dies with this process if it crashes.
class PrivateAudioServer {
 public:
  struct Device {
    std::string name;  // the node name
    bool output = true;
  };
  static const std::vector<Device>& standardDevices();
  static constexpr const char* hdmi = "alsa_output.pci-0000_00_1f.3.hdmi-stereo";
  static constexpr const char* speakers = "builtin_speakers";
  static constexpr const char* usbDac = "usb_dac";
  static constexpr const char* headset = "bluez_output.00_11_22_33_44_55.1";
  static constexpr const char* headsetMic = "bluez_input.00_11_22_33_44_55.0";

  PrivateAudioServer() = default;
  ~PrivateAudioServer();
  PrivateAudioServer(const PrivateAudioServer&) = delete;
  PrivateAudioServer& operator=(const PrivateAudioServer&) = delete;

  // Starts the stack and its devices; on failure says why (a missing
  // program, a server that did not answer) and leaves nothing running.
  std::optional<std::string> start();
  // Kills the three audio processes, starts them again and re-creates the
  // devices (the session bus stays).
  std::optional<std::string> restart();
  // The two halves of restart(), for a test that needs the server gone for
  // a while.
  void stopAudioServer();
  std::optional<std::string> startAudioServer();
  bool audioServerRunning() const { return pipewirePulse_ != 0; }
  void stop();
  bool running() const { return !root_.empty(); }
  // The pulse socket, as libpulse names a server.
  std::string pulseServer() const;
  std::string root() const { return root_; }
  pid_t pipewirePulsePid() const { return pipewirePulse_; }
  pid_t pipewirePid() const { return pipewire_; }

  // Runs pactl with `arguments`; its standard output, or nothing when it
  // failed or took longer than 15 s.
  std::optional<std::string> pactl(const std::vector<std::string>& arguments);
  // Loads a null sink with the given node name and properties ("key=value"
  // words, values quoted as pactl wants); the module index.
  std::optional<std::uint32_t> loadNullSink(const std::string& name,
                                            const std::string& properties = "");
  bool unloadModule(std::uint32_t module);

  // Starts a 60 s, 440 Hz tone (RMS 0.3536) as an application with the given
  // application.id and client name, on `sink` or the default; its pid once
  // its stream exists on the server.
  std::optional<pid_t> play(const std::string& appId, const std::string& clientName,
                            const std::string& sink = "");
  void stopPlayer(pid_t pid);
  void stopPlayers();
  // RMS of what a sink plays, recorded from its monitor for `seconds` (the
  // first 0.1 s dropped); nothing when recording failed.
  std::optional<double> rms(const std::string& sink, double seconds = 0.5);

 private:
  std::optional<std::string> startAudio();
  std::optional<std::string> createDevices();
  std::optional<std::string> runDevicesOnce();
  void stopAudio();
  pid_t spawn(const std::vector<std::string>& argv, const std::string& log,
              const std::vector<std::string>& environment = {});

  std::string root_;
  pid_t bus_ = 0, pipewire_ = 0, wireplumber_ = 0, pipewirePulse_ = 0;
  std::vector<pid_t> players_;
  std::string tone_;
};

}  // namespace tavuno::test
