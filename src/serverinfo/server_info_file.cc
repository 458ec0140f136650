#include "serverinfo/server_info_file.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "serverinfo/failure.h"
#include "serverinfo/own_file.h"
#include "serverinfo/passing_locks.h"
#include "serverinfo/run_lock.h"
#include "text/lead_bytes.h"
#include "ui/texts.h"

namespace {

bool IsSeparatorAt(const std::string& path, std::size_t index) {
  return (path[index] == '\\' || path[index] == ':') && !IsTrailPosition(path, index);
}

// Whole file into memory; false when a read fails or falls short of the size.
bool ReadWhole(Platform& platform, FileHandle file, PageBlock& bytes, std::uint64_t& size) {
  if (!platform.FileSize(file, &size)) return false;
  if (size == 0) return true;
  if (size > SIZE_MAX) throw std::bad_alloc();
  bytes = PageBlock(platform, static_cast<std::size_t>(size));
  std::uint64_t done = 0;
  while (done < size) {
    std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(size - done, kChunk));
    std::uint32_t got = 0;
    if (!platform.ReadFile(file, bytes.data() + done, want, &got) || got == 0) return false;
    done += got;
  }
  return true;
}

}  // namespace

std::size_t FolderEnd(const std::string& path) {
  std::size_t i = path.size();
  while (i > 0) {
    std::size_t index = i - 1;
    if (path[index] == '\\' || path[index] == ':') {
      if (!IsTrailPosition(path, index)) return i;
      // A trail byte: step over its lead byte as well.
      i = index > 0 ? index - 1 : 0;
      continue;
    }
    i = index;
  }
  return 0;
}

std::optional<std::string> ExecutableDirectory(Platform& platform) {
  std::string module;
  if (!platform.ModuleFileName(&module)) return std::nullopt;
  std::size_t a = FolderEnd(module);
  // Drop the trailing backslash, but keep it after a drive ("C:\") or a
  // second backslash.
  if (a > 1 && module[a - 1] == '\\' && !IsSeparatorAt(module, a - 2)) --a;
  return module.substr(0, a);
}

std::optional<std::string> ServerInfoPath(Platform& platform) {
  auto directory = ExecutableDirectory(platform);
  if (!directory) return std::nullopt;
  return *directory + "\\config\\board.2ch";
}

bool IsExistingFile(Platform& platform, const std::string& path) {
  std::uint32_t attributes = 0;
  return platform.FindFile(path, &attributes) && !(attributes & kAttrDirectory);
}

void ReadLines(Platform& platform, const std::string& path, LineList& lines) {
  const FileHandle file = OpenToRead(platform, path);
  if (file == kNoFile) Raise(kEFOpenError, CannotOpenText(path));
  lines = {};
  PageBlock bytes;
  std::uint64_t size = 0;
  bool whole;
  {
    FileCloser closer(platform, file);
    whole = ReadWhole(platform, file, bytes, size);
  }
  if (!whole) return;  // a part of the file must never pass for all of it
  lines = LineList(std::move(bytes), static_cast<std::size_t>(size));
}

bool LoadServerInfo(RunState& state) {
  state.ServerInfoLines = {};
  // An executable path that cannot be had whole counts as a missing file: a
  // guessed path could reach another folder's file.
  auto path = ServerInfoPath(state.platform);
  if (!path || !IsExistingFile(state.platform, *path)) {
    FinalNotice(state, NotFoundText(), 'e');
    return false;
  }
  state.ServerInfoPath = std::move(*path);
  const std::string& found = state.ServerInfoPath;
  if (!TakeRunLock(state)) {
    FinalNotice(state, WriteFailedText(found), 'e');
    return false;
  }
  // The user's file is never one of ours: at one of our names it would be
  // taken for a leftover, or replaced as the backup.
  if (LeadsToOwnName(state.platform, found)) {
    FinalNotice(state, ReadFailedText(found), 'e');
    return false;
  }
  // Files a run before this one left behind (it died, or was stopped) go
  // now, whatever this run finds to do.
  RemoveOwn(state.platform, TemporaryPathFor(found));
  RemoveOwn(state.platform, TemporaryPathFor(found + kBackupSuffix));
  ReadLines(state.platform, found, state.ServerInfoLines);
  if (!state.ServerInfoLines.empty()) return true;
  FinalNotice(state, ReadFailedText(found), 'e');
  return false;
}
