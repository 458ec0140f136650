// Test helper for the Wine suite, a console program.
//
//   boxdriver drive ANSWERS EXE
//     Starts EXE, and for each message box it shows prints one line
//       box caption=HEX text=HEX buttons=YES,NO default=NO icon=question
//     (HEX: the exact bytes of the caption and text), then presses the next
//     answer: O(k), Y(es), N(o), C(ancel). With no answer left it presses the
//     default button. Ends with "exit N", or "timeout" if the tool hangs.
//
//   boxdriver hold PATH ACCESS SHARE
//     Opens PATH with the given CreateFileA access and share masks (hex),
//     prints "held" (or "failed N"), and keeps it open until stdin closes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kBoxWaitMs = 30000;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out.empty() ? "-" : out;
}

std::string WindowText(HWND window) {
  std::vector<char> buffer(1 << 16);
  int length = GetWindowTextA(window, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), length > 0 ? length : 0);
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

struct Search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process && IsWindowVisible(window) && ClassOf(window) == "#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND DialogOf(DWORD process) {
  Search search{process, nullptr};
  EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct Button {
  int id;
  char letter;
  const char* name;
};
constexpr Button kButtons[] = {
    {IDOK, 'O', "OK"}, {IDYES, 'Y', "YES"}, {IDNO, 'N', "NO"}, {IDCANCEL, 'C', "CANCEL"}};

bool HasButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  return button && IsWindowVisible(button);
}

// The icon kind a box shows: a visible static icon control holding one of
// the system icons, told apart by handle (system icons are shared).
BOOL CALLBACK FindIcon(HWND child, LPARAM param) {
  auto* result = reinterpret_cast<std::string*>(param);
  if (ClassOf(child) != "Static" || !IsWindowVisible(child)) return TRUE;
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
  auto icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
  if (!icon) return TRUE;
  const struct {
    LPCSTR id;
    const char* name;
  } kinds[] = {{IDI_ERROR, "error"},
               {IDI_INFORMATION, "information"},
               {IDI_QUESTION, "question"},
               {IDI_WARNING, "warning"}};
  *result = "other";
  for (const auto& kind : kinds) {
    if (LoadIconA(nullptr, kind.id) == icon) *result = kind.name;
  }
  *result += "@" + std::to_string(GetDlgCtrlID(child));
  return FALSE;
}

std::string IconOf(HWND dialog) {
  std::string result = "none";
  EnumChildWindows(dialog, FindIcon, reinterpret_cast<LPARAM>(&result));
  return result;
}

int DefaultOf(HWND dialog) {
  LRESULT id = SendMessageA(dialog, DM_GETDEFID, 0, 0);
  return HIWORD(id) == DC_HASDEFID ? LOWORD(id) : 0;
}

const char* NameOf(int id) {
  for (const auto& button : kButtons) {
    if (button.id == id) return button.name;
  }
  return "NONE";
}

void Report(HWND dialog) {
  std::string buttons;
  for (const auto& button : kButtons) {
    if (!HasButton(dialog, button.id)) continue;
    if (!buttons.empty()) buttons += ',';
    buttons += button.name;
  }
  std::printf("box caption=%s text=%s buttons=%s default=%s icon=%s\n",
              Hex(WindowText(dialog)).c_str(),
              Hex([&] {
                std::vector<char> text(1 << 16);
                int n = GetDlgItemTextA(dialog, 0xFFFF, text.data(), static_cast<int>(text.size()));
                return std::string(text.data(), n > 0 ? n : 0);
              }())
                  .c_str(),
              buttons.empty() ? "-" : buttons.c_str(), NameOf(DefaultOf(dialog)),
              IconOf(dialog).c_str());
  std::fflush(stdout);
}

void Press(HWND dialog, char answer) {
  int id = DefaultOf(dialog);
  for (const auto& button : kButtons) {
    if (button.letter == answer) id = button.id;
  }
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

int Drive(const std::string& answers, const std::string& exe) {
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    std::printf("cannot start %lu\n", GetLastError());
    return 2;
  }
  std::size_t next = 0;
  DWORD waited = 0;
  while (true) {
    HWND dialog = DialogOf(process.dwProcessId);
    if (dialog) {
      // Let the box finish laying itself out before it is read.
      Sleep(100);
      Report(dialog);
      Press(dialog, next < answers.size() ? answers[next] : '\0');
      ++next;
      while (IsWindow(dialog) && waited < kBoxWaitMs) {
        Sleep(kPollMs);
        waited += kPollMs;
      }
      waited = 0;
      continue;
    }
    if (WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0) break;
    waited += kPollMs;
    if (waited >= kBoxWaitMs) {
      std::printf("timeout\n");
      TerminateProcess(process.hProcess, 3);
      return 3;
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  std::printf("exit %lu\n", code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

int Hold(const std::string& path, DWORD access, DWORD share) {
  HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::printf("failed %lu\n", GetLastError());
    return 2;
  }
  std::printf("held\n");
  std::fflush(stdout);
  char buffer[256];
  DWORD got = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
  CloseHandle(file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 4 && std::string(argv[1]) == "drive") {
    return Drive(std::string(argv[2]) == "-" ? "" : argv[2], argv[3]);
  }
  if (argc == 5 && std::string(argv[1]) == "hold") {
    return Hold(argv[2], std::strtoul(argv[3], nullptr, 16), std::strtoul(argv[4], nullptr, 16));
  }
  std::fprintf(stderr, "usage: boxdriver drive ANSWERS EXE | hold PATH ACCESS SHARE\n");
  return 2;
}
