// Line list and the bytes written back: every line end comes back as CR LF
// and the bytes from the first NUL on untouched, whatever the size of the
// buffer they go out through.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "model.h"
#include "platform/posix_platform.h"
#include "serverinfo/line_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static PosixPlatform platform("/", nullptr, nullptr);
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  PageBlock block(platform, size);
  std::memcpy(block.data(), bytes.data(), size);
  const LineList lines(std::move(block), size);
  model::Check(lines.tail().empty() || lines.tail()[0] == '\0', "the tail does not start at a NUL");
  int rewritten = 0, count = 0;
  const std::string expected = model::RewriteFile(bytes, false, &rewritten, &count);
  model::Check(lines.empty() == (count == 0), "lines from a text without any, or none from one");
  // A buffer of 16 to 79 bytes, so its edges fall everywhere.
  std::string buffer(16 + (size == 0 ? 0 : data[0] % 64), '\0');
  std::string written;
  WrittenBytes out(lines);
  for (auto piece = out.Next(buffer); !piece.empty(); piece = out.Next(buffer)) written += piece;
  model::Check(written == expected, "written bytes");
  return 0;
}
