#include <gtest/gtest.h>

#include "platform/posix_platform.h"
#include "text/lead_bytes.h"

namespace {

LeadBytes Cp932() { return LeadBytesFrom({{{0x81, 0x9F}, {0xE0, 0xFC}}}); }

TEST(LeadBytes, TheLinuxProgramsCodePageIsCp932AndNoRangesMeanNone) {
  LeadBytes cp932 = LeadBytesFrom(PosixPlatform().AnsiCodePage());
  EXPECT_TRUE(cp932.Contains(0x81));
  EXPECT_TRUE(cp932.Contains(0x9F));
  EXPECT_FALSE(cp932.Contains(0xA0));  // half-width katakana is single-byte
  EXPECT_FALSE(cp932.Contains(0xDF));
  EXPECT_TRUE(cp932.Contains(0xE0));
  EXPECT_TRUE(cp932.Contains(0xFC));
  EXPECT_FALSE(cp932.Contains(0xFD));
  EXPECT_FALSE(cp932.Contains('\\'));

  LeadBytes singleByte = LeadBytesFrom({});
  for (int byte = 0; byte < 256; ++byte) EXPECT_FALSE(singleByte.Contains(byte)) << byte;
}

TEST(IsTrailPosition, DecidedByTheLengthOfTheLeadRunBefore) {
  LeadBytes cp932 = Cp932();
  // 表 is 0x95 0x5C, ソ is 0x83 0x5C: the 0x5C is a trail byte, not '\'.
  const std::string hyou = "a\x95\\b";
  EXPECT_FALSE(IsTrailPosition(cp932, hyou, 0));
  EXPECT_FALSE(IsTrailPosition(cp932, hyou, 1));
  EXPECT_TRUE(IsTrailPosition(cp932, hyou, 2));
  EXPECT_FALSE(IsTrailPosition(cp932, hyou, 3));

  // Runs of lead bytes: odd means the byte after them is a trail byte.
  const std::string two = "\x88\x9F\\";        // 院 then a real '\'
  const std::string three = "\x88\x9F\x95\\";  // 院 then 表
  EXPECT_FALSE(IsTrailPosition(cp932, two, 2));
  EXPECT_TRUE(IsTrailPosition(cp932, three, 3));
  // A lead-range byte can itself be a trail byte: 0x81 0x81 is one character.
  EXPECT_TRUE(IsTrailPosition(cp932, "\x81\x81", 1));
  EXPECT_FALSE(IsTrailPosition(cp932,
                               "\x81\x81"
                               "c",
                               2));

  // In a single-byte code page nothing is ever a trail byte.
  EXPECT_FALSE(IsTrailPosition(LeadBytesFrom({}), hyou, 2));
}

TEST(IsTrailPosition, CostsOnlyTheRunBeforeTheByte) {
  // A long run must not make every query scan it all: querying after a
  // non-lead byte stops at once, whatever precedes.
  std::string line(1 << 20, '\x82');
  line += "xc";
  LeadBytes cp932 = Cp932();
  for (int i = 0; i < 100000; ++i) ASSERT_FALSE(IsTrailPosition(cp932, line, line.size() - 1));
}

}  // namespace
