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

#ifndef _WIN32
#include <signal.h>
#include <time.h>

#include <memory>
#include <random>
#endif

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

#ifndef _WIN32
// The unload's write-back is one store transaction off Windows. The host dirties every
// value of both trees that can carry a number, and adds run-time language slots, then
// unloads; killed at random moments from just before its write-back to just after it, it
// leaves each tree all of one generation or all of the next, and a sound database.
class UnloadKillTest : public LibraryStoreTest {
 protected:
  static constexpr int kSlots = 200;

  // Starts the host for `generation` and returns once it has begun to unload; the
  // slots are those of that generation only.
  static std::unique_ptr<ruzide::test::RunningChild> StartUnload(int generation) {
    auto host = std::make_unique<ruzide::test::RunningChild>(
        std::vector<std::string>{RUZIDE_LIFETIME_HOST_PATH, RUZIDE_LIBRARY_PATH, "--write-back",
                                 std::to_string(generation),
                                 std::to_string(100 + generation * kSlots), std::to_string(kSlots)},
        std::vector<std::pair<std::string, std::string>>{{"ASAN_OPTIONS", "detect_leaks=0"}});
    for (std::string line = "-"; line != "unloading=1" && !line.empty();) line = host->Line();
    return host;
  }

  // The generation the current-user tree holds, or -1 if its values disagree.
  static int UserGeneration() {
    const int generation = StoredInt((kBase + "\\Languages").c_str(), "CurrentLangId");
    bool whole = StoredInt(kRegional.c_str(), "Date") == generation % 3 &&
                 StoredInt((kBase + "\\Settings").c_str(), "CurrentMnemonic") == generation % 2;
    for (const char* name : {"Time", "System", "Decimal"}) {
      whole = whole && StoredInt(kRegional.c_str(), name) == generation % 2;
    }
    return whole ? generation : -1;
  }

  static int SlotsOf(int generation) {
    int slots = 0;
    for (int n = 100 + generation * kSlots; n < 100 + (generation + 1) * kSlots; ++n) {
      slots += MachineValue(kLanguages + "\\Language" + std::to_string(n), "LangId") != "(missing)";
    }
    return slots;
  }

  // The generation the local-machine tree holds, its slots included, or -1 if its values
  // disagree.
  static int MachineGeneration() {
    const std::string first = MachineValue(kLanguages + "\\Language1", "LangId");
    int generation = -1;
    if (first.size() == 4) memcpy(&generation, first.data(), 4);
    for (int n = 2; n <= 7; ++n) {
      if (MachineValue(kLanguages + "\\Language" + std::to_string(n), "LangId") != first) return -1;
    }
    return SlotsOf(generation) == kSlots ? generation : -1;
  }
};

TEST_F(UnloadKillTest, AnUnloadKilledDuringItsWriteBackLeavesEachTreeAllOldOrAllNew) {
  ASSERT_EQ(0, StartUnload(1)->Wait());  // unloaded in full
  ASSERT_EQ(1, UserGeneration());
  ASSERT_EQ(1, MachineGeneration());
  // Each kill comes at a random moment up to `reach` after the write-back began; the
  // reach grows after a kill that came before the commit and shrinks after one that came
  // after it, so that the kills gather where the write-back ends, whatever the load.
  std::mt19937 random(20261206);
  double reach = 2000;  // microseconds
  int user = 1, machine = 1, kept = 0, written = 0;
  for (int generation = 2; generation < 42; ++generation) {
    const auto host = StartUnload(generation);
    const long pause = std::uniform_int_distribution<long>(0, static_cast<long>(reach))(random);
    const timespec interval = {pause / 1000000, pause % 1000000 * 1000};
    nanosleep(&interval, nullptr);
    host->Wait(SIGKILL);
    const int now_user = UserGeneration(), now_machine = MachineGeneration();
    ASSERT_TRUE(now_user == user || now_user == generation) << "generation " << generation;
    ASSERT_TRUE(now_machine == generation || (now_machine == machine && SlotsOf(generation) == 0))
        << "generation " << generation;
    const bool committed = now_user == generation || now_machine == generation;
    kept += !committed;
    written += committed;
    reach *= committed ? 0.7 : 1.5;
    user = now_user;
    machine = now_machine;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      ASSERT_EQ("ok", TempStoreFolder::IntegrityCheck(root)) << "generation " << generation;
    }
  }
  EXPECT_GT(kept, 0);     // some kills came before the commit,
  EXPECT_GT(written, 0);  // some after it
}
#endif

}  // namespace
