#pragma once

#include <cstdint>
#include <source_location>
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

[[noreturn]] void Raise(const char* kind, std::string message,
                        std::source_location where = std::source_location::current());

inline constexpr char kEFOpenError[] = "EFOpenError";
inline constexpr char kEFCreateError[] = "EFCreateError";
inline constexpr char kEWriteError[] = "EWriteError";
inline constexpr char kEOutOfMemory[] = "EOutOfMemory";
