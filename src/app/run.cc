#include "app/run.h"

#include <cstdio>
#include <new>
#include <string>

#include "serverinfo/colour_rewrite.h"
#include "serverinfo/failure.h"
#include "serverinfo/server_info_file.h"
#include "serverinfo/write_back.h"
#include "ui/boxes.h"
#include "ui/texts.h"

namespace {

bool NoChangeCheck(RunState& state) {
  if (state.FixCount != 0) return true;
  FinalNotice(state, NoBlackBoardText(), 'i');
  return false;
}

bool ClosingNotice(RunState& state) {
  FinalNotice(state, FixedText(state.FixCount), 'n');
  return false;
}

struct Row {
  const char* name;
  bool (*run)(RunState&);
};

// The run, in order; it ends at the first row that answers no. Stages 1
// to 4 are the rows that read, rewrite and write the file.
constexpr Row kRunSequence[] = {
    {"LoadServerInfo", LoadServerInfo},            // stage 1
    {"CheckBlackPresent", CheckBlackPresent},      // stage 2
    {"ReplaceBlackColours", ReplaceBlackColours},  // stage 3
    {"NoChangeCheck", NoChangeCheck},
    {"WriteBackServerInfo", WriteBackServerInfo},  // stage 4
    {"ClosingNotice", ClosingNotice},
};

std::string ExecutableName(Platform& platform) {
  std::string module;
  if (!platform.ModuleFileName(&module)) return {};
  return module.substr(FolderEnd(module));
}

int LastResortReport(Platform& platform, const Failure& failure) {
  char code[9];
  std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(failure.site));
  const std::string text =
      LastResortText(failure.kind, ExecutableName(platform), code, failure.message);
  platform.ShowBox(text, ErrorCaption(), kBoxTaskModal | kBoxIconError);
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
    failure = {kEOutOfMemory, OutOfMemoryText(), SiteCode(running)};
  } catch (...) {
    failure = {"Exception", "", SiteCode(running)};
  }
  return LastResortReport(platform, failure);
}
