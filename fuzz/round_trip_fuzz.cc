// Read, rewrite and write back a real file through the POSIX platform, every
// question answered Yes: the file on disk must be the rule's model of it, the
// backup the old bytes, and nothing else left behind.

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "model.h"
#include "platform/platform_wrapper.h"
#include "platform/posix_platform.h"
#include "serverinfo/colour_rewrite.h"
#include "serverinfo/own_file.h"
#include "serverinfo/server_info_file.h"
#include "serverinfo/write_back.h"

namespace {

// The executable in the host folder; boxes are closed, questions answered Yes.
class YesPlatform : public PlatformWrapper {
 public:
  explicit YesPlatform(Platform& real) : PlatformWrapper(real) {}
  bool ModuleFileName(std::string* path) override {
    *path = "Z:\\host\\Quenlit.exe";
    return true;
  }
  int ShowBox(const std::string&, const std::string&, std::uint32_t style) override {
    ++boxes;
    return (style & 0xF) == 0 ? 1 : 6;
  }
  int boxes = 0;
};

// A folder in memory where the system has one: fsync costs nothing there.
std::string Scratch() {
  const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
  std::string pattern = std::string(base ? base : "/tmp") + "/quenlit-fuzz-XXXXXX";
  if (!::mkdtemp(pattern.data())) std::abort();
  ::mkdir((pattern + "/host").c_str(), 0755);
  ::mkdir((pattern + "/host/config").c_str(), 0755);
  static std::string made = pattern;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(made, ignored);
  });
  return pattern;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Write(const std::string& path, const std::string& bytes) {
  ::chmod(path.c_str(), 0644);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string root = Scratch();
  static PosixPlatform real(root, nullptr, nullptr);
  const std::string board = root + "/host/config/board.2ch";
  const std::string backup = board + "_QlBack";
  const std::string input(reinterpret_cast<const char*>(data), size);
  ::unlink(backup.c_str());
  Write(board, input);
  // Odd sizes start read-only, so clearing it is exercised too.
  const bool readOnly = size % 2 == 1;
  if (readOnly) ::chmod(board.c_str(), 0444);

  YesPlatform platform(real);
  RunState state(platform);
  int rewritten = 0, lines = 0;
  const std::string expected = model::RewriteFile(input, true, &rewritten, &lines);
  bool written = false;
  if (LoadServerInfo(state)) {
    model::Check(lines > 0, "lines read from a file without any");
    bool anyToken = false;
    for (const std::string& line : model::Lines(input)) {
      bool changed = false;
      std::size_t found = 0;
      model::RewriteLine(line, &changed, &found);
      anyToken = anyToken || found != 0;
    }
    model::Check(CheckBlackPresent(state) == anyToken, "presence of clBlack");
    if (anyToken) {
      ReplaceBlackColours(state);
      model::Check(state.FixCount == rewritten, "count of rewritten lines");
      if (state.FixCount != 0) {
        model::Check(WriteBackServerInfo(state), "the write-back failed");
        written = true;
      }
    }
  } else {
    model::Check(lines == 0, "a file with lines was not read");
  }

  if (written) {
    model::Check(Read(board) == expected, "bytes on disk");
    model::Check(Read(backup) == input, "backup");
    model::Check(platform.boxes == (readOnly ? 1 : 0), "boxes of the write-back");
  } else {
    model::Check(Read(board) == input, "an unchanged file was touched");
    model::Check(!Exists(backup), "backup without a write");
  }
  model::Check(!Exists(TemporaryPathFor(board)) && !Exists(backup + "_QlTemp"),
               "temporary file left");
  return 0;
}
