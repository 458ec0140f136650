#include "serverinfo/own_file.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "serverinfo/failure.h"
#include "serverinfo/passing_locks.h"
#include "ui/texts.h"

namespace {

// Bytes compared at a time when a file is looked at again.
constexpr std::size_t kCompareStep = std::size_t{64} << 10;

}  // namespace

std::string TemporaryPathFor(const std::string& path) { return path + kTemporarySuffix; }

bool IsOwnName(const std::string& path) {
  const std::string_view name(path);
  for (const std::string_view suffix : {kBackupSuffix, kTemporarySuffix}) {
    if (name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix) {
      return true;
    }
  }
  return false;
}

bool LeadsToOwnName(Platform& platform, const std::string& path) {
  const std::string backup = path + kBackupSuffix;
  for (const std::string& own : {backup, TemporaryPathFor(path), TemporaryPathFor(backup)}) {
    if (platform.LeadsTo(path, own)) return true;
  }
  std::string target;
  return platform.ReplaceTarget(path, &target) && IsOwnName(target);
}

bool CreateAnew(Platform& platform, const std::string& path, const std::function<bool()>& create) {
  return WaitOut(platform, [&] {
    platform.RemoveFile(path);
    return create();
  });
}

void RemoveOwn(Platform& platform, const std::string& path) {
  WaitOut(platform, [&] { return platform.RemoveFile(path); });
}

OwnFile::OwnFile(Platform& platform, std::string path, const std::string& likePath, Takes takes)
    : platform_(platform), path_(std::move(path)) {
  CreateAnew(platform_, path_, [&] {
    file_ = platform_.CreateNew(path_, likePath, takes);
    return file_ != kNoFile;
  });
}

OwnFile::~OwnFile() {
  if (file_ == kNoFile) return;
  platform_.CloseFile(file_);
  if (!placed_) RemoveOwn(platform_, path_);
}

void OwnFile::Write(std::string_view data) {
  while (!data.empty()) {
    const auto want = static_cast<std::uint32_t>(std::min(data.size(), kChunk));
    std::uint32_t written = 0;
    if (!platform_.WriteFile(file_, data.data(), want, &written) || written != want) {
      Raise(kEWriteError, StreamWriteErrorText());
    }
    data.remove_prefix(want);
  }
}

void OwnFile::Flush() {
  if (!platform_.FlushFile(file_)) Raise(kEWriteError, StreamWriteErrorText());
}

OwnFile::Put OwnFile::PutInPlaceOf(const std::string& target, const std::string& watched,
                                   std::string_view read) {
  bool changed = false;
  // The look and the replace follow each other at once: a save by another
  // program between them is the only one that could still be lost.
  const bool put = WaitOut(platform_, [&] {
    changed = !StillAsRead(platform_, watched, read);
    return changed || platform_.PutInPlace(file_, path_, target);
  });
  if (changed) return Put::kChanged;
  placed_ = put;
  return put ? Put::kDone : Put::kRefused;
}

bool StillAsRead(Platform& platform, const std::string& path, std::string_view read) {
  const FileHandle file = OpenToRead(platform, path);
  if (file == kNoFile) return false;
  FileCloser closer(platform, file);
  std::uint64_t size = 0;
  bool same = platform.FileSize(file, &size) && size == read.size();
  char buffer[kCompareStep];
  while (same && !read.empty()) {
    const auto want = static_cast<std::uint32_t>(std::min(read.size(), sizeof buffer));
    std::uint32_t got = 0;
    same = platform.ReadFile(file, buffer, want, &got) && got == want &&
           std::memcmp(buffer, read.data(), got) == 0;
    read.remove_prefix(got);
  }
  // Grown since its size was taken: the end must be where it was.
  std::uint32_t more = 0;
  return same && platform.ReadFile(file, buffer, 1, &more) && more == 0;
}
