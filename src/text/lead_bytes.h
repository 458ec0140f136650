#pragma once

#include <cstddef>
#include <string_view>

// The board file and every path the tool handles are code page 932, whatever
// the system's own code page: a double-byte character begins with a byte of
// 0x81-0x9F or 0xE0-0xFC. Half-width katakana (0xA1-0xDF) stand alone.
constexpr bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// True when s[index] is the second byte of a double-byte character: decided
// by the length of the run of lead bytes standing right before it (odd run).
// Costs only the length of that run, never a scan from the start of s.
bool IsTrailPosition(std::string_view s, std::size_t index);
