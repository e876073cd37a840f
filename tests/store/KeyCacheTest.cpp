// The store cache's bounds: enumeration lists past their memory budget (the lists held
// stay, a new one is held only among the last few, and forgetting the lists forgets those
// too), and values written or deleted past the bound on entries such changes add.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/registry/KeyCache.h"

namespace ruzide::registry {
namespace {

// A list of one value holding a megabyte, named after `key`.
ValueList MegabyteList(int64_t key) {
  auto list = std::make_shared<std::vector<ValueEntry>>(1);
  (*list)[0].name = std::to_string(key);
  (*list)[0].value.data.assign(1 << 20, 'x');
  return list;
}

TEST(KeyCacheTest, ListsPastTheBudgetKeepTheFirstAndTheLast) {
  KeyCache cache;
  for (int64_t key = 1; key <= 100; ++key) cache.PutValues(key, MegabyteList(key));

  ASSERT_NE(nullptr, cache.FindValues(1));   // held before the budget ran out
  EXPECT_EQ(nullptr, cache.FindValues(80));  // past it, and not among the last
  const ValueList last = cache.FindValues(100);
  ASSERT_NE(nullptr, last);
  EXPECT_EQ("100", (*last)[0].name);

  // A change forgets them all, the last ones included, or a walk would see stale lists.
  cache.ForgetLists();
  EXPECT_EQ(nullptr, cache.FindValues(1));
  EXPECT_EQ(nullptr, cache.FindValues(100));
}

// Past the bound, a change to a value of a key the cache holds keeps its entry right, and a
// change to any other adds nothing: a subtree of a million keys deleted and written again
// would otherwise fill the cache with values no walk reads, and make it start afresh.
TEST(KeyCacheTest, ChangesPastTheirBoundKeepEntriesRightAndAddNone) {
  KeyCache cache;
  const StoredValue read{REG_DWORD, std::string(4, '\1')};
  constexpr int64_t kHeld = 1 << 19;
  for (int64_t key = 1; key <= kHeld; ++key) cache.PutValue(key, "v", &read);

  ValueView found;
  cache.PutDeletedValue(1, "v");
  ASSERT_TRUE(cache.FindValue(1, "v", &found));
  EXPECT_FALSE(found.present);  // not the data deleted
  cache.PutWrittenValue(1, "v", REG_SZ, "new");
  ASSERT_TRUE(cache.FindValue(1, "v", &found));
  EXPECT_EQ("new", found.data);

  cache.PutDeletedValue(kHeld + 1, "v");
  cache.PutWrittenValue(kHeld + 2, "v", REG_SZ, "new");
  EXPECT_FALSE(cache.FindValue(kHeld + 1, "v", &found));
  EXPECT_FALSE(cache.FindValue(kHeld + 2, "v", &found));
  ASSERT_TRUE(cache.FindValue(kHeld, "v", &found));  // nothing was forgotten
}

}  // namespace
}  // namespace ruzide::registry
