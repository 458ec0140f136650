#include "text/lead_bytes.h"

bool IsTrailPosition(std::string_view s, std::size_t index) {
  std::size_t run = 0;
  while (run < index && IsLeadByte(static_cast<unsigned char>(s[index - run - 1]))) ++run;
  return run % 2 == 1;
}
