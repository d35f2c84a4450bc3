#include "platform/linux/ModuleArguments.h"

#include <gtest/gtest.h>

#include <string>

namespace tavuno {
namespace {

using Pairs = std::map<std::string, std::string>;

// Rows: module arguments as a client may load a module with them, and what they say.
TEST(ModuleArguments, ParsesPairsAsTheServerKeepsThem) {
  EXPECT_EQ(parseModuleArguments(""), Pairs{});
  EXPECT_EQ(parseModuleArguments("  a=1\tb=two  "), (Pairs{{"a", "1"}, {"b", "two"}}));
  EXPECT_EQ(parseModuleArguments(R"(p="x y=z" q='it"s' r=)"),
            (Pairs{{"p", "x y=z"}, {"q", "it\"s"}, {"r", ""}}));
  EXPECT_EQ(parseModuleArguments(R"(a=one\ two b="say \"hi\"" c='\'')"),
            (Pairs{{"a", "one two"}, {"b", "say \"hi\""}, {"c", "'"}}));
  EXPECT_EQ(parseModuleArguments("a=b=c"), (Pairs{{"a", "b=c"}}));

  EXPECT_EQ(parseModuleArguments("a"), std::nullopt);           // no value
  EXPECT_EQ(parseModuleArguments("=1"), std::nullopt);          // no key
  EXPECT_EQ(parseModuleArguments("a=1 a=2"), std::nullopt);     // the server refuses it too
  EXPECT_EQ(parseModuleArguments(R"(a="open)"), std::nullopt);  // quote never closed
  EXPECT_EQ(parseModuleArguments(R"(a="x"b=1)"), std::nullopt);
  EXPECT_EQ(parseModuleArguments("a=x\\"), std::nullopt);
  EXPECT_EQ(parseModuleArguments("a b=1"), std::nullopt);
  EXPECT_EQ(parseModuleArguments(std::string(maxModuleArgumentBytes + 1, 'a')), std::nullopt);
  std::string many;
  for (std::size_t i = 0; i <= maxModuleArgumentPairs; ++i)
    many += "k" + std::to_string(i) + "=v ";
  EXPECT_EQ(parseModuleArguments(many), std::nullopt);
}

// Rows: a null sink is a Tavuno tap only when its arguments, parsed, are what a Tavuno loads
// its taps with; the owner's text anywhere else in them makes no tap.
TEST(ModuleArguments, TapOwnerOnlyFromATavunoTapsArguments) {
  const std::string tavunos =
      R"(sink_name=tavuno.tap.4242.3 rate=48000 channels=2 format=float32le )"
      R"(sink_properties="tavuno.owner.pid=4242 tavuno.owner.start=777 device.description=Tavuno")";
  EXPECT_EQ(tapOwnerOf(tavunos), (TapOwner{4242, 777}));
  EXPECT_EQ(tapOwnerOf(R"(sink_properties='tavuno.owner.start=9 tavuno.owner.pid=7' )"
                       R"(sink_name=tavuno.tap.7.1)"),
            (TapOwner{7, 9}));

  // Another program's sinks that merely hold the text.
  EXPECT_EQ(
      tapOwnerOf(R"(sink_name=music sink_properties="device.description=tavuno.owner.pid=1")"),
      std::nullopt);
  EXPECT_EQ(
      tapOwnerOf(R"(sink_name=tavuno.tap.5.1 )"
                 R"(sink_properties=device.description="tavuno.owner.pid=5 tavuno.owner.start=1")"),
      std::nullopt);
  EXPECT_EQ(tapOwnerOf("sink_name=tavuno.tap.5.1 tavuno.owner.pid=5 tavuno.owner.start=1"),
            std::nullopt);
  // Marks that are not what Tavuno writes.
  auto tap = [](const std::string& name, const std::string& pid, const std::string& start) {
    return "sink_name=" + name + " sink_properties=\"tavuno.owner.pid=" + pid +
           " tavuno.owner.start=" + start + "\"";
  };
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.5.1", "5", "1")), (TapOwner{5, 1}));
  EXPECT_EQ(tapOwnerOf(tap("usb_dac", "5", "1")), std::nullopt);         // not a tap's name
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.6.1", "5", "1")), std::nullopt);  // another pid's tap
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.5.x", "5", "1")), std::nullopt);
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.5.", "5", "1")), std::nullopt);
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.5.1", "5", "0")), std::nullopt);  // no start time
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.5.1", "5x", "1")), std::nullopt);
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.-5.1", "-5", "1")), std::nullopt);
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.0.1", "0", "1")), std::nullopt);
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.99999999999.1", "99999999999", "1")), std::nullopt);
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.5.1", "5", "99999999999999999999999")), std::nullopt);
  EXPECT_EQ(tapOwnerOf(tap("tavuno.tap.5.1", "5", "1") + " sink_name=x"), std::nullopt);
}

}  // namespace
}  // namespace tavuno
