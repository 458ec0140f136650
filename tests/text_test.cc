#include <gtest/gtest.h>

#include "text/byte_scan.h"
#include "text/lead_bytes.h"

namespace {

TEST(LeadBytes, AreCp932sWhateverTheSystemRuns) {
  EXPECT_FALSE(IsLeadByte(0x80));
  EXPECT_TRUE(IsLeadByte(0x81));
  EXPECT_TRUE(IsLeadByte(0x9F));
  EXPECT_FALSE(IsLeadByte(0xA0));  // half-width katakana is single-byte
  EXPECT_FALSE(IsLeadByte(0xB1));  // ｱ: a lead byte in code pages 936 and 949
  EXPECT_FALSE(IsLeadByte(0xDF));
  EXPECT_TRUE(IsLeadByte(0xE0));
  EXPECT_TRUE(IsLeadByte(0xFC));
  EXPECT_FALSE(IsLeadByte(0xFD));
  EXPECT_FALSE(IsLeadByte('\\'));
}

TEST(IsTrailPosition, DecidedByTheLengthOfTheLeadRunBefore) {
  // 表 is 0x95 0x5C, ソ is 0x83 0x5C: the 0x5C is a trail byte, not '\'.
  const std::string hyou = "a\x95\\b";
  EXPECT_FALSE(IsTrailPosition(hyou, 0));
  EXPECT_FALSE(IsTrailPosition(hyou, 1));
  EXPECT_TRUE(IsTrailPosition(hyou, 2));
  EXPECT_FALSE(IsTrailPosition(hyou, 3));

  // Runs of lead bytes: odd means the byte after them is a trail byte.
  const std::string two = "\x88\x9F\\";        // 院 then a real '\'
  const std::string three = "\x88\x9F\x95\\";  // 院 then 表
  EXPECT_FALSE(IsTrailPosition(two, 2));
  EXPECT_TRUE(IsTrailPosition(three, 3));
  // A lead-range byte can itself be a trail byte: 0x81 0x81 is one character.
  EXPECT_TRUE(IsTrailPosition("\x81\x81", 1));
  EXPECT_FALSE(
      IsTrailPosition("\x81\x81"
                      "c",
                      2));
}

TEST(IsTrailPosition, CostsOnlyTheRunBeforeTheByte) {
  // A long run must not make every query scan it all: querying after a
  // non-lead byte stops at once, whatever precedes.
  std::string line(1 << 20, '\x82');
  line += "xc";
  for (int i = 0; i < 100000; ++i) ASSERT_FALSE(IsTrailPosition(line, line.size() - 1));
}

// The searches go over blocks of bytes, then byte by byte. What they find
// never depends on bytes outside the text, here those of a longer text the
// one searched was cut from, nor on where the blocks end.
TEST(ByteScan, NothingOutsideTheTextCounts) {
  const std::string token = std::string(55, 'x') + "clBlack";
  EXPECT_EQ(FindBytes(std::string_view(token).substr(0, 60), 0, "clBlack"), std::string_view::npos);
  EXPECT_EQ(FindNulOrLoneLineEnd(std::string_view("ab\r\n").substr(0, 3), 0), 2u);
  // Nor before the start: the LF at 1 pairs with the LF at 0, not the CR before.
  EXPECT_EQ(FindNulOrLoneLineEnd(std::string_view("\r\n\n").substr(1), 1), 1u);
  const LinePart after = LineAfter(std::string(20, '\t') + "\r", 0);  // a block, then bytes
  EXPECT_EQ(after.edge, 20u);
  EXPECT_EQ(after.tabs, 20u);
  // A lone LF ends a line too, in the bytes before or after the blocks.
  EXPECT_EQ(LineAfter("ab\n\t", 0).tabs, 0u);
  EXPECT_EQ(LineBefore("\t\nab", 0, 4).tabs, 0u);
}

}  // namespace
