#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/linux/ProcessLookup.h"
#include "platform/linux/ServerWriter.h"
#include "platform/linux/SnapshotHub.h"

struct pa_context;

namespace tavuno {

// One client of the audio server's pulse protocol (a real PulseAudio, or
// PipeWire through pipewire-pulse) on its own thread, keeping a copy of the
// server's devices, streams, clients and cards. On connection it subscribes
// first and then lists everything, so nothing created in between is missed;
// after each change it publishes an immutable snapshot to its hub. A lost
// connection is retried with backoff (0.1 s doubling to 2 s); for the grace
// period the last snapshot stays, and a new connection is published once it
// holds every device the old one had (a restarted server keeps every id and
// announces no device change), else when the grace period ends; a server
// still gone then is published as an empty, unconnected system.
//
// Nothing here waits on the server: the writes are queued to the mirror's
// thread and answered through their callbacks.
class PulseMirror : public ServerWriter {
 public:
  struct Options {
    std::string server;  // empty: the server libpulse finds by itself
    double gracePeriod = 3.0;
    ProcessLookup processes = procProcessLookup();
  };

  explicit PulseMirror(Options options);
  PulseMirror();
  ~PulseMirror() override;

  PulseMirror(const PulseMirror&) = delete;
  PulseMirror& operator=(const PulseMirror&) = delete;

  // Starts the thread and the first connection attempt.
  void start();
  // Disconnects and joins the thread; writes then fail at once.
  void stop();

  SnapshotHub& hub() { return hub_; }
  // Blocks the caller until a connected snapshot is published or `seconds`
  // pass (at start-up, so the first refresh sees the devices); gives up
  // after `silence` when the server has not answered at all by then (a
  // stopped or hung server accepts the connection and never replies).
  bool waitForSync(double seconds, double silence);
  bool waitForSync(double seconds) { return waitForSync(seconds, seconds); }

  // How many times a connection became ready, and the mirror thread's id:
  // for tests and diagnostics.
  std::uint64_t connections() const;
  pid_t threadId() const;

  void setSinkVolume(const std::string& sink, std::vector<std::uint32_t> volume,
                     Done done) override;
  void setSinkMute(const std::string& sink, bool mute, Done done) override;
  void setSourceVolume(const std::string& source, std::vector<std::uint32_t> volume,
                       Done done) override;
  void setSourceMute(const std::string& source, bool mute, Done done) override;
  void setDefaultSink(const std::string& sink, Done done) override;
  void setDefaultSource(const std::string& source, Done done) override;

  // Runs `work` on the mirror's thread, for streams that share its
  // connection (the input meter): with the context while connected, else
  // null. Once the thread has stopped, it runs on the caller's thread with
  // `loopAlive` false, when nothing of libpulse may be touched any more.
  // Returns at once.
  void onLoop(std::function<void(bool loopAlive, pa_context* ready)> work);

 private:
  struct Impl;
  SnapshotHub hub_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavuno
