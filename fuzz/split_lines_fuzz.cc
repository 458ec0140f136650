// Line split and join: the bytes come back with every line end as CR LF and
// the bytes from the first NUL on untouched.

#include <cstddef>
#include <cstdint>
#include <string>

#include "model.h"
#include "serverinfo/server_info_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const FileText text = SplitLines(bytes);
  for (std::string_view line : text.lines) {
    model::Check(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos,
                 "a line holds a line end or a NUL");
  }
  model::Check(text.tail.empty() || text.tail[0] == '\0', "the tail does not start at a NUL");
  int rewritten = 0, lines = 0;
  const std::string expected = model::RewriteFile(bytes, false, &rewritten, &lines);
  model::Check(static_cast<int>(text.lines.size()) == lines, "line count");
  std::string joined;
  for (std::string_view line : text.lines) (joined += line) += "\r\n";
  joined += text.tail;
  model::Check(joined == expected, "joined bytes");
  return 0;
}
