#include "serverinfo/write_back.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "serverinfo/colour_rewrite.h"
#include "serverinfo/server_info_file.h"
#include "support/expected_texts.h"
#include "support/test_platform.h"

namespace {

const std::string kOld = "1\tname\th\t/b/\t0\t0\t0\tclBlack\tx\t0\nplain\n";
const std::string kNew = "1\tname\th\t/b/\t0\t0\t0\tclWindowText\tx\t0\r\nplain\r\n";

class WriteBackTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteBytes(platform.BoardPath(), kOld); }

  // Stages 1 to 3 as a run makes them, then stage 4.
  bool WriteBack() { return WriteBackOn(platform); }
  static bool WriteBackOn(TestPlatform& on) {
    RunState state(on);
    state.ServerInfoPath = on.BoardWindowsPath();
    ReadLines(on, on.BoardWindowsPath(), state.ServerInfoLines);
    ReplaceBlackColours(state);
    return WriteBackServerInfo(state);
  }

  std::string ReadOnlyQuestion() const { return expected::ReadOnlyQuestion(); }
  std::string BackupQuestion(const std::string& verb) const {
    return expected::BackupQuestion(verb);
  }
  std::string WriteFailed() const { return expected::WriteFailed(); }

  TestPlatform platform;
};

TEST_F(WriteBackTest, WritableFileWithABackupAsksNothingAndRefreshesTheBackup) {
  WriteBytes(platform.BackupPath(), "an older backup");
  EXPECT_TRUE(WriteBack());
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(ReadBytes(platform.BackupPath()), kOld);
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kNew);
  EXPECT_FALSE(Exists(platform.TempPath()));
}

TEST_F(WriteBackTest, ReadOnlyAnsweredNoChangesNothing) {
  SetWritable(platform.BoardPath(), false);
  platform.answers = {7};
  EXPECT_FALSE(WriteBack());
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, ReadOnlyQuestion());
  EXPECT_EQ(platform.boxes[0].style, 0x40024u);  // Yes default
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kOld);
  EXPECT_FALSE(IsWritable(platform.BoardPath()));
  EXPECT_FALSE(Exists(platform.BackupPath()));
}

TEST_F(WriteBackTest, ReadOnlyAnsweredYesIsClearedAndWritten) {
  SetWritable(platform.BoardPath(), false);
  platform.answers = {6};
  EXPECT_TRUE(WriteBack());
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_TRUE(IsWritable(platform.BoardPath()));
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kNew);
  EXPECT_EQ(ReadBytes(platform.BackupPath()), kOld);
}

TEST_F(WriteBackTest, AttributesThatCannotBeQueriedCountAsReadOnly) {
  platform.failCall = "GetAttributes";
  platform.failAt = 1;
  platform.answers = {7};
  EXPECT_FALSE(WriteBack());
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, ReadOnlyQuestion());
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kOld);
}

TEST_F(WriteBackTest, AttributesThatCannotBeClearedStopTheWrite) {
  SetWritable(platform.BoardPath(), false);
  platform.failCall = "SetAttributes";
  platform.failAt = 1;
  platform.answers = {6};
  EXPECT_FALSE(WriteBack());
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[1].text,
            expected::AttributesFailed());
  EXPECT_EQ(platform.boxes[1].style, 0x10010u);
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kOld);
  EXPECT_FALSE(Exists(platform.BackupPath()));
}

TEST_F(WriteBackTest, ReadOnlyBackupMakesTheQuestionWithUpdateAndNoAsDefault) {
  WriteBytes(platform.BackupPath(), "kept");
  SetWritable(platform.BackupPath(), false);
  platform.answers = {7};
  EXPECT_FALSE(WriteBack());
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, BackupQuestion("更新"));
  EXPECT_EQ(platform.boxes[0].style, 0x40124u);  // No default
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kOld);
  EXPECT_EQ(ReadBytes(platform.BackupPath()), "kept");

  platform.answers = {6};
  EXPECT_TRUE(WriteBack());
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kNew);
  EXPECT_EQ(ReadBytes(platform.BackupPath()), "kept");
}

TEST_F(WriteBackTest, FailedFreshBackupUsesCreate) {
  platform.failCall = "CreateNew";
  platform.failAt = 1;
  platform.answers = {0};  // a box that could not be shown is a refusal
  EXPECT_FALSE(WriteBack());
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, BackupQuestion("作成"));
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kOld);
}

TEST_F(WriteBackTest, WriteFailingAfterTheBackupKeepsTheFileAndSaysSo) {
  // Each second call is the file's own: the first ones made the backup.
  for (auto [call, nth] :
       {std::pair{"CreateNew", 2}, {"WriteFile", 2}, {"FlushFile", 2}, {"PutInPlace", 2}}) {
    TestPlatform fresh;
    WriteBytes(fresh.BoardPath(), kOld);
    fresh.failCall = call;
    fresh.failAt = nth;
    EXPECT_FALSE(WriteBackOn(fresh)) << call;
    ASSERT_EQ(fresh.boxes.size(), 1u) << call;
    EXPECT_EQ(fresh.boxes[0].text, WriteFailed()) << call;
    EXPECT_EQ(fresh.boxes[0].style, 0x10010u);
    EXPECT_EQ(ReadBytes(fresh.BoardPath()), kOld) << call;
    EXPECT_EQ(ReadBytes(fresh.BackupPath()), kOld) << call;
    EXPECT_FALSE(Exists(fresh.TempPath())) << call;
  }
}

// The file written is the file read: the own location is not asked again.
TEST_F(WriteBackTest, LosingTheOwnPathLaterStillWritesTheFileRead) {
  platform.moduleAvailable = false;
  EXPECT_TRUE(WriteBack());
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kNew);
  EXPECT_EQ(ReadBytes(platform.BackupPath()), kOld);
}

TEST_F(WriteBackTest, ATailAfterANulIsWrittenBackUnchanged) {
  const std::string tail("\0rest\nof file", 13);
  WriteBytes(platform.BoardPath(), "a" + tail);
  EXPECT_TRUE(WriteBack());
  EXPECT_EQ(ReadBytes(platform.BoardPath()), std::string("a\r\n\0rest\nof file", 16));
}

TEST_F(WriteBackTest, LinksAtTheToolsOwnNamesAreReplacedNeverWrittenThrough) {
  MakeFolder(platform.HostPath("elsewhere"));
  const char* suffixes[] = {"_QlTemp", "_QlBack", "_QlBack_QlTemp"};
  for (const char* suffix : suffixes) {
    const std::string victim = platform.HostPath("elsewhere/victim") + suffix;
    WriteBytes(victim, "not the tool's");
    ASSERT_EQ(::symlink(victim.c_str(), (platform.BoardPath() + suffix).c_str()), 0);
  }
  EXPECT_TRUE(WriteBack());
  EXPECT_TRUE(platform.boxes.empty());
  for (const char* suffix : suffixes) {
    EXPECT_EQ(ReadBytes(platform.HostPath("elsewhere/victim") + suffix), "not the tool's")
        << suffix;
  }
  struct stat backup;
  ASSERT_EQ(::lstat(platform.BackupPath().c_str(), &backup), 0);
  EXPECT_TRUE(S_ISREG(backup.st_mode));
  EXPECT_EQ(ReadBytes(platform.BackupPath()), kOld);
  EXPECT_EQ(ReadBytes(platform.BoardPath()), kNew);
  EXPECT_FALSE(Exists(platform.TempPath()));
  EXPECT_FALSE(Exists(platform.BackupPath() + "_QlTemp"));
}

TEST_F(WriteBackTest, TheFileKeepsOwnerGroupAndModeAndTheBackupGetsThem) {
  // Another owner and group only where this process may give them (root).
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(platform.BoardPath().c_str(), 1234, 5678), 0);
  }
  ASSERT_EQ(::chmod(platform.BoardPath().c_str(), 0640), 0);
  struct stat before;
  ASSERT_EQ(::stat(platform.BoardPath().c_str(), &before), 0);
  EXPECT_TRUE(WriteBack());
  for (const std::string& path : {platform.BoardPath(), platform.BackupPath()}) {
    struct stat after;
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u) << path;
    EXPECT_EQ(after.st_uid, before.st_uid) << path;
    EXPECT_EQ(after.st_gid, before.st_gid) << path;
  }
}

TEST_F(WriteBackTest, ASymbolicLinkStaysALinkToTheUpdatedFile) {
  MakeFolder(platform.HostPath("elsewhere"));
  const std::string real = platform.HostPath("elsewhere/board.2ch");
  WriteBytes(real, kOld);
  ::unlink(platform.BoardPath().c_str());
  ASSERT_EQ(::symlink(real.c_str(), platform.BoardPath().c_str()), 0);
  EXPECT_TRUE(WriteBack());
  char target[4096];
  ssize_t n = ::readlink(platform.BoardPath().c_str(), target, sizeof target);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(target, static_cast<std::size_t>(n)), real);
  EXPECT_EQ(ReadBytes(real), kNew);
  EXPECT_EQ(ReadBytes(platform.BackupPath()), kOld);

  // A target on another file system: the temporary file goes beside the
  // target, or the replace could not be made at all.
  char other[] = "/dev/shm/quenlit-link-XXXXXX";
  if (::access("/dev/shm", W_OK) != 0 || !::mkdtemp(other)) return;
  PosixPlatform wholeSystem("/", nullptr, nullptr);
  const std::string farTarget = std::string(other) + "/board.2ch";
  WriteBytes(farTarget, kOld);
  const std::string link = platform.HostPath("link.2ch");
  ASSERT_EQ(::symlink(farTarget.c_str(), link.c_str()), 0);
  std::string windowsLink;
  ASSERT_TRUE(wholeSystem.FromHostPath(link, &windowsLink));
  LineList lines;
  ReadLines(wholeSystem, windowsLink, lines);
  WriteLines(wholeSystem, windowsLink, lines);
  EXPECT_EQ(ReadBytes(link), "1\tname\th\t/b/\t0\t0\t0\tclBlack\tx\t0\r\nplain\r\n");
  EXPECT_GT(::readlink(link.c_str(), target, sizeof target), 0);
  std::filesystem::remove_all(other);
}

// What a save in place would refuse, or what a replace would lose: nothing
// is changed, and the user hears of a failed write.
TEST_F(WriteBackTest, NoReplaceThatAnInPlaceSaveWouldNotMake) {
  const struct Row {
    const char* what;
    std::function<void(TestPlatform&)> prepare;
    const char* failCall = "";
    std::uint32_t failError = 0;
  } rows[] = {
      // Another host's board.2ch too: replaced, one name would part.
      {"a second name", [](TestPlatform& p) {
         ASSERT_EQ(::link(p.BoardPath().c_str(), p.HostPath("other.2ch").c_str()), 0);
       }},
      // A link whose target has no name the tool can give exactly.
      {"a link to an unnamed target", [](TestPlatform& p) {
         const std::string outside = p.Root() + "-outside";
         WriteBytes(outside, kOld);
         ::unlink(p.BoardPath().c_str());
         ASSERT_EQ(::symlink(outside.c_str(), p.BoardPath().c_str()), 0);
       }},
      // A file this user may not write (the probe is refused).
      {"write refused", [](TestPlatform&) {}, "ProbeWrite", 5},
      // Copies that cannot be protected as the file is.
      {"backup unprotectable", [](TestPlatform&) {}, "CreateNew", kErrorProtectionNotKept},
  };
  for (const Row& row : rows) {
    TestPlatform fresh;
    WriteBytes(fresh.BoardPath(), kOld);
    row.prepare(fresh);
    struct stat before, after;
    ASSERT_EQ(::lstat(fresh.BoardPath().c_str(), &before), 0);
    fresh.failCall = row.failCall;
    fresh.failAt = *row.failCall ? 1 : 0;
    fresh.failTimes = 1000;
    fresh.failError = row.failError;
    EXPECT_FALSE(WriteBackOn(fresh)) << row.what;
    ASSERT_EQ(fresh.boxes.size(), 1u) << row.what;
    EXPECT_EQ(fresh.boxes[0].text, WriteFailed()) << row.what;
    EXPECT_EQ(ReadBytes(fresh.BoardPath()), kOld) << row.what;
    ASSERT_EQ(::lstat(fresh.BoardPath().c_str(), &after), 0);
    EXPECT_EQ(S_ISLNK(after.st_mode), S_ISLNK(before.st_mode)) << row.what;
    EXPECT_FALSE(Exists(fresh.BackupPath())) << row.what;
    EXPECT_FALSE(Exists(fresh.TempPath()) || Exists(fresh.BackupPath() + "_QlTemp")) << row.what;
    std::filesystem::remove(fresh.Root() + "-outside");
  }
}

}  // namespace
