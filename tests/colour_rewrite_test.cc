#include "serverinfo/colour_rewrite.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/test_platform.h"

namespace {

// Ten tab-separated fields with the given eighth field.
std::string Board(const std::string& eighth, const std::string& name = "\x94\xc2") {
  return "1\t" + name + "\thost\t/b/\t0\t0\t0\t" + eighth + "\tclWindow\t0";
}

class ColourRewriteTest : public ::testing::Test {
 protected:
  // Runs stage 3 over the lines; returns them rewritten.
  std::vector<std::string> Rewrite(const std::vector<std::string>& lines) {
    RunState state(platform);
    state.ServerInfoLines = LinesOf(platform, lines);
    EXPECT_TRUE(ReplaceBlackColours(state));
    fixCount = state.FixCount;
    return LinesWritten(state.ServerInfoLines);
  }
  std::size_t Find(const std::string& s) { return FindColourToken(s); }

  TestPlatform platform;
  std::int32_t fixCount = -1;
};

TEST_F(ColourRewriteTest, FindsTheFirstTokenNotStartingOnATrailByte) {
  EXPECT_EQ(Find(""), 0u);
  EXPECT_EQ(Find("clBlack"), 1u);
  EXPECT_EQ(Find("a\tclBlack"), 3u);
  EXPECT_EQ(Find("clblack CLBLACK"), 0u);  // case-sensitive
  EXPECT_EQ(Find("clBlac"), 0u);
  // 0x83 0x63 is ツ: its 0x63 is no 'c'; the true token after it counts.
  EXPECT_EQ(Find("\x83"
                 "clBlack"),
            0u);
  EXPECT_EQ(Find("\x83"
                 "clBlack clBlack"),
            10u);
  // After an even run of lead bytes the 'c' is a character of its own.
  EXPECT_EQ(Find("\x83\x83"
                 "clBlack"),
            3u);
  EXPECT_EQ(Find("\x83\x83\x83"
                 "clBlack"),
            0u);
  // 0xDF is a half-width katakana of its own, 0xE0 begins a character.
  EXPECT_EQ(Find("\xDF"
                 "clBlack"),
            2u);
  EXPECT_EQ(Find("\xE0"
                 "clBlack"),
            0u);
  // Nothing past a NUL.
  EXPECT_EQ(Find(std::string("ab\0clBlack", 10)), 0u);
}

TEST_F(ColourRewriteTest, CountTabsCountsEveryTab) {
  EXPECT_EQ(CountTabs(""), 0u);
  EXPECT_EQ(CountTabs("\t\ta\t"), 3u);
  EXPECT_EQ(CountTabs("\x81\x09"), 1u);
  // Long enough to be counted in blocks, and in more than one run of blocks.
  const std::string many = std::string(5000, '\t') + "x\t" + std::string(4099, 'y') + '\t';
  EXPECT_EQ(CountTabs(many), 5002u);
}

TEST_F(ColourRewriteTest, ExactlySevenTabsBeforeAndTwoAfterTheFirstToken) {
  auto out = Rewrite({
      Board("clBlack"),                             // rewritten
      Board("clBlack") + "\textra",                 // eleven fields
      "clBlack" + Board("clBlack"),                 // token at the very start of the line
      "1\t2\tclBlack\t4\t5\t6\t7\tclBlack\t9\t10",  // first token in the third field
      Board("xclBlacky"),                           // text around the token stays
      Board("clBlackclBlack"),                      // only the first of two
      Board("clBlack").substr(2),                   // nine fields
      "no tabs clBlack",
      Board("clBlack", "\x81"),  // a tab is never a trail byte: it counts after a lead byte
      // Fields of thousands of bytes: the tabs far from the token count too.
      Board("clBlack", std::string(10000, 'n')),
      Board("clBlack") + std::string(10000, 'z'),
      Board("clBlack") + std::string(9000, 'z') + '\t' + std::string(1000, 'z'),
      std::string(4096, '\t') + Board("clBlack"),  // 256 tabs to each place of a block
      // Eight tabs before the token; a line that starts with a tab.
      "0\t" + Board("clBlack"),
      Board("clBlack").substr(1),
  });
  EXPECT_EQ(out[0], Board("clWindowText"));
  EXPECT_EQ(out[1], Board("clBlack") + "\textra");
  EXPECT_EQ(out[2], "clBlack" + Board("clBlack"));
  EXPECT_EQ(out[3], "1\t2\tclBlack\t4\t5\t6\t7\tclBlack\t9\t10");
  EXPECT_EQ(out[4], Board("xclWindowTexty"));
  EXPECT_EQ(out[5], Board("clWindowTextclBlack"));
  EXPECT_EQ(out[6], Board("clBlack").substr(2));
  EXPECT_EQ(out[7], "no tabs clBlack");
  EXPECT_EQ(out[8], Board("clWindowText", "\x81"));
  EXPECT_EQ(out[9], Board("clWindowText", std::string(10000, 'n')));
  EXPECT_EQ(out[10], Board("clWindowText") + std::string(10000, 'z'));
  EXPECT_EQ(out[11], Board("clBlack") + std::string(9000, 'z') + '\t' + std::string(1000, 'z'));
  EXPECT_EQ(out[12], std::string(4096, '\t') + Board("clBlack"));
  EXPECT_EQ(out[13], "0\t" + Board("clBlack"));
  EXPECT_EQ(out[14], Board("clWindowText").substr(1));
  EXPECT_EQ(fixCount, 7);

  // The second token of the field is rewritten by the next run.
  EXPECT_EQ(Rewrite({out[5]})[0], Board("clWindowTextclWindowText"));
  EXPECT_EQ(fixCount, 1);
  // The tabs of the line before, in the file's first bytes, do not count.
  EXPECT_EQ(Rewrite({"\t", Board("clBlack")})[1], Board("clWindowText"));
}

TEST_F(ColourRewriteTest, DoubleByteBoardNamesKeepEveryByte) {
  // ツ (0x83 0x63) right before "lBlack" in the name must not be taken.
  const std::string name = "\x83\x63lBlack\x95\\";
  auto out = Rewrite({Board("clBlack", name), Board("clBlack",
                                                    "\x83"
                                                    "clBlack")});
  EXPECT_EQ(out[0], Board("clWindowText", name));
  // ツ followed by "lBlack" in the name is no token; the colour field's is.
  EXPECT_EQ(out[1], Board("clWindowText",
                          "\x83"
                          "clBlack"));
  EXPECT_EQ(fixCount, 2);
}

TEST_F(ColourRewriteTest, CheckBlackPresentStopsOnlyWithoutAnyUsableToken) {
  const std::string noBlack =
      Sjis("サーバ情報ファイル内に 'clBlack' が見つかりませんでした。\r\n何もせずに終了します。");
  {
    RunState state(platform);
    state.ServerInfoLines = LinesOf(platform, {"a",
                                               "\x83"
                                               "clBlack",
                                               "clblack"});
    EXPECT_FALSE(CheckBlackPresent(state));
  }
  {
    RunState state(platform);
    state.ServerInfoLines = LinesOf(platform, {"a", "x clBlack in the wrong place"});
    EXPECT_TRUE(CheckBlackPresent(state));
  }
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, noBlack);
  EXPECT_EQ(platform.boxes[0].style, 0x10040u);
}

TEST_F(ColourRewriteTest, LinearOnPathologicalLines) {
  // Millions of lead bytes with tokens among them, and a line of tokens:
  // a quadratic search would take minutes here, a linear one under a second
  // (a few under sanitizers).
  std::string leads;
  for (int i = 0; i < 200000; ++i)
    leads += std::string(30, '\x82') +
             "\x83"
             "clBlack";
  std::string tokens;
  for (int i = 0; i < 1000000; ++i)
    tokens +=
        "\x83"
        "clBlack";
  const auto started = std::chrono::steady_clock::now();
  auto out = Rewrite({leads, tokens});
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
  EXPECT_EQ(fixCount, 0);
  EXPECT_EQ(out[0], leads);
}

}  // namespace
