// Every platform call of a run, made to fail or to end the process in turn:
// the user's file must always hold its old bytes or all of its new ones, and
// the user must hear about every failure.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>

#include "app/run.h"
#include "platform/encoding.h"
#include "support/test_platform.h"

namespace {

constexpr int kYes = 6;
constexpr int kNo = 7;

// Mixed line ends, a cp932 comment, "clBlack" where it must stay (third
// field, after a lead byte, at the start of a line), one board line to
// rewrite, and bytes after a NUL.
const std::string kTail("\0after nul\r\nclBlack", 19);
const std::string kOld =
    "; \x83\x54\x81\x5b\x83\x6f\r\n"
    "1\tn\tclBlack\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\n"
    "2\tn\th\t/b/\t0\t0\t0\t\x82"
    "clBlack\tclWindow\t0\r"
    "3\t\x94\xc2\th\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\r\n"
    "clBlack\tn\th\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\n" +
    kTail;
const std::string kNew =
    "; \x83\x54\x81\x5b\x83\x6f\r\n"
    "1\tn\tclBlack\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\r\n"
    "2\tn\th\t/b/\t0\t0\t0\t\x82"
    "clBlack\tclWindow\t0\r\n"
    "3\t\x94\xc2\th\t/b/\t0\t0\t0\tclWindowText\tclWindow\t0\r\n"
    "clBlack\tn\th\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\r\n" +
    kTail;
const std::string kPreviousBackup = "a backup from an earlier run\r\n";

struct Scenario {
  const char* name;
  bool backupBefore;    // an earlier run left a backup
  bool boardReadOnly;   // and the user agrees to clear it
  bool backupReadOnly;  // so no backup can be made, and the user goes on
};

const Scenario kScenarios[] = {
    {"normal run", false, false, false},
    {"normal run over an earlier backup", true, false, false},
    {"read-only file, answered Yes", false, true, false},
    {"backup impossible, answered Yes", true, false, true},
};

const std::string kPath = "Z:\\host\\config\\board.2ch";

std::string ReadOnlyQuestion(const std::string& path) {
  return Sjis("サーバ情報ファイル " + path +
              " は読み取り専用になっているようです。\r\n"
              "全ての属性を解除して、文字色の修正を反映させますか？");
}
std::string BackupQuestion(const std::string& verb) {
  return Sjis("バックファイル " + kPath + "_QlBack を" + verb +
              "できませんでした。\r\nこのまま続行しても構いませんか？\r\n\r\n"
              "[はい(Y)] を押すと、バックアップを" +
              verb +
              "せずにサーバ情報ファイルを書き換えます。\r\n"
              "[いいえ(N)] を押すと、処理を中止します。\u3000（ファイル書換は行いません）");
}
std::string NotFound() {
  return Sjis(
      "サーバ情報ファイル(board.2ch)が見つかりませんでした。\r\n"
      "Quenlit.exe を Ostra.Exe と同じ場所にコピーして実行して下さい。");
}
std::string ReadFailed() {
  return Sjis("サーバ情報ファイル" + kPath +
              "の読み込みに失敗しました。\r\n書換処理を続行できません。");
}
std::string NoChange() {
  return Sjis(
      "板名文字色が黒色('clBlack')である板は、見つかりませんでした。\r\n何もせずに終了します。");
}
std::string AttributesFailed() {
  return Sjis("属性変更に失敗しました。現在のファイル属性を確認して下さい。");
}
std::string WriteFailed(const std::string& path) {
  return Sjis("サーバ情報ファイル" + path + "への書き込みに失敗しました。");
}
std::string Closing(int count = 1) { return Sjis(std::to_string(count) + " 件、修正しました。"); }
// The last-resort reports: only their start is fixed.
std::string OpenErrorReport() { return "EFOpenError" + Sjis("がモジュール Quenlit.exe の "); }
std::string OutOfMemoryReport() { return "EOutOfMemory" + Sjis("がモジュール Quenlit.exe の "); }

// The real platform under test, answering the questions of the scenario Yes
// and any other question No.
class SweepPlatform : public TestPlatform {
 public:
  explicit SweepPlatform(const Scenario& scenario) : scenario_(scenario) {
    WriteBytes(BoardPath(), kOld);
    if (scenario.boardReadOnly) SetWritable(BoardPath(), false);
    if (scenario.backupBefore) WriteBytes(BackupPath(), kPreviousBackup);
    if (scenario.backupReadOnly) SetWritable(BackupPath(), false);
  }

  int ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
    bool agreed = (scenario_.boardReadOnly && text == ReadOnlyQuestion(kPath)) ||
                  (scenario_.backupReadOnly &&
                   (text == BackupQuestion("更新") || text == BackupQuestion("作成")));
    answers = {agreed ? kYes : kNo};
    int answer = TestPlatform::ShowBox(text, caption, style);
    answers.clear();
    return answer;
  }

  // Ready for another run in the same folder.
  void Reset() {
    calls.clear();
    boxes.clear();
    failCall.clear();
    failAt = 0;
    dieAt = 0;
  }

 private:
  const Scenario& scenario_;
};

// What a run must leave behind, whatever went wrong in it.
class DiskCheck {
 public:
  DiskCheck(const Scenario& scenario, const SweepPlatform& platform, std::string what)
      : scenario_(scenario), platform_(platform), what_(std::move(what)) {}

  // The user's data: false (and a test failure) when any of it is lost.
  bool Intact(bool temporaryAllowed) const {
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

 private:
  const Scenario& scenario_;
  const SweepPlatform& platform_;
  std::string what_;
};

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
// run; `writing` once the write-back has begun (the run asks for its own
// location a second time then), `backingUp` while the backup is made.
Expected WhenFailing(const Scenario& scenario, const std::string& name, long nth, bool writing,
                     bool backingUp) {
  Expected success = Says({Closing()});
  success.written = true;
  // Closing or freeing cannot fail; a stale entry that is not there needs no
  // removing; a folder that cannot hold the run's lock is written as without it.
  if (name == "CloseFile" || name == "FreePages" || name == "UnlockRun" || name == "RemoveFile" ||
      name == "LockRun") {
    return success;
  }
  if (!writing) {
    if (name == "ModuleFileName" || name == "FindFile") return Says({NotFound()});
    if (name == "OpenForRead") return Says({OpenErrorReport()}, 1);
    if (name == "AllocatePages") return Says({OutOfMemoryReport()}, 1);
    if (name == "FileSize" || name == "ReadFile") return Says({ReadFailed()});
  } else {
    // Without its own location the run cannot name the file to write.
    if (name == "ModuleFileName") return Says({WriteFailed("")});
    // Only the file's own attributes ask; the backup's are looked at after.
    if (name == "GetAttributes") {
      return scenario.boardReadOnly || nth > 1 ? success : Says({ReadOnlyQuestion(kPath)});
    }
    if (name == "FindFile") return success;  // only the verb of a question changes
    if (name == "SetAttributes") return Says({AttributesFailed()});
    // A file that cannot be looked at again is not taken to be unchanged.
    if (name == "OpenForRead" || name == "FileSize" || name == "ReadFile") {
      return Says({WriteFailed(kPath)});
    }
    // The backup is written and put in place before the file is.
    if (backingUp && (name == "CreateNew" || name == "WriteFile" || name == "FlushFile" ||
                      name == "PutInPlace")) {
      return Says({BackupQuestion(scenario.backupBefore ? "更新" : "作成")});
    }
    // The write buffer is taken before the file is created.
    if (name == "AllocatePages" || name == "CreateNew" || name == "WriteFile" ||
        name == "FlushFile" || name == "PutInPlace") {
      return Says({WriteFailed(kPath)});
    }
  }
  ADD_FAILURE() << "no expectation for a failing " << name;
  return {};
}

bool IsOneOf(const std::string& text, const std::set<std::string>& texts) {
  return std::any_of(texts.begin(), texts.end(), [&](const std::string& known) {
    return text.compare(0, known.size(), known) == 0 &&
           (text.size() == known.size() || known == OpenErrorReport() ||
            known == OutOfMemoryReport());
  });
}

std::string Named(const Scenario& scenario, const char* how, long k, const std::string& call) {
  return std::string(scenario.name) + ", " + how + " at call " + std::to_string(k) + " (" + call +
         ")";
}

struct CleanRun {
  std::vector<std::string> calls;
  std::vector<RecordedBox> boxes;
};

CleanRun RunCleanly(const Scenario& scenario) {
  SweepPlatform platform(scenario);
  EXPECT_EQ(RunQuenlit(platform), 0) << scenario.name;
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kNew) << scenario.name;
  EXPECT_EQ(ReadBytes(platform.BackupPath()), scenario.backupReadOnly ? kPreviousBackup : kOld)
      << scenario.name;
  EXPECT_FALSE(Exists(platform.TempPath())) << scenario.name;
  EXPECT_FALSE(platform.boxes.empty());
  if (!platform.boxes.empty()) {
    EXPECT_EQ(platform.boxes.back().text, Closing()) << scenario.name;
  }
  return {platform.calls, platform.boxes};
}

struct Tally {
  long points = 0;
  long lost = 0;
  long window = 0;
};

void SweepFailures(const Scenario& scenario, const CleanRun& clean, Tally& tally) {
  long moduleCalls = 0;
  long boxIndex = 0;
  // Two replaces when a backup is made: the backup's comes first.
  const bool backupMade = std::count(clean.calls.begin(), clean.calls.end(), "PutInPlace") == 2;
  long replaces = 0;
  for (std::size_t i = 0; i < clean.calls.size(); ++i) {
    const std::string& call = clean.calls[i];
    const long k = static_cast<long>(i) + 1;
    if (call == "ModuleFileName") ++moduleCalls;
    const bool backingUp = moduleCalls >= 2 && backupMade && replaces == 0;
    if (call == "PutInPlace") ++replaces;
    SweepPlatform platform(scenario);
    platform.failAt = k;
    const int status = RunQuenlit(platform);
    const std::string what = Named(scenario, "failing", k, call);
    const long nth = std::count(clean.calls.begin(), clean.calls.begin() + k, call);
    const Expected expected = call == "ShowBox"
                                  ? Expected{}
                                  : WhenFailing(scenario, call, nth, moduleCalls >= 2, backingUp);
    ++tally.points;
    if (!DiskCheck(scenario, platform, what).Intact(false)) ++tally.lost;

    const bool written = ReadBytes(platform.BoardPath()) != kOld;
    if (call == "ShowBox") {
      // The box itself failed: the boxes before it were shown, it was not,
      // and a question that cannot be asked is a refusal.
      const bool closing = clean.boxes.at(boxIndex).text == Closing();
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
    EXPECT_EQ(written, last == Closing()) << what;
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
    EXPECT_EQ(platform.boxes.back().text, wasWritten ? NoChange() : Closing()) << what;
    if (!survived || !recovered) ++tally.lost;
  }
}

// Another program at work while the run goes on, right before each call of
// a clean run in turn. Whatever it writes stays; the backup is the earlier
// one or exactly what this run read; success is claimed only for a file
// that holds the fix of what was read; nothing of the run's own remains.
const std::string kSavedLine = "9\tsaved by the host\t0\r\n";
std::string WithSavedLine(const std::string& bytes) {
  return bytes.substr(0, bytes.size() - kTail.size()) + kSavedLine + kTail;
}
const std::string kOtherHost = "5\tother\th\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\r\n";
const std::string kOtherHostFixed = "5\tother\th\t/b/\t0\t0\t0\tclWindowText\tclWindow\t0\r\n";

// 1-based index of the n-th call of that name in the clean run.
long IndexOf(const CleanRun& clean, const std::string& name, long nth) {
  for (std::size_t i = 0; i < clean.calls.size(); ++i) {
    if (clean.calls[i] == name && --nth == 0) return static_cast<long>(i) + 1;
  }
  return 0;
}

struct Outcome {
  std::string board;
  std::set<std::string> backups;  // any one; "": none
  std::string lastBox;
  // A save that lands between the last look at the file and its replace,
  // two calls in a row: the one window left, where the save is lost.
  bool window = false;
};

void SweepChanges(const Scenario& scenario, const CleanRun& clean, Tally& tally) {
  const std::string before = scenario.backupBefore ? kPreviousBackup : "";
  const bool twoReplaces = IndexOf(clean, "PutInPlace", 2) != 0;
  const long read = IndexOf(clean, "FileSize", 1);
  const long lock = IndexOf(clean, "LockRun", 1);
  const long lastReplace = IndexOf(clean, "PutInPlace", twoReplaces ? 2 : 1);
  long lastLook = 0;  // the last read of the look before that replace
  for (long i = 1; i < lastReplace; ++i) {
    if (clean.calls[i - 1] == "ReadFile") lastLook = i;
  }
  const std::string backupQuestion = BackupQuestion(scenario.backupBefore ? "更新" : "作成");
  struct Change {
    const char* name;
    void (*apply)(SweepPlatform&);
    std::function<Outcome(long k)> expected;
  };
  const Change changes[] = {
      {"the host saves board.2ch",
       [](SweepPlatform& p) {
         const bool writable = IsWritable(p.BoardPath());
         SetWritable(p.BoardPath(), true);
         WriteBytes(p.BoardPath(), WithSavedLine(kOld));
         SetWritable(p.BoardPath(), writable);
       },
       [&](long k) -> Outcome {
         const std::string saved = WithSavedLine(kOld);
         const std::string kept = scenario.backupReadOnly ? kPreviousBackup : "";
         if (k <= read) return {WithSavedLine(kNew), {kept.empty() ? saved : kept}, Closing()};
         if (k > lastReplace) return {saved, {kept.empty() ? kOld : kept}, Closing()};
         if (k > lastLook) return {kNew, {kept.empty() ? kOld : kept}, Closing(), true};
         return {saved, {before, kOld}, WriteFailed(kPath)};
       }},
      {"config becomes a link to another host's",
       [](SweepPlatform& p) {
         MakeFolder(p.HostPath("other/config"));
         WriteBytes(p.HostPath("other/config/board.2ch"), kOtherHost);
         std::filesystem::rename(p.HostPath("host/config"), p.HostPath("host/moved"));
         std::filesystem::create_directory_symlink("../other/config", p.HostPath("host/config"));
       },
       [&](long) -> Outcome {
         return {kNew, {scenario.backupReadOnly ? kPreviousBackup : kOld}, Closing()};
       }},
      {"another run takes the temporary names",
       [](SweepPlatform& p) {
         for (const std::string& name : {p.TempPath(), p.BackupPath() + "_QlTemp"}) {
           if (!Exists(name)) continue;
           std::filesystem::remove(name);
           WriteBytes(name, "another run's half");
         }
       },
       [&](long k) -> Outcome {
         if (twoReplaces && k > IndexOf(clean, "CreateNew", 1) &&
             k <= IndexOf(clean, "PutInPlace", 1)) {
           return {kOld, {before}, backupQuestion};
         }
         if (k > IndexOf(clean, "CreateNew", twoReplaces ? 2 : 1) && k <= lastReplace) {
           return {kOld, {before, kOld}, WriteFailed(kPath)};
         }
         return {kNew, {scenario.backupReadOnly ? kPreviousBackup : kOld}, Closing()};
       }},
  };
  for (const Change& change : changes) {
    for (long k = 1; k <= static_cast<long>(clean.calls.size()); ++k) {
      SweepPlatform platform(scenario);
      platform.changeAt = k;
      platform.change = [&] { change.apply(platform); };
      RunQuenlit(platform);
      const std::string what = Named(scenario, change.name, k, clean.calls[k - 1]);
      // A swapped folder: the run works in the one it locked, which is
      // the other host's when the swap came first.
      const bool swapped = change.apply == changes[1].apply;
      const bool other = swapped && k <= lock;
      const std::string config = swapped && !other ? "host/moved/" : "host/config/";
      Outcome want = change.expected(k);
      if (other) want = {kOtherHostFixed, {kOtherHost}, Closing()};
      const std::string board = ReadBytes(platform.HostPath(config + "board.2ch"));
      const std::string backupPath = platform.HostPath(config + "board.2ch_QlBack");
      const std::string backup = Exists(backupPath) ? ReadBytes(backupPath) : "";
      bool ok = board == want.board && want.backups.count(backup) == 1;
      ok = ok && !platform.boxes.empty() && platform.boxes.back().text == want.lastBox;
      for (const char* folder : {"host/config/", "host/moved/", "other/config/"}) {
        ok = ok && !Exists(platform.HostPath(folder + std::string("board.2ch_QlTemp"))) &&
             !Exists(platform.HostPath(folder + std::string("board.2ch_QlBack_QlTemp")));
      }
      // The folder the run did not work in is as it was.
      if (swapped) {
        ok = ok && ReadBytes(platform.HostPath(other ? "host/moved/board.2ch"
                                                     : "other/config/board.2ch")) ==
                       (other ? kOld : kOtherHost);
      }
      EXPECT_TRUE(ok) << what << ": board " << (board == want.board ? "as expected" : "differs")
                      << ", backup " << (want.backups.count(backup) ? "as expected" : "differs")
                      << ", last box "
                      << (platform.boxes.empty()
                              ? "none"
                              : Cp932ToUtf8ForDisplay(platform.boxes.back().text));
      ++tally.points;
      if (!ok) ++tally.lost;
      if (want.window) ++tally.window;
    }
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

TEST(FaultSweep, AnotherProgramsWorkIsNeverLost) {
  Tally tally;
  for (const Scenario& scenario : kScenarios) SweepChanges(scenario, RunCleanly(scenario), tally);
  std::printf("change sweep: %ld runs, %ld lost, %ld saves between the last look and the replace\n",
              tally.points, tally.lost, tally.window);
  EXPECT_EQ(tally.lost, 0);
}

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
      {"OpenForRead", 1, OpenErrorReport()},
      {"CreateNew", 1, BackupQuestion("作成")},   // the backup's
      {"PutInPlace", 1, BackupQuestion("作成")},  // the backup's
      {"OpenForRead", 2, WriteFailed(kPath)},     // the look before the backup's replace
      {"CreateNew", 2, WriteFailed(kPath)},
      {"PutInPlace", 2, WriteFailed(kPath)},  // the file's own
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
      const std::string& expected = c.passes ? Closing() : row.lastBox;
      EXPECT_EQ(last.substr(0, expected.size()), expected) << what;
      EXPECT_EQ(ReadBytes(platform.BoardPath()), c.passes ? kNew : kOld) << what;
    }
  }
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
          !platform.boxes.empty() && platform.boxes.front().text == BackupQuestion("更新");
      const bool told = answer == kNo ? platform.boxes.size() == 1
                                      : platform.boxes.back().text == WriteFailed(kPath);
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
