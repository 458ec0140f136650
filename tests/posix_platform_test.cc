#include "platform/posix_platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>

#include "support/temp_folder.h"

namespace {

TEST(PosixPaths, DriveZIsTheRootAndNamesAreCp932Outside) {
  PosixPlatform platform("/srv/wine/");
  std::string host, windows;
  ASSERT_TRUE(platform.ToHostPath("Z:\\a\\\x95\\\\b.txt", &host));  // Z:\a\表\b.txt
  EXPECT_EQ(host, "/srv/wine/a/表/b.txt");
  ASSERT_TRUE(platform.FromHostPath("/srv/wine/a/表/b.txt", &windows));
  EXPECT_EQ(windows, "Z:\\a\\\x95\\\\b.txt");
  EXPECT_FALSE(platform.ToHostPath("C:\\a", &host));
  EXPECT_FALSE(platform.ToHostPath("Z:\\\x81", &host));           // cut character
  EXPECT_FALSE(platform.FromHostPath("/elsewhere/x", &windows));  // outside drive Z:
  EXPECT_FALSE(platform.FromHostPath("/srv/wine/a\\b", &windows));
  EXPECT_FALSE(platform.FromHostPath("/srv/wine/\xff", &windows));  // not UTF-8
  // No cp932 form that comes back as it was: ¥ would become '\', é nothing.
  EXPECT_FALSE(platform.FromHostPath("/srv/wine/A¥B", &windows));
  EXPECT_FALSE(platform.FromHostPath("/srv/wine/Café", &windows));
}

TEST(PosixPlatform, ReadOnlyIsHonouredEvenForRoot) {
  TempFolder folder;
  PosixPlatform platform(folder.path());
  WriteBytes(folder / "dst", "old");
  SetWritable(folder / "dst", false);
  EXPECT_EQ(platform.GetAttributes("Z:\\dst"), 0x1u);
  const FileHandle src = platform.CreateNew("Z:\\src", "Z:\\dst", Takes::kAll);
  ASSERT_NE(src, kNoFile);
  std::uint32_t written = 0;
  ASSERT_TRUE(platform.WriteFile(src, "new", 3, &written));
  EXPECT_FALSE(platform.PutInPlace(src, "Z:\\src", "Z:\\dst"));
  EXPECT_EQ(platform.LastError(), 5u);  // access denied, as on Windows
  EXPECT_EQ(ReadBytes(folder / "dst"), "old");

  EXPECT_TRUE(platform.SetAttributes("Z:\\dst", 0x80));
  EXPECT_EQ(platform.GetAttributes("Z:\\dst"), 0x80u);
  // New files only: an existing one is never created over.
  EXPECT_EQ(platform.CreateNew("Z:\\dst", "Z:\\src", Takes::kAll), kNoFile);
  EXPECT_EQ(platform.LastError(), 80u);
  // Only the file this process made takes the place, not another one put
  // under its name meanwhile.
  ASSERT_EQ(::unlink((folder / "src").c_str()), 0);
  WriteBytes(folder / "src", "another run's");
  EXPECT_FALSE(platform.PutInPlace(src, "Z:\\src", "Z:\\dst"));
  EXPECT_EQ(platform.LastError(), 1006u);
  EXPECT_TRUE(platform.RemoveFile("Z:\\src"));  // or none at all
  EXPECT_FALSE(platform.PutInPlace(src, "Z:\\src", "Z:\\dst"));
  EXPECT_EQ(platform.LastError(), 1006u);
  EXPECT_EQ(ReadBytes(folder / "dst"), "old");
  EXPECT_FALSE(platform.RemoveFile("Z:\\src"));
  platform.CloseFile(src);

  const FileHandle mine = platform.CreateNew("Z:\\mine", "Z:\\dst", Takes::kAll);
  ASSERT_TRUE(platform.WriteFile(mine, "new", 3, &written));
  EXPECT_TRUE(platform.PutInPlace(mine, "Z:\\mine", "Z:\\dst"));
  platform.CloseFile(mine);
  EXPECT_EQ(ReadBytes(folder / "dst"), "new");
  EXPECT_FALSE(Exists(folder / "mine"));
  EXPECT_EQ(platform.GetAttributes("Z:\\missing"), 0xFFFFFFFFu);
  EXPECT_EQ(platform.LastError(), 2u);

  // Made before its permissions are taken, or with none to take: the
  // owner's alone, whatever the umask lets through.
  const mode_t previous = ::umask(0);
  const FileHandle alone = platform.CreateNew("Z:\\alone", "Z:\\missing", Takes::kAll);
  ::umask(previous);
  struct stat st;
  ASSERT_EQ(::fstat(static_cast<int>(alone), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  platform.CloseFile(alone);
}

TEST(PosixPlatform, SpecialFilesAreNeverOpenedAndNeverBlock) {
  TempFolder folder;
  PosixPlatform platform(folder.path());
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0644), 0);
  std::uint32_t attributes = 0;
  EXPECT_TRUE(platform.FindFile("Z:\\fifo", &attributes));  // exists, is no folder
  EXPECT_EQ(platform.OpenForRead("Z:\\fifo"), kNoFile);
  EXPECT_EQ(platform.CreateNew("Z:\\fifo", "Z:\\fifo", Takes::kAll), kNoFile);
}

// A signal whose handler returns interrupts a call that waits (EINTR): the
// call goes on, it neither fails nor ends early. Sleep takes milliseconds.
TEST(PosixPlatform, AnInterruptedCallGoesOn) {
  struct sigaction action {};
  action.sa_handler = [](int) {};  // without SA_RESTART
  ASSERT_EQ(::sigaction(SIGUSR1, &action, nullptr), 0);
  const pthread_t caller = ::pthread_self();
  // Another thread interrupts `call` after 50 ms and does `then`, what the
  // call waits for, 50 ms later.
  auto interrupted = [&](const std::function<void()>& call, const std::function<void()>& then) {
    std::thread other([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ::pthread_kill(caller, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      then();
    });
    call();
    other.join();
  };
  PosixPlatform platform;
  int in[2], out[2];
  ASSERT_EQ(::pipe(in), 0);
  ASSERT_EQ(::pipe(out), 0);
  char buffer[4096] = {};
  std::uint32_t got = 0, written = 0;
  // A read that meets the end after it was interrupted.
  interrupted([&] { EXPECT_TRUE(platform.ReadFile(in[0], buffer, 4, &got)); },
              [&] {
                EXPECT_EQ(::write(in[1], "abc", 3), 3);
                ::close(in[1]);
              });
  EXPECT_EQ(std::string(buffer, got), "abc");
  // A full pipe: a write of two blocks waits, is interrupted before it put
  // in anything, then after one block (a short write), and goes on.
  ::fcntl(out[1], F_SETFL, O_NONBLOCK);
  std::size_t queued = 0;
  for (ssize_t n; (n = ::write(out[1], buffer, sizeof buffer)) > 0;) queued += std::size_t(n);
  ::fcntl(out[1], F_SETFL, 0);
  std::string data(2 * sizeof buffer, 'd'), drained;
  for (std::size_t i = 0; i < data.size(); i += 7) data[i] = 'a';
  auto drain = [&](std::size_t until) {
    while (drained.size() < until) {
      drained.append(buffer, std::size_t(::read(out[0], buffer, sizeof buffer)));
    }
  };
  interrupted(
      [&] {
        EXPECT_TRUE(platform.WriteFile(out[1], data.data(), std::uint32_t(data.size()), &written));
      },
      [&] {
        drain(sizeof buffer);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::pthread_kill(caller, SIGUSR1);
        drain(queued + data.size());
      });
  EXPECT_EQ(written, data.size());
  EXPECT_TRUE(drained.ends_with(data));
  EXPECT_TRUE(platform.WriteFile(out[1], "e", 1, &written));  // a write of one byte
  EXPECT_EQ(written, 1u);
  const auto started = std::chrono::steady_clock::now();
  interrupted([&] { platform.Sleep(200); }, [] {});
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
  for (int end : {in[0], out[0], out[1]}) ::close(end);
}

// Ctrl-C removes the file a run made and has not put in place yet, also
// after creates that failed.
TEST(PosixPlatform, AnEndingSignalRemovesTheOwnFileNotYetInPlace) {
  TempFolder folder;
  WriteBytes(folder / "taken", "not ours");
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char name[] = "quenlit";
    char* argv[] = {name, nullptr};
    int status = 0;
    SystemPlatform(1, argv, &status);  // as the program starts
    PosixPlatform platform(folder.path());
    for (int i = 0; i < 5; ++i) platform.CreateNew("Z:\\taken", "Z:\\taken", Takes::kAll);
    ::close(0);  // started without standard input: the new file gets descriptor 0
    if (platform.CreateNew("Z:\\mine", "Z:\\taken", Takes::kAll) == kNoFile) ::_exit(1);
    platform.CreateNew("Z:\\taken", "Z:\\taken", Takes::kAll);  // fails beside a live one
    std::raise(SIGINT);
    ::_exit(0);
  }
  int wait = 0;
  ASSERT_EQ(::waitpid(child, &wait, 0), child);
  EXPECT_TRUE(WIFSIGNALED(wait) && WTERMSIG(wait) == SIGINT);
  EXPECT_FALSE(Exists(folder / "mine"));
  EXPECT_EQ(ReadBytes(folder / "taken"), "not ours");
}

int Answer(const std::string& input, std::uint32_t style, std::string* shown = nullptr) {
  std::FILE* in = ::fmemopen(const_cast<char*>(input.data()), input.size(), "r");
  char* outBuffer = nullptr;
  std::size_t outSize = 0;
  std::FILE* out = ::open_memstream(&outBuffer, &outSize);
  int result = TerminalBox(in, out, "\x94\xc2\r\nline 2", "Quenlit", style);
  std::fclose(in);
  std::fclose(out);
  if (shown) *shown = std::string(outBuffer, outSize);
  std::free(outBuffer);
  return result;
}

TEST(TerminalBox, AnswersDefaultsAndEndOfInput) {
  std::string shown;
  EXPECT_EQ(Answer("y\n", 0x24, &shown), 6);
  EXPECT_NE(shown.find("== Quenlit == [質問]\n板\nline 2\n"), std::string::npos);
  EXPECT_NE(shown.find("[*はい(Y)*] [ いいえ(N) ] \n(y/n, Enter = はい(Y)) > "), std::string::npos);
  EXPECT_EQ(Answer("N\n", 0x24), 7);
  EXPECT_EQ(Answer("\n", 0x124), 7);      // Enter takes the default: No
  EXPECT_EQ(Answer("c\nx\n\n", 0x4), 6);  // 'c' is not shown: asked again
  EXPECT_EQ(Answer("c\n", 0x3), 2);
  // Answers are whole lines: a long one is no answer, blanks around one are.
  EXPECT_EQ(Answer(std::string(300, 'x') + "y\nn\n", 0x24), 7);
  EXPECT_EQ(Answer(std::string(300, ' ') + "n \r\n", 0x24), 7);
  EXPECT_EQ(Answer("y y\nyes\ny   x\n\n", 0x124), 7);
  EXPECT_EQ(Answer("", 0x24, &shown), 0);  // end of input refuses, and says so
  EXPECT_TRUE(shown.ends_with("> \n入力が終わったため、この質問は断ったものとします。\n"));
  EXPECT_EQ(Answer("", 0x10, &shown), 1);  // a notice just closes
  EXPECT_TRUE(shown.ends_with("(Enter) > \n"));
  EXPECT_EQ(Answer("anything\n", 0x40, &shown), 1);  // closed by any line, asked once
  EXPECT_TRUE(shown.ends_with("*] \n(Enter) > \n"));
  // A wrong answer names the accepted ones and asks again with the Enter
  // hint; answers that are not typed get their line ended after them.
  EXPECT_EQ(Answer("x\n\n", 0x223, &shown), 2);
  EXPECT_TRUE(
      shown.ends_with("(y/n/c, Enter = キャンセル(C)) > \ny、n または c で答えて下さい。\n"
                      "(y/n/c, Enter = キャンセル(C)) > \n"));
}

}  // namespace
