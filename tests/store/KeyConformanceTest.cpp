// How keys behave: roots, paths, names, creation, deletion and access. Written against
// the registry functions alone, so that it runs unchanged against the real registry.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

class KeyConformanceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(nullptr, base()); }
  HKEY base() const { return scratch_.get(); }
  ScratchKey scratch_;
};

// A root kept in 32 bits (a DWORD cast back) is the same root: only those bits count.
HKEY Narrowed(HKEY root) {
  return reinterpret_cast<HKEY>(
      static_cast<uintptr_t>(static_cast<DWORD>(reinterpret_cast<uintptr_t>(root))));
}

TEST_F(KeyConformanceTest, BothRootsInEitherWidthOpenAndCloseAsThemselves) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, Narrowed(HKEY_LOCAL_MACHINE)}) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, OpenKey(root, nullptr, KEY_READ, &key));
    EXPECT_EQ(root, key);
    EXPECT_EQ(ERROR_SUCCESS, OpenKey(root, "", KEY_READ, &key));
    EXPECT_EQ(root, key);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  }
  ASSERT_EQ(ERROR_SUCCESS, SetDword(base(), "v", 4));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            OpenKey(Narrowed(HKEY_CURRENT_USER), scratch_.path().c_str(), KEY_READ, &key));
  EXPECT_EQ(4u, QueryDword(key, "v"));
  RegCloseKey(key);
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(nullptr));
  // A null parent is refused before the result is touched, and so is a null key.
  key = base();
  EXPECT_EQ(ERROR_INVALID_HANDLE, OpenKey(nullptr, "", KEY_READ, &key));
  EXPECT_EQ(base(), key);
  EXPECT_EQ(nullptr, CreateKey(nullptr, "x"));
  EXPECT_EQ(ERROR_INVALID_HANDLE, SetDword(nullptr, "v", 1));
}

TEST_F(KeyConformanceTest, PathSeparatorsCollapseALeadingOneFailsAndNoneReopens) {
  HKEY created = CreateKey(base(), "a\\b\\c");
  ASSERT_NE(nullptr, created);
  ASSERT_EQ(ERROR_SUCCESS, SetDword(created, "mark", 7));
  RegCloseKey(created);
  for (const char* path : {"a\\b\\c", "a\\b\\c\\", "a\\\\b\\c", "a\\b\\\\\\c\\\\"}) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, OpenKey(base(), path, KEY_READ, &key)) << path;
    EXPECT_EQ(7u, QueryDword(key, "mark")) << path;
    RegCloseKey(key);
  }
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_BAD_PATHNAME, OpenKey(base(), "\\a", KEY_READ, &key));
  EXPECT_EQ(ERROR_BAD_PATHNAME, OpenKey(base(), "\\", KEY_READ, &key));
  EXPECT_EQ(ERROR_BAD_PATHNAME, OpenKey(HKEY_CURRENT_USER, "\\", KEY_READ, &key));
  EXPECT_EQ(nullptr, CreateKey(base(), "\\x"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenKey(base(), "x", KEY_READ, &key));
  // An empty path reopens the same key.
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(base(), "", KEY_ALL_ACCESS, &key));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "v", 1));
  RegCloseKey(key);
  EXPECT_EQ(1u, QueryDword(base(), "v"));
}

// Paths opened one after another that share their first names each lead to their own
// key: from the same key or another, after one that failed part way, and after a key on
// the way was deleted and made again.
TEST_F(KeyConformanceTest, PathsSharingTheirFirstNamesEachLeadToTheirOwnKey) {
  const char* const paths[] = {"a\\b\\c", "a\\b\\d", "a\\e\\c", "f\\b\\c"};
  for (DWORD i = 0; i < 4; ++i) {
    HKEY key = CreateKey(base(), paths[i]);
    ASSERT_NE(nullptr, key);
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "mark", i + 1));
    RegCloseKey(key);
  }
  auto mark = [](HKEY from, const char* path) -> DWORD {
    HKEY key = nullptr;
    if (OpenKey(from, path, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    const DWORD mark = QueryDword(key, "mark");
    RegCloseKey(key);
    return mark;
  };
  for (int round = 0; round < 2; ++round) {
    for (DWORD i = 0; i < 4; ++i) EXPECT_EQ(i + 1, mark(base(), paths[i])) << paths[i];
  }
  EXPECT_EQ(0u, mark(base(), "a\\x\\c"));
  EXPECT_EQ(2u, mark(base(), "a\\b\\d"));
  HKEY a = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(base(), "a", KEY_ALL_ACCESS, &a));
  // Twice: the second time the missing name is known without a look in the store.
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(1u, mark(base(), "a\\b\\c"));
    EXPECT_EQ(0u, mark(a, "b\\x"));
    EXPECT_EQ(0u, mark(base(), "b\\c"));  // not a\b\c, which the failed path passed
  }
  EXPECT_EQ(1u, mark(a, "b\\c"));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(a, "b\\c"));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(a, "b\\d"));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(a, "b"));
  HKEY again = CreateKey(a, "b\\c");
  ASSERT_NE(nullptr, again);
  ASSERT_EQ(ERROR_SUCCESS, SetDword(again, "mark", 9));
  RegCloseKey(again);
  EXPECT_EQ(9u, mark(base(), "a\\b\\c"));
  EXPECT_EQ(0u, mark(base(), "a\\b\\d"));
  EXPECT_EQ(3u, mark(base(), "a\\e\\c"));
  RegCloseKey(a);
}

// A class is given to the key a create makes, and never changed; RegQueryInfoKeyA cuts
// one that does not fit short, and RegEnumKeyExA writes nothing unless it fits.
TEST_F(KeyConformanceTest, AKeyKeepsTheClassItWasCreatedWith) {
  RegCloseKey(CreateKey(base(), "a"));
  HKEY key = CreateKey(base(), "k", nullptr, "my class");
  ASSERT_NE(nullptr, key);
  char text[16];
  DWORD length = 0, subkeys = 9, max_class = 0;
  auto info = [&](HKEY of, char* buffer, DWORD room) {
    std::memset(text, 'x', sizeof text);
    length = room;
    return RegQueryInfoKeyA(of, buffer, &length, nullptr, &subkeys, nullptr, &max_class, nullptr,
                            nullptr, nullptr, nullptr, nullptr);
  };
  EXPECT_EQ(ERROR_SUCCESS, info(key, nullptr, 0));
  EXPECT_EQ(8u, length);
  EXPECT_EQ(ERROR_SUCCESS, info(key, text, 0));
  EXPECT_EQ(UnderWine() ? 8u : 0u, length);  // Wine's known difference
  EXPECT_EQ('x', text[0]);
  EXPECT_EQ(ERROR_MORE_DATA, info(key, text, 8));
  EXPECT_EQ(7u, length);
  EXPECT_STREQ("my clas", text);
  EXPECT_EQ(0u, subkeys);  // the other answers are given all the same
  EXPECT_EQ(ERROR_SUCCESS, info(base(), text, sizeof text));
  EXPECT_EQ(0u, length);
  EXPECT_EQ(8u, max_class);
  char name[8];
  auto enumerate = [&](DWORD index, DWORD room) {
    std::memset(text, 'x', sizeof text);
    DWORD name_room = sizeof name;
    length = room;
    return RegEnumKeyExA(base(), index, name, &name_room, nullptr, text, &length, nullptr);
  };
  EXPECT_EQ(ERROR_SUCCESS, enumerate(0, 1));
  EXPECT_EQ(0u, length);
  EXPECT_STREQ("", text);
  EXPECT_EQ(ERROR_MORE_DATA, enumerate(1, 8));
  EXPECT_EQ('x', text[0]);
  EXPECT_EQ(ERROR_SUCCESS, enumerate(1, 9));
  EXPECT_EQ(8u, length);
  EXPECT_STREQ("my class", text);
  // Creating it again opens it; Wine gives it the new class.
  RegCloseKey(CreateKey(base(), "k", nullptr, "other"));
  EXPECT_EQ(ERROR_SUCCESS, info(key, text, sizeof text));
  EXPECT_STREQ(UnderWine() ? "other" : "my class", text);
  RegCloseKey(key);
}

// A volatile create makes every key it creates volatile; no non-volatile key may be
// created below one. An existing key keeps its kind whatever a create asks for. Values of
// a volatile key are read and listed as any others, a parent lists both kinds of subkeys
// in one order, and deletion treats both alike.
TEST_F(KeyConformanceTest, VolatileKeysHoldOnlyVolatileKeysAndListWithTheOthers) {
  auto create = [&](const char* path, DWORD options, HKEY* key, DWORD* disposition) {
    *key = nullptr;
    return RegCreateKeyExA(base(), path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, key,
                           disposition);
  };
  RegCloseKey(CreateKey(base(), "b"));
  HKEY key = nullptr, fleeting = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(ERROR_SUCCESS, create("A\\x", REG_OPTION_VOLATILE, &fleeting, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
  RegCloseKey(CreateKey(base(), "c"));
  EXPECT_EQ((std::vector<std::string>{"A", "b", "c"}), SubkeyNames(base()));
  for (const char* path : {"A\\n", "A\\x\\n\\m"}) {
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, create(path, 0, &key, &disposition)) << path;
  }
  ASSERT_EQ(ERROR_SUCCESS, create("a", 0, &key, &disposition));  // opened as it is
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
  EXPECT_EQ((std::vector<std::string>{"A", "b", "c"}), SubkeyNames(base()));  // named as made
  EXPECT_EQ(nullptr, CreateKey(key, "n"));
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, create("B", REG_OPTION_VOLATILE, &key, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
  HKEY child = CreateKey(key, "n");
  EXPECT_NE(nullptr, child);
  RegCloseKey(child);
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, SetDword(fleeting, "one", 1));
  ASSERT_EQ(ERROR_SUCCESS, SetString(fleeting, "two", "2"));
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(base(), "a\\X", KEY_READ, &key));
  EXPECT_EQ(1u, QueryDword(key, "ONE"));
  EXPECT_EQ((std::vector<std::string>{"one", "two"}), ValueNames(key));
  RegCloseKey(key);
  // Deletion refuses a parent, of either kind, and finds names in any case.
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(base(), "A"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(base(), "b"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base(), "a\\X"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(base(), "A\\x"));
  EXPECT_EQ(ERROR_KEY_DELETED, SetDword(fleeting, "one", 2));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base(), "A"));
  EXPECT_EQ((std::vector<std::string>{"b", "c"}), SubkeyNames(base()));
  ASSERT_EQ(ERROR_SUCCESS, create("c\\v", REG_OPTION_VOLATILE, &key, &disposition));
  RegCloseKey(key);
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(base(), "c"));  // its subkey is volatile
  RegCloseKey(fleeting);
}

// A handle refuses what its access does not allow, and anything once its key is deleted.
TEST_F(KeyConformanceTest, HandlesRefuseWhatTheirAccessOrADeletionForbids) {
  HKEY doomed = CreateKey(base(), "doomed");
  HKEY reader = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, OpenKey(base(), "doomed", KEY_READ, &reader));
  EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(reader, "v", 1));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(reader, "v"));
  EXPECT_TRUE(SubkeyNames(reader).empty());
  RegCloseKey(reader);
  ASSERT_EQ(ERROR_SUCCESS, SetDword(doomed, "v", 1));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base(), "doomed"));
  DWORD count = 0;
  HKEY child = nullptr;
  EXPECT_EQ(ERROR_KEY_DELETED, QueryStatus(doomed, "v"));
  EXPECT_EQ(ERROR_KEY_DELETED, SetDword(doomed, "v", 2));
  EXPECT_EQ(ERROR_KEY_DELETED,
            RegQueryInfoKeyA(doomed, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExA(doomed, "child", 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, &child, nullptr));
  // Recreating the name makes a new key; the old handle still names the deleted one.
  RegCloseKey(CreateKey(base(), "doomed"));
  EXPECT_EQ(ERROR_KEY_DELETED, SetDword(doomed, "v", 3));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed));
}

}  // namespace
