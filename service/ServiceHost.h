#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "service/ServiceState.h"

namespace tavuno {

// What every collaborator of the service reads of it and tells it: the
// published state, the error line and the refresh. Main thread only.
class ServiceHost {
 public:
  virtual const ServiceState& state() const = 0;
  virtual void setError(std::optional<std::string> message) = 0;
  // Shows the translation of `key` (filled with `code` when given) as the
  // failure of an operation. Callers pass keys marked with textKey().
  virtual void profileError(const char* key, std::optional<std::int32_t> code = std::nullopt) = 0;
  virtual void refresh() = 0;

  // Assigns a published field and tells observers when it changed.
  template <class T>
  void publish(ServiceField field, T ServiceState::*member, T value) {
    ServiceState& state = publishedState();
    if (state.*member == value) return;
    state.*member = std::move(value);
    notify(field);
  }
  // Changes a published field in place (a long list where one element
  // changes) and tells observers.
  template <class Change>
  void change(ServiceField field, Change apply) {
    apply(publishedState());
    notify(field);
  }

 protected:
  ~ServiceHost() = default;
  virtual ServiceState& publishedState() = 0;
  virtual void notify(ServiceField field) = 0;
};

}  // namespace tavuno
