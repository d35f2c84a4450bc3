#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/text/Integer.h"

namespace tavuno {
namespace {

using std::nullopt;

struct IntegerRow {
  const char* proves;
  std::string text;
  std::optional<std::int32_t> asInt32;
  std::optional<std::uint32_t> asUint32;
  std::optional<std::uint64_t> asUint64;
};

TEST(ParseInteger, TakesOnlyAWholeDecimalInTheTypesRange) {
  const IntegerRow rows[] = {
      {"plain digits", "1234", 1234, 1234u, 1234u},
      {"zero", "0", 0, 0u, 0u},
      {"leading zeros are digits", "007", 7, 7u, 7u},
      {"a minus for a signed type", "-42", -42, nullopt, nullopt},
      {"minus zero is zero, for a signed type only", "-0", 0, nullopt, nullopt},
      {"empty text", "", nullopt, nullopt, nullopt},
      {"a lone minus", "-", nullopt, nullopt, nullopt},
      {"a plus sign", "+5", nullopt, nullopt, nullopt},
      {"leading space", " 5", nullopt, nullopt, nullopt},
      {"leading tab", "\t5", nullopt, nullopt, nullopt},
      {"trailing space", "5 ", nullopt, nullopt, nullopt},
      {"trailing newline", "5\n", nullopt, nullopt, nullopt},
      {"garbage after the digits", "12abc", nullopt, nullopt, nullopt},
      {"a decimal point", "1.5", nullopt, nullopt, nullopt},
      {"hexadecimal", "0x10", nullopt, nullopt, nullopt},
      {"an embedded NUL ends nothing",
       std::string("12\0"
                   "3",
                   4),
       nullopt, nullopt, nullopt},
      {"int32 maximum", "2147483647", 2147483647, 2147483647u, 2147483647u},
      {"int32 minimum", "-2147483648", INT32_MIN, nullopt, nullopt},
      {"one past int32", "2147483648", nullopt, 2147483648u, 2147483648u},
      {"one below int32", "-2147483649", nullopt, nullopt, nullopt},
      {"uint32 maximum", "4294967295", nullopt, UINT32_MAX, 4294967295u},
      {"one past uint32", "4294967296", nullopt, nullopt, 4294967296u},
      {"uint64 maximum", "18446744073709551615", nullopt, nullopt, UINT64_MAX},
      {"one past uint64, no clamp", "18446744073709551616", nullopt, nullopt, nullopt},
      {"a hundred digits", std::string(100, '9'), nullopt, nullopt, nullopt},
      {"a hundred zeros and a one", std::string(100, '0') + "1", 1, 1u, 1u},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(parseInteger<std::int32_t>(row.text), row.asInt32) << row.proves;
    EXPECT_EQ(parseInteger<std::uint32_t>(row.text), row.asUint32) << row.proves;
    EXPECT_EQ(parseInteger<std::uint64_t>(row.text), row.asUint64) << row.proves;
  }
}

TEST(ParseInteger, ReadsOnlyTheViewItIsGiven) {
  const std::string text = "123456";
  EXPECT_EQ(parseInteger<int>(std::string_view(text).substr(0, 3)), 123);
  EXPECT_EQ(parseInteger<int>(std::string_view(text).substr(6)), nullopt);
  EXPECT_EQ(parseInteger<int>(std::string_view()), nullopt);
}

TEST(ParseInteger, ANullCStringIsAValueNotGiven) {
  const char* absent = nullptr;
  EXPECT_EQ(parseInteger<std::int32_t>(absent), nullopt);
  EXPECT_EQ(parseInteger<std::int32_t>("17"), 17);
  EXPECT_EQ(parseInteger<std::uint64_t>("-17"), nullopt);
}

}  // namespace
}  // namespace tavuno
