#include "model.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace model {

bool IsLead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::string RewriteLine(std::string_view line, bool* rewritten, std::size_t* found) {
  static constexpr std::string_view kBlack = "clBlack";
  *rewritten = false;
  *found = 0;
  // The search ends at a NUL; the tab counts do not.
  std::size_t searchable = 0;
  while (searchable < line.size() && line[searchable] != '\0') ++searchable;

  // One pass forward: a byte is a trail byte when the run of lead bytes
  // right before it is odd.
  std::size_t leadRun = 0;
  int tabsBefore = 0;
  std::size_t at = std::string_view::npos;
  for (std::size_t i = 0; i < searchable; ++i) {
    const bool trail = leadRun % 2 == 1;
    if (!trail && i + kBlack.size() <= searchable && line.compare(i, kBlack.size(), kBlack) == 0) {
      at = i;
      break;
    }
    if (line[i] == '\t') ++tabsBefore;
    leadRun = IsLead(static_cast<unsigned char>(line[i])) ? leadRun + 1 : 0;
  }
  std::string out(line);
  if (at == std::string_view::npos) return out;
  *found = at + 1;
  int tabsAfter = 0;
  for (std::size_t i = at + kBlack.size(); i < line.size(); ++i) tabsAfter += line[i] == '\t';
  if (at == 0 || tabsBefore != 7 || tabsAfter != 2) return out;
  *rewritten = true;
  return std::string(line.substr(0, at)) + "clWindowText" +
         std::string(line.substr(at + kBlack.size()));
}

std::vector<std::string> Lines(std::string_view bytes) {
  std::size_t nul = bytes.find('\0');
  if (nul == std::string_view::npos) nul = bytes.size();
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // a line has begun that no terminator has ended yet
  for (std::size_t i = 0; i < nul; ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < nul && bytes[i + 1] == '\n') ++i;
      lines.push_back(line);
      line.clear();
      open = false;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

std::string RewriteFile(std::string_view bytes, bool applyRule, int* rewritten, int* lines) {
  *rewritten = 0;
  *lines = 0;
  std::string out;
  for (const std::string& line : Lines(bytes)) {
    bool changed = false;
    std::size_t found = 0;
    out += applyRule ? RewriteLine(line, &changed, &found) : line;
    out += "\r\n";
    *rewritten += changed;
    ++*lines;
  }
  const std::size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) out += bytes.substr(nul);
  return out;
}

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "model mismatch: %s\n", what);
  std::abort();
}

}  // namespace model
