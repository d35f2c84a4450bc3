#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/ports/DefaultsStore.h"

namespace tavuno::test {

// One value of every kind a settings store keeps, with awkward bytes and letters, and the check
// that a store gives each back as it was.
inline void fillEveryKind(DefaultsStore& store) {
  store.set("s", std::string("texto"));
  store.set("b", true);
  store.set("i", std::int64_t{-42});
  store.set("d", 0.25);
  store.set("data", Bytes{0, 1, 2, 255, '"', '\n'});
  store.set("dict", StringMap{{"a", "1"}, {"ç", "é"}});
}

inline void expectEveryKind(const DefaultsStore& store) {
  EXPECT_EQ(store.string("s"), "texto");
  EXPECT_EQ(store.boolean("b"), true);
  EXPECT_EQ(store.integer("i"), -42);
  EXPECT_EQ(store.real("d"), 0.25);
  EXPECT_EQ(store.data("data"), (Bytes{0, 1, 2, 255, '"', '\n'}));
  EXPECT_EQ(store.dictionary("dict"), (StringMap{{"a", "1"}, {"ç", "é"}}));
}

}  // namespace tavuno::test
