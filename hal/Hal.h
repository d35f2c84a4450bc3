#pragma once

#include <functional>

#include "hal/HalTypes.h"

namespace tavuno {

// Called with the addresses that changed. Delivered on the main queue.
using PropertyListener = std::function<void(std::uint32_t count, const PropertyAddress* addresses)>;
using ListenerToken = std::uint64_t;
// Told that a write which had succeeded did not reach the hardware after all.
using DeferredWriteFailureHandler =
    std::function<void(AudioObjectID object, const PropertyAddress& address, OSStatus status)>;

// The audio hardware's property operations, in the platform's shape: object
// ids, addresses, byte sizes and 32-bit statuses (0 = success). String
// properties carry UTF-8 bytes.
class Hal {
 public:
  virtual ~Hal() = default;

  virtual OSStatus getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                                       std::uint32_t& outSize) = 0;
  // `ioSize` is the capacity of `outData` on entry and the bytes written on
  // return.
  virtual OSStatus getPropertyData(AudioObjectID object, const PropertyAddress& address,
                                   std::uint32_t& ioSize, void* outData) = 0;
  // A success is visible at once: the next getPropertyData of that address on
  // the main thread returns the value written, even where the hardware
  // applies it later.
  virtual OSStatus setPropertyData(AudioObjectID object, const PropertyAddress& address,
                                   std::uint32_t size, const void* data) = 0;
  virtual bool hasProperty(AudioObjectID object, const PropertyAddress& address) = 0;
  virtual OSStatus isPropertySettable(AudioObjectID object, const PropertyAddress& address,
                                      bool& outSettable) = 0;
  // On success `outToken` names this registration; removal must give the same
  // object, address and token.
  virtual OSStatus addPropertyListener(AudioObjectID object, const PropertyAddress& address,
                                       PropertyListener listener, ListenerToken& outToken) = 0;
  virtual OSStatus removePropertyListener(AudioObjectID object, const PropertyAddress& address,
                                          ListenerToken token) = 0;

  // A Hal that applies writes after setPropertyData returned calls `handler`
  // on the main queue when one of them finally fails; by then reads give the
  // hardware's value again. An empty handler removes it. A Hal whose writes
  // are done when they return never calls it.
  virtual void setDeferredWriteFailureHandler(DeferredWriteFailureHandler /*handler*/) {}
};

}  // namespace tavuno
