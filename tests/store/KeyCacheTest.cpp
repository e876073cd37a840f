// The store cache's enumeration lists past their memory budget: the lists held stay, a
// new one is held only among the last few, and forgetting the lists forgets those too.
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

}  // namespace
}  // namespace ruzide::registry
