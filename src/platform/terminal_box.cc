#include <unistd.h>

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
  switch (style & kBoxButtons) {
    case kBoxYesNoCancel:
      return {{"はい(Y)", 'y', kIdYes}, {"いいえ(N)", 'n', kIdNo}, {"キャンセル(C)", 'c', kIdCancel}};
    case kBoxYesNo:
      return {{"はい(Y)", 'y', kIdYes}, {"いいえ(N)", 'n', kIdNo}};
    default:
      return {{"OK", '\0', kIdOk}};
  }
}

const char* IconOf(std::uint32_t style) {
  switch (style & kBoxIcon) {
    case kBoxIconError:
      return " [エラー]";
    case kBoxIconQuestion:
      return " [質問]";
    case kBoxIconWarning:
      return " [警告]";
    case kBoxIconInformation:
      return " [情報]";
    default:
      return "";
  }
}

std::string TextForTerminal(const std::string& text) {
  return InertForTerminal(Cp932ToUtf8ForDisplay(text));
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

// "y または n", "y、n または c": the keys of a question, in words.
std::string KeysInWords(const std::vector<Button>& buttons) {
  std::string words;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (i > 0) words += i + 1 == buttons.size() ? " または " : "、";
    words += buttons[i].key;
  }
  return words;
}

}  // namespace

int TerminalBox(std::FILE* in, std::FILE* out, const std::string& text, const std::string& caption,
                std::uint32_t style) {
  const std::vector<Button> buttons = ButtonsOf(style);
  std::size_t defaultIndex = (style & kBoxDefault) >> 8;
  if (defaultIndex >= buttons.size()) defaultIndex = 0;

  std::fprintf(out, "\n== %s ==%s\n%s\n", TextForTerminal(caption).c_str(), IconOf(style),
               TextForTerminal(text).c_str());
  std::string keys;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    bool isDefault = i == defaultIndex;
    std::fprintf(out, "%s%s%s", isDefault ? "[*" : "[ ", buttons[i].label,
                 isDefault ? "*] " : " ] ");
    if (buttons[i].key) keys += (keys.empty() ? "" : "/") + std::string(1, buttons[i].key);
  }
  std::fputc('\n', out);
  const bool notice = keys.empty();
  auto prompt = [&] {
    if (notice) {
      std::fprintf(out, "(Enter) > ");
    } else {
      std::fprintf(out, "(%s, Enter = %s) > ", keys.c_str(), buttons[defaultIndex].label);
    }
    std::fflush(out);
  };
  auto done = [&](int code) {
    std::fflush(out);
    return code;
  };
  // Answers from a pipe or a file are not echoed: the prompt's line is ended
  // here, so what follows starts on a line of its own.
  const bool typed = ::isatty(::fileno(in)) == 1;

  prompt();
  std::string answer;
  while (ReadAnswer(in, &answer)) {
    if (!typed) std::fputc('\n', out);
    if (notice || answer.empty()) return done(buttons[defaultIndex].code);
    for (const Button& button : buttons) {
      if (answer.size() == 1 && answer[0] == button.key) return done(button.code);
    }
    std::fprintf(out, "%s で答えて下さい。\n", KeysInWords(buttons).c_str());
    prompt();
  }
  std::fputc('\n', out);
  // End of input: a notice is simply closed, a question is refused.
  if (notice) return done(buttons[0].code);
  std::fprintf(out, "入力が終わったため、この質問は断ったものとします。\n");
  return done(0);
}
