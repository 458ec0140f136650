// Test helper for the Wine suite, a console program.
//
//   boxdriver drive ANSWERS EXE
//     Starts EXE, and for each message box it shows prints one line
//       box caption=HEX text=HEX buttons=YES,NO default=NO icon=yes topmost=yes
//     (HEX: the caption and text as code page 932 bytes, converted from the
//     box's own UTF-16 text, whatever code page this helper runs under; a
//     character cp932 lacks becomes '?'), then presses the next
//     answer: O(k), Y(es), N(o), C(ancel). With no answer left it presses the
//     default button. Ends with "exit N", or "timeout" if the tool hangs.
//
//   boxdriver attach ANSWERS
//     As drive, for a tool someone else starts: follows the first process
//     that shows a box.
//
//   boxdriver step EXE
//     As drive, but before each press it reads the answer letter from a line
//     on stdin, so a caller can look at the box first.
//
//   boxdriver hold PATH ACCESS SHARE [MS]
//     Opens PATH with the given CreateFile access and share masks (hex),
//     prints "held" (or "failed N"), and keeps it open until stdin closes,
//     or for MS milliseconds only.
//
//   Paths and the command line are taken as UTF-16, so any name works.
//
//   boxdriver resources EXE
//     Prints what the version resource, icon group and manifest of EXE hold.
//
//   boxdriver security PATH
//     Prints the file's owner, group and DACL as SDDL.
#include <windows.h>
// After windows.h, which they need.
#include <sddl.h>
#include <shellapi.h>

#include <cstdint>
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

std::string Cp932(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int length = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0,
                                   nullptr, nullptr);
  std::string out(length > 0 ? length : 0, '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text.data(), size, out.data(), length, "?",
                      nullptr);
  return out;
}

std::string WindowText(HWND window) {
  std::vector<wchar_t> buffer(1 << 16);
  int length = GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
  return Cp932(std::wstring(buffer.data(), length > 0 ? length : 0));
}

// The message of a box: the static control with id 0xFFFF.
std::string MessageText(HWND dialog) {
  std::vector<wchar_t> buffer(1 << 16);
  int length = GetDlgItemTextW(dialog, 0xFFFF, buffer.data(), static_cast<int>(buffer.size()));
  return Cp932(std::wstring(buffer.data(), length > 0 ? length : 0));
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

// Whether the box shows an icon: a visible static icon control that holds
// one (id 20 on Windows, 1088 on Wine). Which system icon it is cannot be
// told from another process: icon handles are per process.
BOOL CALLBACK FindIcon(HWND child, LPARAM param) {
  if (ClassOf(child) != "Static" || !IsWindowVisible(child)) return TRUE;
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
  if (!SendMessageA(child, STM_GETICON, 0, 0)) return TRUE;
  *reinterpret_cast<bool*>(param) = true;
  return FALSE;
}

bool ShowsIcon(HWND dialog) {
  bool shown = false;
  EnumChildWindows(dialog, FindIcon, reinterpret_cast<LPARAM>(&shown));
  return shown;
}

// The button Enter presses. Wine answers DM_GETDEFID with IDOK from its box
// template even when that button was removed, so the button carrying the
// default push-button style decides; DM_GETDEFID only when none does.
int DefaultOf(HWND dialog) {
  for (const auto& button : kButtons) {
    if (!HasButton(dialog, button.id)) continue;
    LONG style = GetWindowLongA(GetDlgItem(dialog, button.id), GWL_STYLE);
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return button.id;
  }
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
  bool topmost = GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST;
  std::printf("box caption=%s text=%s buttons=%s default=%s icon=%s topmost=%s\n",
              Hex(WindowText(dialog)).c_str(), Hex(MessageText(dialog)).c_str(),
              buttons.empty() ? "-" : buttons.c_str(), NameOf(DefaultOf(dialog)),
              ShowsIcon(dialog) ? "yes" : "no", topmost ? "yes" : "no");
  std::fflush(stdout);
}

// Presses the answer's button; the default one when the answer is none of
// the box's buttons, so a wrong script ends in a mismatch, not a hang.
void Press(HWND dialog, char answer) {
  int id = DefaultOf(dialog);
  for (const auto& button : kButtons) {
    if (button.letter == answer && HasButton(dialog, button.id)) id = button.id;
  }
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

char AnswerFromStdin() {
  char line[64] = {};
  if (!std::fgets(line, sizeof line, stdin)) return '\0';
  return line[0];
}

// Reports and answers the boxes of a running process until it ends.
int Follow(HANDLE process, DWORD processId, const std::string& answers, bool step) {
  std::size_t next = 0;
  DWORD waited = 0;
  while (true) {
    HWND dialog = DialogOf(processId);
    if (dialog) {
      // Let the box finish laying itself out before it is read.
      Sleep(100);
      Report(dialog);
      char answer = next < answers.size() ? answers[next] : '\0';
      if (step) answer = AnswerFromStdin();
      Press(dialog, answer);
      ++next;
      while (IsWindow(dialog) && waited < kBoxWaitMs) {
        Sleep(kPollMs);
        waited += kPollMs;
      }
      waited = 0;
      continue;
    }
    if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) break;
    waited += kPollMs;
    if (waited >= kBoxWaitMs) {
      std::printf("timeout\n");
      TerminateProcess(process, 3);
      return 3;
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  std::printf("exit %lu\n", code);
  return 0;
}

int Drive(const std::string& answers, const std::wstring& exe, bool step) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("cannot start %lu\n", GetLastError());
    return 2;
  }
  int result = Follow(process.hProcess, process.dwProcessId, answers, step);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

BOOL CALLBACK FindForeignDialog(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<DWORD*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != GetCurrentProcessId() && IsWindowVisible(window) && ClassOf(window) == "#32770") {
    *found = owner;
    return FALSE;
  }
  return TRUE;
}

// For a tool started by others (from a path CreateProcessA refuses): waits
// for the first box of another process and follows that process.
int Attach(const std::string& answers) {
  DWORD processId = 0;
  for (DWORD waited = 0; !processId && waited < kBoxWaitMs; waited += kPollMs) {
    EnumWindows(FindForeignDialog, reinterpret_cast<LPARAM>(&processId));
    if (!processId) Sleep(kPollMs);
  }
  if (!processId) {
    std::printf("timeout\n");
    return 3;
  }
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
                               FALSE, processId);
  if (!process) {
    std::printf("cannot open process %lu\n", GetLastError());
    return 2;
  }
  int result = Follow(process, processId, answers, false);
  CloseHandle(process);
  return result;
}

int Hold(const std::wstring& path, DWORD access, DWORD share, DWORD milliseconds) {
  HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::printf("failed %lu\n", GetLastError());
    return 2;
  }
  std::printf("held\n");
  std::fflush(stdout);
  if (milliseconds) {
    Sleep(milliseconds);
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
  }
  char buffer[256];
  DWORD got = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}

// Read with W functions and converted here: the A functions would hand the
// Japanese strings over in this process's own code page.
std::string VersionString(const std::vector<char>& info, const std::wstring& name) {
  std::wstring key = L"\\StringFileInfo\\041103A4\\" + name;
  wchar_t* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
      length == 0) {
    return {};
  }
  return Cp932(std::wstring(value, length - 1));  // without the closing NUL
}

int Resources(const std::wstring& exe) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  std::vector<char> info(size ? size : 1);
  if (size && GetFileVersionInfoW(exe.c_str(), 0, size, info.data())) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
      std::printf("fileversion %d.%d.%d.%d\n", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                  LOWORD(fixed->dwFileVersionLS));
      std::printf("productversion %d.%d.%d.%d\n", HIWORD(fixed->dwProductVersionMS),
                  LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
                  LOWORD(fixed->dwProductVersionLS));
    }
    WORD* translation = nullptr;
    if (VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translation), &length)) {
      for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) {
        std::printf("translation %04x %u\n", translation[i], translation[i + 1]);
      }
    }
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName",
                                L"FileDescription", L"OriginalFilename", L"Comments"}) {
      std::printf("string %ls %s\n", name, Hex(VersionString(info, name)).c_str());
    }
  }
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return 2;
  // The icon group lists each image; a width byte of 0 means 256.
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
  if (group) {
    auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, group)));
    unsigned count = bytes[4] | (bytes[5] << 8);
    std::string sizes;
    for (unsigned i = 0; i < count; ++i) {
      unsigned width = bytes[6 + 14 * i];
      if (!sizes.empty()) sizes += ',';
      sizes += std::to_string(width ? width : 256);
    }
    std::printf("icons %s\n", sizes.c_str());
  }
  HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  if (manifest) {
    auto* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
    std::printf("manifest %s\n", Hex(std::string(text, SizeofResource(module, manifest))).c_str());
  }
  return 0;
}

// The security descriptor of a file as Windows reads it: owner, group, DACL.
int Security(const std::wstring& path) {
  const SECURITY_INFORMATION wanted =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetFileSecurityW(path.c_str(), wanted, nullptr, 0, &needed);
  std::vector<char> descriptor(needed ? needed : 1);
  LPWSTR text = nullptr;
  if (!needed || !GetFileSecurityW(path.c_str(), wanted, descriptor.data(), needed, &needed) ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                            wanted, &text, nullptr)) {
    std::printf("failed %lu\n", GetLastError());
    return 2;
  }
  std::printf("security %ls\n", text);
  LocalFree(text);
  return 0;
}

}  // namespace

std::string Ascii(const std::wstring& text) { return std::string(text.begin(), text.end()); }

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  int argc = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args(wide, wide + argc);
  const std::string mode = argc > 1 ? Ascii(args[1]) : "";
  auto answers = [&] { return args[2] == L"-" ? std::string() : Ascii(args[2]); };
  if (argc == 4 && mode == "drive") return Drive(answers(), args[3], false);
  if (argc == 3 && mode == "attach") return Attach(answers());
  if (argc == 3 && mode == "step") return Drive("", args[2], true);
  if (argc == 3 && mode == "resources") return Resources(args[2]);
  if (argc == 3 && mode == "security") return Security(args[2]);
  if ((argc == 5 || argc == 6) && mode == "hold") {
    return Hold(args[2], std::wcstoul(args[3].c_str(), nullptr, 16),
                std::wcstoul(args[4].c_str(), nullptr, 16),
                argc == 6 ? std::wcstoul(args[5].c_str(), nullptr, 10) : 0);
  }
  std::fprintf(stderr,
               "usage: boxdriver drive ANSWERS EXE | attach ANSWERS | step EXE | "
               "hold PATH ACCESS SHARE [MS] | resources EXE | security PATH\n");
  return 2;
}
