#pragma once

#include <cstddef>
#include <string_view>

#include "serverinfo/run_state.h"

// The tool's own rule: a board line has ten tab-separated fields and its
// eighth holds the colour of the board's name. Black ("clBlack") becomes
// "clWindowText" so the name follows the system's text colour.

inline constexpr std::string_view kBlackToken = "clBlack";
inline constexpr std::string_view kWindowTextToken = "clWindowText";

// Stage 2: stop early when no line holds "clBlack" at all.
bool CheckBlackPresent(RunState& state);

// Stage 3: rewrite each line whose first "clBlack" has exactly seven tabs
// before it and two after it; count them in FixCount. Always yes.
bool ReplaceBlackColours(RunState& state);

// The rule line by line, for the tests and the fuzzer: the stages go from
// token to token over the whole text instead.
// 1-based position of the first usable "clBlack" in s (not starting on the
// second byte of a double-byte character), or 0.
std::size_t FindColourToken(std::string_view s);
// The tabs in s.
std::size_t CountTabs(std::string_view s);
