#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;

namespace tavuno::test {

// A plain synchronous pulse client for driving a test server faster than a
// pactl process per call can: each call waits for the server's answer.
class PulseClient {
 public:
  explicit PulseClient(const std::string& server);
  ~PulseClient();
  PulseClient(const PulseClient&) = delete;
  PulseClient& operator=(const PulseClient&) = delete;

  bool connected() const { return context_ != nullptr; }
  std::optional<std::uint32_t> loadModule(const std::string& name, const std::string& arguments);
  bool unloadModule(std::uint32_t index);

 private:
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
};

}  // namespace tavuno::test
