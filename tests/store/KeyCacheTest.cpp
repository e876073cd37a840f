// The store cache's bounds: enumeration lists past their memory budgets (the lists held
// ready stay, the next are held packed until those fill too, a new one is then held only
// among the last few, and forgetting the lists forgets all of them), and values written
// or deleted, and keys created, past the bounds on entries such changes add.
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

TEST(KeyCacheTest, ListsPastTheBudgetsKeepTheFirstAndTheLast) {
  KeyCache cache;
  for (int walk = 0; walk < 2; ++walk) {  // the first packs none
    for (int64_t key = 1; key <= 300; ++key) {
      if (cache.FindValues(key) == nullptr) cache.PutValues(key, MegabyteList(key));
    }
    EXPECT_EQ(walk == 0, cache.FindValues(150) == nullptr);
  }

  ASSERT_NE(nullptr, cache.FindValues(1));  // held ready before that budget ran out
  const ValueList packed = cache.FindValues(150);
  ASSERT_NE(nullptr, packed);
  EXPECT_EQ("150", (*packed)[0].name);
  EXPECT_EQ(size_t{1} << 20, (*packed)[0].value.data.size());
  EXPECT_EQ(nullptr, cache.FindValues(280));  // past both, and not among the last
  const ValueList last = cache.FindValues(300);
  ASSERT_NE(nullptr, last);
  EXPECT_EQ("300", (*last)[0].name);

  // A change forgets them all, the last ones included, or a walk would see stale lists.
  cache.ForgetLists();
  EXPECT_EQ(nullptr, cache.FindValues(1));
  EXPECT_EQ(nullptr, cache.FindValues(150));
  EXPECT_EQ(nullptr, cache.FindValues(300));
}

// Packed lists come back as they went in, each kind of list of a key apart, found in the
// order they were added or in any other; past the bound on lists, those held stay.
TEST(KeyCacheTest, PackedListsKeepEveryFieldUpToTheirBound) {
  PackedLists packed(3, 1 << 20);
  const std::vector<SubkeyEntry> subkeys = {{"a", 5, ""}, {"Bee", -7, std::string(70000, 'c')}};
  const std::vector<ValueEntry> values = {{"", {REG_DWORD, std::string(4, '\0')}},
                                          {"Name", {REG_SZ, "value"}}};
  for (int offer = 0; offer < 2; ++offer) {  // held from the second
    packed.Put(7, subkeys);
    packed.Put(7, values);
    packed.Put(8, std::vector<ValueEntry>());
    packed.Put(9, values);  // past the bound
  }
  for (int64_t key : {8, 7, 9, 7}) {
    std::vector<SubkeyEntry> found_subkeys;
    std::vector<ValueEntry> found_values;
    ASSERT_EQ(key == 7, packed.Find(key, &found_subkeys)) << key;
    ASSERT_EQ(key != 9, packed.Find(key, &found_values)) << key;
    if (key != 7) continue;
    ASSERT_EQ(2u, found_subkeys.size());
    EXPECT_EQ("Bee", found_subkeys[1].name);
    EXPECT_EQ(-7, found_subkeys[1].last_write);
    EXPECT_EQ(subkeys[1].key_class, found_subkeys[1].key_class);
    ASSERT_EQ(2u, found_values.size());
    EXPECT_EQ("Name", found_values[1].name);
    EXPECT_EQ(uint32_t{REG_SZ}, found_values[1].value.type);
    EXPECT_EQ("value", found_values[1].value.data);
    EXPECT_EQ(values[0].value.data, found_values[0].value.data);
  }
}

// Past the bounds, a change to a value of a key the cache holds keeps its entry right, and a
// change to any other, or a key created, adds nothing: an import of a million keys would
// otherwise hold all it wrote. Keys deleted give their room back, so that a tree deleted
// and written again is held as the old one was, up to as much as that and no more.
TEST(KeyCacheTest, ChangesPastTheBoundsAddNoneButInTheRoomOfKeysDeleted) {
  KeyCache cache;
  const StoredValue read{REG_DWORD, std::string(4, '\1')};
  constexpr int64_t kHeld = (1 << 19) + (1 << 17);  // past both bounds
  auto name = [](int64_t key) { return "k" + std::to_string(key); };
  for (int64_t key = 2; key < 2 + kHeld; ++key) {
    cache.PutSubkey(1, name(key), key);
    cache.PutValue(key, "v", &read);
  }

  ValueView found;
  int64_t id;
  cache.PutDeletedValue(2, "v");
  ASSERT_TRUE(cache.FindValue(2, "v", &found));
  EXPECT_FALSE(found.present);  // not the data deleted
  cache.PutWrittenValue(2, "v", REG_SZ, "new");
  ASSERT_TRUE(cache.FindValue(2, "v", &found));
  EXPECT_EQ("new", found.data);

  const int64_t fresh = 2 + kHeld;
  cache.PutDeletedValue(fresh, "v");
  cache.PutWrittenValue(fresh + 1, "v", REG_SZ, "new");
  cache.PutCreatedSubkey(1, name(fresh), fresh);
  EXPECT_FALSE(cache.FindValue(fresh, "v", &found));
  EXPECT_FALSE(cache.FindValue(fresh + 1, "v", &found));
  EXPECT_FALSE(cache.FindSubkey(1, name(fresh), &id));
  ASSERT_TRUE(cache.FindValue(fresh - 1, "v", &found));  // nothing was forgotten

  // Deleted as a deletion records it, then created again under a new parent.
  for (int64_t key = 2; key < 2 + kHeld; ++key) {
    cache.PutSubkey(1, name(key), 0);
    cache.PutAlive(key, false);
  }
  EXPECT_FALSE(cache.FindValue(3, "v", &found));
  const int64_t parent = 4 * kHeld;
  for (int64_t key = fresh; key < fresh + kHeld; ++key) {
    cache.PutCreatedSubkey(parent, name(key), key);
    cache.PutWrittenValue(key, "v", REG_SZ, "again");
  }
  for (int64_t key = fresh; key < fresh + kHeld; ++key) {
    ASSERT_TRUE(cache.FindSubkey(parent, name(key), &id)) << key;
    ASSERT_EQ(key, id);
    ASSERT_TRUE(cache.FindValue(key, "v", &found)) << key;
    ASSERT_EQ("again", found.data);
  }
  cache.PutCreatedSubkey(parent, "one more", fresh + kHeld);
  cache.PutWrittenValue(fresh + kHeld, "v", REG_SZ, "one more");
  EXPECT_FALSE(cache.FindSubkey(parent, "one more", &id));
  EXPECT_FALSE(cache.FindValue(fresh + kHeld, "v", &found));
}

}  // namespace
}  // namespace ruzide::registry
