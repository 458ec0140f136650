#include "platform/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as it can; returns the number of input bytes consumed.
  std::size_t Run(std::string_view in, std::string* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    char buffer[4096];
    while (left > 0) {
      char* dst = buffer;
      std::size_t room = sizeof buffer;
      std::size_t result = iconv(cd_, &src, &left, &dst, &room);
      out->append(buffer, static_cast<std::size_t>(dst - buffer));
      if (result == static_cast<std::size_t>(-1) && errno != E2BIG) break;
    }
    return in.size() - left;
  }

 private:
  iconv_t cd_;
};

bool ConvertStrict(const char* to, const char* from, std::string_view in, std::string* out) {
  Converter converter(to, from);
  if (!converter.ok()) return false;
  std::string result;
  if (converter.Run(in, &result) != in.size()) return false;
  *out = std::move(result);
  return true;
}

// Converts and converts back: a name that does not come back as it was
// would name another file (U+00A5 goes to byte 0x5C, a backslash, and comes
// back as one).
bool ConvertExact(const char* to, const char* from, std::string_view in, std::string* out) {
  std::string result, back;
  if (!ConvertStrict(to, from, in, &result) || !ConvertStrict(from, to, result, &back) ||
      back != in) {
    return false;
  }
  *out = std::move(result);
  return true;
}

}  // namespace

bool Cp932ToUtf8(std::string_view in, std::string* out) {
  return ConvertExact("UTF-8", "CP932", in, out);
}

bool Utf8ToCp932(std::string_view in, std::string* out) {
  return ConvertExact("CP932", "UTF-8", in, out);
}

std::string InertForTerminal(std::string_view utf8) {
  std::string out;
  auto escape = [&](unsigned char byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    out += escaped;
  };
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    if (c == '\r' && next == '\n') {
      out += '\n';
      ++i;
    } else if (c == '\n' || c == '\t') {
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      escape(c);
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080-U+009F
      escape(next);
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Cp932ToUtf8ForDisplay(std::string_view in) {
  Converter converter("UTF-8", "CP932");
  if (!converter.ok()) return std::string(in);
  std::string out;
  while (!in.empty()) {
    in.remove_prefix(converter.Run(in, &out));
    if (in.empty()) break;
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(in.front()));
    out += escaped;
    in.remove_prefix(1);
  }
  return out;
}
