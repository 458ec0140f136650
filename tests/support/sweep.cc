#include "support/sweep.h"

#include <gtest/gtest.h>

#include "app/run.h"

const Scenario kScenarios[4] = {
    {"normal run", false, false, false},
    {"normal run over an earlier backup", true, false, false},
    {"read-only file, answered Yes", false, true, false},
    {"backup impossible, answered Yes", true, false, true},
};

SweepPlatform::SweepPlatform(const Scenario& scenario) : scenario_(scenario) {
  WriteBytes(BoardPath(), kOld);
  if (scenario.boardReadOnly) SetWritable(BoardPath(), false);
  if (scenario.backupBefore) WriteBytes(BackupPath(), kPreviousBackup);
  if (scenario.backupReadOnly) SetWritable(BackupPath(), false);
}

int SweepPlatform::ShowBox(const std::string& text, const std::string& caption,
                           std::uint32_t style) {
  bool agreed = (scenario_.boardReadOnly && text == expected::ReadOnlyQuestion()) ||
                (scenario_.backupReadOnly && (text == expected::BackupQuestion("更新") ||
                                              text == expected::BackupQuestion("作成")));
  answers = {agreed ? kYes : kNo};
  int answer = TestPlatform::ShowBox(text, caption, style);
  answers.clear();
  return answer;
}

void SweepPlatform::Reset() {
  calls.clear();
  boxes.clear();
  failCall.clear();
  failAt = 0;
  dieAt = 0;
}

bool DiskCheck::Intact(bool temporaryAllowed) const {
  const std::string board = ReadBytes(platform_.BoardPath());
  bool ok = true;
  if (board != kOld && board != kNew) {
    ADD_FAILURE() << what_ << ": the file holds neither its old nor its new bytes";
    ok = false;
  }
  const bool backupExists = Exists(platform_.BackupPath());
  const std::string backup = backupExists ? ReadBytes(platform_.BackupPath()) : "";
  const bool backupAsBefore =
      scenario_.backupBefore ? backupExists && backup == kPreviousBackup : !backupExists;
  const bool backupOfOld = backupExists && backup == kOld;
  if (!backupAsBefore && !(backupOfOld && !scenario_.backupReadOnly)) {
    ADD_FAILURE() << what_ << ": the backup is neither untouched nor a whole copy of the file";
    ok = false;
  }
  // The old bytes may only go when the backup holds them, or when the user
  // agreed to go on without one.
  if (board != kOld && !scenario_.backupReadOnly && !backupOfOld) {
    ADD_FAILURE() << what_ << ": the file was rewritten without a backup of it";
    ok = false;
  }
  if (!temporaryAllowed &&
      (Exists(platform_.TempPath()) || Exists(platform_.BackupPath() + "_QlTemp"))) {
    ADD_FAILURE() << what_ << ": a temporary file was left behind";
    ok = false;
  }
  return ok;
}

CleanRun RunCleanly(const Scenario& scenario) {
  SweepPlatform platform(scenario);
  EXPECT_EQ(RunQuenlit(platform), 0) << scenario.name;
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kNew) << scenario.name;
  EXPECT_EQ(ReadBytes(platform.BackupPath()), scenario.backupReadOnly ? kPreviousBackup : kOld)
      << scenario.name;
  EXPECT_FALSE(Exists(platform.TempPath())) << scenario.name;
  EXPECT_FALSE(platform.boxes.empty());
  if (!platform.boxes.empty()) {
    EXPECT_EQ(platform.boxes.back().text, expected::Closing()) << scenario.name;
  }
  return {platform.calls, platform.boxes};
}

long IndexOf(const CleanRun& clean, const std::string& name, long nth) {
  for (std::size_t i = 0; i < clean.calls.size(); ++i) {
    if (clean.calls[i] == name && --nth == 0) return static_cast<long>(i) + 1;
  }
  return 0;
}

std::string Named(const Scenario& scenario, const char* how, long k, const std::string& call) {
  return std::string(scenario.name) + ", " + how + " at call " + std::to_string(k) + " (" + call +
         ")";
}
