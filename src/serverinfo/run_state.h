#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "text/lead_bytes.h"

// What the stages of one run share. Lives from the start of the run to its
// end; nothing of it survives the run.
struct RunState {
  explicit RunState(Platform& p) : platform(p), leadBytes(LeadBytesFrom(p.AnsiCodePage())) {}

  Platform& platform;
  const LeadBytes leadBytes;
  std::vector<std::string> ServerInfoLines;
  // The file's bytes from its first NUL on: not part of any line, but written
  // back unchanged so nothing of the user's file is lost.
  std::string ServerInfoTail;
  std::int32_t FixCount = 0;
};
