#include "serverinfo/colour_rewrite.h"

#include "text/byte_scan.h"
#include "text/lead_bytes.h"

namespace {

// clang-format off
// "サーバ情報ファイル内に 'clBlack' が見つかりませんでした。\r\n何もせずに終了します。"
const char kNoBlackText[] =
    "\x83\x54\x81\x5b\x83\x6f\x8f\xee\x95\xf1\x83\x74\x83\x40\x83\x43\x83\x8b\x93\xe0\x82\xc9"
    " 'clBlack' \x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xc5"
    "\x82\xb5\x82\xbd\x81\x42\r\n\x89\xbd\x82\xe0\x82\xb9\x82\xb8\x82\xc9\x8f\x49\x97\xb9"
    "\x82\xb5\x82\xdc\x82\xb7\x81\x42";
// clang-format on

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
  if (!found) FinalNotice(state, kNoBlackText, 'i');
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
      lines.MarkRewritten(token);
      ++state.FixCount;
    }
    from = after.edge;
  }
  return true;
}
