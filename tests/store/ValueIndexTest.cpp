// The store's index of read and written values, driven against a plain map past its
// bounds: it may forget, but never answer wrongly, and it keeps what it holds while it
// reclaims the space of values rewritten.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "platform/registry/ValueIndex.h"

namespace ruzide::registry {
namespace {

struct Model {
  bool present;
  uint32_t type;
  std::string data;
};

TEST(ValueIndexTest, ForgetsPastItsBoundsButNeverAnswersWrongly) {
  constexpr size_t kMaxValues = 96, kMaxBytes = 4096;  // values of 512 bytes and more: not held
  ValueIndex index(kMaxValues, kMaxBytes);
  std::map<std::pair<int64_t, std::string>, Model> values;
  std::mt19937 random(17);
  auto put = [&](int64_t key, const std::string& name, const Model& value, bool add) {
    index.Put(key, name, ValueView{value.present, value.type, value.data}, add);
    values[{key, name}] = value;
  };
  // Every answer is the value last put; with `all_kept`, every value has an answer.
  auto check = [&](const std::string& when, bool all_kept = false) {
    ASSERT_LE(index.size(), kMaxValues) << when;
    ASSERT_LE(index.bytes(), kMaxBytes) << when;
    for (const auto& [name, value] : values) {
      ValueView found;
      if (!index.Find(name.first, name.second, &found)) {
        ASSERT_FALSE(all_kept) << name.first << "\\" << name.second << " lost" << when;
        continue;
      }
      ASSERT_TRUE(found.present == value.present &&
                  (!value.present || (found.type == value.type && found.data == value.data)))
          << name.first << "\\" << name.second << when;
    }
  };

  // Below the bounds everything stays, even while one value grows and shrinks again and
  // again, which leaves garbage that only compacting the buffer can reclaim.
  for (int i = 0; i < static_cast<int>(kMaxValues); ++i) {
    put(1 + i % 3, "v" + std::to_string(i / 3), Model{i % 5 != 0, 4, std::string(i % 7, 'd')},
        true);
  }
  for (int round = 0; round < 300; ++round) {
    put(1, "v0", Model{true, 1, std::string(round % 61, static_cast<char>('a' + round % 26))},
        true);
    ASSERT_NO_FATAL_FAILURE(check(" in round " + std::to_string(round), true));
  }
  // A key is known by its values held, which lets writes to it be held past a bound.
  EXPECT_TRUE(index.HoldsValuesOf(2));
  EXPECT_FALSE(index.HoldsValuesOf(4));

  // Values whose hashes are the same, under one name or under one key, found by trying
  // keys scattered over the range of ids (by a mix unlike the index's own, whose lines
  // for keys in arithmetic progression never meet), or names.
  for (bool same_name : {true, false}) {
    auto key_of = [&](int64_t i) {
      uint64_t x = static_cast<uint64_t>(i) * 0xbf58476d1ce4e5b9;
      x = (x ^ (x >> 31)) * 0x94d049bb133111eb;
      return same_name ? static_cast<int64_t>((x ^ (x >> 29)) >> 4) : 5;
    };
    auto name_of = [&](int64_t i) {
      return same_name ? std::string("c") : "c" + std::to_string(i);
    };
    std::unordered_map<uint32_t, int64_t> seen;
    for (int64_t i = 1;; ++i) {
      ASSERT_LT(i, 1 << 20);
      auto [other, added] = seen.emplace(ValueIndex::Hash(key_of(i), name_of(i)), i);
      if (added) continue;
      put(key_of(i), name_of(i), Model{true, 1, "one"}, true);
      put(key_of(other->second), name_of(other->second), Model{true, 2, "other"}, true);
      break;
    }
  }
  ASSERT_NO_FATAL_FAILURE(check(" with hashes the same"));

  // Names that share prefixes and lengths under a few keys, set with data that grows,
  // shrinks or is too large to hold, recorded missing, or changed only if there.
  for (int step = 0; step < 6000; ++step) {
    const int64_t key = 1 + random() % 4;
    std::string name = "v" + std::to_string(random() % 60);
    if (random() % 40 == 0) name.assign(100 + random() % 100, 'n');
    const size_t size = random() % 100 == 0 ? 512 + random() % 64 : random() % 40;
    const Model value{random() % 6 != 0, static_cast<uint32_t>(random() % 3),
                      std::string(size, static_cast<char>('a' + step % 26))};
    const bool add = random() % 4 != 0;
    put(key, name, value, add);
    ValueView found;
    if (add && size < 512) {
      ASSERT_TRUE(index.Find(key, name, &found)) << step;  // what was added is kept
    } else if (size >= 512 && value.present) {
      ASSERT_FALSE(index.Find(key, name, &found)) << step;  // nor the data it replaced
    }
    ASSERT_NO_FATAL_FAILURE(check(" at step " + std::to_string(step)));
    if (random() % 300 == 0) index.Forget(key);  // as if deleted, though its id comes back
  }
}

// The values of deleted keys, forgotten, give their room back: filling the index drops them
// where it would otherwise start afresh, and what else it held stays.
TEST(ValueIndexTest, ForgottenValuesMakeRoomInsteadOfAFreshStart) {
  constexpr size_t kMaxValues = 96;
  ValueIndex index(kMaxValues, 1 << 20);
  const ValueView value{true, 4, "data"};
  for (int64_t key = 1; key <= 72; ++key) index.Put(key, "v", value);
  for (int64_t key = 1; key <= 36; ++key) index.Forget(key);
  ValueView found;
  size_t left = 0;  // those whose home line was full lie elsewhere
  for (int64_t key = 1; key <= 36; ++key) left += index.Find(key, "v", &found);
  EXPECT_LT(left, 6u);
  EXPECT_EQ(36 + left, index.live());
  EXPECT_EQ(72u, index.most_live());

  for (int64_t key = 101; key <= 150; ++key) index.Put(key, "v", value);
  EXPECT_LE(index.size(), kMaxValues);
  for (int64_t key = 37; key <= 150; key += key == 72 ? 29 : 1) {
    ASSERT_TRUE(index.Find(key, "v", &found)) << key;
    EXPECT_EQ("data", found.data);
  }

  // A key with more values than its home line holds, deleted as a subtree's deletion does:
  // its values first. The buffer, left nearly all garbage, is compacted at the next value
  // added, and keeps what else it held.
  ValueIndex other(kMaxValues, 1 << 20);
  auto name = [](int i) { return "w" + std::to_string(i); };
  const std::string large(3500, 'w'), a(2000, 'a'), b(2000, 'b');
  other.Put(8, "a", ValueView{true, 3, a});
  for (int i = 0; i < 20; ++i) other.Put(7, name(i), ValueView{true, 3, large});
  other.Put(8, "b", ValueView{true, 3, b});
  for (int i = 0; i < 20; ++i) other.Put(7, name(i), ValueView());
  other.Forget(7);
  EXPECT_EQ(2u, other.live());
  other.Put(9, "c", value);
  EXPECT_LT(other.bytes(), 5000u);
  for (const auto& [key, name, data] : {std::tuple(8, "a", a), {8, "b", b}, {9, "c", "data"}}) {
    ASSERT_TRUE(other.Find(key, name, &found)) << name;
    EXPECT_EQ(data, found.data);
  }
}

}  // namespace
}  // namespace ruzide::registry
