#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform_wrapper.h"
#include "platform/posix_platform.h"
#include "serverinfo/line_list.h"
#include "support/temp_folder.h"

struct RecordedBox {
  std::string text;
  std::string caption;
  std::uint32_t style;
};

namespace test_detail {
// Holds the real platform so it exists before the wrapper that forwards to it.
struct RealPlatformHolder {
  explicit RealPlatformHolder(const std::string& root) : real(root, nullptr, nullptr) {}
  PosixPlatform real;
};
}  // namespace test_detail

// The real POSIX platform with drive Z: on a temporary folder, the executable
// placed at `modulePath`, boxes recorded and answered from a script, and any
// call made to fail or to end the process.
class TestPlatform : private test_detail::RealPlatformHolder, public PlatformWrapper {
 public:
  // A host folder "host" with an empty "config" folder, the executable in it.
  TestPlatform();

  std::string HostPath(const std::string& relative) const { return folder_ / relative; }
  const std::string& Root() const { return folder_.path(); }
  std::string BoardPath() const { return HostPath("host/config/board.2ch"); }
  std::string BackupPath() const { return HostPath("host/config/board.2ch_QlBack"); }
  std::string TempPath() const { return HostPath("host/config/board.2ch_QlTemp"); }
  // The same file as the tool names it.
  std::string BoardWindowsPath() const { return "Z:\\host\\config\\board.2ch"; }

  // Executable location as the platform reports it; false = cannot be had.
  std::string modulePath = "Z:\\host\\Quenlit.exe";
  bool moduleAvailable = true;

  // Answers for questions, in order; when none is left a question gets 0.
  std::deque<int> answers;
  std::vector<RecordedBox> boxes;

  // Faults: the n-th call (1-based, counting every call) of the given name,
  // or of any name when failCall is empty, fails with failError, and so do
  // the failTimes - 1 such calls after it; or the process ends at a call.
  // A failing read or write moves half its bytes first; a write failing
  // with error 0 then reports success (a short write).
  std::string failCall;
  long failAt = 0;
  long failTimes = 1;
  std::uint32_t failError = kErrorGenFailure;
  long dieAt = 0;
  int dieStatus = 86;
  // Something another program does right before the n-th call (1-based).
  long changeAt = 0;
  std::function<void()> change;
  std::vector<std::string> calls;
  // Waits are counted, not slept.
  std::uint32_t slept = 0;

  bool ModuleFileName(std::string* path) override;
  bool FindFile(const std::string& path, std::uint32_t* attributes) override;
  FileHandle OpenForRead(const std::string& path) override;
  FileHandle CreateNew(const std::string& path, const std::string& likePath, Takes takes) override;
  bool FileSize(FileHandle file, std::uint64_t* size) override;
  bool ReadFile(FileHandle file, char* buffer, std::uint32_t size, std::uint32_t* got) override;
  bool WriteFile(FileHandle file, const char* data, std::uint32_t size,
                 std::uint32_t* written) override;
  bool FlushFile(FileHandle file) override;
  void CloseFile(FileHandle file) override;
  std::uint32_t GetAttributes(const std::string& path) override;
  bool SetAttributes(const std::string& path, std::uint32_t attributes) override;
  bool PutInPlace(FileHandle file, const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;
  bool ProbeWrite(const std::string& path) override;
  bool LeadsTo(const std::string& path, const std::string& entry) override;
  FileHandle LockRun(const std::string& path) override;
  void UnlockRun(FileHandle lock) override;
  std::uint32_t LastError() override;
  void Sleep(std::uint32_t milliseconds) override;
  int ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override;
  char* AllocatePages(std::size_t size) override;
  void FreePages(char* pages, std::size_t size) override;

 private:
  // Counts the call; true when it is the one to fail.
  bool Fails(const char* name);

  TempFolder folder_;
  long matching_ = 0;
  bool injected_ = false;  // the last call failed by script
};

// A line list as a read leaves it, over a copy of `bytes` in the platform's memory.
LineList TextLines(Platform& platform, std::string_view bytes);
// The same for lines given without their ends (each gets CR LF).
LineList LinesOf(Platform& platform, const std::vector<std::string>& lines);
// Every byte WrittenBytes gives for the lines, through a buffer of `room` bytes.
std::string WrittenOut(const LineList& lines, std::size_t room = 4096);
// The lines as they are written out, without their ends and the tail.
std::vector<std::string> LinesWritten(const LineList& lines);
