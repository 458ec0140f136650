#include "text/lead_bytes.h"

// The ranges decide, whatever the system's double-byte flag says: a process
// given code page 932 by its manifest on a Windows of another language may be
// told that the system has no double-byte support, and an empty set would
// take the 0x5C of 表 for a backslash.
LeadBytes LeadBytesFrom(const CodePageInfo& codePage) {
  LeadBytes result;
  for (const auto& [first, last] : codePage.leadByteRanges) {
    for (unsigned byte = first; byte <= last; ++byte) result.isLead[byte] = true;
  }
  return result;
}

bool IsTrailPosition(const LeadBytes& leadBytes, std::string_view s, std::size_t index) {
  std::size_t run = 0;
  while (run < index && leadBytes.Contains(static_cast<unsigned char>(s[index - run - 1]))) {
    ++run;
  }
  return run % 2 == 1;
}
