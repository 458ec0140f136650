#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "platform/platform.h"

// The bytes that begin a double-byte character in the ANSI code page.
// Empty when the code page reports no lead-byte ranges.
struct LeadBytes {
  std::array<bool, 256> isLead{};

  bool Contains(unsigned char byte) const { return isLead[byte]; }
};

LeadBytes LeadBytesFrom(const CodePageInfo& codePage);

// True when s[index] is the second byte of a double-byte character: decided
// by the length of the run of lead bytes standing right before it (odd run).
// Costs only the length of that run, never a scan from the start of s.
bool IsTrailPosition(const LeadBytes& leadBytes, std::string_view s, std::size_t index);
