// Files far larger than the write buffer, written back through it: every
// byte in its place, however the lines, their ends and the rewritten colours
// fall across the buffer's edges.

#include <gtest/gtest.h>

#include <algorithm>

#include "serverinfo/colour_rewrite.h"
#include "serverinfo/failure.h"
#include "serverinfo/server_info_file.h"
#include "serverinfo/write_back.h"
#include "support/test_platform.h"

namespace {

// Lines of many lengths with every kind of end, a third of them board lines
// to rewrite; `expected` gets them as they are written back.
std::string MixedLines(int count, std::string& expected) {
  const char* const ends[] = {"\n", "\r", "\r\n", "\r\n"};
  std::string bytes;
  for (int i = 0; i < count; ++i) {
    const std::string name = "line " + std::to_string(i) + std::string(i % 61, 'x');
    const bool board = i % 3 == 0;
    bytes += board ? "1\t" + name + "\t\t\t\t\t\tclBlack\t\t" : name;
    expected += board ? "1\t" + name + "\t\t\t\t\t\tclWindowText\t\t" : name;
    bytes += ends[i % 4];
    expected += "\r\n";
  }
  return bytes;
}

// The lines rewritten as a run does it.
LineList Rewritten(TestPlatform& platform, const std::string& bytes) {
  RunState state(platform);
  state.ServerInfoLines = TextLines(platform, bytes);
  ReplaceBlackColours(state);
  return std::move(state.ServerInfoLines);
}

TEST(LargeFile, LinesLongerAndShorterThanTheBufferComeBackWhole) {
  TestPlatform platform;
  std::string expected;
  std::string bytes = MixedLines(20000, expected);
  const std::string longLine((3 << 20) + 7, '\x82');  // one line > the buffer
  bytes += longLine + "\n\n";
  expected += longLine + "\r\n\r\n";
  bytes += MixedLines(20000, expected);
  const std::string tail = '\0' + std::string((2 << 20) + 3, 'T');
  WriteBytes(platform.BoardPath(), bytes + tail);

  WriteLines(platform, platform.BoardWindowsPath(), Rewritten(platform, bytes + tail));
  EXPECT_EQ(ReadBytes(platform.BoardPath()), expected + tail);
  EXPECT_FALSE(Exists(platform.TempPath()));
  const long writes = std::count(platform.calls.begin(), platform.calls.end(), "WriteFile");
  EXPECT_GT(writes, 3);  // went out in pieces
}

TEST(LargeFile, PiecesOfEverySizeJoinToTheSameBytes) {
  // Buffers from the smallest allowed up: a rewritten colour, a line end, a
  // stretch longer than the buffer or the end a last line gains meets each
  // of its edges somewhere.
  TestPlatform platform;
  const std::pair<std::string, std::string> lasts[] = {
      {std::string(100, 'z') + "\r", std::string(100, 'z') + "\r\n"},
      {"\n" + std::string(20, 'z'), "\r\n" + std::string(20, 'z') + "\r\n"},  // without its end
  };
  for (const auto& [last, written] : lasts) {
    std::string expected;
    std::string bytes = MixedLines(300, expected) + last;
    expected += written;
    const std::string tail("\0tail", 5);
    const LineList lines = Rewritten(platform, bytes + tail);
    for (std::size_t room = 16; room <= 64; ++room) {
      EXPECT_EQ(WrittenOut(lines, room), expected + tail) << room;
    }
  }
}

TEST(LargeFile, AWriteFailingPartWayLeavesTheFileAsItWas) {
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += std::string(20, 'n') + "\n";
  // A write that fails, and one that reports success with half its bytes.
  for (std::uint32_t error : {kErrorGenFailure, 0u}) {
    TestPlatform platform;
    WriteBytes(platform.BoardPath(), bytes);
    platform.failCall = "WriteFile";
    platform.failAt = 3;
    platform.failError = error;
    EXPECT_THROW(WriteLines(platform, platform.BoardWindowsPath(), TextLines(platform, bytes)),
                 Failure);
    EXPECT_TRUE(ReadBytes(platform.BoardPath()) == bytes) << error;  // no 6 MB diff
    EXPECT_FALSE(Exists(platform.TempPath())) << error;
  }
}

}  // namespace
