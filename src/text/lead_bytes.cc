#include "text/lead_bytes.h"

LeadBytes LeadBytesFrom(const CodePageInfo& codePage) {
  LeadBytes result;
  if (!codePage.dbcsEnabled) return result;
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
