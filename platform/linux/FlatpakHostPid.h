#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavuno {

// The host pid of a Flatpak process that the audio server knows only by its
// pid inside the sandbox: the process whose "NSpid:" ends with `sandboxPid`
// (in a namespace of its own) and whose root's .flatpak-info names `appId`.
// Nothing when no process matches, or when several do (two instances of the
// app, each with its own pid namespace, cannot be told apart by this).
// Reads every process's status under `procRoot`: call it once per new client.
std::optional<std::int32_t> flatpakHostPid(const std::string& procRoot, std::int32_t sandboxPid,
                                           const std::string& appId);

}  // namespace tavuno
