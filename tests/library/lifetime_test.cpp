// The library's lifetime, on the built libRuzIde.so: each case loads it with dlopen in a
// child process of its own (library_lifetime_host) on a fresh store folder and reads
// what the child reports, then what the unload left in the store.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/framework/StoreFixture.h"
#include "tests/library/ChildProcess.h"

namespace {

constexpr char kLanguages[] = "Software\\Tessary\\Brackenfield\\Common\\Languages";
constexpr char kRegional[] = "Software\\Tessary\\Brackenfield\\Common\\Regional";

struct HostReport {
  std::map<std::string, std::string> values;  // name -> value of each "name=value" line
  std::vector<std::string> events;            // "event=" lines, in order
  std::string err;
  int status = -1;
};

// Runs the host on `library` in the test's store folder (inherited from this process).
HostReport RunHost(const char* library, bool dirty = false) {
  std::vector<std::string> argv = {RUZIDE_LIFETIME_HOST_PATH, library};
  if (dirty) argv.push_back("--dirty");
  // The store keeps its handle table and databases for the life of the process; once the
  // library is unloaded nothing refers to them any more, which is not a leak to report.
  const ruzide::test::ChildResult child = ruzide::test::RunChild(
      argv, {{"ASAN_OPTIONS", "detect_leaks=0"}, {"RUZIDE_REGISTRY_READONLY", ""}});
  HostReport report;
  report.status = child.status;
  report.err = child.err;
  std::istringstream lines(child.out);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
    if (name == "event") {
      report.events.push_back(value);
    } else {
      report.values[name] = value;
    }
  }
  return report;
}

class LifetimeTest : public StoreTest {};

TEST_F(LifetimeTest, LoadBuildsBothTreesBeforeTheAccessorsAreSet) {
  HostReport r = RunHost(RUZIDE_LIBRARY_PATH);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("set", r.values["cuser"]);
  EXPECT_EQ("set", r.values["lmach"]);
  // The accessors hand out the two hives the load built, in order of construction.
  EXPECT_EQ("2", r.values["hives"]);
  EXPECT_EQ("1", r.values["hive0_is_cuser"]);
  EXPECT_EQ("1", r.values["hive1_is_lmach"]);
  EXPECT_EQ("1", r.values["current_hive_is_lmach"]);
  EXPECT_EQ("0", r.values["children"]);
  EXPECT_EQ("0", r.values["parent_stack"]);
  EXPECT_EQ(std::vector<std::string>{"closed"}, r.events);
}

TEST_F(LifetimeTest, LanguageFunctionsAnswerFromTheTreeGetCmnLMachReturns) {
  HostReport r = RunHost(RUZIDE_LIBRARY_PATH);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("1036", r.values["lang_id_3"]);
  EXPECT_EQ("B", r.values["char_of_0"]);  // slot 7 is not installed with six languages
  EXPECT_EQ("X", r.values["char_of_0_with_7"]);
  EXPECT_EQ("4242", r.values["lang_id_3_changed"]);
  EXPECT_EQ("3", r.values["index_of_4242"]);
}

TEST_F(LifetimeTest, UnloadWritesBackWhatIsDirty) {
  HostReport r = RunHost(RUZIDE_LIBRARY_PATH, /*dirty=*/true);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("1033", r.values["lang_id_9"]);
  EXPECT_EQ("2", r.values["reloaded_date"]);  // written at the first unload
  // The run-time slot the function created, and the current-user change.
  std::string data;
  DWORD type = 0;
  ASSERT_TRUE(Stored((std::string(kLanguages) + "\\Language9").c_str(), "LangId", &data, &type,
                     HKEY_LOCAL_MACHINE));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(std::string("\x09\x04\x00\x00", 4), data);
  EXPECT_EQ(2, StoredInt(kRegional, "Date"));
  // Declared values that were only read stay out of the store.
  EXPECT_FALSE(Stored(kLanguages, "NumLanguages", nullptr, nullptr, HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(ValueThere(kRegional, "Time"));
}

TEST_F(LifetimeTest, StaticInitialisersSeeNullAndUnloadGoesInReverse) {
  HostReport r = RunHost(RUZIDE_PROBE_LIBRARY_PATH);
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("1", r.values["accessors_null_at_start"]);
  EXPECT_EQ("set", r.values["cuser"]);
  // At dlclose the local-machine tree goes first, then the current-user tree, each while
  // the arrays still list both hives; what was built before the globals goes last.
  EXPECT_EQ((std::vector<std::string>{"lmach-tree", "cuser-tree", "first-object", "closed"}),
            r.events);
}

}  // namespace
