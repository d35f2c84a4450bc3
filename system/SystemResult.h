#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace tavuno {

// Why a call into a system service failed: the service's numeric status and
// a description in the current language, ready to be shown.
struct SystemError {
  std::int32_t status = 0;
  std::string description;
};

// Success, or the error that stopped an operation.
class [[nodiscard]] SystemResult {
 public:
  SystemResult() = default;
  SystemResult(SystemError error) : error_(std::move(error)) {}

  static SystemResult success() { return {}; }

  bool ok() const { return !error_; }
  explicit operator bool() const { return ok(); }
  // Present exactly when the operation failed.
  const std::optional<SystemError>& error() const { return error_; }

 private:
  std::optional<SystemError> error_;
};

}  // namespace tavuno
