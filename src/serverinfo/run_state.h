#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "serverinfo/line_list.h"
#include "text/lead_bytes.h"

// What the stages of one run share. Lives from the start of the run to its
// end; nothing of it survives the run.
struct RunState {
  explicit RunState(Platform& p) : platform(p), leadBytes(LeadBytesFrom(p.AnsiCodePage())) {}

  Platform& platform;
  const LeadBytes leadBytes;
  // Holds the file's bytes as read; the bytes from the first NUL on are in
  // no line but are written back unchanged, so nothing of the file is lost.
  LineList ServerInfoLines;
  std::int32_t FixCount = 0;
};
