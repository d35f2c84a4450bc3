#include "platform/linux/ProcessStart.h"

#include <fstream>
#include <sstream>
#include <string>

namespace tavuno {

std::optional<std::uint64_t> processStartTime(std::int32_t pid) {
  if (pid <= 0) return std::nullopt;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  // The command name may hold spaces and parentheses: the fields start after the last ')'.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  for (int i = 3; i <= 22; ++i) {
    if (!(fields >> field)) return std::nullopt;
    // A zombie has died already; only its parent has not collected it yet.
    if (i == 3 && (field == "Z" || field == "X")) return std::nullopt;
  }
  try {
    return std::stoull(field);
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace tavuno
