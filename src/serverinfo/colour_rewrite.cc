#include "serverinfo/colour_rewrite.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// clang-format off
// "サーバ情報ファイル内に 'clBlack' が見つかりませんでした。\r\n何もせずに終了します。"
const char kNoBlackText[] =
    "\x83\x54\x81\x5b\x83\x6f\x8f\xee\x95\xf1\x83\x74\x83\x40\x83\x43\x83\x8b\x93\xe0\x82\xc9"
    " 'clBlack' \x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xc5"
    "\x82\xb5\x82\xbd\x81\x42\r\n\x89\xbd\x82\xe0\x82\xb9\x82\xb8\x82\xc9\x8f\x49\x97\xb9"
    "\x82\xb5\x82\xdc\x82\xb7\x81\x42";
// clang-format on

}  // namespace

std::size_t FindColourToken(Platform& platform, const LeadBytes& leadBytes, std::string_view s) {
  std::size_t from = 0;
  std::size_t clearOfNul = 0;  // no NUL before this: each byte is looked at once
  while (true) {
    std::size_t match = s.find(kBlackToken, from);
    if (match == std::string_view::npos) return 0;
    // Nothing past a NUL byte counts.
    if (match > clearOfNul) {
      if (s.substr(clearOfNul, match - clearOfNul).find('\0') != std::string_view::npos) return 0;
      clearOfNul = match;
    }
    if (IsTrailPosition(leadBytes, s, match)) {
      from = match + 1;
      continue;
    }
    if (platform.SameText(s.substr(match, kBlackToken.size()), kBlackToken)) return match + 1;
    from = match + (leadBytes.Contains(static_cast<unsigned char>(s[match])) ? 2 : 1);
  }
}

std::size_t CountTabs(std::string_view s) { return std::count(s.begin(), s.end(), '\t'); }

bool CheckBlackPresent(RunState& state) {
  bool found = std::any_of(state.ServerInfoLines.begin(), state.ServerInfoLines.end(),
                           [&](std::string_view line) {
                             return FindColourToken(state.platform, state.leadBytes, line) != 0;
                           });
  if (!found) FinalNotice(state, kNoBlackText, 'i');
  return found;
}

bool ReplaceBlackColours(RunState& state) {
  struct Hit {
    std::size_t line;
    std::size_t start;  // of the token, 0-based
  };
  std::vector<Hit> hits;
  std::size_t size = 0;
  const std::size_t count = state.ServerInfoLines.size();
  for (std::size_t i = 0; i < count; ++i) {
    std::string_view line = state.ServerInfoLines[i];
    std::size_t position = FindColourToken(state.platform, state.leadBytes, line);
    if (position <= 1) continue;  // none, or at the very start of the line
    std::size_t start = position - 1;
    if (CountTabs(line.substr(0, start)) == 7 &&
        CountTabs(line.substr(start + kBlackToken.size())) == 2) {
      hits.push_back({i, start});
      size += line.size() - kBlackToken.size() + kWindowTextToken.size();
    }
  }
  // All rewritten lines in one block, sized first so it never moves.
  std::string& block = state.RewrittenBytes.emplace_back();
  block.reserve(size);
  for (const Hit& hit : hits) {
    std::string_view line = state.ServerInfoLines[hit.line];
    const std::size_t from = block.size();
    block.append(line.substr(0, hit.start));
    block.append(kWindowTextToken);
    block.append(line.substr(hit.start + kBlackToken.size()));
    state.ServerInfoLines[hit.line] = std::string_view(block).substr(from);
    ++state.FixCount;
  }
  return true;
}
