// Listing the server, following its events and taking in the replies.
#include <algorithm>

#include "platform/linux/PulseConversions.h"
#include "platform/linux/PulseMirrorImpl.h"

namespace tavuno {

namespace {

constexpr auto subscriptionMask = static_cast<pa_subscription_mask_t>(
    PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK_INPUT |
    PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT | PA_SUBSCRIPTION_MASK_CLIENT | PA_SUBSCRIPTION_MASK_SERVER |
    PA_SUBSCRIPTION_MASK_CARD);

}  // namespace

void PulseMirror::Impl::onReady() {
  threadId = gettid();
  ready = true;
  answered = true;
  ++connections;
  // Subscribe first, then list: an object made in between is seen twice,
  // never missed. The second subscription's answer comes after every list
  // reply (replies keep request order): then the copy is complete.
  pa_operation_unref(pa_context_subscribe(context, subscriptionMask, nullptr, nullptr));
  auto list = [this](pa_operation* operation) {
    if (operation) pa_operation_unref(operation);
  };
  list(pa_context_get_server_info(
      context,
      [](pa_context*, const pa_server_info* info, void* data) {
        if (info) static_cast<Impl*>(data)->state.info = toServerInfo(*info);
      },
      this));
  list(pa_context_get_sink_info_list(
      context,
      [](pa_context*, const pa_sink_info* info, int eol, void* data) {
        if (eol == 0 && info) static_cast<Impl*>(data)->state.sinks[info->index] = toSink(*info);
      },
      this));
  list(pa_context_get_source_info_list(
      context,
      [](pa_context*, const pa_source_info* info, int eol, void* data) {
        if (eol == 0 && info)
          static_cast<Impl*>(data)->state.sources[info->index] = toSource(*info);
      },
      this));
  list(pa_context_get_sink_input_info_list(
      context,
      [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
        if (eol == 0 && info)
          static_cast<Impl*>(data)->state.sinkInputs[info->index] = toStream(*info);
      },
      this));
  list(pa_context_get_source_output_info_list(
      context,
      [](pa_context*, const pa_source_output_info* info, int eol, void* data) {
        if (eol == 0 && info)
          static_cast<Impl*>(data)->state.sourceOutputs[info->index] = toStream(*info);
      },
      this));
  list(pa_context_get_client_info_list(
      context,
      [](pa_context*, const pa_client_info* info, int eol, void* data) {
        if (eol == 0 && info)
          static_cast<Impl*>(data)->state.clients[info->index] = toClient(*info);
      },
      this));
  list(pa_context_get_card_info_list(
      context,
      [](pa_context*, const pa_card_info* info, int eol, void* data) {
        if (eol == 0 && info) static_cast<Impl*>(data)->state.cards[info->index] = toCard(*info);
      },
      this));
  list(pa_context_subscribe(
      context, subscriptionMask,
      [](pa_context*, int, void* data) {
        auto* self = static_cast<Impl*>(data);
        self->synced = self->everSynced = true;
        self->backoff = kMirrorFirstBackoff;
        self->markDirty();
      },
      this));
}

PulseMirror::Impl::Request* PulseMirror::Impl::track(int facility, std::uint32_t index, Done done) {
  auto request = std::make_unique<Request>(Request{this, facility, index, std::move(done)});
  Request* pointer = request.get();
  inflight.emplace(pointer, std::move(request));
  return pointer;
}

bool PulseMirror::Impl::finish(Request* request, int eol) {
  const ObjectKey key{request->facility, request->index};
  if (eol == 0) return !tombstones.count(key);
  // The last reply to this request: forget it, and its object's tombstone
  // once nothing more can come for it.
  inflight.erase(request);
  if (--pendingInfo[key] <= 0) {
    pendingInfo.erase(key);
    tombstones.erase(key);
  }
  return false;
}

void PulseMirror::Impl::onEvent(pa_subscription_event_type_t type, std::uint32_t index) {
  const int facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  // A device that comes or goes often moves the default with it: read it with
  // the device, and once more when the session manager has chosen, rather than
  // trusting the server's own announcement alone (kMirrorInfoRecheck).
  if ((facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SOURCE) &&
      (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) != PA_SUBSCRIPTION_EVENT_CHANGE) {
    readServerInfo();
    scheduleInfoRecheck();
  }
  if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) != PA_SUBSCRIPTION_EVENT_REMOVE) {
    requestInfo(facility, index);
    return;
  }
  switch (facility) {
    case PA_SUBSCRIPTION_EVENT_SINK:
      state.sinks.erase(index);
      break;
    case PA_SUBSCRIPTION_EVENT_SOURCE:
      state.sources.erase(index);
      break;
    case PA_SUBSCRIPTION_EVENT_SINK_INPUT:
      state.sinkInputs.erase(index);
      break;
    case PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT:
      state.sourceOutputs.erase(index);
      break;
    case PA_SUBSCRIPTION_EVENT_CLIENT:
      state.clients.erase(index);
      break;
    case PA_SUBSCRIPTION_EVENT_CARD:
      state.cards.erase(index);
      break;
    default:
      return;
  }
  // A removal overtaking the reply to a request for the same object: the
  // reply must not bring it back.
  if (pendingInfo.count({facility, index})) tombstones.insert({facility, index});
  markDirty();
}

void PulseMirror::Impl::readServerInfo() {
  if (!context) return;
  pa_operation* operation = pa_context_get_server_info(
      context,
      [](pa_context*, const pa_server_info* info, void* data) {
        auto* self = static_cast<Impl*>(data);
        if (!info) return;
        ServerInfo next = toServerInfo(*info);
        if (next == self->state.info) return;
        self->state.info = std::move(next);
        self->markDirty();
      },
      this);
  if (operation) pa_operation_unref(operation);
}

void PulseMirror::Impl::requestInfo(int facility, std::uint32_t index) {
  if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
    readServerInfo();
    return;
  }
  Request* request = track(facility, index);
  ++pendingInfo[{facility, index}];
  pa_operation* operation = nullptr;
  switch (facility) {
    case PA_SUBSCRIPTION_EVENT_SINK:
      operation = pa_context_get_sink_info_by_index(
          context, index,
          [](pa_context*, const pa_sink_info* info, int eol, void* data) {
            auto* request = static_cast<Request*>(data);
            Impl* self = of(request);
            if (self->finish(request, eol) && info) {
              self->state.sinks[info->index] = toSink(*info);
              self->markDirty();
            }
          },
          request);
      break;
    case PA_SUBSCRIPTION_EVENT_SOURCE:
      operation = pa_context_get_source_info_by_index(
          context, index,
          [](pa_context*, const pa_source_info* info, int eol, void* data) {
            auto* request = static_cast<Request*>(data);
            Impl* self = of(request);
            if (self->finish(request, eol) && info) {
              self->state.sources[info->index] = toSource(*info);
              self->markDirty();
            }
          },
          request);
      break;
    case PA_SUBSCRIPTION_EVENT_SINK_INPUT:
      operation = pa_context_get_sink_input_info(
          context, index,
          [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
            auto* request = static_cast<Request*>(data);
            Impl* self = of(request);
            if (self->finish(request, eol) && info) {
              self->state.sinkInputs[info->index] = toStream(*info);
              self->markDirty();
            }
          },
          request);
      break;
    case PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT:
      operation = pa_context_get_source_output_info(
          context, index,
          [](pa_context*, const pa_source_output_info* info, int eol, void* data) {
            auto* request = static_cast<Request*>(data);
            Impl* self = of(request);
            if (self->finish(request, eol) && info) {
              self->state.sourceOutputs[info->index] = toStream(*info);
              self->markDirty();
            }
          },
          request);
      break;
    case PA_SUBSCRIPTION_EVENT_CLIENT:
      operation = pa_context_get_client_info(
          context, index,
          [](pa_context*, const pa_client_info* info, int eol, void* data) {
            auto* request = static_cast<Request*>(data);
            Impl* self = of(request);
            if (self->finish(request, eol) && info) {
              self->state.clients[info->index] = toClient(*info);
              self->markDirty();
            }
          },
          request);
      break;
    case PA_SUBSCRIPTION_EVENT_CARD:
      operation = pa_context_get_card_info_by_index(
          context, index,
          [](pa_context*, const pa_card_info* info, int eol, void* data) {
            auto* request = static_cast<Request*>(data);
            Impl* self = of(request);
            if (self->finish(request, eol) && info) {
              self->state.cards[info->index] = toCard(*info);
              self->markDirty();
            }
          },
          request);
      break;
    default:
      break;
  }
  if (operation) {
    pa_operation_unref(operation);
  } else {
    finish(request, -1);
  }
}

}  // namespace tavuno
