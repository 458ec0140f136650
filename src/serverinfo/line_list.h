#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string_view>

#include "serverinfo/page_block.h"

// The file's lines as a run holds them: the bytes read, not a list of lines.
// A line is found again by its end whenever the lines are gone through, so
// the list costs nothing per line however short the lines are, and no line
// is ever copied. A rewritten colour is only noted where it stands; its new
// bytes are made while writing (WrittenBytes).
class LineList {
 public:
  LineList() = default;
  // The lines of the first `size` bytes of `bytes`: the text up to the first
  // NUL. The bytes from that NUL on are the tail.
  LineList(PageBlock bytes, std::size_t size);

  // No line at all: an empty text (a text of a lone line end is one line).
  bool empty() const { return text_.empty(); }
  // Every line with its end as read: CR, LF or CR LF; the last may have none.
  std::string_view text() const { return text_; }
  // In no line, but written back unchanged after the lines.
  std::string_view tail() const { return tail_; }
  // Every byte as read: the text, then the tail.
  std::string_view bytes() const { return {text_.data(), text_.size() + tail_.size()}; }

  // The `token` at `at` in the text goes out as `replacement`. Marked in
  // the order of the text; every mark of a list has the same pair, and the
  // views must outlive the list.
  void MarkRewritten(std::size_t at, std::string_view token, std::string_view replacement);

 private:
  friend class WrittenBytes;
  // Each mark as its distance from the end of the token before (or from the
  // start): 4 bytes a rewritten line, in blocks that never move. A distance
  // of kSkip or more is noted as kSkip entries, each only a step forward.
  static constexpr std::uint32_t kSkip = UINT32_MAX;

  PageBlock bytes_;
  std::string_view text_;
  std::string_view tail_;
  // The first CR or LF that is not half of a CR LF pair, found while looking
  // for the NUL: before it the writing needs to change nothing but marks.
  std::size_t firstLoneEnd_ = 0;
  std::deque<std::uint32_t> marks_;
  std::size_t markedTo_ = 0;  // just past the last marked token
  std::string_view token_;
  std::string_view replacement_;
};

// The bytes a write-back puts in the file, piece by piece: every line
// followed by CR LF, each marked token as its replacement, then the tail.
class WrittenBytes {
 public:
  explicit WrittenBytes(const LineList& lines);

  // The next piece: made in `buffer` (at least 16 bytes) or, for a stretch
  // at least as long as the buffer that goes out unchanged, the lines' own
  // bytes. Empty when everything has been given.
  std::string_view Next(std::span<char> buffer);

 private:
  // Steps to the next mark; the text's size when there is none.
  void NextMark();

  const LineList& lines_;
  std::size_t at_ = 0;    // next byte of the text to give
  std::size_t mark_ = 0;  // next marked token at or after at_
  std::size_t lone_ = 0;  // next lone CR or LF at or after at_
  std::deque<std::uint32_t>::const_iterator nextMark_;
  bool lastEndGiven_ = false;
  bool tailGiven_ = false;
};
