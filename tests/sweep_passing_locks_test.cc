// Another program holding a file for a moment (a virus scanner, the search
// indexer): which calls wait it out, for how long, and that nothing else is
// waited for.

#include <gtest/gtest.h>

#include "app/run.h"
#include "support/sweep.h"

namespace {

// Another program holding a file for a moment (a virus scanner): each call
// that may meet one tries again while its error is a passing one, for about
// 3 s of waits; any other error is final at once. Then the run goes on as
// without the retries.
TEST(FaultSweep, PassingLocksAreWaitedOutAndOnlyThey) {
  struct Row {
    const char* call;
    long nth;
    std::string lastBox;  // when the error stays
  };
  const Row rows[] = {
      {"OpenForRead", 1, expected::OpenErrorReport()},
      {"ProbeWrite", 1, expected::WriteFailed()},
      {"CreateNew", 1, expected::BackupQuestion("作成")},   // the backup's
      {"PutInPlace", 1, expected::BackupQuestion("作成")},  // the backup's
      {"OpenForRead", 2, expected::WriteFailed()},     // the look before the backup's replace
      {"CreateNew", 2, expected::WriteFailed()},
      {"PutInPlace", 2, expected::WriteFailed()},  // the file's own
  };
  struct Case {
    long times;
    std::uint32_t error;
    std::uint32_t slept;
    bool passes;
  };
  const Case cases[] = {
      {2, 32, 10 + 20, true},   // a sharing violation that passes
      {1000, 33, 3000, false},  // a lock violation that stays
      {1, 2, 0, false},         // not found: final
      // Access denied that passes after the waits have grown to the longest.
      {7, 5, 10 + 20 + 40 + 80 + 160 + 250 + 250, true},
  };
  for (const Row& row : rows) {
    for (const Case& c : cases) {
      TestPlatform platform;
      WriteBytes(platform.BoardPath(), kOld);
      platform.failCall = row.call;
      platform.failAt = row.nth;
      platform.failTimes = c.times;
      platform.failError = c.error;
      const std::string what = std::string(row.call) + " #" + std::to_string(row.nth) +
                               " failing " + std::to_string(c.times) + "x with " +
                               std::to_string(c.error);
      RunQuenlit(platform);
      EXPECT_EQ(platform.slept, c.slept) << what;
      ASSERT_FALSE(platform.boxes.empty()) << what;
      const std::string& last = platform.boxes.back().text;
      const std::string& expected = c.passes ? expected::Closing() : row.lastBox;
      EXPECT_EQ(last.substr(0, expected.size()), expected) << what;
      EXPECT_EQ(ReadBytes(platform.BoardPath()), c.passes ? kNew : kOld) << what;
    }
  }
}

}  // namespace
