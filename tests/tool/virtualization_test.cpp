// Registry virtualization as a standard user meets it: the administrator stores the
// language table in the machine root as root, and an unprivileged user (a child process
// that drops root's privileges, with a user root of its own) runs the tool on it. The
// merged view itself is the store's test; this one checks what the tool shows of it.
// Off Windows only: on Windows the system virtualizes, not the store.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/library/LibraryStoreTest.h"
#include "tests/tool/RunTool.h"

namespace {

using ruzide::test::ChildResult;

using VirtualizationTest = LibraryStoreTest;

TEST_F(VirtualizationTest, StandardUsersSeeTheMachineTableAndKeepTheirChangesToThemselves) {
  if (geteuid() != 0) GTEST_SKIP() << "acting as other users needs root";
  // The machine root lives in this test's store folder, which the users may read.
  const std::string machine = std::getenv("RUZIDE_REGISTRY");
  ASSERT_EQ(0, chmod(machine.c_str(), 0755));
  PutMachine(kLanguages, "NumLanguages", 7);
  PutMachine(kLanguages + "\\Language7", "Description", "Klingon");

  // The user's own folder.
  const std::string user = machine + "/nobody";
  ASSERT_TRUE(std::filesystem::create_directories(user));
  ASSERT_EQ(0, chown(user.c_str(), 65534, 65534));
  auto as = [&](int uid, std::vector<std::string> args) {
    const std::string id = std::to_string(uid);
    args.insert(args.begin(),
                {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", RUZIDE_TOOL_PATH});
    return ruzide::test::RunChild(
        args, {{"RUZIDE_MACHINE_REGISTRY", machine}, {"RUZIDE_REGISTRY", user}});
  };

  // The administrator's table is what the language functions answer.
  ChildResult r = as(65534, {"languages"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.out, "Installed languages: 7 (NumLanguages from the machine")) << r.out;
  EXPECT_EQ((std::vector<std::string>{"7", "0", "(0x0000)", "X", "machine+default", "Klingon"}),
            Row(r.out, "7"));

  // The user's changes go to the user's copy, and the machine root keeps its own.
  r = as(65534, {"settings", "set", "Languages.NumLanguages", "5"});
  ASSERT_EQ(0, r.status) << r.err;
  r = as(65534, {"settings", "set", "Languages.Language2.Description", "Englisch"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(std::string("\x07\0\0\0", 4), MachineValue(kLanguages, "NumLanguages"));
  EXPECT_EQ("(missing)", MachineValue(kLanguages + "\\Language2", "Description"));
  r = as(65534, {"languages"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.out, "Installed languages: 5 (NumLanguages from the virtual copy"))
      << r.out;
  EXPECT_EQ((std::vector<std::string>{"2", "1033", "(0x0409)", "B", "virtual", "copy+default",
                                      "Englisch"}),
            Row(r.out, "2"));
  r = as(65534, {"settings", "list", "machine"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("virtual", Row(r.out, "Languages.NumLanguages").at(3)) << r.out;
  EXPECT_EQ("machine", Row(r.out, "Languages.Language7.Description").at(3)) << r.out;
}

}  // namespace
#endif  // _WIN32
