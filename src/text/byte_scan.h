#pragma once

#include <cstddef>
#include <string_view>

// Searches over a file's bytes that look at 16 bytes at a time where the
// processor allows, so a stage goes through a large file at memory speed
// however its lines are cut. Each answers an index into s.

// First `needle` (two bytes or more) at or after `from`; npos when none.
std::size_t FindBytes(std::string_view s, std::size_t from, std::string_view needle);

// One side of a place in a line: where the line begins or ends there, and
// the tabs between that edge and the place.
struct LinePart {
  std::size_t edge;
  std::size_t tabs;
};

// Before `to`: the edge is just past the last CR or LF in [from, to), or
// `from` when there is none.
LinePart LineBefore(std::string_view s, std::size_t from, std::size_t to);

// From `from` on: the edge is the first CR or LF at or after it, or s.size().
LinePart LineAfter(std::string_view s, std::size_t from);

// How often `byte` stands in s: for the line-by-line rule of the tests.
std::size_t CountByte(std::string_view s, char byte);

// First byte at or after `from` that is a NUL, a CR not followed by LF or an
// LF not preceded by CR (within s); s.size() when none.
std::size_t FindNulOrLoneLineEnd(std::string_view s, std::size_t from);
