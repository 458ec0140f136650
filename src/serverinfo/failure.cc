#include "serverinfo/failure.h"

#include <string_view>

std::uint32_t SiteCode(std::string_view place) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char byte : place) {
    hash ^= byte;
    hash *= 16777619u;
  }
  return hash;
}

void Raise(const char* kind, std::string message, const char* fileName, int line) {
  std::string_view file = fileName;
  // Only the base name: the build folder must not change the code.
  if (auto slash = file.find_last_of("/\\"); slash != std::string_view::npos) {
    file.remove_prefix(slash + 1);
  }
  std::string place(file);
  place += ':';
  place += std::to_string(line);
  throw Failure{kind, std::move(message), SiteCode(place)};
}
