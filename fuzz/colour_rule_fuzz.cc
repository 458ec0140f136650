// The colour rule against its model: the token found on lines as they come
// (NUL and CR included), and over the input read as a file the presence
// check, the count and every byte of the rewritten lines.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "model.h"
#include "platform/platform_wrapper.h"
#include "platform/posix_platform.h"
#include "serverinfo/colour_rewrite.h"

namespace {

// cp932 and a plain comparison; boxes are closed unseen.
class QuietPlatform : public PlatformWrapper {
 public:
  explicit QuietPlatform(Platform& real) : PlatformWrapper(real) {}
  int ShowBox(const std::string&, const std::string&, std::uint32_t) override { return 1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static PosixPlatform real("/", nullptr, nullptr);
  static QuietPlatform platform(real);
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  RunState state(platform);
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view line = input.substr(start, end - start);
    bool rewritten = false;
    std::size_t found = 0;
    model::RewriteLine(line, &rewritten, &found);
    model::Check(FindColourToken(line) == found, "token position");
    start = end + 1;
  }

  PageBlock block(platform, size);
  std::memcpy(block.data(), input.data(), size);
  state.ServerInfoLines = LineList(std::move(block), size);
  bool anyToken = false;
  for (const std::string& line : model::Lines(input)) {
    bool rewritten = false;
    std::size_t found = 0;
    model::RewriteLine(line, &rewritten, &found);
    anyToken = anyToken || found != 0;
  }
  model::Check(CheckBlackPresent(state) == anyToken, "presence of clBlack");
  model::Check(ReplaceBlackColours(state), "the rewrite answered no");
  int expectedCount = 0, lines = 0;
  const std::string expected = model::RewriteFile(input, true, &expectedCount, &lines);
  model::Check(state.FixCount == expectedCount, "count of rewritten lines");
  std::string buffer(4096, '\0');
  std::string written;
  WrittenBytes out(state.ServerInfoLines);
  for (auto piece = out.Next(buffer); !piece.empty(); piece = out.Next(buffer)) written += piece;
  model::Check(written == expected, "rewritten lines");
  return 0;
}
