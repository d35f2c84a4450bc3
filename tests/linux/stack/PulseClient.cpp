#include "linux/stack/PulseClient.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/thread-mainloop.h>

namespace tavuno::test {

namespace {

struct Answer {
  pa_threaded_mainloop* loop;
  bool done = false;
  std::uint32_t index = PA_INVALID_INDEX;
  bool success = false;
};

}  // namespace

PulseClient::PulseClient(const std::string& server) {
  loop_ = pa_threaded_mainloop_new();
  pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(loop_), "tavuno-test-client");
  pa_context_set_state_callback(
      context,
      [](pa_context*, void* data) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(data), 0);
      },
      loop_);
  pa_threaded_mainloop_lock(loop_);
  pa_threaded_mainloop_start(loop_);
  if (pa_context_connect(context, server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
    for (;;) {
      const pa_context_state_t state = pa_context_get_state(context);
      if (state == PA_CONTEXT_READY) {
        context_ = context;
        break;
      }
      if (!PA_CONTEXT_IS_GOOD(state)) break;
      pa_threaded_mainloop_wait(loop_);
    }
  }
  if (!context_) pa_context_unref(context);
  pa_threaded_mainloop_unlock(loop_);
}

PulseClient::~PulseClient() {
  pa_threaded_mainloop_lock(loop_);
  if (context_) {
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
  }
  pa_threaded_mainloop_unlock(loop_);
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

std::optional<std::uint32_t> PulseClient::loadModule(const std::string& name,
                                                     const std::string& arguments) {
  if (!context_) return std::nullopt;
  Answer answer{loop_};
  pa_threaded_mainloop_lock(loop_);
  pa_operation* operation = pa_context_load_module(
      context_, name.c_str(), arguments.c_str(),
      [](pa_context*, std::uint32_t index, void* data) {
        auto* answer = static_cast<Answer*>(data);
        answer->index = index;
        answer->done = true;
        pa_threaded_mainloop_signal(answer->loop, 0);
      },
      &answer);
  while (operation && !answer.done && pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
    pa_threaded_mainloop_wait(loop_);
  if (operation) pa_operation_unref(operation);
  pa_threaded_mainloop_unlock(loop_);
  if (answer.index == PA_INVALID_INDEX) return std::nullopt;
  return answer.index;
}

bool PulseClient::unloadModule(std::uint32_t index) {
  if (!context_) return false;
  Answer answer{loop_};
  pa_threaded_mainloop_lock(loop_);
  pa_operation* operation = pa_context_unload_module(
      context_, index,
      [](pa_context*, int success, void* data) {
        auto* answer = static_cast<Answer*>(data);
        answer->success = success != 0;
        answer->done = true;
        pa_threaded_mainloop_signal(answer->loop, 0);
      },
      &answer);
  while (operation && !answer.done && pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
    pa_threaded_mainloop_wait(loop_);
  if (operation) pa_operation_unref(operation);
  pa_threaded_mainloop_unlock(loop_);
  return answer.success;
}

}  // namespace tavuno::test
