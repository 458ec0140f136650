#include "serverinfo/server_info_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>

#include "serverinfo/failure.h"
#include "serverinfo/write_back.h"
#include "support/expected_texts.h"
#include "support/test_platform.h"

namespace {

std::optional<std::string> DirectoryOf(const std::string& module) {
  TestPlatform platform;
  platform.modulePath = module;
  return ExecutableDirectory(platform);
}

TEST(ExecutableDirectory, DropsTheTrailingBackslashExceptAtARoot) {
  EXPECT_EQ(DirectoryOf("C:\\Host\\Quenlit.exe"), "C:\\Host");
  EXPECT_EQ(DirectoryOf("C:\\Quenlit.exe"), "C:\\");
  EXPECT_EQ(DirectoryOf("\\\\server\\share\\Quenlit.exe"), "\\\\server\\share");
  EXPECT_EQ(DirectoryOf("C:Quenlit.exe"), "C:");
  EXPECT_EQ(DirectoryOf("Quenlit.exe"), "");
}

TEST(ExecutableDirectory, ATrailByte5CIsNoSeparator) {
  // C:\Host\表\Quenlit.exe and C:\表\Quenlit.exe: 表 ends in 0x5C.
  EXPECT_EQ(DirectoryOf("C:\\Host\\\x95\\\\Quenlit.exe"), "C:\\Host\\\x95\\");
  EXPECT_EQ(DirectoryOf("C:\\\x95\\\\Quenlit.exe"), "C:\\\x95\\");
  // A file name that itself ends in 表: the scan steps over the whole character.
  EXPECT_EQ(DirectoryOf("C:\\Host\\a\x95\\"), "C:\\Host");
  // One that starts with it: the byte before 表's lead byte is the separator.
  EXPECT_EQ(DirectoryOf("C:\\Host\\\x95\\.exe"), "C:\\Host");
}

TEST(ServerInfoPath, JoinsTheFixedFragmentAndIsUnknownWithoutTheOwnPath) {
  TestPlatform platform;
  platform.modulePath = "C:\\Quenlit.exe";
  EXPECT_EQ(ServerInfoPath(platform), "C:\\\\config\\board.2ch");
  platform.moduleAvailable = false;
  EXPECT_EQ(ServerInfoPath(platform), std::nullopt);
}

TEST(LineList, EveryLineEndKindAndTheNulTail) {
  using Lines = std::vector<std::string>;
  TestPlatform platform;
  auto split = [&](std::string_view bytes) { return LinesWritten(TextLines(platform, bytes)); };
  EXPECT_EQ(split("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(split("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR: a line, then an empty one
  EXPECT_EQ(split("a\r\n"), (Lines{"a"}));
  EXPECT_EQ(split("\r\n"), (Lines{""}));
  EXPECT_EQ(split("\r\n\r\n\n"), (Lines{"", "", ""}));
  EXPECT_EQ(split("\n\nb"), (Lines{"", "", "b"}));  // the LF at 1 looks back to the start
  EXPECT_TRUE(TextLines(platform, "").empty());

  const std::string bytes("a\r\nb\0c\r\n", 8);
  const LineList withNul = TextLines(platform, bytes);
  EXPECT_EQ(LinesWritten(withNul), (Lines{"a", "b"}));
  EXPECT_EQ(withNul.tail(), std::string("\0c\r\n", 4));
  EXPECT_TRUE(TextLines(platform, std::string("\0x", 2)).empty());
}

TEST(ReadLines, MixedLineEndsReadLikeCrLf) {
  TestPlatform platform;
  WriteBytes(platform.BoardPath(), "x\ty\rz\n\r\nlast");
  LineList mixed, crlf;
  ReadLines(platform, platform.BoardWindowsPath(), mixed);
  WriteBytes(platform.BoardPath(), "x\ty\r\nz\r\n\r\nlast\r\n");
  ReadLines(platform, platform.BoardWindowsPath(), crlf);
  EXPECT_EQ(LinesWritten(mixed), LinesWritten(crlf));
  EXPECT_EQ(LinesWritten(mixed).size(), 4u);
}

TEST(ReadLines, AShortOrFailedReadGivesNoLinesNotAPart) {
  for (const char* call : {"ReadFile", "FileSize"}) {
    TestPlatform platform;
    WriteBytes(platform.BoardPath(), "a\r\nb\r\n");
    platform.failCall = call;
    platform.failAt = 1;
    LineList lines = TextLines(platform, "stale");
    ReadLines(platform, platform.BoardWindowsPath(), lines);
    EXPECT_TRUE(lines.empty()) << call;
  }
  // Cut short between its size and its read: the end comes early, and ends it.
  TestPlatform platform;
  WriteBytes(platform.BoardPath(), "a\r\nb\r\n");
  platform.changeAt = 4;  // OpenForRead, FileSize, AllocatePages, then ReadFile
  platform.change = [&] { WriteBytes(platform.BoardPath(), "a\r\n"); };
  LineList lines;
  ReadLines(platform, platform.BoardWindowsPath(), lines);
  EXPECT_EQ(platform.calls.at(3), "ReadFile");
  EXPECT_TRUE(lines.empty());
}

TEST(ReadLines, AFileThatCannotBeOpenedRaisesEFOpenError) {
  TestPlatform platform;
  // A socket in place of the file: exists, but is no file to read.
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string where = platform.BoardPath();
  ASSERT_LT(where.size(), sizeof address.sun_path);
  where.copy(address.sun_path, where.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  LineList lines;
  try {
    ReadLines(platform, platform.BoardWindowsPath(), lines);
    ADD_FAILURE() << "no failure raised";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.kind, "EFOpenError");
    EXPECT_EQ(failure.message, Sjis("ファイル Z:\\host\\config\\board.2ch は開けません"));
  }
  ::close(fd);
}

TEST(WriteLines, ReplacesTheWholeFileAndLeavesNoTemporaryFile) {
  TestPlatform platform;
  WriteBytes(platform.BoardPath(), "one line without end");
  LineList lines;
  ReadLines(platform, platform.BoardWindowsPath(), lines);
  WriteLines(platform, platform.BoardWindowsPath(), lines);
  EXPECT_EQ(ReadBytes(platform.BoardPath()), "one line without end\r\n");
  EXPECT_FALSE(Exists(platform.TempPath()));
}

TEST(WriteLines, AnyFailureKeepsTheOldBytesAndRemovesTheTemporaryFile) {
  for (const char* call : {"CreateNew", "WriteFile", "FlushFile", "PutInPlace"}) {
    TestPlatform platform;
    WriteBytes(platform.BoardPath(), "old\n");
    LineList lines;
    ReadLines(platform, platform.BoardWindowsPath(), lines);
    platform.failCall = call;
    platform.failAt = 1;
    try {
      WriteLines(platform, platform.BoardWindowsPath(), lines);
      ADD_FAILURE() << call << ": no failure raised";
    } catch (const Failure& failure) {
      EXPECT_TRUE(failure.kind == "EFCreateError" || failure.kind == "EWriteError") << call;
    }
    EXPECT_EQ(ReadBytes(platform.BoardPath()), "old\n") << call;
    EXPECT_FALSE(Exists(platform.TempPath())) << call;
  }
}

class LoadServerInfoTest : public ::testing::Test {
 protected:
  bool Load() {
    RunState state(platform);
    bool result = LoadServerInfo(state);
    lines = LinesWritten(state.ServerInfoLines);
    return result;
  }
  TestPlatform platform;
  std::vector<std::string> lines;
  const std::string notFound = Sjis(
      "サーバ情報ファイル(board.2ch)が見つかりませんでした。\r\n"
      "Quenlit.exe を Ostra.Exe と同じ場所にコピーして実行して下さい。");
};

TEST_F(LoadServerInfoTest, MissingFileOrAFolderInItsPlaceIsNotFound) {
  EXPECT_FALSE(Load());
  MakeFolder(platform.BoardPath());
  EXPECT_FALSE(Load());
  ASSERT_EQ(platform.boxes.size(), 2u);
  for (const auto& box : platform.boxes) {
    EXPECT_EQ(box.text, notFound);
    EXPECT_EQ(box.style, 0x10010u);
  }
}

TEST_F(LoadServerInfoTest, UnknownOwnPathTouchesNoFile) {
  // The fragment alone would name a file in some other folder.
  platform.moduleAvailable = false;
  WriteBytes(platform.BoardPath(), "a\tclBlack\n");
  EXPECT_FALSE(Load());
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, notFound);
  for (const auto& call : platform.calls) {
    EXPECT_NE(call, "OpenForRead");
    EXPECT_NE(call, "FindFile");
  }
}

TEST_F(LoadServerInfoTest, EmptyOrNulFirstFileIsAReadFailureWithThePath) {
  const std::string readFailed = Sjis(
      "サーバ情報ファイルZ:\\host\\config\\board.2chの読み込みに失敗しました。\r\n"
      "書換処理を続行できません。");
  WriteBytes(platform.BoardPath(), "");
  EXPECT_FALSE(Load());
  WriteBytes(platform.BoardPath(), std::string("\0abc\r\n", 6));
  EXPECT_FALSE(Load());
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[0].text, readFailed);
  EXPECT_EQ(platform.boxes[1].text, readFailed);
  EXPECT_EQ(platform.boxes[1].style, 0x10010u);
}

TEST_F(LoadServerInfoTest, OnlyALineEndIsOneEmptyLine) {
  for (const char* bytes : {"\r\n", "\n"}) {  // the second a file of one byte
    WriteBytes(platform.BoardPath(), bytes);
    EXPECT_TRUE(Load());
    EXPECT_EQ(lines, std::vector<std::string>{""});
  }
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(LoadServerInfoTest, AFileDatedBefore1980StillExists) {
  WriteBytes(platform.BoardPath(), "a\r\n");
  timespec times[2] = {{0, 0}, {0, 0}};  // 1970-01-01
  ASSERT_EQ(::utimensat(AT_FDCWD, platform.BoardPath().c_str(), times, 0), 0);
  EXPECT_TRUE(Load());
}

TEST_F(LoadServerInfoTest, DriveRootGivesTwoBackslashesAndStillReads) {
  platform.modulePath = "Z:\\Quenlit.exe";
  MakeFolder(platform.HostPath("config"));
  WriteBytes(platform.HostPath("config/board.2ch"), "");
  EXPECT_FALSE(Load());
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_NE(platform.boxes[0].text.find("Z:\\\\config\\board.2ch"), std::string::npos);
  WriteBytes(platform.HostPath("config/board.2ch"), "root\n");
  EXPECT_TRUE(Load());
  EXPECT_EQ(lines, std::vector<std::string>{"root"});
}

TEST_F(LoadServerInfoTest, FolderNameEndingInTrailByte5C) {
  platform.modulePath = "Z:\\\x95\\\\Quenlit.exe";  // Z:\表\Quenlit.exe
  MakeFolder(platform.HostPath("表/config"));
  WriteBytes(platform.HostPath("表/config/board.2ch"), "hyou\r\n");
  EXPECT_TRUE(Load());
  EXPECT_EQ(lines, std::vector<std::string>{"hyou"});
}

// board.2ch that is, or leads to, one of the tool's own names: the clean-up
// would delete the user's file, a replace would take it for the backup.
TEST_F(LoadServerInfoTest, TheUsersFileAtOneOfOurNamesIsRefusedAndKept) {
  const std::string content = "1\t2\t3\t4\t5\t6\t7\tclBlack\t9\t10\n";
  const struct {
    const char* suffix;
    bool hard;        // a second name of one file, else a symbolic link to it
    const char* dir;  // where the file of our name lies, from the board's folder
  } rows[] = {{"_QlBack", false, ""},
              {"_QlTemp", false, ""},
              {"_QlBack_QlTemp", false, ""},
              {"_QlBack", true, ""},
              {"_QlBack", false, "../other/"}};  // another host's backup
  MakeFolder(platform.HostPath("host/other"));
  for (const auto& row : rows) {
    const std::string name = row.dir + std::string("board.2ch") + row.suffix;
    const std::string own = platform.HostPath("host/config/" + name);
    const std::string what = name + (row.hard ? ", hard link" : "");
    ::unlink(platform.BoardPath().c_str());
    WriteBytes(own, content);
    ASSERT_EQ(row.hard ? ::link(own.c_str(), platform.BoardPath().c_str())
                       : ::symlink(name.c_str(), platform.BoardPath().c_str()),
              0);
    platform.boxes.clear();
    EXPECT_FALSE(Load()) << what;
    ASSERT_EQ(platform.boxes.size(), 1u) << what;
    EXPECT_EQ(platform.boxes[0].text, expected::ReadFailed()) << what;
    EXPECT_EQ(ReadBytes(own), content) << what;
    EXPECT_EQ(ReadBytes(platform.BoardPath()), content) << what;
    ::unlink(own.c_str());
  }
  // Gone right after it was found: no file of ours, but a failed open.
  ::unlink(platform.BoardPath().c_str());
  WriteBytes(platform.BoardPath(), content);
  platform.calls.clear();
  EXPECT_TRUE(Load());
  const auto look = std::find(platform.calls.begin(), platform.calls.end(), "LeadsTo");
  ASSERT_NE(look, platform.calls.end());
  platform.changeAt = look - platform.calls.begin() + 1;
  platform.change = [&] { ::unlink(platform.BoardPath().c_str()); };
  platform.calls.clear();
  platform.boxes.clear();
  EXPECT_THROW(Load(), Failure);
  EXPECT_TRUE(platform.boxes.empty());
}

}  // namespace
