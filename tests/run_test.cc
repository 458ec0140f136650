#include "app/run.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <stdexcept>

#include "serverinfo/failure.h"
#include "support/test_platform.h"

namespace {

std::string Board(const std::string& colour) {
  return "1\t\x94\xc2\thost\t/b/\t0\t0\t0\t" + colour + "\tclWindow\t0";
}

class RunTest : public ::testing::Test {
 protected:
  int Run() { return RunQuenlit(platform); }
  TestPlatform platform;
};

TEST_F(RunTest, MissingFileIsOneNoticeAndStatusZero) {
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text.substr(0, 18), Sjis("サーバ情報ファイル"));
}

TEST_F(RunTest, BlackOnlyOutsideTheColourFieldEndsWithTheNoChangeNoticeTouchingNothing) {
  const std::string bytes = "x\tclBlack\n" + Board("clRed") + "\n";
  WriteBytes(platform.BoardPath(), bytes);
  // What an earlier run left at the tool's own names goes all the same.
  for (const std::string& left : {platform.TempPath(), platform.BackupPath() + "_QlTemp"}) {
    WriteBytes(left, "left behind");
  }
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text,
            Sjis("板名文字色が黒色('clBlack')である板は、見つかりませんでした。\r\n"
                 "何もせずに終了します。"));
  EXPECT_EQ(platform.boxes[0].style, 0x10040u);
  EXPECT_EQ(ReadBytes(platform.BoardPath()), bytes);
  EXPECT_FALSE(Exists(platform.BackupPath()));
  EXPECT_FALSE(Exists(platform.TempPath()) || Exists(platform.BackupPath() + "_QlTemp"));
}

TEST_F(RunTest, TwelveRewrittenLinesAreCountedInTheClosingNotice) {
  std::string bytes, expected;
  for (int i = 0; i < 12; ++i) {
    bytes += Board("clBlack") + "\n" + Board("clBlue") + "\r";
    expected += Board("clWindowText") + "\r\n" + Board("clBlue") + "\r\n";
  }
  WriteBytes(platform.BoardPath(), bytes);
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, Sjis("12 件、修正しました。"));
  EXPECT_EQ(platform.boxes[0].style, 0x10000u);  // no icon
  EXPECT_EQ(ReadBytes(platform.BoardPath()), expected);
  EXPECT_EQ(ReadBytes(platform.BackupPath()), bytes);
}

// Only another run's lock is waited for, about 3 s, and then its file is
// left to it. The lock goes before the last box: a second run need not wait
// until the user has read it.
TEST_F(RunTest, OnlyAnotherRunsLockIsWaitedForAndItGoesBeforeTheLastBox) {
  // Access denied: the run goes on at once, without the lock. Another run's
  // lock held throughout: waited for, then that run's file is left to it.
  for (std::uint32_t error : {5, 33}) {
    TestPlatform locked;
    WriteBytes(locked.BoardPath(), Board("clBlack"));
    locked.failCall = "LockRun";
    locked.failAt = 1;
    locked.failTimes = 1000;
    locked.failError = error;
    EXPECT_EQ(RunQuenlit(locked), 0);
    EXPECT_EQ(locked.slept, error == 33 ? 3000u : 0u) << error;
    EXPECT_EQ(locked.boxes.size(), 1u) << error;
    EXPECT_EQ(ReadBytes(locked.BoardPath()) == Board("clBlack"), error == 33) << error;
  }
  WriteBytes(platform.BoardPath(), Board("clBlack"));
  EXPECT_EQ(Run(), 0);
  const auto& calls = platform.calls;
  EXPECT_LT(std::find(calls.begin(), calls.end(), "UnlockRun"),
            std::find(calls.begin(), calls.end(), "ShowBox"));
}

TEST_F(RunTest, DeclinedReadOnlyQuestionIsTheLastBox) {
  WriteBytes(platform.BoardPath(), Board("clBlack"));
  SetWritable(platform.BoardPath(), false);
  platform.answers = {7};
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].style & 0xF, 0x4u);
}

TEST_F(RunTest, AFileThatCannotBeOpenedEndsInTheLastResortReport) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  platform.BoardPath().copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  EXPECT_EQ(Run(), 1);
  ::close(fd);
  ASSERT_EQ(platform.boxes.size(), 1u);
  const RecordedBox& box = platform.boxes[0];
  EXPECT_EQ(box.caption, Sjis("アプリケーション エラー"));
  EXPECT_EQ(box.style, 0x2010u);
  const std::string head = "EFOpenError" + Sjis("がモジュール Quenlit.exe の ");
  const std::string tail =
      Sjis(" で発生しました。") + "\n" + Sjis("ファイル Z:\\host\\config\\board.2ch は開けません.");
  ASSERT_EQ(box.text.size(), head.size() + 8 + tail.size());
  EXPECT_EQ(box.text.substr(0, head.size()), head);
  EXPECT_TRUE(std::regex_match(box.text.substr(head.size(), 8), std::regex("[0-9A-F]{8}")));
  EXPECT_EQ(box.text.substr(head.size() + 8), tail);

  // The same failure is reported at the same place every time.
  TestPlatform again;
  again.failCall = "OpenForRead";
  again.failAt = 1;
  WriteBytes(again.BoardPath(), "x");
  EXPECT_EQ(RunQuenlit(again), 1);
  EXPECT_EQ(again.boxes.at(0).text.substr(head.size(), 8), box.text.substr(head.size(), 8));
}

// A platform that throws in the middle of a run: in stage 1 (the file's
// size) or in the closing notice, the first box of a run that fixes a line.
template <typename Thrown>
class ThrowingPlatform : public TestPlatform {
 public:
  explicit ThrowingPlatform(bool inStageOne) : inStageOne_(inStageOne) {}
  bool FileSize(FileHandle file, std::uint64_t* size) override {
    if (inStageOne_) throw Thrown("thrown");
    return TestPlatform::FileSize(file, size);
  }
  int ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
    if (!inStageOne_ && !thrown_) {
      thrown_ = true;
      throw Thrown("thrown");
    }
    return TestPlatform::ShowBox(text, caption, style);
  }

 private:
  bool inStageOne_;
  bool thrown_ = false;
};

struct OutOfMemory : std::bad_alloc {
  explicit OutOfMemory(const char*) {}
};

// The report of a failure no stage expects: its text, or empty.
template <typename Thrown>
std::string ReportOf(bool inStageOne) {
  ThrowingPlatform<Thrown> platform(inStageOne);
  WriteBytes(platform.BoardPath(), Board("clBlack"));
  EXPECT_EQ(RunQuenlit(platform), 1);
  return platform.boxes.size() == 1 ? platform.boxes[0].text : std::string();
}

TEST(LastResortReport, OutOfMemoryIsEOutOfMemoryWithStatusOneAndTheStagesCode) {
  const std::string text = ReportOf<OutOfMemory>(false);
  EXPECT_EQ(text.substr(0, 12), "EOutOfMemory");
  EXPECT_EQ(text.substr(text.size() - 20), "\n" + Sjis("メモリが足りません") + ".");
  // The code names the stage: the same in every run, another in another stage.
  const std::string head = "EOutOfMemory" + Sjis("がモジュール Quenlit.exe の ");
  EXPECT_EQ(text.substr(head.size(), 8), ReportOf<OutOfMemory>(false).substr(head.size(), 8));
  EXPECT_NE(text.substr(head.size(), 8), ReportOf<OutOfMemory>(true).substr(head.size(), 8));
}

TEST(LastResortReport, AnyOtherFailureIsAnException) {
  const std::string text = ReportOf<std::runtime_error>(false);
  const std::string head = "Exception" + Sjis("がモジュール Quenlit.exe の ");
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(head.size() + 8), Sjis(" で発生しました。") + "\n");
}

TEST(LastResortReport, TheSiteOfAFailureDoesNotDependOnTheBuildFolder) {
  auto siteOf = [](const char* file) {
    try {
      Raise(kEFOpenError, "", file, 7);
    } catch (const Failure& failure) {
      return failure.site;
    }
    return 0u;
  };
  EXPECT_EQ(siteOf("/home/u/build/src/x.cc"), siteOf("x.cc"));
  EXPECT_EQ(siteOf("C:\\src\\x.cc"), siteOf("x.cc"));
  EXPECT_NE(siteOf("x.cc"), siteOf("y.cc"));
}

TEST(RunOutOfMemory, InsideTheWriteBackIsAWriteFailure) {
  class Failing : public TestPlatform {
   public:
    FileHandle CreateNew(const std::string&, const std::string&, Takes) override {
      throw std::bad_alloc();
    }
  } platform;
  WriteBytes(platform.BoardPath(), Board("clBlack"));
  EXPECT_EQ(RunQuenlit(platform), 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text,
            Sjis("サーバ情報ファイルZ:\\host\\config\\board.2chへの書き込みに失敗しました。"));
  EXPECT_EQ(ReadBytes(platform.BoardPath()), Board("clBlack"));
}

}  // namespace
