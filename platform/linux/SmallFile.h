#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tavuno {

// Whether the last component of a path may be a symbolic link.
enum class FinalLink { follow, refuse };

// The first `limit` bytes of a small regular file that someone else may control (another
// process's /proc entries and root, desktop files, Tavuno's own state files). Opened without
// blocking and without taking a terminal, so a FIFO or a device in the file's place cannot
// hang the caller, and read only when it is a regular file. `path` is taken relative to
// `dirFd` (AT_FDCWD for the current folder). Nothing when it cannot be opened or read, or is
// not a regular file; never throws.
std::optional<std::string> readSmallFile(int dirFd, const std::string& path, std::size_t limit,
                                         FinalLink link = FinalLink::follow);

}  // namespace tavuno
