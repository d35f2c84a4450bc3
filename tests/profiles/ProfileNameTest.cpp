#include <gtest/gtest.h>

#include "profiles/ProfileName.h"

namespace tavuno {
namespace {

TEST(ProfileName, TrimsUnicodeWhiteSpaceAndLineBreaksOnly) {
  const struct {
    const char* proves;
    std::string typed;
    std::string kept;
  } rows[] = {
      {"ASCII spaces, tabs and line breaks", " \t Noite \r\n", "Noite"},
      {"no-break and ideographic spaces", "\u00A0\u3000Noite\u00A0", "Noite"},
      {"line and paragraph separators, NEL", "\u2028Noite\u2029\xC2\x85", "Noite"},
      {"spaces of every width", "\u2003\u2009Noite\u202F\u205F\u1680", "Noite"},
      {"spaces inside stay", "Sala\u00A0de estar", "Sala\u00A0de estar"},
      {"only white space leaves nothing", " \u3000\u2028\n", ""},
      {"zero-width characters are not white space", "\uFEFFNoite\u200B", "\uFEFFNoite\u200B"},
      {"bytes that are not UTF-8 are kept, never read as spaces", "\xC0\xA0Noite\xE3\x80",
       "\xC0\xA0Noite\xE3\x80"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(trimmedProfileName(row.typed), row.kept) << row.proves;
}

TEST(ProfileName, LengthCountsCharactersOfWellFormedUtf8Only) {
  const struct {
    const char* proves;
    std::string name;
    std::optional<std::size_t> length;
  } rows[] = {
      {"ASCII", "Noite", 5},
      {"two, three and four bytes are one character each", "\u00E9\u3000\U0001F3B5", 3},
      {"empty", "", 0},
      {"a stray continuation byte", "a\x80", std::nullopt},
      {"an overlong form of a space", "\xC0\xA0", std::nullopt},
      {"an overlong three-byte form", "\xE0\x80\xAF", std::nullopt},
      {"a surrogate", "\xED\xA0\x80", std::nullopt},
      {"past U+10FFFF", "\xF4\x90\x80\x80", std::nullopt},
      {"a sequence cut short", "Noite\xE3\x80", std::nullopt},
  };
  for (const auto& row : rows)
    EXPECT_EQ(profileNameLength(row.name), row.length) << row.proves;
}

}  // namespace
}  // namespace tavuno
