#include "devices/HeadsetPair.h"

#include <algorithm>
#include <cctype>

namespace tavuno {

namespace {

// The UID in lower case without its ":input" or ":output" suffix; nothing
// when it has neither.
std::optional<std::string> headsetIdentity(const std::string& uid) {
  std::string lower = uid;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (std::string_view suffix : {":input", ":output"}) {
    if (lower.ends_with(suffix)) return lower.substr(0, lower.size() - suffix.size());
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> HeadsetPair::inputUID(const AudioDevice& device,
                                                 const std::vector<AudioDevice>& devices) {
  if (!device.output || !isBluetooth(device)) return std::nullopt;
  if (device.input) return device.uid;
  auto identity = headsetIdentity(device.uid);
  if (!identity || identity->empty()) return std::nullopt;
  const AudioDevice* input = nullptr;
  int inputs = 0, outputs = 0;
  for (const auto& candidate : devices) {
    if (!isBluetooth(candidate) || headsetIdentity(candidate.uid) != identity) continue;
    if (candidate.input) {
      ++inputs;
      input = &candidate;
    }
    if (candidate.output) ++outputs;
  }
  if (inputs == 1 && outputs == 1) return input->uid;
  return std::nullopt;
}

}  // namespace tavuno
