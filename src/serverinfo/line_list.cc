#include "serverinfo/line_list.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "serverinfo/colour_rewrite.h"
#include "text/byte_scan.h"

PageBlock::PageBlock(Platform& platform, std::size_t size)
    : platform_(&platform), data_(platform.AllocatePages(size)), size_(size) {
  if (data_ == nullptr) throw std::bad_alloc();
}

PageBlock::PageBlock(PageBlock&& other) noexcept
    : platform_(std::exchange(other.platform_, nullptr)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

PageBlock& PageBlock::operator=(PageBlock&& other) noexcept {
  if (this != &other) {
    PageBlock old(std::move(*this));
    platform_ = std::exchange(other.platform_, nullptr);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

PageBlock::~PageBlock() {
  if (data_ != nullptr) platform_->FreePages(data_, size_);
}

LineList::LineList(PageBlock bytes, std::size_t size) : bytes_(std::move(bytes)) {
  const std::string_view all(bytes_.data(), size);
  const std::size_t nul = std::min(all.find('\0'), size);
  text_ = all.substr(0, nul);
  tail_ = all.substr(nul);
}

void LineList::MarkRewritten(std::size_t at) { bytes_.data()[at] = '\0'; }

std::string_view WrittenBytes::Next(std::span<char> buffer) {
  const std::string_view text = lines_.text();
  const std::size_t n = text.size();
  std::size_t used = 0;
  auto put = [&](std::string_view bytes) {
    std::memcpy(buffer.data() + used, bytes.data(), bytes.size());
    used += bytes.size();
  };
  while (at_ < n) {
    if (change_ == std::string_view::npos || change_ < at_)
      change_ = FindNulOrLoneLineEnd(text, at_);
    // Bytes that go out as they are: a long stretch straight from the text.
    const std::size_t same = change_ - at_;
    if (used == 0 && same >= buffer.size()) {
      at_ = change_;
      return text.substr(change_ - same, same);
    }
    const std::size_t fits = std::min(same, buffer.size() - used);
    put(text.substr(at_, fits));
    at_ += fits;
    if (at_ < change_ || at_ == n) break;
    // A mark, or a lone CR or LF, which ends its line with CR LF.
    const bool mark = text[at_] == '\0';
    const std::string_view instead = mark ? kWindowTextToken : std::string_view("\r\n");
    if (buffer.size() - used < instead.size()) break;
    put(instead);
    at_ += mark ? kBlackToken.size() : 1;
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
