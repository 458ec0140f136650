#include "serverinfo/colour_rewrite.h"

#include "text/byte_scan.h"
#include "text/lead_bytes.h"
#include "ui/texts.h"

namespace {

// Index of the first usable "clBlack" in `text` at or after `from`, npos
// when none: one not starting on a trail byte. The bytes found are the
// token's own, so no further comparison can reject it. Its position is found
// with one search over the bytes, not line by line.
std::size_t NextColourToken(std::string_view text, std::size_t from) {
  while (true) {
    const std::size_t match = FindBytes(text, from, kBlackToken);
    if (match == std::string_view::npos || !IsTrailPosition(text, match)) return match;
    from = match + 1;
  }
}

}  // namespace

std::size_t FindColourToken(std::string_view s) {
  // Nothing past a NUL byte counts.
  const std::size_t match = NextColourToken(s.substr(0, s.find('\0')), 0);
  return match == std::string_view::npos ? 0 : match + 1;
}

std::size_t CountTabs(std::string_view s) { return CountByte(s, '\t'); }

// A text holds a usable token exactly when one of its lines does: no token
// spans a line end, and the lead-byte run before a token stops at one.
bool CheckBlackPresent(RunState& state) {
  const std::string_view text = state.ServerInfoLines.text();
  const bool found = NextColourToken(text, 0) != std::string_view::npos;
  if (!found) FinalNotice(state, NoBlackText(), 'i');
  return found;
}

// The lines are gone through from token to token: a line without "clBlack"
// costs only the search passing over it.
bool ReplaceBlackColours(RunState& state) {
  LineList& lines = state.ServerInfoLines;
  const std::string_view text = lines.text();
  std::size_t from = 0;  // where the line after the last one tried begins, or its end before it
  while (true) {
    const std::size_t token = NextColourToken(text, from);
    if (token == std::string_view::npos) break;
    // Only the first usable token of its line is tried: its tabs are
    // counted on the way to the line's edges.
    const LinePart before = LineBefore(text, from, token);
    const LinePart after = LineAfter(text, token + kBlackToken.size());
    if (token != before.edge && before.tabs == 7 && after.tabs == 2) {
      lines.MarkRewritten(token, kBlackToken, kWindowTextToken);
      ++state.FixCount;
    }
    from = after.edge;
  }
  return true;
}
