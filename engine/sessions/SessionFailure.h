#pragma once

#include <string>

#include "hal/HalTypes.h"

namespace tavuno {

// Why a session could not start (`ProcessTap::Failure`): a platform call failed, or the
// situation is not supported.
class SessionFailure {
 public:
  enum class Kind { call, unsupported };

  // A call of the audio server failed: `operation` is a text key (marked with textKey()),
  // translated only when described; `server` names the server in the description ("Criar
  // captura: PipeWire -32").
  static SessionFailure server(std::string operation, OSStatus status, std::string server) {
    SessionFailure failure(Kind::call, std::move(operation), status);
    failure.server_ = std::move(server);
    return failure;
  }
  // `message` is already translated.
  static SessionFailure unsupported(std::string message) {
    return SessionFailure(Kind::unsupported, std::move(message), status::noError);
  }

  Kind kind() const { return kind_; }
  // The operation key (call) or the translated message (unsupported).
  const std::string& text() const { return text_; }
  // The platform status; 0 for unsupported.
  OSStatus status() const { return status_; }
  const std::string& serverName() const { return server_; }

  // For the user: the message itself, or the translated operation, ": ", the server's name
  // and the status in signed decimal ("Criar captura: PipeWire -32").
  std::string errorDescription() const;

  friend bool operator==(const SessionFailure&, const SessionFailure&) = default;

 private:
  SessionFailure(Kind kind, std::string text, OSStatus status)
      : kind_(kind), text_(std::move(text)), status_(status) {}

  Kind kind_;
  std::string text_;
  OSStatus status_;
  std::string server_;
};

}  // namespace tavuno
