#include "serverinfo/server_info_file.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <span>
#include <string_view>

#include "serverinfo/failure.h"
#include "serverinfo/own_file.h"
#include "serverinfo/passing_locks.h"
#include "serverinfo/run_lock.h"
#include "serverinfo/write_back.h"
#include "text/lead_bytes.h"

namespace {

// Largest single read handed to the platform (its calls take 32 bits).
constexpr std::uint64_t kChunk = 1u << 30;
// Size of the buffer the lines are written through: one large page.
constexpr std::size_t kWriteBuffer = std::size_t{2} << 20;

bool IsSeparatorAt(const std::string& path, std::size_t index) {
  return (path[index] == '\\' || path[index] == ':') && !IsTrailPosition(path, index);
}

// Closes a file on every way out of a scope.
class FileCloser {
 public:
  FileCloser(Platform& platform, FileHandle file) : platform_(platform), file_(file) {}
  ~FileCloser() { platform_.CloseFile(file_); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  Platform& platform_;
  FileHandle file_;
};

// Whole file into memory; false when a read fails or falls short of the size.
bool ReadWhole(Platform& platform, FileHandle file, PageBlock& bytes, std::uint64_t& size) {
  if (!platform.FileSize(file, &size)) return false;
  if (size == 0) return true;
  if (size > SIZE_MAX) throw std::bad_alloc();
  bytes = PageBlock(platform, static_cast<std::size_t>(size));
  std::uint64_t done = 0;
  while (done < size) {
    std::uint32_t want = static_cast<std::uint32_t>(std::min(size - done, kChunk));
    std::uint32_t got = 0;
    if (!platform.ReadFile(file, bytes.data() + done, want, &got) || got == 0) return false;
    done += got;
  }
  return true;
}

// clang-format off
// "サーバ情報ファイル(board.2ch)が見つかりませんでした。\r\nQuenlit.exe を Ostra.Exe と同じ場所にコピーして実行して下さい。"
const char kNotFoundText[] =
    "\x83\x54\x81\x5b\x83\x6f\x8f\xee\x95\xf1\x83\x74\x83\x40\x83\x43\x83\x8b(board.2ch)"
    "\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd"
    "\x81\x42\r\nQuenlit.exe \x82\xf0 Ostra.Exe \x82\xc6\x93\xaf\x82\xb6\x8f\xea\x8f\x8a"
    "\x82\xc9\x83\x52\x83\x73\x81\x5b\x82\xb5\x82\xc4\x8e\xc0\x8d\x73\x82\xb5\x82\xc4\x89\xba"
    "\x82\xb3\x82\xa2\x81\x42";
// "の読み込みに失敗しました。\r\n書換処理を続行できません。"
const char kReadFailed[] =
    "\x82\xcc\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5"
    "\x82\xbd\x81\x42\r\n\x8f\x91\x8a\xb7\x8f\x88\x97\x9d\x82\xf0\x91\xb1\x8d\x73\x82\xc5"
    "\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// "ファイル "
const char kFile[] = "\x83\x74\x83\x40\x83\x43\x83\x8b ";
// " は開けません"
const char kCannotOpen[] = " \x82\xcd\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1";
// " を作成できません"
const char kCannotCreate[] =
    " \x82\xf0\x8d\xec\x90\xac\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";
// "への書き込みに失敗しました。"
const char kWriteFailedTail[] =
    "\x82\xd6\x82\xcc\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc"
    "\x82\xb5\x82\xbd\x81\x42";
// clang-format on

}  // namespace

// "サーバ情報ファイル"
const char kServerInfoFileWords[] =
    "\x83\x54\x81\x5b\x83\x6f\x8f\xee\x95\xf1\x83\x74\x83\x40\x83\x43\x83\x8b";

std::string WriteFailedText(const std::string& path) {
  return kServerInfoFileWords + path + kWriteFailedTail;
}

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
  if (file == kNoFile) Raise(kEFOpenError, kFile + path + kCannotOpen);
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

std::string TemporaryPathFor(const std::string& path) { return path + "_QlTemp"; }

void WriteLines(Platform& platform, const std::string& path, const LineList& lines) {
  // The lines go out through one buffer, taken before the file exists: the
  // new content is never held twice, and running out of memory leaves
  // nothing behind.
  PageBlock buffer(platform, kWriteBuffer);
  const std::string target = platform.ReplaceTarget(path);
  OwnFile file(platform, TemporaryPathFor(target), target, Takes::kAll);
  if (!file.created()) Raise(kEFCreateError, kFile + file.path() + kCannotCreate);
  WrittenBytes bytes(lines);
  const std::span<char> room(buffer.data(), buffer.size());
  for (auto piece = bytes.Next(room); !piece.empty(); piece = bytes.Next(room)) file.Write(piece);
  file.Flush();
  // Only over the content this run read: another program's save since then
  // must not be lost.
  if (file.PutInPlaceOf(target, path, lines.bytes()) != OwnFile::Put::kDone) {
    Raise(kEFCreateError, kFile + path + kCannotCreate);
  }
}

bool LoadServerInfo(RunState& state) {
  state.ServerInfoLines = {};
  // An executable path that cannot be had whole counts as a missing file: a
  // guessed path could reach another folder's file.
  auto path = ServerInfoPath(state.platform);
  if (!path || !IsExistingFile(state.platform, *path)) {
    FinalNotice(state, kNotFoundText, 'e');
    return false;
  }
  if (!TakeRunLock(state, *path)) {
    FinalNotice(state, WriteFailedText(*path), 'e');
    return false;
  }
  // Files a run before this one left behind (it died, or was stopped) go
  // now, whatever this run finds to do.
  RemoveOwn(state.platform, TemporaryPathFor(*path));
  RemoveOwn(state.platform, TemporaryPathFor(*path + kBackupSuffix));
  ReadLines(state.platform, *path, state.ServerInfoLines);
  if (!state.ServerInfoLines.empty()) return true;
  FinalNotice(state, kServerInfoFileWords + *path + kReadFailed, 'e');
  return false;
}
