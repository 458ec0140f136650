#include "ui/boxes.h"

#include <gtest/gtest.h>

#include "support/test_platform.h"

namespace {

TEST(NoticeBox, OkButtonForegroundAndTheChosenIcon) {
  TestPlatform platform;
  NoticeBox(platform, "e", 'e');
  NoticeBox(platform, "i", 'i');
  NoticeBox(platform, "n", 'n');
  NoticeBox(platform, "?", '?');
  ASSERT_EQ(platform.boxes.size(), 4u);
  EXPECT_EQ(platform.boxes[0].style, 0x10010u);
  EXPECT_EQ(platform.boxes[1].style, 0x10040u);
  EXPECT_EQ(platform.boxes[2].style, 0x10000u);
  EXPECT_EQ(platform.boxes[3].style, 0x10000u);
  for (const auto& box : platform.boxes) EXPECT_EQ(box.caption, "Quenlit");
  EXPECT_EQ(platform.boxes[0].text, "e");
}

TEST(YesNoBox, GoodSelectorsGiveTheirBitsAndKeepTheText) {
  TestPlatform platform;
  platform.answers = {6, 7, 2};
  EXPECT_EQ(YesNoBox(platform, "q1", '?', "yn", 'y'), 6);
  EXPECT_EQ(YesNoBox(platform, "q2", '?', "yn", 'n'), 7);
  EXPECT_EQ(YesNoBox(platform, "q3", '?', "ync", 'c'), 2);
  ASSERT_EQ(platform.boxes.size(), 3u);
  EXPECT_EQ(platform.boxes[0].style, 0x40024u);
  EXPECT_EQ(platform.boxes[1].style, 0x40124u);
  EXPECT_EQ(platform.boxes[2].style, 0x40223u);
  EXPECT_EQ(platform.boxes[2].text, "q3");
  EXPECT_EQ(platform.boxes[0].caption, "Quenlit");
}

TEST(YesNoBox, BadSelectorsShowAComplaintAndTheLastOneWins) {
  TestPlatform platform;
  platform.answers = {6, 6, 6};
  YesNoBox(platform, "q", '!', "yn", 'y');
  EXPECT_EQ(platform.boxes.back().text, Sjis("アイコンの指定ミス (YesNoBox)"));
  EXPECT_EQ(platform.boxes.back().style, 0x40004u);  // Yes/No, no icon

  // Capitals are another button set: an OK box, which answers IDOK.
  EXPECT_EQ(YesNoBox(platform, "q", '?', "YN", 'y'), 1);
  EXPECT_EQ(platform.boxes.back().text, Sjis("ボタンの指定ミス (YesNoBox)"));
  EXPECT_EQ(platform.boxes.back().style, 0x40020u);

  YesNoBox(platform, "q", 'x', "no", 'z');
  EXPECT_EQ(platform.boxes.back().text, Sjis("デフォルトボタンの指定ミス (YesNoBox)"));
  EXPECT_EQ(platform.boxes.back().style, 0x40000u);
}

}  // namespace
