#include "ui/boxes.h"

const char kCaption[] = "Quenlit";

namespace {

// clang-format off
// "アイコンの指定ミス (YesNoBox)"
const char kIconComplaint[] =
    "\x83\x41\x83\x43\x83\x52\x83\x93\x82\xcc\x8e\x77\x92\xe8\x83\x7e\x83\x58 (YesNoBox)";
// "ボタンの指定ミス (YesNoBox)"
const char kButtonComplaint[] =
    "\x83\x7b\x83\x5e\x83\x93\x82\xcc\x8e\x77\x92\xe8\x83\x7e\x83\x58 (YesNoBox)";
// "デフォルトボタンの指定ミス (YesNoBox)"
const char kDefaultComplaint[] =
    "\x83\x66\x83\x74\x83\x48\x83\x8b\x83\x67\x83\x7b\x83\x5e\x83\x93\x82\xcc\x8e\x77\x92\xe8"
    "\x83\x7e\x83\x58 (YesNoBox)";
// clang-format on

}  // namespace

void NoticeBox(Platform& platform, const std::string& text, char iconLetter) {
  std::uint32_t icon = 0;
  if (iconLetter == 'e') icon = kBoxIconError;
  if (iconLetter == 'i') icon = kBoxIconInformation;
  platform.ShowBox(text, kCaption, icon | kBoxOk | kBoxSetForeground);
}

int YesNoBox(Platform& platform, const std::string& text, char iconLetter,
             const std::string& buttonSet, char defaultLetter) {
  std::string shown = text;
  std::uint32_t style = 0;

  if (iconLetter == '?') {
    style |= kBoxIconQuestion;
  } else {
    shown = kIconComplaint;
  }

  if (buttonSet == "yn") {
    style |= kBoxYesNo;
  } else if (buttonSet == "ync") {
    style |= kBoxYesNoCancel;
  } else {
    shown = kButtonComplaint;
  }

  if (defaultLetter == 'c') {
    style |= kBoxDefButton3;
  } else if (defaultLetter == 'n') {
    style |= kBoxDefButton2;
  } else if (defaultLetter != 'y') {
    shown = kDefaultComplaint;
  }

  style |= kBoxTopmost;
  return platform.ShowBox(shown, kCaption, style);
}
