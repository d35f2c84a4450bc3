#pragma once

#include <memory>

#include "hal/HalTypes.h"

namespace tavuno {

// One input device being metered: open while a screen shows its level,
// closed by destroying it. Closing returns at once; whatever the platform
// still has to tear down happens on its own thread.
class InputLevelStream {
 public:
  enum class State { opening, running, failed };

  virtual ~InputLevelStream() = default;
  // The linear peak (0...1) of the latest block the device delivered; 0
  // while opening. Any thread, lock-free: one atomic read.
  virtual float peak() const = 0;
  // Once failed (the device went away, the server refused the stream, the
  // connection was lost), a stream stays failed and delivers nothing more.
  virtual State state() const = 0;
};

// Meters the level of an input device, at a low rate (about 25 peaks a
// second), without recording its audio. Main thread only; never waits on
// the audio server.
class InputLevelPort {
 public:
  virtual ~InputLevelPort() = default;
  // Starts metering `device`; nothing when it cannot even begin (an unknown
  // device, no server). A stream that begins may still fail later.
  virtual std::unique_ptr<InputLevelStream> open(AudioObjectID device) = 0;
};

}  // namespace tavuno
