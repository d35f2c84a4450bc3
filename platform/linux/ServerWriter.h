#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavuno {

// The writes the Hal sends to the audio server. Each returns at once; `done`
// tells whether the server accepted the request and may run on any thread,
// the caller's included (when nothing could be sent).
class ServerWriter {
 public:
  using Done = std::function<void(bool accepted)>;

  virtual ~ServerWriter() = default;
  // One value per channel of the sink's channel map, on the server's scale.
  virtual void setSinkVolume(const std::string& sink, std::vector<std::uint32_t> volume,
                             Done done) = 0;
  virtual void setSinkMute(const std::string& sink, bool mute, Done done) = 0;
  // The same for a source (a microphone).
  virtual void setSourceVolume(const std::string& source, std::vector<std::uint32_t> volume,
                               Done done) = 0;
  virtual void setSourceMute(const std::string& source, bool mute, Done done) = 0;
  virtual void setDefaultSink(const std::string& sink, Done done) = 0;
  virtual void setDefaultSource(const std::string& source, Done done) = 0;
};

}  // namespace tavuno
