#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"

// The Windows operations mapped to POSIX, the way Wine shows a Linux system
// to a Windows program: drive Z: is `root` ("/" for the real program), '\'
// is '/', and names are code page 932 outside and UTF-8 on disk. Read-only
// is the owner's write bit, honoured even for root. Failures report the
// Windows error code of the same cause. Boxes are shown on a terminal: text
// to `out`, answers from `in`.
class PosixPlatform : public Platform {
 public:
  explicit PosixPlatform(std::string root = "/", std::FILE* in = stdin, std::FILE* out = stdout);

  // Z:\a\b (cp932) to root/a/b (UTF-8); false for other drives or names that
  // do not convert exactly.
  bool ToHostPath(const std::string& windowsPath, std::string* hostPath) const;
  bool FromHostPath(const std::string& hostPath, std::string* windowsPath) const;

  // The path the program was started by (argv[0]), taken as its own when
  // it names a folder holding an entry that leads to this very program: a
  // link placed in a host folder then works on that folder. Resolved at
  // once, against the current folder. Otherwise, as for a name found
  // through PATH, the real file's path stands.
  void StartedAs(const char* calledBy);

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
  bool ReplaceTarget(const std::string& path, std::string* target) override;
  bool ProbeWrite(const std::string& path) override;
  bool LeadsTo(const std::string& path, const std::string& entry) override;
  // The folder itself is locked (flock): no file is made, and the lock goes
  // with the process however it ends. Names in the folder are then reached
  // through the open folder (openat, renameat, ...).
  FileHandle LockRun(const std::string& path) override;
  void UnlockRun(FileHandle lock) override;
  std::uint32_t LastError() override;
  void Sleep(std::uint32_t milliseconds) override;
  int ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override;
  char* AllocatePages(std::size_t size) override;
  void FreePages(char* pages, std::size_t size) override;

 private:
  // Where a path leads: a name in the held folder, or a whole host path.
  struct Place {
    std::string host;
    int folder = -1;  // the held folder, or AT_FDCWD
    std::string name;
  };
  bool Locate(const std::string& windowsPath, Place* place) const;
  // Locate, then the entry's status (a link followed); false with the
  // error recorded.
  bool StatAt(const std::string& windowsPath, Place* place, struct stat* st);

  // Records why a call failed; returns false for the caller to pass on.
  bool Failed(int error);
  bool Failed(std::uint32_t windowsError);
  FileHandle NoFile(std::uint32_t windowsError);

  std::string root_;  // without a trailing '/'; empty for "/"
  // The program's host path as started, its folder resolved; empty for the
  // real file's. startedAsError_: the start path leads to this program but
  // its folder could not be had whole.
  std::string startedAs_;
  std::uint32_t startedAsError_ = 0;
  std::FILE* in_;
  std::FILE* out_;
  std::uint32_t lastError_ = 0;
  int heldFolder_ = -1;   // the run's locked folder, while held
  std::string heldPath_;  // its host path, with the trailing '/'
};

// One box on a terminal: caption, icon kind, text, buttons with the default
// marked; reads answers, one whole line each, until one fits, naming the
// accepted ones after a wrong one. A notice closes on any line; at end of
// input a notice returns IDOK and a question 0, saying it was refused.
int TerminalBox(std::FILE* in, std::FILE* out, const std::string& text, const std::string& caption,
                std::uint32_t style);
