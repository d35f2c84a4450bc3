#pragma once

#include <string>
#include <unordered_map>

#include "hal/HalTypes.h"

namespace tavuno {

// Tavuno's object ids, keyed by what an object is rather than by the server's
// index: "out:<uid>", "in:<uid>", "stream:out:<uid>", "proc:<pid>:<start>".
// Ids start at 100 and are never reused while the program runs, so a server
// restart (new indices) keeps every id and a recycled pid gets a new one.
// Used on the mirror thread only.
class ObjectIds {
 public:
  static constexpr AudioObjectID first = 100;

  AudioObjectID idFor(const std::string& key) {
    auto [it, inserted] = ids_.try_emplace(key, next_);
    if (inserted) ++next_;
    return it->second;
  }

 private:
  std::unordered_map<std::string, AudioObjectID> ids_;
  AudioObjectID next_ = first;
};

}  // namespace tavuno
