// Registry virtualization as standard users meet it: the administrator stores the
// language table in the machine root as root, and two unprivileged users (each a child
// process that drops root's privileges, with a user root of its own) run the tool on it.
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

  // Each user's own folder; the second finds its user root through XDG_CONFIG_HOME.
  const std::string users = machine + "/users";
  ASSERT_TRUE(std::filesystem::create_directories(users + "/nobody"));
  ASSERT_TRUE(std::filesystem::create_directories(users + "/other"));
  ASSERT_EQ(0, chown((users + "/nobody").c_str(), 65534, 65534));
  ASSERT_EQ(0, chown((users + "/other").c_str(), 65533, 65533));
  auto as = [&](int uid, std::vector<std::string> args,
                std::vector<std::pair<std::string, std::string>> env = {}) {
    const std::string id = std::to_string(uid);
    args.insert(args.begin(),
                {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", RUZIDE_TOOL_PATH});
    env.push_back({"RUZIDE_MACHINE_REGISTRY", machine});
    if (uid == 65534) {
      env.push_back({"RUZIDE_REGISTRY", users + "/nobody"});
    } else {
      env.insert(env.begin(), {"RUZIDE_REGISTRY", ""});  // env(1) takes -u first
      env.push_back({"XDG_CONFIG_HOME", users + "/other"});
    }
    return ruzide::test::RunChild(args, env);
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
  EXPECT_TRUE(Contains(r.out, "Installed languages: 5 (NumLanguages from the virtual copy"))
      << r.out;
  EXPECT_EQ((std::vector<std::string>{"2", "1033", "(0x0409)", "B", "virtual", "copy+default",
                                      "Englisch"}),
            Row(r.out, "2"));
  r = as(65534, {"settings", "list", "machine"});
  EXPECT_EQ("virtual", Row(r.out, "Languages.NumLanguages").at(3)) << r.out;
  EXPECT_EQ("machine", Row(r.out, "Languages.Language7.Description").at(3)) << r.out;

  // Another user sees the machine's table, not the first user's copy.
  r = as(65533, {"languages"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Contains(r.out, "Installed languages: 7 (NumLanguages from the machine")) << r.out;
  EXPECT_EQ("English", Row(r.out, "2").back());

  // Without virtualization, the library is refused the machine's keys, as before.
  r = as(65534, {"languages"}, {{"RUZIDE_VIRTUALIZATION", "0"}});
  EXPECT_TRUE(Contains(r.out, "Installed languages: 6 (NumLanguages by default")) << r.out;
}

}  // namespace
#endif  // _WIN32
