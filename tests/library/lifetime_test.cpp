// The library's lifetime, on the built library: each case loads it at run time (dlopen,
// or LoadLibraryA on Windows) in a child process of its own (library_lifetime_host) on
// the test's own registry and reads what the child reports, then what the unload left in
// the registry.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/library/ChildProcess.h"
#include "tests/library/LibraryStoreTest.h"

namespace {

struct HostReport {
  std::map<std::string, std::string> values;  // the "name=value" lines
  std::vector<std::string> events;            // the "event=" lines, in order
};

class LifetimeTest : public LibraryStoreTest {
 protected:
  static HostReport RunHost(const char* library, bool dirty = false) {
    std::vector<std::string> argv = {RUZIDE_LIFETIME_HOST_PATH, library};
    if (dirty) argv.push_back("--dirty");
    // Once the library is unloaded nothing refers to the store's process-wide state any
    // more; that is not a leak for the address sanitizer to report.
    const auto child = ruzide::test::RunChild(argv, {{"ASAN_OPTIONS", "detect_leaks=0"}});
    EXPECT_EQ(0, child.status) << child.err;
    HostReport report;
    std::istringstream lines(child.out);
    for (std::string line; std::getline(lines, line);) {
      const size_t eq = line.find('=');
      if (line.compare(0, eq, "event") == 0) {
        report.events.push_back(line.substr(eq + 1));
      } else if (eq != std::string::npos) {
        report.values[line.substr(0, eq)] = line.substr(eq + 1);
      }
    }
    return report;
  }
};

TEST_F(LifetimeTest, LoadSetsTheAccessorsAndUnloadWritesBackWhatIsDirty) {
  HostReport r = RunHost(RUZIDE_LIBRARY_PATH, /*dirty=*/true);
  EXPECT_EQ("1", r.values["accessors_set"]);
  EXPECT_EQ("1", r.values["hives_in_order"]);
  EXPECT_EQ("0", r.values["binding_arrays"]);
  EXPECT_EQ("X", r.values["char_of_0_with_7"]);
  EXPECT_EQ("4242", r.values["lang_id_3_changed"]);
  EXPECT_EQ("1", r.values["threads_leave_trees"]);
  EXPECT_EQ((std::vector<std::string>{"closed", "closed"}), r.events);  // unloaded, reloaded
  EXPECT_EQ("1033", r.values["lang_id_9"]);
  EXPECT_EQ("2", r.values["reloaded_date"]);  // read back by the second load
  EXPECT_EQ(std::string("\x09\x04\x00\x00", 4), MachineValue(kLanguages + "\\Language9", "LangId"));
  // Declared values that were only read stay out of the store.
  EXPECT_FALSE(ValueThere(kRegional.c_str(), "Time"));
}

TEST_F(LifetimeTest, StaticInitialisersSeeNullAndUnloadGoesInReverse) {
  HostReport r = RunHost(RUZIDE_PROBE_LIBRARY_PATH);
  EXPECT_EQ("1", r.values["accessors_null_at_start"]);
  EXPECT_EQ("1", r.values["accessors_set"]);
  // At dlclose the local-machine tree goes first, then the current-user tree, each while
  // the arrays still list both hives; what was built before the globals goes last.
  EXPECT_EQ((std::vector<std::string>{"lmach-tree", "cuser-tree", "first-object", "closed"}),
            r.events);
}

}  // namespace
