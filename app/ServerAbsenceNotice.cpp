#include "app/ServerAbsenceNotice.h"

#include <atomic>
#include <optional>
#include <string>

#include "base/text/TavunoLanguage.h"

namespace tavuno {

struct ServerAbsenceNotice::State {
  std::weak_ptr<AudioService> service;
  std::optional<bool> connected;  // as last acted on
  std::string shown;              // the message as put on the error line
  std::atomic<bool> updatePosted{false};
};

ServerAbsenceNotice::ServerAbsenceNotice(MainQueue& main, SnapshotHub& hub)
    : main_(main), hub_(hub), state_(std::make_shared<State>()) {
  // One posted update at a time: a burst of snapshots costs one main-queue
  // turn, which reads the latest.
  token_ = hub_.listen([this, weak = std::weak_ptr<State>(state_)] {
    auto state = weak.lock();
    if (!state || state->updatePosted.exchange(true)) return;
    main_.post([this, weak] {
      auto state = weak.lock();
      if (!state) return;
      state->updatePosted = false;
      update();
    });
  });
}

ServerAbsenceNotice::~ServerAbsenceNotice() {
  hub_.unlisten(token_);
}

void ServerAbsenceNotice::attach(const std::shared_ptr<AudioService>& service) {
  state_->service = service;
  update();
}

void ServerAbsenceNotice::update() {
  auto service = state_->service.lock();
  if (!service) return;
  const bool connected = hub_.snapshot()->connected;
  if (state_->connected == connected) return;
  state_->connected = connected;
  if (!connected) {
    state_->shown =
        tr("Nenhum servidor de áudio em execução. O Tavuno se conecta assim que um for iniciado.");
    service->setError(state_->shown);
  } else if (!state_->shown.empty()) {
    if (service->state().error == state_->shown) service->setError(std::nullopt);
    state_->shown.clear();
  }
}

}  // namespace tavuno
