// The fixture of the `ruzide reg` tests: a key of the test's own below HKEY_CURRENT_USER,
// a folder for files, and the stored bytes read back.
#ifndef RUZIDE_TESTS_TOOL_REGTEST_H_
#define RUZIDE_TESTS_TOOL_REGTEST_H_

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/library/LibraryStoreTest.h"
#include "tests/tool/RunTool.h"

namespace {

const char kSub[] = "Software\\RegTest";
const std::string kKey = std::string("HKEY_CURRENT_USER\\") + kSub;

class RegTest : public LibraryStoreTest {
 protected:
  void SetUp() override {
    LibraryStoreTest::SetUp();
#ifdef _WIN32
    folder_ = std::filesystem::temp_directory_path() /
              ("ruzide-reg-test-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder_);
#else
    folder_ = getenv("RUZIDE_REGISTRY");
#endif
  }
#ifdef _WIN32
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
#endif
  // A file in a folder of the test's own, which goes with it: its store folder, or on
  // Windows a temporary folder.
  std::string FilePath(const std::string& name) const { return (folder_ / name).string(); }
  // The bytes stored, less the string's terminating zero.
  static std::string Text(const std::string& path, const char* name) {
    const std::string data = Bytes(path, name);
    return data.empty() ? data : data.substr(0, data.size() - 1);
  }
  static std::string Sub(const std::string& below) { return std::string(kSub) + "\\" + below; }
  static std::string Key(const std::string& below) { return kKey + "\\" + below; }
  // ASCII `text` as UTF-16LE, with a byte order mark.
  static std::string Utf16(const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) out += std::string(1, c) + '\0';
    return out;
  }

 private:
  std::filesystem::path folder_;
};

}  // namespace

#endif  // RUZIDE_TESTS_TOOL_REGTEST_H_
