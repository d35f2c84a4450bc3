#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tavuno {

// What the property table needs to know of processes beyond the server's
// word. Called on the mirror thread.
struct ProcessLookup {
  // The start time of a pid (field 22 of /proc/<pid>/stat, clock ticks since
  // boot); nothing when the process is not visible here.
  std::function<std::optional<std::uint64_t>(std::int32_t pid)> startTime;
  // The host pid of a sandboxed process known by its namespace pid and its
  // sandbox application id; nothing when no host process matches.
  std::function<std::optional<std::int32_t>(std::int32_t sandboxPid, const std::string& appId)>
      hostPid;
};

// The lookups over /proc (`procRoot` for the host pids). Host pids are cached
// per (sandbox pid, app id) for as long as the found process keeps its start
// time; a pair no process answers is not looked up again for 10 s of `now`.
ProcessLookup procProcessLookup(
    std::string procRoot = "/proc",
    std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now);

// The host pid of a Flatpak process that the audio server knows only by its
// pid inside the sandbox: the process whose "NSpid:" ends with `sandboxPid`
// (in a namespace of its own) and whose root's .flatpak-info names `appId`.
// Nothing when no process matches, or when several do (two instances of the
// app, each with its own pid namespace, cannot be told apart by this).
// Reads every process's status under `procRoot`: call it once per new client.
std::optional<std::int32_t> flatpakHostPid(const std::string& procRoot, std::int32_t sandboxPid,
                                           const std::string& appId);

}  // namespace tavuno
