#include <gtest/gtest.h>

#include "base/text/MessageFormat.h"
#include "base/text/TavunoLanguage.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

struct FormatRow {
  const char* proves;
  const char* format;
  std::vector<FormatArg> args;
  const char* expected;
};

TEST(MessageFormat, FillsPlaceholdersAndSurvivesHostileFormats) {
  const std::int64_t big = 1LL << 40;
  const FormatRow rows[] = {
      {"integer", "Erro %d.", {-50}, "Erro -50."},
      {"64-bit integer", "%lld bytes", {big}, "1099511627776 bytes"},
      {"text", "Formato: entrada %@, saída %@.", {"A", "B"}, "Formato: entrada A, saída B."},
      {"percent literal", "100%% e %d", {7}, "100% e 7"},
      {"positional reorder", "%2$@ then %1$@", {"one", "two"}, "two then one"},
      {"too few arguments keep the placeholder", "%d and %d and %@", {1}, "1 and %d and %@"},
      {"too many arguments are ignored", "only %d", {1, 2, 3}, "only 1"},
      {"text given to %d shows the text", "erro %d", {"abc"}, "erro abc"},
      {"number given to %@ shows the number", "x %@", {12}, "x 12"},
      {"foreign conversions are copied", "%s %n %x %p %.*s %f", {1}, "%s %n %x %p %.*s %f"},
      {"position out of range", "%9$@ %0$d %1234$d", {"a"}, "%9$@ %0$d %1234$d"},
      {"lone percent at the end", "50%", {}, "50%"},
      {"no placeholders, no arguments", "Pronto", {}, "Pronto"},
      {"placeholder text in an argument is not expanded", "%@", {"%d %@"}, "%d %@"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(formatMessage(row.format, std::span<const FormatArg>(row.args), "pt"), row.expected)
        << row.proves;
}

TEST(MessageFormat, TranslatesThenFills) {
  auto environment = std::make_shared<LanguageEnvironment>();
  environment->storedPreference = [] { return std::optional<std::string>("en"); };
  environment->lookup = [](const std::string&, std::string_view key) -> std::optional<std::string> {
    if (key == "Erro %d e %@") return "%2$@ failed with %1$d %d %@ %lld";
    return std::nullopt;
  };
  test::ScopedLanguage scoped(environment);
  EXPECT_EQ(trf("Erro %d e %@", -1, "Tap"), "Tap failed with -1 -1 Tap %lld");
}

}  // namespace
}  // namespace tavuno
