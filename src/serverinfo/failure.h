#pragma once

#include <cstdint>
#include <string>

// A failure the run does not expect: it carries the kind name and message
// shown in the last-resort report, and a stable code for where it arose.
struct Failure {
  std::string kind;
  std::string message;
  std::uint32_t site = 0;
};

// Stable 32-bit code for a place in the source (file name and line), so the
// report names the same place in every build of the same source.
std::uint32_t SiteCode(std::string_view place);

// The place is taken where Raise is called. (Not std::source_location: clang
// 14 cannot build it over libstdc++, and the fuzz build uses clang.)
[[noreturn]] void Raise(const char* kind, std::string message, const char* file = __builtin_FILE(),
                        int line = __builtin_LINE());

inline constexpr char kEFOpenError[] = "EFOpenError";
inline constexpr char kEFCreateError[] = "EFCreateError";
inline constexpr char kEWriteError[] = "EWriteError";
inline constexpr char kEOutOfMemory[] = "EOutOfMemory";
