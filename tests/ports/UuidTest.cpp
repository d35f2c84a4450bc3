#include <gtest/gtest.h>

#include <set>

#include "base/ports/Uuid.h"

namespace tavuno {
namespace {

TEST(Uuid, RandomIsVersion4InCanonicalUpperCase) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    std::string text = Uuid::random().text();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4') << text;
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
    for (char c : text)
      EXPECT_FALSE(c >= 'a' && c <= 'z') << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(Uuid, ParsesEitherCaseAndRejectsAnythingElse) {
  auto upper = Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  auto lower = Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_TRUE(upper && lower);
  EXPECT_EQ(*upper, *lower);
  EXPECT_EQ(lower->text(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

  for (const char* bad :
       {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}",
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5", "E621E1F8-C36C-495A-93FC-0C247A3E6E5G",
        "E621E1F-8C36C-495A-93FC-0C247A3E6E5F", " E621E1F8-C36C-495A-93FC-0C247A3E6E5"})
    EXPECT_FALSE(Uuid::parse(bad)) << bad;
}

TEST(Uuid, NamedIsVersion5AndTheSameForTheSameSpaceAndName) {
  // RFC 4122's DNS name space and the name of its example.
  const Uuid dns = *Uuid::parse("6ba7b810-9dad-11d1-80b4-00c04fd430c8");
  EXPECT_EQ(Uuid::named(dns, "www.example.com").text(), "2ED6657D-E927-568B-95E1-2665A8AEA6A2");
  EXPECT_EQ(Uuid::named(dns, "a"), Uuid::named(dns, "a"));
  EXPECT_NE(Uuid::named(dns, "a"), Uuid::named(dns, "b"));
  EXPECT_NE(Uuid::named(dns, "a"), Uuid::named(Uuid::named(dns, "a"), "a"));
}

}  // namespace
}  // namespace tavuno
