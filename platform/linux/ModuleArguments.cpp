#include "platform/linux/ModuleArguments.h"

#include "base/text/Integer.h"
#include "platform/linux/ServerKeys.h"

namespace tavuno {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

std::optional<std::map<std::string, std::string>> parseModuleArguments(std::string_view text) {
  if (text.size() > maxModuleArgumentBytes) return std::nullopt;
  std::map<std::string, std::string> pairs;
  std::size_t at = 0;
  const std::size_t n = text.size();
  while (true) {
    while (at < n && isSpace(text[at]))
      ++at;
    if (at == n) return pairs;
    // The key: up to '=', no white space or quotes in it.
    std::string key;
    while (at < n && text[at] != '=') {
      const char c = text[at];
      if (isSpace(c) || c == '"' || c == '\'' || c == '\\') return std::nullopt;
      key += c;
      ++at;
    }
    if (at == n || key.empty()) return std::nullopt;
    ++at;  // '='
    std::string value;
    char quote = 0;
    if (at < n && (text[at] == '"' || text[at] == '\'')) quote = text[at++];
    bool closed = quote == 0;
    while (at < n) {
      const char c = text[at];
      if (c == '\\') {
        if (at + 1 == n) return std::nullopt;  // a backslash with nothing to take
        value += text[at + 1];
        at += 2;
        continue;
      }
      if (quote ? c == quote : isSpace(c)) {
        if (quote) {
          closed = true;
          ++at;
          // A quoted value ends the pair: what follows must be white space or the end.
          if (at < n && !isSpace(text[at])) return std::nullopt;
        }
        break;
      }
      value += c;
      ++at;
    }
    if (!closed) return std::nullopt;
    if (pairs.size() == maxModuleArgumentPairs) return std::nullopt;
    if (!pairs.emplace(std::move(key), std::move(value)).second) return std::nullopt;
  }
}

std::optional<TapOwner> tapOwnerOf(std::string_view moduleArgument) {
  const auto arguments = parseModuleArguments(moduleArgument);
  if (!arguments) return std::nullopt;
  const auto name = arguments->find("sink_name");
  const auto properties = arguments->find("sink_properties");
  if (name == arguments->end() || properties == arguments->end()) return std::nullopt;
  const auto marks = parseModuleArguments(properties->second);
  if (!marks) return std::nullopt;
  const auto pidText = marks->find(serverkey::ownerPid);
  const auto startText = marks->find(serverkey::ownerStart);
  if (pidText == marks->end() || startText == marks->end()) return std::nullopt;
  const auto pid = parseInteger<std::int32_t>(pidText->second);
  const auto start = parseInteger<std::uint64_t>(startText->second);
  if (!pid || *pid <= 0 || !start || *start == 0) return std::nullopt;
  // tavuno.tap.<pid>.<number>, as PulseSession names its taps.
  const std::string prefix = serverkey::tapNamePrefix + std::to_string(*pid) + ".";
  const std::string_view sink = name->second;
  if (sink.size() <= prefix.size() || sink.substr(0, prefix.size()) != prefix ||
      !parseInteger<std::uint64_t>(sink.substr(prefix.size())))
    return std::nullopt;
  return TapOwner{*pid, *start};
}

}  // namespace tavuno
