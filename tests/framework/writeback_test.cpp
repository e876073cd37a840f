// Write-back at destruction is one store transaction: a process killed while a hive writes
// back its dirty values leaves the tree all old or all new. Off Windows only, where the
// store has transactions and processes can be killed at will.
#ifndef _WIN32
#include <time.h>

#include <random>
#include <string>
#include <vector>

#include "framework/registry_calls/Transaction.h"
#include "tests/framework/IsolatedRegistryTest.h"
#include "tests/library/ChildProcess.h"

namespace {

constexpr int kValues = 16;

std::string ValueName(int i) { return "v" + std::to_string(i); }

// Binds kValues int values below "Tree", each set to `round`, and destroys the hive,
// which writes them back.
void WriteBackRound(int round) {
  CRegDeclHive hive;
  hive.m_hRootKey = HKEY_CURRENT_USER;
  CRegDeclKey* tree = hive.GetChildKey("Tree");
  for (int i = 0; i < kValues; ++i) tree->GetChildInt(ValueName(i).c_str(), -1)->SetValue(round);
}

class WriteBackTest : public IsolatedRegistryTest {
 protected:
  // The values below "Tree", read as of one moment.
  static std::vector<int> Rounds() {
    ruzide::store::Transaction snapshot;
    std::vector<int> rounds;
    for (int i = 0; i < kValues; ++i) rounds.push_back(StoredInt("Tree", ValueName(i).c_str()));
    return rounds;
  }
};

TEST_F(WriteBackTest, AProcessKilledDuringWriteBackLeavesTheTreeAllOldOrAllNew) {
  WriteBackRound(0);
  std::mt19937 random(1206);
  int last = 0;
  for (int kill = 0; kill < 200; ++kill) {
    Pipe started;
    Child writer([&] {
      WriteBackRound(last + 1);  // the first round opens the store, which takes a while
      started.Send(1);
      for (int round = last + 2;; ++round) WriteBackRound(round);
      return 0;
    });
    ASSERT_EQ(1, started.Receive());
    timespec pause = {0, std::uniform_int_distribution<long>(0, 2'000'000)(random)};
    nanosleep(&pause, nullptr);
    writer.Kill();
    std::vector<int> after = Rounds();
    ASSERT_EQ(std::vector<int>(kValues, after[0]), after) << "kill " << kill;
    ASSERT_LE(last, after[0]);
    last = after[0];
  }
  EXPECT_GE(last, 200);
}

}  // namespace
#endif  // !_WIN32
