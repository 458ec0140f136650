#include <cctype>
#include <string>
#include <vector>

#include "platform/encoding.h"
#include "platform/posix_platform.h"

namespace {

struct Button {
  const char* label;
  char key;
  int code;
};

std::vector<Button> ButtonsOf(std::uint32_t style) {
  switch (style & 0xF) {
    case 3:
      return {{"はい(Y)", 'y', 6}, {"いいえ(N)", 'n', 7}, {"キャンセル(C)", 'c', 2}};
    case 4:
      return {{"はい(Y)", 'y', 6}, {"いいえ(N)", 'n', 7}};
    default:
      return {{"OK", '\0', 1}};
  }
}

const char* IconOf(std::uint32_t style) {
  switch (style & 0xF0) {
    case 0x10:
      return " [エラー]";
    case 0x20:
      return " [質問]";
    case 0x30:
      return " [警告]";
    case 0x40:
      return " [情報]";
    default:
      return "";
  }
}

std::string TextForTerminal(const std::string& text) {
  std::string shown = Cp932ToUtf8ForDisplay(text);
  std::string out;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == '\r') {
      if (i + 1 < shown.size() && shown[i + 1] == '\n') ++i;
      out += '\n';
    } else {
      out += shown[i];
    }
  }
  return out;
}

// One answer: a whole line of any length, without the blanks around it and
// in lower case. Only a short answer can be a button; a longer one is kept
// cut, still too long to match. False at end of input.
bool ReadAnswer(std::FILE* in, std::string* answer) {
  constexpr std::size_t kLongest = 4;
  answer->clear();
  std::size_t blanks = 0;  // inside the answer, not yet known to be trailing
  int c = std::getc(in);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::getc(in)) {
    if (std::isspace(c)) {
      if (!answer->empty()) ++blanks;
      continue;
    }
    if (answer->size() + blanks < kLongest) {
      answer->append(blanks, ' ');
      answer->push_back(static_cast<char>(std::tolower(c)));
    } else {
      answer->assign(kLongest, '?');
    }
    blanks = 0;
  }
  return true;
}

}  // namespace

int TerminalBox(std::FILE* in, std::FILE* out, const std::string& text, const std::string& caption,
                std::uint32_t style) {
  const std::vector<Button> buttons = ButtonsOf(style);
  std::size_t defaultIndex = (style >> 8) & 0xF;  // MB_DEFBUTTONn: n - 1
  if (defaultIndex >= buttons.size()) defaultIndex = 0;

  std::fprintf(out, "\n== %s ==%s\n%s\n", Cp932ToUtf8ForDisplay(caption).c_str(), IconOf(style),
               TextForTerminal(text).c_str());
  std::string keys;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    bool isDefault = i == defaultIndex;
    std::fprintf(out, "%s%s%s", isDefault ? "[*" : "[ ", buttons[i].label,
                 isDefault ? "*] " : " ] ");
    if (buttons[i].key) keys += (keys.empty() ? "" : "/") + std::string(1, buttons[i].key);
  }
  if (keys.empty()) {
    std::fprintf(out, "\n(Enter) > ");
  } else {
    std::fprintf(out, "\n(%s, Enter = %s) > ", keys.c_str(), buttons[defaultIndex].label);
  }
  std::fflush(out);

  std::string answer;
  while (ReadAnswer(in, &answer)) {
    if (buttons.size() == 1 || answer.empty()) return buttons[defaultIndex].code;
    for (const Button& button : buttons) {
      if (answer.size() == 1 && answer[0] == button.key) return button.code;
    }
    std::fprintf(out, "(%s) > ", keys.c_str());
    std::fflush(out);
  }
  std::fputc('\n', out);
  std::fflush(out);
  // End of input: a notice is simply closed, a question is refused.
  return buttons.size() == 1 ? buttons[0].code : 0;
}
