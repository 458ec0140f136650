// Every platform call of a run, made to fail or to end the process in turn,
// and a disk that fills up: the user's file must always hold its old bytes
// or all of its new ones, and the user must hear about every failure.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>

#include "app/run.h"
#include "platform/encoding.h"
#include "support/sweep.h"

namespace {

struct Expected {
  std::set<std::string> lastBoxes;  // any one of them
  int status = 0;
  bool written = false;
};

Expected Says(std::set<std::string> lastBoxes, int status = 0) {
  Expected expected;
  expected.lastBoxes = std::move(lastBoxes);
  expected.status = status;
  return expected;
}

// What the user sees when call `name` fails, the `nth` such call of a clean
// run; `writing` once the write-back has begun (its first call asks for the
// file's attributes), `backingUp` while the backup is made.
Expected WhenFailing(const Scenario& scenario, const std::string& name, long nth, bool writing,
                     bool backingUp) {
  Expected success = Says({expected::Closing()});
  success.written = true;
  // Closing or freeing cannot fail; a stale entry that is not there needs no
  // removing; a folder that cannot hold the run's lock is written as without
  // it; an own name that cannot be reached is none the file leads to.
  if (name == "CloseFile" || name == "FreePages" || name == "UnlockRun" || name == "RemoveFile" ||
      name == "LockRun" || name == "LeadsTo") {
    return success;
  }
  if (!writing) {
    if (name == "ModuleFileName" || name == "FindFile") return Says({expected::NotFound()});
    if (name == "OpenForRead") return Says({expected::OpenErrorReport()}, 1);
    if (name == "AllocatePages") return Says({expected::OutOfMemoryReport()}, 1);
    if (name == "FileSize" || name == "ReadFile") return Says({expected::ReadFailed()});
  } else {
    // Only the file's own attributes ask; the backup's are looked at after.
    if (name == "GetAttributes") {
      return scenario.boardReadOnly || nth > 1 ? success : Says({expected::ReadOnlyQuestion()});
    }
    if (name == "FindFile") return success;  // only the verb of a question changes
    if (name == "SetAttributes") return Says({expected::AttributesFailed()});
    // A file that cannot be looked at again is not taken to be unchanged,
    // nor one that cannot be opened for writing to be writable.
    if (name == "OpenForRead" || name == "FileSize" || name == "ReadFile" ||
        name == "ProbeWrite") {
      return Says({expected::WriteFailed()});
    }
    // The backup is written and put in place before the file is.
    if (backingUp && (name == "CreateNew" || name == "WriteFile" || name == "FlushFile" ||
                      name == "PutInPlace")) {
      return Says({expected::BackupQuestion(scenario.backupBefore ? "更新" : "作成")});
    }
    // The write buffer is taken before the file is created.
    if (name == "AllocatePages" || name == "CreateNew" || name == "WriteFile" ||
        name == "FlushFile" || name == "PutInPlace") {
      return Says({expected::WriteFailed()});
    }
  }
  ADD_FAILURE() << "no expectation for a failing " << name;
  return {};
}

bool IsOneOf(const std::string& text, const std::set<std::string>& texts) {
  return std::any_of(texts.begin(), texts.end(), [&](const std::string& known) {
    return text.compare(0, known.size(), known) == 0 &&
           (text.size() == known.size() || known == expected::OpenErrorReport() ||
            known == expected::OutOfMemoryReport());
  });
}

void SweepFailures(const Scenario& scenario, const CleanRun& clean, Tally& tally) {
  long attributeCalls = 0;
  long boxIndex = 0;
  // Two replaces when a backup is made: the backup's comes first.
  const bool backupMade = std::count(clean.calls.begin(), clean.calls.end(), "PutInPlace") == 2;
  long replaces = 0;
  for (std::size_t i = 0; i < clean.calls.size(); ++i) {
    const std::string& call = clean.calls[i];
    const long k = static_cast<long>(i) + 1;
    if (call == "GetAttributes") ++attributeCalls;
    const bool writing = attributeCalls >= 1;
    const bool backingUp = writing && backupMade && replaces == 0;
    if (call == "PutInPlace") ++replaces;
    SweepPlatform platform(scenario);
    platform.failAt = k;
    const int status = RunQuenlit(platform);
    const std::string what = Named(scenario, "failing", k, call);
    const long nth = std::count(clean.calls.begin(), clean.calls.begin() + k, call);
    const Expected expected = call == "ShowBox"
                                  ? Expected{}
                                  : WhenFailing(scenario, call, nth, writing, backingUp);
    ++tally.points;
    if (!DiskCheck(scenario, platform, what).Intact(false)) ++tally.lost;

    const bool written = ReadBytes(platform.BoardPath()) != kOld;
    if (call == "ShowBox") {
      // The box itself failed: the boxes before it were shown, it was not,
      // and a question that cannot be asked is a refusal.
      const bool closing = clean.boxes.at(boxIndex).text == expected::Closing();
      ASSERT_EQ(platform.boxes.size(), static_cast<std::size_t>(boxIndex)) << what;
      EXPECT_EQ(status, 0) << what;
      EXPECT_EQ(written, closing) << what;
      ++boxIndex;
      continue;
    }
    EXPECT_EQ(status, expected.status) << what;
    ASSERT_FALSE(platform.boxes.empty()) << what << ": the failure was never reported";
    const std::string& last = platform.boxes.back().text;
    EXPECT_TRUE(IsOneOf(last, expected.lastBoxes))
        << what << ": unexpected last box " << Cp932ToUtf8ForDisplay(last);
    // Success is claimed exactly when the new bytes are on disk.
    EXPECT_EQ(written, last == expected::Closing()) << what;
    EXPECT_EQ(written, expected.written) << what;
  }
}

void SweepDeaths(const Scenario& scenario, const CleanRun& clean, Tally& tally) {
  for (std::size_t i = 0; i < clean.calls.size(); ++i) {
    const long k = static_cast<long>(i) + 1;
    const std::string what = Named(scenario, "dying", k, clean.calls[i]);
    SweepPlatform platform(scenario);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      platform.dieAt = k;
      RunQuenlit(platform);
      ::_exit(99);  // lived past the call it should have died at
    }
    int wait = 0;
    ASSERT_EQ(::waitpid(child, &wait, 0), child);
    ASSERT_TRUE(WIFEXITED(wait)) << what;
    ASSERT_EQ(WEXITSTATUS(wait), platform.dieStatus) << what;
    ++tally.points;
    const bool survived = DiskCheck(scenario, platform, what).Intact(true);
    // Stopped right before a replace: the new bytes wait under their own name.
    if (clean.calls[i] == "PutInPlace") {
      const bool last = std::count(clean.calls.begin() + k, clean.calls.end(), "PutInPlace") == 0;
      EXPECT_TRUE(Exists(last ? platform.TempPath() : platform.BackupPath() + "_QlTemp")) << what;
    }

    // The user starts the tool again: it must finish the job and leave no
    // temporary file, whatever the dead run left.
    const bool wasWritten = ReadBytes(platform.BoardPath()) == kNew;
    platform.Reset();
    EXPECT_EQ(RunQuenlit(platform), 0) << what << ", run again";
    const bool recovered = DiskCheck(scenario, platform, what + ", run again").Intact(false) &&
                           ReadBytes(platform.BoardPath()) == kNew;
    EXPECT_TRUE(recovered) << what << ", run again";
    ASSERT_FALSE(platform.boxes.empty()) << what;
    EXPECT_EQ(platform.boxes.back().text, wasWritten ? expected::NoChange() : expected::Closing()) << what;
    if (!survived || !recovered) ++tally.lost;
  }
}

TEST(FaultSweep, EveryCallFailingOrDyingLosesNothing) {
  Tally tally;
  std::string perScenario;
  for (const Scenario& scenario : kScenarios) {
    const CleanRun clean = RunCleanly(scenario);
    // A sweep over a run that never reaches the write-back proves nothing.
    ASSERT_NE(std::find(clean.calls.begin(), clean.calls.end(), "PutInPlace"), clean.calls.end());
    SweepFailures(scenario, clean, tally);
    SweepDeaths(scenario, clean, tally);
    perScenario += (perScenario.empty() ? "" : "+") + std::to_string(clean.calls.size());
  }
  std::printf(
      "fault sweep: %s failure points x %zu scenarios x {failed, died} = %ld runs, %ld lost\n",
      perScenario.c_str(), std::size(kScenarios), tally.points, tally.lost);
  EXPECT_EQ(tally.lost, 0);
}

// A disk that fills up part way through the backup copy: the earlier backup
// must survive, not be cut short, whatever the user answers.
TEST(FaultSweep, ADiskFillingUpDuringTheBackupKeepsTheEarlierBackup) {
  for (int answer : {kNo, kYes}) {
    TestPlatform platform;
    WriteBytes(platform.BoardPath(), kOld);
    WriteBytes(platform.BackupPath(), kPreviousBackup);
    platform.answers = {answer};
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Every file may grow to half the board's size, then writes fail.
      std::signal(SIGXFSZ, SIG_IGN);
      const rlim_t limit = kOld.size() / 2;
      const rlimit fileSize{limit, limit};
      ::setrlimit(RLIMIT_FSIZE, &fileSize);
      const int status = RunQuenlit(platform);
      const bool asked =
          !platform.boxes.empty() && platform.boxes.front().text == expected::BackupQuestion("更新");
      const bool told = answer == kNo ? platform.boxes.size() == 1
                                      : platform.boxes.back().text == expected::WriteFailed();
      ::_exit(status == 0 && asked && told ? 0 : 1);
    }
    int wait = 0;
    ASSERT_EQ(::waitpid(child, &wait, 0), child);
    EXPECT_TRUE(WIFEXITED(wait) && WEXITSTATUS(wait) == 0) << "answer " << answer;
    EXPECT_EQ(ReadBytes(platform.BoardPath()), kOld);
    EXPECT_EQ(ReadBytes(platform.BackupPath()), kPreviousBackup) << "answer " << answer;
    std::vector<std::string> left;
    for (const auto& entry :
         std::filesystem::directory_iterator(platform.HostPath("host/config"))) {
      left.push_back(entry.path().filename());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"board.2ch", "board.2ch_QlBack"}))
        << "answer " << answer;
  }
}

}  // namespace
