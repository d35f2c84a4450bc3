#include "platform/linux/Transport.h"

#include <algorithm>
#include <cctype>

namespace tavuno {

namespace {

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

class Lookup {
 public:
  explicit Lookup(const TransportFacts& facts) : facts_(facts) {}

  // The device's value, else its card's; empty when neither has the key.
  std::string operator()(const std::string& key) const {
    if (facts_.properties) {
      auto it = facts_.properties->find(key);
      if (it != facts_.properties->end()) return it->second;
    }
    if (facts_.card) {
      auto it = facts_.card->properties.find(key);
      if (it != facts_.card->properties.end()) return it->second;
    }
    return {};
  }
  bool has(const std::string& key) const {
    return (facts_.properties && facts_.properties->count(key)) ||
           (facts_.card && facts_.card->properties.count(key));
  }

 private:
  const TransportFacts& facts_;
};

bool namesDisplay(const std::string& text) {
  const std::string low = lowered(text);
  return low.find("hdmi") != std::string::npos || low.find("displayport") != std::string::npos;
}

}  // namespace

std::uint32_t transportOf(const TransportFacts& facts) {
  const Lookup value(facts);
  const std::string api = lowered(value("device.api"));
  const std::string bus = lowered(value("device.bus"));

  if (api == "bluez5" || api == "bluez" || bus == "bluetooth") return transport::bluetooth;
  if (bus == "usb") return transport::usb;
  if (api == "raop" || api == "roc" || bus == "network" || value.has("tunnel.remote.server"))
    return 0;
  const std::string profile =
      value("device.profile.name") + " " + (facts.card ? facts.card->activeProfile : "");
  if (namesDisplay(facts.nodeName) || namesDisplay(profile) || namesDisplay(facts.description))
    return transport::hdmi;
  if (lowered(value("device.form_factor")) == "internal" || bus == "pci" || bus == "platform" ||
      bus == "isa")
    return transport::builtIn;
  if ((!facts.card && api.empty()) || lowered(value("node.virtual")) == "true")
    return transport::virtualDevice;
  return 0;
}

}  // namespace tavuno
