#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Small readers of the /proc file system, each over a root folder so tests
// can run on a fake tree. Nothing here throws: a file that cannot be read
// gives nothing.
namespace tavuno::procfs {

// The whole of a small file (at most `limit` bytes); nothing when it cannot be
// opened or read or is not a regular file (a folder or a FIFO in its place
// included). Never blocks on what stands in the file's place (see readSmallFile).
std::optional<std::string> readFile(const std::string& path, std::size_t limit = 64 * 1024);
// A file at `name` inside the root folder of a process (`processDir` is
// /proc/<pid>): what the process sees as `/<name>`. Its owner controls that
// tree, so a symbolic link there is never followed (it would resolve in
// Tavuno's own root), on top of readFile's checks.
std::optional<std::string> readRootFile(const std::string& processDir, const std::string& name,
                                        std::size_t limit = 64 * 1024);
// Where a symbolic link points; nothing when it is not a readable link.
std::optional<std::string> readLink(const std::string& path);
// The numeric entries of a /proc root, ascending.
std::vector<std::int32_t> listPids(const std::string& procRoot);

// A process folder and its inode number. On /proc the inode of a live
// process's folder stays the same while the kernel keeps it cached, and a
// new process under a reused pid always gets a new one: an unchanged inode
// proves the same process, a changed one asks for its start time.
struct ProcEntry {
  std::int32_t pid;
  std::uint64_t inode;
};
std::vector<ProcEntry> listProcesses(const std::string& procRoot);
// The inode of a folder; nothing when it is not there.
std::optional<std::uint64_t> inodeOf(const std::string& path);

// Field 22 of a /proc/<pid>/stat text: the start time in clock ticks since
// boot. The command name (field 2) may hold spaces and parentheses. Nothing
// for a process that has died (state Z or X), though its entry is there.
std::optional<std::uint64_t> startTime(std::string_view stat);
// The real uid of a /proc/<pid>/status text (first number of "Uid:").
std::optional<std::uint32_t> realUid(std::string_view status);
// The pids of "NSpid:" in a /proc/<pid>/status text, outermost first.
std::vector<std::int32_t> namespacePids(std::string_view status);

}  // namespace tavuno::procfs

namespace tavuno {

// The start time of a process (field 22 of /proc/<pid>/stat, clock ticks since boot): with the
// pid it names one process for good, since pids are recycled. Nothing when it is not running.
std::optional<std::uint64_t> processStartTime(std::int32_t pid);

}  // namespace tavuno
