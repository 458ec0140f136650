#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

// A file of the tool's own, made to take another file's place: created
// anew under one of the tool's names (a stale entry there is removed first,
// never written through), written, made durable, and put in place only while
// the user's file still holds exactly what this run read. Unless it took
// the place, it is removed again when it goes.
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
