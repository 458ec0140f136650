#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "serverinfo/line_list.h"

// What the stages of one run share. Lives from the start of the run to its
// end; nothing of it survives the run.
struct RunState {
  explicit RunState(Platform& p) : platform(p) {}
  ~RunState() { ReleaseRunLock(); }
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  void ReleaseRunLock() {
    if (RunLock != kNoFile) platform.UnlockRun(RunLock);
    RunLock = kNoFile;
  }

  // The system every stage works through.
  Platform& platform;

  // The file's path, built once by the first stage from the tool's own
  // location: the file written back is the very file read and locked.
  std::string ServerInfoPath;
  // Holds the file's bytes as read; the bytes from the first NUL on are in
  // no line but are written back unchanged, so nothing of the file is lost.
  // It is also the record of what this run read: the backup is made of it,
  // and nothing replaces a file that no longer holds it.
  LineList ServerInfoLines;
  std::int32_t FixCount = 0;
  // Held from before the file is read until the run's work on disk is done,
  // so that a second run in the same folder never works on the same file.
  FileHandle RunLock = kNoFile;
};

// A notice ends the run. The run's lock goes first, so a second run waiting
// for it need not wait until the user has read this.
void FinalNotice(RunState& state, const std::string& text, char iconLetter);
