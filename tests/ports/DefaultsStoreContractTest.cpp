// What every DefaultsStore promises, run against the in-memory store the tests use and the
// settings file the app uses: a value reads back as it was set, of its own kind only, also
// after the store is opened again (the file is its only memory).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "base/ports/DefaultsStore.h"
#include "platform/sim/SimMainQueue.h"
#include "platform/std/FileDefaultsStore.h"
#include "ports/EveryKindOfValue.h"
#include "support/TempDir.h"

namespace tavuno {
namespace {

struct InMemoryStore {
  InMemoryDefaultsStore kept;
  DefaultsStore& store() { return kept; }
  // Nothing to open again: the same store.
  DefaultsStore& reopened() { return kept; }
};

struct SettingsFileStore {
  test::TempDir dir;
  SimMainQueue writer;
  std::unique_ptr<FileDefaultsStore> file = open();
  std::unique_ptr<FileDefaultsStore> open() {
    return std::make_unique<FileDefaultsStore>(dir.path() / "tavuno" / "settings.json", writer);
  }
  DefaultsStore& store() { return *file; }
  DefaultsStore& reopened() {
    EXPECT_TRUE(file->flush());
    file.reset();
    file = open();
    EXPECT_EQ(file->message(), "") << "the file reads back whole";
    EXPECT_TRUE(file->movedAside().empty());
    return *file;
  }
};

template <class Store>
class DefaultsStoreContract : public ::testing::Test {
 protected:
  Store rig;
};

using Stores = ::testing::Types<InMemoryStore, SettingsFileStore>;
TYPED_TEST_SUITE(DefaultsStoreContract, Stores);

using test::expectEveryKind;
using test::fillEveryKind;

TYPED_TEST(DefaultsStoreContract, ValuesKeepTheirKind) {
  DefaultsStore& store = this->rig.store();
  fillEveryKind(store);
  expectEveryKind(store);
  EXPECT_FALSE(store.data("s"));
  EXPECT_FALSE(store.string("data"));
  EXPECT_FALSE(store.boolean("i"));
  EXPECT_FALSE(store.integer("d"));
  EXPECT_FALSE(store.dictionary("s"));
  store.remove("s");
  EXPECT_FALSE(store.contains("s"));
  const DefaultsStore& reopened = this->rig.reopened();
  EXPECT_FALSE(reopened.contains("s"));
  EXPECT_FALSE(reopened.integer("d")) << "a double stays a double, even a whole one";
  EXPECT_EQ(reopened.boolean("b"), true);
  EXPECT_EQ(reopened.data("data"), (Bytes{0, 1, 2, 255, '"', '\n'}));
  EXPECT_EQ(reopened.dictionary("dict"), (StringMap{{"a", "1"}, {"ç", "é"}}));
}

// A key set again takes the new value and its kind; removing one key leaves the others, and
// removing a key that is not there changes nothing.
TYPED_TEST(DefaultsStoreContract, ASetReplacesTheValueAndARemoveOnlyItsKey) {
  DefaultsStore& store = this->rig.store();
  store.set("k", std::string("text"));
  store.set("k", std::int64_t{7});
  store.set("other", 1.0);
  store.remove("absent");
  EXPECT_EQ(store.integer("k"), 7);
  EXPECT_FALSE(store.string("k"));
  EXPECT_EQ(store.real("other"), 1.0);
  store.remove("k");
  DefaultsStore& reopened = this->rig.reopened();
  EXPECT_FALSE(reopened.contains("k"));
  EXPECT_FALSE(reopened.contains("absent"));
  EXPECT_EQ(reopened.real("other"), 1.0);
  EXPECT_FALSE(reopened.integer("other")) << "a whole double stays a double";
}

// The ends of every kind's range, and keys that differ only a little, read back exactly.
TYPED_TEST(DefaultsStoreContract, EdgeValuesAndNearKeysReadBackExactly) {
  DefaultsStore& store = this->rig.store();
  static constexpr char awkwardText[] = "a\0b\"\\\n\t\x01 ç 🎧";
  const std::string awkward(awkwardText, sizeof awkwardText - 1);
  store.set("empty", std::string());
  store.set("awkward", awkward);
  store.set("noBytes", Bytes{});
  store.set("noEntries", StringMap{});
  store.set("emptyEntry", StringMap{{"", ""}, {awkward, awkward}});
  store.set("min", std::numeric_limits<std::int64_t>::min());
  store.set("max", std::numeric_limits<std::int64_t>::max());
  store.set("negativeZero", -0.0);
  store.set("tiny", std::numeric_limits<double>::denorm_min());
  store.set("huge", std::numeric_limits<double>::max());
  store.set("third", 1.0 / 3.0);
  store.set("false", false);
  store.set("Key", std::string("upper"));
  store.set("key", std::string("lower"));
  store.set("key ", std::string("spaced"));
  store.set("", std::string("no name"));
  store.set("chave.ç", std::string("unicode"));

  // The store in use is gone once the file is opened again: each is read in its turn.
  const auto readBack = [&](const DefaultsStore* read) {
    EXPECT_EQ(read->string("empty"), "");
    EXPECT_EQ(read->string("awkward"), awkward);
    EXPECT_EQ(read->data("noBytes"), Bytes{});
    EXPECT_EQ(read->dictionary("noEntries"), StringMap{});
    EXPECT_EQ(read->dictionary("emptyEntry"), (StringMap{{"", ""}, {awkward, awkward}}));
    EXPECT_EQ(read->integer("min"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(read->integer("max"), std::numeric_limits<std::int64_t>::max());
    ASSERT_TRUE(read->real("negativeZero"));
    EXPECT_TRUE(std::signbit(*read->real("negativeZero")));
    EXPECT_EQ(read->real("tiny"), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(read->real("huge"), std::numeric_limits<double>::max());
    EXPECT_EQ(read->real("third"), 1.0 / 3.0);
    EXPECT_EQ(read->boolean("false"), false);
    EXPECT_EQ(read->string("Key"), "upper");
    EXPECT_EQ(read->string("key"), "lower");
    EXPECT_EQ(read->string("key "), "spaced");
    EXPECT_EQ(read->string(""), "no name");
    EXPECT_EQ(read->string("chave.ç"), "unicode");
  };
  {
    SCOPED_TRACE("as set");
    readBack(&store);
  }
  SCOPED_TRACE("opened again");
  readBack(&this->rig.reopened());
}

}  // namespace
}  // namespace tavuno
