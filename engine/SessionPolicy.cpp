#include "engine/SessionPolicy.h"

namespace tavuno {

bool SessionRetryBudget::consume(const SessionSignature& failed, bool desired) {
  if (!desired) return false;
  if (!signature || *signature != failed) {
    signature = failed;
    attempts = 0;
  }
  if (attempts <= 1) {
    ++attempts;
    return true;
  }
  return false;
}

SessionAction SessionPolicy::action(bool desired, const std::optional<SessionSignature>& candidate,
                                    const std::optional<SessionSignature>& current,
                                    const std::optional<SessionSignature>& failed) {
  if (!desired || !candidate) return current ? SessionAction::teardown : SessionAction::idle;
  if (current == candidate) return SessionAction::keep;
  if (failed != candidate) return SessionAction::start;
  return current ? SessionAction::teardown : SessionAction::idle;
}

}  // namespace tavuno
