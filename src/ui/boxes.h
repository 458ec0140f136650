#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// Message box style bits and button codes, with the values Windows gives them.
namespace box {
inline constexpr std::uint32_t kOk = 0x0;
inline constexpr std::uint32_t kYesNoCancel = 0x3;
inline constexpr std::uint32_t kYesNo = 0x4;
inline constexpr std::uint32_t kIconError = 0x10;
inline constexpr std::uint32_t kIconQuestion = 0x20;
inline constexpr std::uint32_t kIconInformation = 0x40;
inline constexpr std::uint32_t kDefButton2 = 0x100;
inline constexpr std::uint32_t kDefButton3 = 0x200;
inline constexpr std::uint32_t kTaskModal = 0x2000;
inline constexpr std::uint32_t kSetForeground = 0x10000;
inline constexpr std::uint32_t kTopmost = 0x40000;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
}  // namespace box

// Caption of every box the tool shows itself.
extern const char kCaption[];

// A notice with one OK button. Icon letters: 'e' error, 'i' information,
// anything else none.
void NoticeBox(Platform& platform, const std::string& text, char iconLetter);

// A question. Icon '?', buttons "yn" or "ync", default 'y', 'n' or 'c'; a bad
// selector shows a complaint instead of the text. Returns the button code.
int YesNoBox(Platform& platform, const std::string& text, char iconLetter,
             const std::string& buttonSet, char defaultLetter);
