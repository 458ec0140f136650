#include "app/run.h"

#include <cstdio>
#include <new>
#include <string>

#include "serverinfo/colour_rewrite.h"
#include "serverinfo/failure.h"
#include "serverinfo/server_info_file.h"
#include "serverinfo/write_back.h"
#include "ui/boxes.h"

namespace {

// clang-format off
// "板名文字色が黒色('clBlack')である板は、見つかりませんでした。\r\n何もせずに終了します。"
const char kNoBlackBoardText[] =
    "\x94\xc2\x96\xbc\x95\xb6\x8e\x9a\x90\x46\x82\xaa\x8d\x95\x90\x46('clBlack')\x82\xc5"
    "\x82\xa0\x82\xe9\x94\xc2\x82\xcd\x81\x41\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9"
    "\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42\r\n\x89\xbd\x82\xe0\x82\xb9\x82\xb8\x82\xc9"
    "\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81\x42";
// " 件、修正しました。"
const char kFixedText[] =
    " \x8c\x8f\x81\x41\x8f\x43\x90\xb3\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "アプリケーション エラー"
const char kErrorCaption[] =
    "\x83\x41\x83\x76\x83\x8a\x83\x50\x81\x5b\x83\x56\x83\x87\x83\x93 \x83\x47\x83\x89"
    "\x81\x5b";
// "がモジュール "
const char kInModule[] = "\x82\xaa\x83\x82\x83\x57\x83\x85\x81\x5b\x83\x8b ";
// " の "
const char kAt[] = " \x82\xcc ";
// " で発生しました。"
const char kArose[] =
    " \x82\xc5\x94\xad\x90\xb6\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "メモリが足りません"
const char kOutOfMemory[] =
    "\x83\x81\x83\x82\x83\x8a\x82\xaa\x91\xab\x82\xe8\x82\xdc\x82\xb9\x82\xf1";
// clang-format on

bool NoChangeCheck(RunState& state) {
  if (state.FixCount != 0) return true;
  FinalNotice(state, kNoBlackBoardText, 'i');
  return false;
}

bool ClosingNotice(RunState& state) {
  FinalNotice(state, std::to_string(state.FixCount) + kFixedText, 'n');
  return false;
}

struct Row {
  const char* name;
  bool (*run)(RunState&);
};

// The run, in order; it ends at the first row that answers no.
constexpr Row kRunSequence[] = {
    {"LoadServerInfo", LoadServerInfo},            // 1
    {"CheckBlackPresent", CheckBlackPresent},      // 2
    {"ReplaceBlackColours", ReplaceBlackColours},  // 3
    {"NoChangeCheck", NoChangeCheck},              // 4
    {"WriteBackServerInfo", WriteBackServerInfo},  // 5
    {"ClosingNotice", ClosingNotice},              // 6
};

std::string ExecutableName(Platform& platform) {
  std::string module;
  if (!platform.ModuleFileName(&module)) return {};
  return module.substr(FolderEnd(module));
}

int LastResortReport(Platform& platform, const Failure& failure) {
  char code[9];
  std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(failure.site));
  std::string text = failure.kind + kInModule + ExecutableName(platform) + kAt + code + kArose;
  text += '\n';
  text += failure.message;
  if (!failure.message.empty() && failure.message.back() != '.') text += '.';
  platform.ShowBox(text, kErrorCaption, box::kTaskModal | box::kIconError);
  return 1;
}

}  // namespace

int RunQuenlit(Platform& platform) {
  const char* running = "RunQuenlit";
  Failure failure;
  try {
    // The state, and with it the line list, is released before any report.
    RunState state(platform);
    for (const Row& row : kRunSequence) {
      running = row.name;
      if (!row.run(state)) break;
    }
    return 0;
  } catch (Failure& raised) {
    failure = std::move(raised);
  } catch (const std::bad_alloc&) {
    failure = {kEOutOfMemory, kOutOfMemory, SiteCode(running)};
  } catch (...) {
    failure = {"Exception", "", SiteCode(running)};
  }
  return LastResortReport(platform, failure);
}
