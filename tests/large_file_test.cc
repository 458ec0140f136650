// Files far larger than the write buffer, written back through it: every
// byte in its place, however the lines fall across the buffer's edges.

#include <gtest/gtest.h>

#include <algorithm>

#include "serverinfo/failure.h"
#include "serverinfo/server_info_file.h"
#include "support/test_platform.h"

namespace {

TEST(LargeFile, LinesLongerAndShorterThanTheBufferComeBackWhole) {
  TestPlatform platform;
  std::vector<std::string> lines;
  std::string expected;
  for (int i = 0; i < 40000; ++i) {
    lines.push_back("line " + std::to_string(i) + std::string(i % 61, 'x'));
    if (i == 20000) lines.push_back(std::string((3 << 20) + 7, '\x82'));  // one line > the buffer
    if (i == 30000) lines.push_back("");
  }
  for (const auto& line : lines) expected += line + "\r\n";
  const std::string tail = '\0' + std::string((2 << 20) + 3, 'T');
  expected += tail;

  WriteLines(platform, platform.BoardWindowsPath(), {lines.begin(), lines.end()}, tail);
  EXPECT_EQ(ReadBytes(platform.BoardPath()), expected);
  EXPECT_FALSE(Exists(platform.TempPath()));
  const long writes = std::count(platform.calls.begin(), platform.calls.end(), "WriteFile");
  EXPECT_GT(writes, 3);  // went out in pieces
}

TEST(LargeFile, AWriteFailingPartWayLeavesTheFileAsItWas) {
  TestPlatform platform;
  WriteBytes(platform.BoardPath(), "old\r\n");
  std::vector<std::string> lines(300000, std::string(20, 'n'));
  platform.failCall = "WriteFile";
  platform.failAt = 3;
  EXPECT_THROW(WriteLines(platform, platform.BoardWindowsPath(), {lines.begin(), lines.end()}, ""),
               Failure);
  EXPECT_EQ(ReadBytes(platform.BoardPath()), "old\r\n");
  EXPECT_FALSE(Exists(platform.TempPath()));
}

}  // namespace
