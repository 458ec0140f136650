// The colour rule on lines as they come (NUL and CR included): the token
// found and each rewritten line must match the rule's model.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model.h"
#include "platform/posix_platform.h"
#include "serverinfo/colour_rewrite.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static PosixPlatform platform("/", nullptr, nullptr);  // cp932, plain comparison
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  RunState state(platform);
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    state.ServerInfoLines.emplace_back(input.substr(start, end - start));
    start = end + 1;
  }
  const auto before = state.ServerInfoLines;

  int expectedCount = 0;
  std::vector<std::string> expected;
  for (std::string_view line : before) {
    bool rewritten = false;
    std::size_t found = 0;
    expected.push_back(model::RewriteLine(line, &rewritten, &found));
    expectedCount += rewritten;
    model::Check(FindColourToken(platform, state.leadBytes, line) == found, "token position");
  }
  model::Check(ReplaceBlackColours(state), "the rewrite answered no");
  model::Check(state.FixCount == expectedCount, "count of rewritten lines");
  model::Check(std::vector<std::string>(state.ServerInfoLines.begin(),
                                        state.ServerInfoLines.end()) == expected,
               "rewritten lines");
  return 0;
}
