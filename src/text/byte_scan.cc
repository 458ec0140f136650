#include "text/byte_scan.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Each search runs over whole blocks of 16 bytes while nothing is found in
// them, then byte by byte from the block that holds a find, or over the last
// bytes; without SSE2 the byte-by-byte loop does it all.

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

#if defined(__SSE2__)
__m128i Load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
__m128i Equal(__m128i block, char byte) { return _mm_cmpeq_epi8(block, _mm_set1_epi8(byte)); }
unsigned Bits(__m128i block) { return static_cast<unsigned>(_mm_movemask_epi8(block)); }
unsigned LineEndBits(const char* p) {
  const __m128i block = Load(p);
  return Bits(_mm_or_si128(Equal(block, '\r'), Equal(block, '\n')));
}
#endif

}  // namespace

std::size_t FindBytes(std::string_view s, std::size_t from, std::string_view needle) {
  const std::size_t n = s.size();
  const std::size_t m = needle.size();
  if (m > n || from > n - m) return kNone;
  const char* p = s.data();
  std::size_t i = from;
#if defined(__SSE2__)
  // A candidate has the needle's first byte and, where it must be, its last.
  const __m128i first = _mm_set1_epi8(needle.front());
  const __m128i last = _mm_set1_epi8(needle.back());
  for (; i + m - 1 + 16 <= n; i += 16) {
    unsigned bits = Bits(_mm_and_si128(_mm_cmpeq_epi8(Load(p + i), first),
                                       _mm_cmpeq_epi8(Load(p + i + m - 1), last)));
    for (; bits != 0; bits &= bits - 1) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(bits));
      if (std::memcmp(p + at + 1, needle.data() + 1, m - 2) == 0) return at;
    }
  }
#endif
  for (; i + m <= n; ++i) {
    if (p[i] == needle.front() && std::memcmp(p + i, needle.data(), m) == 0) return i;
  }
  return kNone;
}

std::size_t FindLineEnd(std::string_view s, std::size_t from) {
  const std::size_t n = s.size();
  const char* p = s.data();
  std::size_t i = std::min(from, n);
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    if (unsigned bits = LineEndBits(p + i))
      return i + static_cast<std::size_t>(__builtin_ctz(bits));
  }
#endif
  for (; i < n; ++i) {
    if (IsLineEnd(p[i])) return i;
  }
  return n;
}

std::size_t LineStartBefore(std::string_view s, std::size_t from, std::size_t to) {
  const char* p = s.data();
  std::size_t j = std::min(to, s.size());
#if defined(__SSE2__)
  for (; j >= from + 16; j -= 16) {
    if (unsigned bits = LineEndBits(p + j - 16)) {
      return j - 16 + static_cast<std::size_t>(32 - __builtin_clz(bits));
    }
  }
#endif
  for (; j > from; --j) {
    if (IsLineEnd(p[j - 1])) return j;
  }
  return from;
}

std::size_t CountByte(std::string_view s, char byte) {
  const std::size_t n = s.size();
  const char* p = s.data();
  std::size_t count = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  // Each lane counts its matches down from 0 (a match is -1) for at most 255
  // blocks, then the lanes are summed.
  while (i + 16 <= n) {
    const std::size_t blocks = std::min<std::size_t>((n - i) / 16, 255);
    __m128i lanes = _mm_setzero_si128();
    for (std::size_t k = 0; k < blocks; ++k, i += 16) {
      lanes = _mm_sub_epi8(lanes, Equal(Load(p + i), byte));
    }
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_extract_epi16(sums, 0) + _mm_extract_epi16(sums, 4));
  }
#endif
  for (; i < n; ++i) count += p[i] == byte;
  return count;
}

std::size_t FindNulOrLoneLineEnd(std::string_view s, std::size_t from) {
  const std::size_t n = s.size();
  const char* p = s.data();
  auto found = [&](std::size_t j) {
    const char c = p[j];
    return c == '\0' || (c == '\r' && !(j + 1 < n && p[j + 1] == '\n')) ||
           (c == '\n' && !(j > 0 && p[j - 1] == '\r'));
  };
  std::size_t i = std::min(from, n);
#if defined(__SSE2__)
  // A block looks one byte before and after itself.
  if (i == 0 && n > 0) {
    if (found(0)) return 0;
    i = 1;
  }
  for (; i + 17 <= n; i += 16) {
    const __m128i block = Load(p + i);
    const __m128i loneCr = _mm_andnot_si128(Equal(Load(p + i + 1), '\n'), Equal(block, '\r'));
    const __m128i loneLf = _mm_andnot_si128(Equal(Load(p + i - 1), '\r'), Equal(block, '\n'));
    const unsigned bits = Bits(_mm_or_si128(Equal(block, '\0'), _mm_or_si128(loneCr, loneLf)));
    if (bits != 0) return i + static_cast<std::size_t>(__builtin_ctz(bits));
  }
#endif
  for (; i < n; ++i) {
    if (found(i)) return i;
  }
  return n;
}
