// The store's index of looked-up keys, driven against a plain map past its bounds: it may
// forget, but never answer wrongly, and it holds all it may before it forgets.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "platform/registry/KeyIndex.h"

namespace ruzide::registry {
namespace {

TEST(KeyIndexTest, ForgetsPastItsBoundsButNeverAnswersWrongly) {
  constexpr size_t kMaxKeys = 96;
  KeyIndex index(kMaxKeys, 2048);

  // Below the bound every entry stays, here 96 names under one parent.
  for (int i = 0; i < static_cast<int>(kMaxKeys); ++i)
    index.PutSubkey(7, "k" + std::to_string(i), 0);
  for (int i = 0; i < static_cast<int>(kMaxKeys); ++i) {
    int64_t id = -1;
    ASSERT_TRUE(index.FindSubkey(7, "k" + std::to_string(i), &id)) << i;
    EXPECT_EQ(0, id);
  }

  // Names that share hashes' low bits, prefixes and lengths, under a few parents, set
  // set again and marked missing at random.
  std::map<std::pair<int64_t, std::string>, int64_t> names;
  std::map<int64_t, bool> alive;
  std::set<int64_t> empty_class;
  std::mt19937 random(13);
  for (int step = 0; step < 4000; ++step) {
    const int64_t parent = 1 + random() % 3;
    std::string name = "k" + std::to_string(random() % 200);
    if (random() % 50 == 0) name.assign(300 + random() % 200, 'x');  // fills the names' bytes
    const int64_t key = 1 + random() % 500;
    switch (random() % 4) {
      case 0:
      case 1: {
        // Without `add` an entry there must change all the same, or it would be stale.
        const int64_t id = random() % 3 == 0 ? 0 : key;
        const bool add = random() % 4 != 0;
        index.PutSubkey(parent, name, id, add);
        names[{parent, name}] = id;
        if (id != 0) alive[id] = true;
        int64_t found;
        if (add) {
          ASSERT_TRUE(index.FindSubkey(parent, name, &found));  // what was added is kept
          EXPECT_EQ(id, found);
        }
        break;
      }
      case 2:
        alive[key] = random() % 2 == 0;
        index.PutAlive(key, alive[key]);
        break;
      default:
        index.PutEmptyClass(key);
        empty_class.insert(key);
    }
    ASSERT_LE(index.keys(), kMaxKeys);
    for (const auto& [name_key, id] : names) {
      int64_t found;
      if (index.FindSubkey(name_key.first, name_key.second, &found)) {
        ASSERT_EQ(id, found) << name_key.first << "\\" << name_key.second << " at " << step;
      }
    }
    for (int64_t id = 1; id <= 500; ++id) {
      bool found;
      if (index.FindAlive(id, &found)) {
        ASSERT_TRUE(alive.count(id) == 1 && alive[id] == found) << id << " at " << step;
      }
      if (index.FindEmptyClass(id)) {
        ASSERT_EQ(1u, empty_class.count(id)) << id << " at " << step;
      }
    }
  }
}

// A process that deletes a tree and creates it again adds a new id for every key: the
// deleted keys' ids make room, and the other keys held stay.
TEST(KeyIndexTest, DeletedKeysMakeRoomWithoutForgettingTheLiveOnes) {
  KeyIndex index(96, 4096);
  index.PutSubkey(1, "live", 1000);
  for (int64_t round = 0; round < 8; ++round) {
    for (int64_t i = 0; i < 32; ++i) {
      const int64_t id = 100 + round * 32 + i;
      index.PutSubkey(2, "k" + std::to_string(i), id);
      index.PutAlive(id - 32, false);  // its id before, deleted
    }
    int64_t id = 0;
    ASSERT_TRUE(index.FindSubkey(1, "live", &id)) << round;
    EXPECT_EQ(1000, id);
    bool alive = false;
    ASSERT_TRUE(index.FindAlive(1000, &alive));
    EXPECT_TRUE(alive);
    ASSERT_TRUE(index.FindSubkey(2, "k31", &id)) << round;
    EXPECT_EQ(100 + round * 32 + 31, id);
  }
}

}  // namespace
}  // namespace ruzide::registry
