#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"

// The tool's own files and their whole life: their names beside the user's
// file, their making (only ever as new files), writing, putting in place
// and removal, and the look at the user's file that every replace waits on.

// Backup copy beside the file: the file's path followed by this.
inline constexpr char kBackupSuffix[] = "_QlBack";

// Temporary file beside the file it is to replace: that file's path
// followed by this.
inline constexpr char kTemporarySuffix[] = "_QlTemp";

// Name of the temporary file that takes the place of `path`.
std::string TemporaryPathFor(const std::string& path);

// Whether `path` is, or leads to, one of the tool's own names: its own
// backup or temporary files, or a file named as one (a link's target).
// Such a file would be taken for a leftover, or replaced as the backup.
bool LeadsToOwnName(Platform& platform, const std::string& path);

// Whether a path names one of the tool's own files, wherever it lies.
bool IsOwnName(const std::string& path);

// Largest single read or write handed to the platform (its calls take 32 bits).
inline constexpr std::size_t kChunk = std::size_t{1} << 30;

// Makes a file at one of the tool's own names with `create` (a new file
// only): an entry already there, left by a run that died or planted, is
// removed first, never written through. Passing locks are waited out.
bool CreateAnew(Platform& platform, const std::string& path, const std::function<bool()>& create);

// Removes the entry at one of the tool's own names, if there is one: a stale
// one before the name is used again (a link is removed, never followed), or
// this run's own after a failure.
void RemoveOwn(Platform& platform, const std::string& path);

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

// A file of the tool's own, made to take another file's place: created
// anew under one of the tool's names, written, made durable, and put in
// place only while the user's file still holds exactly what this run read.
// Unless it took the place, it is removed again when it goes.
class OwnFile {
 public:
  // Created like `likePath` (what `takes` names); see created().
  OwnFile(Platform& platform, std::string path, const std::string& likePath, Takes takes);
  ~OwnFile();
  OwnFile(const OwnFile&) = delete;
  OwnFile& operator=(const OwnFile&) = delete;

  bool created() const { return file_ != kNoFile; }
  const std::string& path() const { return path_; }

  // Every byte, or EWriteError.
  void Write(std::string_view data);
  // On the disk before it may take a place, or EWriteError.
  void Flush();

  enum class Put {
    kDone,     // it is at `target` now
    kRefused,  // the replace failed; nothing was replaced
    kChanged,  // `watched` no longer holds what the run read; nothing was replaced
  };
  // Puts the file in the place of `target` while the file at `watched`
  // still holds `read`. It is looked at again before every try, as a lock
  // that passes is waited out.
  Put PutInPlaceOf(const std::string& target, const std::string& watched, std::string_view read);

 private:
  Platform& platform_;
  const std::string path_;
  FileHandle file_ = kNoFile;
  bool placed_ = false;
};

// Whether the file at `path` holds exactly `read`, byte for byte. False
// also when it cannot be read now: what cannot be looked at is not assumed
// to be unchanged.
bool StillAsRead(Platform& platform, const std::string& path, std::string_view read);
