#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "text/lead_bytes.h"

// What the stages of one run share. Lives from the start of the run to its
// end; nothing of it survives the run.
struct RunState {
  explicit RunState(Platform& p) : platform(p), leadBytes(LeadBytesFrom(p.AnsiCodePage())) {}
  ~RunState() { ReleaseRunLock(); }
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  void ReleaseRunLock() {
    if (RunLock != kNoFile) platform.UnlockRun(RunLock);
    RunLock = kNoFile;
  }

  Platform& platform;
  const LeadBytes leadBytes;
  // The file's bytes as read. The lines and the tail are views into them, so
  // a large file is held once, not once more line by line.
  std::unique_ptr<char[]> ServerInfoBytes;
  std::vector<std::string_view> ServerInfoLines;
  // The file's bytes from its first NUL on: not part of any line, but written
  // back unchanged so nothing of the user's file is lost.
  std::string_view ServerInfoTail;
  // The bytes of rewritten lines, which then view these instead. A deque
  // never moves what it already holds.
  std::deque<std::string> RewrittenBytes;
  std::int32_t FixCount = 0;
  // Held from before the file is read until the run's work on disk is done,
  // so that a second run in the same folder never works on the same file.
  FileHandle RunLock = kNoFile;
};

// A notice ends the run. The run's lock goes first, so a second run waiting
// for it need not wait until the user has read this.
void FinalNotice(RunState& state, const std::string& text, char iconLetter);
