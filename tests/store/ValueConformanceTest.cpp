// How values, enumeration and key information behave. Written against the registry
// functions alone, so that it runs unchanged against the real registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/store/RegistryTestUtil.h"
#include "tests/store/TempStore.h"

namespace {

class ValueConformanceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(nullptr, base()); }
  HKEY base() const { return scratch_.get(); }
  ScratchKey scratch_;
};

TEST_F(ValueConformanceTest, EveryTypeStoresTheBytesGiven) {
  const std::string bytes("a\0b\xff", 4);
  for (DWORD type :
       {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD}) {
    std::string data = type == REG_QWORD ? bytes + bytes : bytes;
    // Windows reads one byte past a string that does not end in zero and keeps that byte
    // when it is a zero; a byte that is not zero there makes every registry store the
    // given bytes alone.
    const std::string buffer = data + "X";
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(base(), "v", 0, type, reinterpret_cast<const BYTE*>(buffer.data()),
                             static_cast<DWORD>(data.size())));
    DWORD read_type = 99;
    LONG status;
    EXPECT_EQ(data, QueryBytes(base(), "V", &status, &read_type)) << type;
    EXPECT_EQ(type, read_type);
  }
  // The unnamed value is "" and null alike.
  ASSERT_EQ(ERROR_SUCCESS, SetString(base(), nullptr, "default"));
  EXPECT_EQ(std::string("default", 8), QueryBytes(base(), ""));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(base(), "empty", 0, REG_BINARY, nullptr, 0));
  LONG status;
  EXPECT_EQ("", QueryBytes(base(), "empty", &status));
  EXPECT_EQ(ERROR_SUCCESS, status);
}

// A query tells the size a value needs and writes nothing into a buffer too short for it.
// A string stored without its zero reads back with one where there is room for it, and
// as its bytes alone where there is not.
TEST_F(ValueConformanceTest, QueriesGiveTheSizeAndFillOnlyABufferThatFits) {
  ASSERT_EQ(ERROR_SUCCESS, SetString(base(), "text", "hello"));
  DWORD type = 0, size = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(base(), "text", nullptr, &type, nullptr, &size));
  EXPECT_EQ(6u, size);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  char buffer[8] = "xxxxxxx";
  size = 3;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(base(), "text", nullptr, &type,
                                              reinterpret_cast<BYTE*>(buffer), &size));
  EXPECT_EQ(6u, size);
  EXPECT_STREQ("xxxxxxx", buffer);
  size = sizeof buffer;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(base(), "missing", nullptr, &type,
                                                   reinterpret_cast<BYTE*>(buffer), &size));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(base(), "missing"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(base(), "TEXT"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegQueryValueExA(base(), "text", nullptr, nullptr, nullptr, nullptr));

  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExA(base(), "s", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcd"), 3));
  for (DWORD room : {8, 3}) {
    std::memcpy(buffer, "xxxxxxx", 8);
    size = room;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(base(), "s", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(3u, size);
    EXPECT_STREQ(room > 3 ? "abc" : "abcxxxx", buffer);
  }
}

// Subkeys enumerate in the order of their upper-cased names; values in the order they were
// created, a replaced one keeping its place and one deleted and set again going last.
// Wine sorts values as it sorts subkeys, which its own tests mark as a fault.
TEST_F(ValueConformanceTest, SubkeysEnumerateByNameAndValuesInCreationOrder) {
  for (const char* name : {"beta", "Alpha", "GAMMA", "alphabet", ""}) {
    if (*name != '\0') RegCloseKey(CreateKey(base(), name));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(base(), name, 1));
  }
  ASSERT_EQ(ERROR_SUCCESS, SetString(base(), "ALPHA", "replaced"));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(base(), "beta"));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(base(), "beta", 2));
  std::vector<std::string> sorted{"Alpha", "alphabet", "beta", "GAMMA"};
  EXPECT_EQ(sorted, SubkeyNames(base()));
  sorted.insert(sorted.begin(), "");
  std::vector<std::string> created{"Alpha", "GAMMA", "alphabet", "", "beta"};
  EXPECT_EQ(UnderWine() ? sorted : created, ValueNames(base()));
  char name[16];
  DWORD size = sizeof name;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumKeyExA(base(), 4, name, &size, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumValueA(base(), 5, name, &size, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(ValueConformanceTest, EnumerationReportsBuffersTooSmall) {
  RegCloseKey(CreateKey(base(), "abcde"));
  ASSERT_EQ(ERROR_SUCCESS, SetString(base(), "name", "foobar"));
  char name[8] = "xxxxxxx", data[8];
  DWORD size = 0, type = 0, data_size = 0;
  auto enum_key = [&](DWORD room) {
    size = room;
    return RegEnumKeyExA(base(), 0, name, &size, nullptr, nullptr, nullptr, nullptr);
  };
  auto enum_value = [&](DWORD room, DWORD data_room) {
    size = room;
    data_size = data_room;
    return RegEnumValueA(base(), 0, name, &size, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &data_size);
  };
  // A key name needs room for its zero; nothing is written otherwise.
  EXPECT_EQ(ERROR_MORE_DATA, enum_key(5));
  EXPECT_EQ(5u, size);
  EXPECT_STREQ("xxxxxxx", name);
  EXPECT_EQ(ERROR_SUCCESS, enum_key(6));
  EXPECT_EQ(5u, size);
  EXPECT_STREQ("abcde", name);
  // A value's name or data that does not fit.
  EXPECT_EQ(ERROR_MORE_DATA, enum_value(sizeof name, 3));
  EXPECT_EQ(7u, data_size);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(ERROR_MORE_DATA, enum_value(4, sizeof data));
  EXPECT_EQ(ERROR_SUCCESS, enum_value(5, sizeof data));
  EXPECT_EQ(4u, size);
  EXPECT_STREQ("name", name);
  EXPECT_STREQ("foobar", data);
}

TEST_F(ValueConformanceTest, InfoCountsSubkeysAndValues) {
  RegCloseKey(CreateKey(base(), "one"));
  RegCloseKey(CreateKey(base(), "three"));
  ASSERT_EQ(ERROR_SUCCESS, SetString(base(), "longest", "123456789"));
  ASSERT_EQ(ERROR_SUCCESS, SetDword(base(), "v", 1));
  DWORD subkeys = 0, max_subkey = 0, values = 0, max_name = 0, max_data = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            RegQueryInfoKeyA(base(), nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr,
                             &values, &max_name, &max_data, nullptr, nullptr));
  EXPECT_EQ(2u, subkeys);
  EXPECT_EQ(5u, max_subkey);
  EXPECT_EQ(2u, values);
  EXPECT_EQ(7u, max_name);
  EXPECT_EQ(20u, max_data);  // string data counts as the UTF-16 the registry holds
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base(), "one"));
  ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(base(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(1u, subkeys);
}

}  // namespace
