#include "serverinfo/line_list.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "text/byte_scan.h"

LineList::LineList(PageBlock bytes, std::size_t size) : bytes_(std::move(bytes)) {
  const std::string_view all(bytes_.data(), size);
  // One search finds the first NUL or the first lone line end; from a lone
  // line end on, the NUL is looked for alone.
  firstLoneEnd_ = FindNulOrLoneLineEnd(all, 0);
  const bool lone = firstLoneEnd_ < size && all[firstLoneEnd_] != '\0';
  const std::size_t end = lone ? std::min(all.find('\0', firstLoneEnd_), size) : firstLoneEnd_;
  text_ = all.substr(0, end);
  tail_ = all.substr(end);
}

void LineList::MarkRewritten(std::size_t at, std::string_view token,
                             std::string_view replacement) {
  token_ = token;
  replacement_ = replacement;
  std::size_t distance = at - markedTo_;
  for (; distance >= kSkip; distance -= kSkip) marks_.push_back(kSkip);
  marks_.push_back(static_cast<std::uint32_t>(distance));
  markedTo_ = at + token.size();
}

WrittenBytes::WrittenBytes(const LineList& lines)
    : lines_(lines), lone_(lines.firstLoneEnd_), nextMark_(lines.marks_.begin()) {
  NextMark();
}

void WrittenBytes::NextMark() {
  std::size_t position = at_;
  for (; nextMark_ != lines_.marks_.end(); ++nextMark_) {
    position += *nextMark_;
    if (*nextMark_ != LineList::kSkip) {
      ++nextMark_;
      mark_ = position;
      return;
    }
  }
  mark_ = lines_.text().size();
}

std::string_view WrittenBytes::Next(std::span<char> buffer) {
  const std::string_view text = lines_.text();
  const std::size_t n = text.size();
  std::size_t used = 0;
  auto put = [&](std::string_view bytes) {
    std::memcpy(buffer.data() + used, bytes.data(), bytes.size());
    used += bytes.size();
  };
  while (at_ < n) {
    if (lone_ < at_) lone_ = FindNulOrLoneLineEnd(text, at_);
    const std::size_t change = std::min(mark_, lone_);
    // Bytes that go out as they are: a long stretch straight from the text.
    const std::size_t same = change - at_;
    if (used == 0 && same >= buffer.size()) {
      at_ = change;
      return text.substr(change - same, same);
    }
    const std::size_t fits = std::min(same, buffer.size() - used);
    put(text.substr(at_, fits));
    at_ += fits;
    if (at_ < change || at_ == n) break;
    // A marked token, or a lone CR or LF, which ends its line with CR LF.
    const bool mark = at_ == mark_;
    const std::string_view instead = mark ? lines_.replacement_ : std::string_view("\r\n");
    if (buffer.size() - used < instead.size()) break;
    put(instead);
    if (mark) {
      at_ += lines_.token_.size();
      NextMark();
    } else {
      at_ += 1;
    }
  }
  if (at_ < n) return {buffer.data(), used};
  // A last line without an end gains one.
  if (!lastEndGiven_) {
    const bool needed = n > 0 && text[n - 1] != '\r' && text[n - 1] != '\n';
    if (needed && buffer.size() - used < 2) return {buffer.data(), used};
    if (needed) put("\r\n");
    lastEndGiven_ = true;
  }
  if (used != 0 || tailGiven_) return {buffer.data(), used};
  tailGiven_ = true;
  return lines_.tail();
}
