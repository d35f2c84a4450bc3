#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tavuno {

// The arguments of a PulseAudio module as the server reports them (`pactl list modules`), and
// the property lists inside them: `key=value` pairs apart by white space, a value bare or in
// "double" or 'single' quotes, a backslash taking the next byte as it is. The server refuses a
// key given twice, and so does this. Nothing when the text is no such list or exceeds the bounds
// below (a module's arguments are whatever some client loaded it with).
inline constexpr std::size_t maxModuleArgumentBytes = 16 * 1024;
inline constexpr std::size_t maxModuleArgumentPairs = 128;
std::optional<std::map<std::string, std::string>> parseModuleArguments(std::string_view text);

// Who a null sink says it is a tap of: the pid and start time in its `sink_properties`
// (`tavuno.owner.pid`, `tavuno.owner.start`, plain decimal numbers, the start not 0), given only
// when the sink's name is the one Tavuno gives its taps, `tavuno.tap.<that pid>.<number>`.
// Nothing for any other module argument: the sink is not a Tavuno tap.
struct TapOwner {
  std::int32_t pid = 0;
  std::uint64_t start = 0;
  friend bool operator==(const TapOwner&, const TapOwner&) = default;
};
std::optional<TapOwner> tapOwnerOf(std::string_view moduleArgument);

}  // namespace tavuno
