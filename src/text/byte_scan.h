#pragma once

#include <cstddef>
#include <string_view>

// Searches over a file's bytes that look at 16 bytes at a time where the
// processor allows, so a stage goes through a large file at memory speed
// however its lines are cut. Each answers an index into s.

// First `needle` (two bytes or more) at or after `from`; npos when none.
std::size_t FindBytes(std::string_view s, std::size_t from, std::string_view needle);

// First CR or LF at or after `from`; s.size() when none.
std::size_t FindLineEnd(std::string_view s, std::size_t from);

// Just past the last CR or LF in [from, to); `from` when there is none.
std::size_t LineStartBefore(std::string_view s, std::size_t from, std::size_t to);

std::size_t CountByte(std::string_view s, char byte);

// First byte at or after `from` that is a NUL, a CR not followed by LF or an
// LF not preceded by CR (within s); s.size() when none.
std::size_t FindNulOrLoneLineEnd(std::string_view s, std::size_t from);
