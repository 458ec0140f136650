// Another program at work while the run goes on, right before each call of
// a clean run in turn. Whatever it writes stays; the backup is the earlier
// one or exactly what this run read; success is claimed only for a file
// that holds the fix of what was read; nothing of the run's own remains.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>

#include "app/run.h"
#include "platform/encoding.h"
#include "support/sweep.h"

namespace {

const std::string kSavedLine = "9\tsaved by the host\t0\r\n";
std::string WithSavedLine(const std::string& bytes) {
  return bytes.substr(0, bytes.size() - kTail.size()) + kSavedLine + kTail;
}
const std::string kOtherHost = "5\tother\th\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\r\n";
const std::string kOtherHostFixed = "5\tother\th\t/b/\t0\t0\t0\tclWindowText\tclWindow\t0\r\n";

// Files another run is still writing, as that run holds them: open, with
// the mark of a live file (a lock on the byte at 1 << 40). Closed after
// each run.
struct LiveFile {
  std::string path;
  int fd;
};
std::vector<LiveFile> liveFiles;

void PlantLive(const std::string& path) {
  WriteBytes(path, "another run's half");
  const int fd = ::open(path.c_str(), O_RDWR);
  struct flock mark {};
  mark.l_type = F_WRLCK;
  mark.l_whence = SEEK_SET;
  mark.l_start = off_t{1} << 40;
  mark.l_len = 1;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &mark), 0);
  liveFiles.push_back({path, fd});
}

struct Outcome {
  std::string board;
  std::set<std::string> backups;  // any one; "": none
  std::string lastBox;
  // A save that lands between the last look at the file and its replace,
  // two calls in a row: the one window left, where the save is lost.
  bool window = false;
};

// Where a clean run of the scenario makes its calls.
struct Landmarks {
  explicit Landmarks(const Scenario& scenario, const CleanRun& clean)
      : before(scenario.backupBefore ? kPreviousBackup : ""),
        kept(scenario.backupReadOnly ? kPreviousBackup : ""),
        backupQuestion(expected::BackupQuestion(scenario.backupBefore ? "更新" : "作成")),
        twoReplaces(IndexOf(clean, "PutInPlace", 2) != 0),
        read(IndexOf(clean, "FileSize", 1)),
        lock(IndexOf(clean, "LockRun", 1)),
        lastReplace(IndexOf(clean, "PutInPlace", twoReplaces ? 2 : 1)),
        firstCreate(IndexOf(clean, "CreateNew", 1)),
        lastCreate(IndexOf(clean, "CreateNew", twoReplaces ? 2 : 1)),
        firstReplace(IndexOf(clean, "PutInPlace", 1)) {
    for (long i = 1; i < lastReplace; ++i) {
      if (clean.calls[i - 1] == "ReadFile") lastLook = i;
    }
  }
  std::string before;  // the backup before the run: "" for none
  std::string kept;    // the backup the run cannot replace: "" for none
  std::string backupQuestion;
  bool twoReplaces;
  long read, lock, lastReplace, firstCreate, lastCreate, firstReplace;
  long lastLook = 0;  // the last read of the look before the last replace
};

// The change made right before call k, for every k of a clean run and in
// every scenario; `expected` says what must be left then. A swapped config
// folder is checked in the folder the run locked, and the other is checked
// to be as it was.
void SweepChange(const char* name, void (*apply)(SweepPlatform&),
                 const std::function<Outcome(const Landmarks&, long k)>& expected,
                 bool swapsFolder = false) {
  Tally tally;
  for (const Scenario& scenario : kScenarios) {
    const CleanRun clean = RunCleanly(scenario);
    const Landmarks at(scenario, clean);
    for (long k = 1; k <= static_cast<long>(clean.calls.size()); ++k) {
      SweepPlatform platform(scenario);
      platform.changeAt = k;
      platform.change = [&] { apply(platform); };
      RunQuenlit(platform);
      const std::string what = Named(scenario, name, k, clean.calls[k - 1]);
      // Another run's live files stay as that run left them.
      bool ok = true;
      for (const LiveFile& live : liveFiles) {
        ok = ok && ReadBytes(live.path) == "another run's half";
        ::close(live.fd);
        std::filesystem::remove(live.path);
      }
      liveFiles.clear();
      // A swapped folder: the run works in the one it locked, which is
      // the other host's when the swap came first.
      const bool other = swapsFolder && k <= at.lock;
      const std::string config = swapsFolder && !other ? "host/moved/" : "host/config/";
      Outcome want = expected(at, k);
      if (other) want = {kOtherHostFixed, {kOtherHost}, expected::Closing()};
      const std::string board = ReadBytes(platform.HostPath(config + "board.2ch"));
      const std::string backupPath = platform.HostPath(config + "board.2ch_QlBack");
      const std::string backup = Exists(backupPath) ? ReadBytes(backupPath) : "";
      ok = ok && board == want.board && want.backups.count(backup) == 1;
      ok = ok && !platform.boxes.empty() && platform.boxes.back().text == want.lastBox;
      for (const char* folder : {"host/config/", "host/moved/", "other/config/"}) {
        ok = ok && !Exists(platform.HostPath(folder + std::string("board.2ch_QlTemp"))) &&
             !Exists(platform.HostPath(folder + std::string("board.2ch_QlBack_QlTemp")));
      }
      // The folder the run did not work in is as it was.
      if (swapsFolder) {
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
  std::printf("%s: %ld runs, %ld lost, %ld between the last look and the replace\n", name,
              tally.points, tally.lost, tally.window);
  EXPECT_EQ(tally.lost, 0);
}

TEST(FaultSweep, TheHostSavingMeanwhileIsNeverLost) {
  SweepChange(
      "the host saves board.2ch",
      [](SweepPlatform& p) {
        const bool writable = IsWritable(p.BoardPath());
        SetWritable(p.BoardPath(), true);
        WriteBytes(p.BoardPath(), WithSavedLine(kOld));
        SetWritable(p.BoardPath(), writable);
      },
      [](const Landmarks& at, long k) -> Outcome {
        const std::string saved = WithSavedLine(kOld);
        const std::string& kept = at.kept;
        if (k <= at.read) {
          return {WithSavedLine(kNew), {kept.empty() ? saved : kept}, expected::Closing()};
        }
        if (k > at.lastReplace) return {saved, {kept.empty() ? kOld : kept}, expected::Closing()};
        if (k > at.lastLook) return {kNew, {kept.empty() ? kOld : kept}, expected::Closing(), true};
        return {saved, {at.before, kOld}, expected::WriteFailed()};
      });
}

TEST(FaultSweep, AConfigFolderSwappedForALinkIsNeverFollowed) {
  SweepChange(
      "config becomes a link to another host's",
      [](SweepPlatform& p) {
        MakeFolder(p.HostPath("other/config"));
        WriteBytes(p.HostPath("other/config/board.2ch"), kOtherHost);
        std::filesystem::rename(p.HostPath("host/config"), p.HostPath("host/moved"));
        std::filesystem::create_directory_symlink("../other/config", p.HostPath("host/config"));
      },
      [](const Landmarks& at, long) -> Outcome {
        return {kNew, {at.kept.empty() ? kOld : at.kept}, expected::Closing()};
      },
      true);
}

// What another run does at our temporary names, right before call k: the
// run then finds its own file gone and the name taken.
Outcome AfterTheNamesWereTaken(const Landmarks& at, long k) {
  if (at.twoReplaces && k > at.firstCreate && k <= at.firstReplace) {
    return {kOld, {at.before}, at.backupQuestion};
  }
  if (k > at.lastCreate && k <= at.lastReplace) {
    return {kOld, {at.before, kOld}, expected::WriteFailed()};
  }
  return {kNew, {at.kept.empty() ? kOld : at.kept}, expected::Closing()};
}

// Another run's files in place of ours at both temporary names, made by
// `plant`, where ours stand.
void TakeTheNames(SweepPlatform& p, void (*plant)(const std::string& path)) {
  for (const std::string& name : {p.TempPath(), p.BackupPath() + "_QlTemp"}) {
    if (!Exists(name)) continue;
    std::filesystem::remove(name);
    plant(name);
  }
}

void PlantHalf(const std::string& path) { WriteBytes(path, "another run's half"); }

TEST(FaultSweep, AnotherRunAtTheTemporaryNamesIsNeverTakenForOurs) {
  SweepChange(
      "another run takes the temporary names",
      [](SweepPlatform& p) { TakeTheNames(p, PlantHalf); }, AfterTheNamesWereTaken);
  // The same with that run still writing its files: they are neither
  // removed nor replaced, by the clean-up or after a failed replace.
  SweepChange(
      "another live run takes the temporary names",
      [](SweepPlatform& p) { TakeTheNames(p, PlantLive); },
      AfterTheNamesWereTaken);
}

// Another run's files, live at both our names when the run starts: the
// clean-up leaves them, and the backup that cannot be made is asked about.
TEST(FaultSweep, AnotherRunsLiveFilesAreNoLeftovers) {
  SweepPlatform platform(kScenarios[0]);
  PlantLive(platform.TempPath());
  PlantLive(platform.BackupPath() + "_QlTemp");
  EXPECT_EQ(RunQuenlit(platform), 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, expected::BackupQuestion("作成"));
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kOld);
  for (const LiveFile& live : liveFiles) {
    EXPECT_EQ(ReadBytes(live.path), "another run's half") << live.path;
    ::close(live.fd);
  }
  liveFiles.clear();
}

}  // namespace
