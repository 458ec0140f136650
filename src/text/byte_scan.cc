#include "text/byte_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Each search runs over whole blocks of bytes while nothing is found in
// them, then byte by byte over the last bytes; without SSE2 the byte-by-byte
// loop does it all. What a block finds is looked at out of the loop, so the
// loop keeps its values in registers.

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

std::uint32_t Word(const char* p) {
  std::uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// The bytes at p are the needle's; a needle of 4 to 8 bytes is compared as
// two words that overlap, without a call.
bool Same(const char* p, std::string_view needle) {
  const std::size_t m = needle.size();
  if (m < 4 || m > 8) return std::memcmp(p, needle.data(), m) == 0;
  return Word(p) == Word(needle.data()) && Word(p + m - 4) == Word(needle.data() + m - 4);
}

#if defined(__SSE2__)
__m128i Load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
__m128i Equal(__m128i block, __m128i bytes) { return _mm_cmpeq_epi8(block, bytes); }
unsigned Bits(__m128i block) { return static_cast<unsigned>(_mm_movemask_epi8(block)); }

// Lanes `first` to 15 all ones, the lanes before them zero.
__m128i From(std::size_t first) {
  alignas(16) static constexpr unsigned char kEdge[32] = {
      0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
      0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  return Load(reinterpret_cast<const char*>(kEdge) + 16 - first);
}

// Counts kept per lane: a match compares as all ones, -1, and is
// subtracted. A lane holds at most 255, so at most 255 blocks are counted
// before the lanes are summed.
constexpr int kBlocksPerSum = 255;

std::size_t Sum(__m128i lanes) {
  const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
  return static_cast<std::size_t>(_mm_extract_epi16(sums, 0) + _mm_extract_epi16(sums, 4));
}

// The first candidate of `bits` (positions after `block`) that is the needle.
[[gnu::noinline]] const char* Confirm(const char* block, std::uint32_t bits,
                                      std::string_view needle) {
  for (; bits != 0; bits &= bits - 1) {
    const char* at = block + __builtin_ctz(bits);
    if (Same(at, needle)) return at;
  }
  return nullptr;
}
#endif

}  // namespace

std::size_t FindBytes(std::string_view s, std::size_t from, std::string_view needle) {
  const std::size_t n = s.size();
  const std::size_t m = needle.size();
  if (m > n || from > n - m) return kNone;
  const char* const p = s.data();
  const char* q = p + from;
#if defined(__SSE2__)
  // A candidate has the needle's first byte and, where it must be, its last;
  // 32 places are looked at per step.
  if (n - from >= m - 1 + 32) {
    const char* const lastStep = p + n - (m - 1) - 32;
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    const std::size_t back = m - 1;
    for (; q <= lastStep; q += 32) {
      const __m128i low = _mm_and_si128(Equal(Load(q), first), Equal(Load(q + back), last));
      const __m128i high =
          _mm_and_si128(Equal(Load(q + 16), first), Equal(Load(q + 16 + back), last));
      if (Bits(_mm_or_si128(low, high)) == 0) continue;
      if (const char* at = Confirm(q, Bits(low) | Bits(high) << 16, needle)) {
        return static_cast<std::size_t>(at - p);
      }
    }
  }
#endif
  for (const char* lastStart = p + n - m; q <= lastStart; ++q) {
    if (*q == needle.front() && Same(q, needle)) return static_cast<std::size_t>(q - p);
  }
  return kNone;
}

LinePart LineBefore(std::string_view s, std::size_t from, std::size_t to) {
  const char* const p = s.data();
  std::size_t j = std::min(to, s.size());
  std::size_t tabs = 0;
#if defined(__SSE2__)
  // Blocks ending at j, back to the line's start or to `from`.
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), tab = _mm_set1_epi8('\t');
  __m128i lanes = _mm_setzero_si128();
  for (int blocks = 0; j > from && j >= 16; j -= 16) {
    if (++blocks == kBlocksPerSum) {
      tabs += Sum(lanes);
      lanes = _mm_setzero_si128();
      blocks = 0;
    }
    const __m128i block = Load(p + j - 16);
    const __m128i tabs16 = Equal(block, tab);
    unsigned ends = Bits(_mm_or_si128(Equal(block, cr), Equal(block, lf)));
    const std::size_t below = j - 16 < from ? from - (j - 16) : 0;  // lanes before `from`
    ends &= 0xFFFFu << below;
    if (ends == 0 && below == 0) {
      lanes = _mm_sub_epi8(lanes, tabs16);
      continue;
    }
    // The last block: count only the lanes after its last line end.
    const std::size_t first = ends != 0 ? 32u - static_cast<unsigned>(__builtin_clz(ends)) : below;
    lanes = _mm_sub_epi8(lanes, _mm_and_si128(tabs16, From(first)));
    return {j - 16 + first, tabs + Sum(lanes)};
  }
  tabs += Sum(lanes);
#endif
  for (; j > from; --j) {
    if (IsLineEnd(p[j - 1])) return {j, tabs};
    tabs += p[j - 1] == '\t';
  }
  return {from, tabs};
}

LinePart LineAfter(std::string_view s, std::size_t from) {
  const std::size_t n = s.size();
  const char* const p = s.data();
  std::size_t i = std::min(from, n);
  std::size_t tabs = 0;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), tab = _mm_set1_epi8('\t');
  __m128i lanes = _mm_setzero_si128();
  for (int blocks = 0; i + 16 <= n; i += 16) {
    if (++blocks == kBlocksPerSum) {
      tabs += Sum(lanes);
      lanes = _mm_setzero_si128();
      blocks = 0;
    }
    const __m128i block = Load(p + i);
    const __m128i tabs16 = Equal(block, tab);
    if (const unsigned ends = Bits(_mm_or_si128(Equal(block, cr), Equal(block, lf)))) {
      const std::size_t end = static_cast<std::size_t>(__builtin_ctz(ends));
      lanes = _mm_sub_epi8(lanes, _mm_andnot_si128(From(end), tabs16));
      return {i + end, tabs + Sum(lanes)};
    }
    lanes = _mm_sub_epi8(lanes, tabs16);
  }
  tabs += Sum(lanes);
#endif
  for (; i < n; ++i) {
    if (IsLineEnd(p[i])) return {i, tabs};
    tabs += p[i] == '\t';
  }
  return {n, tabs};
}

std::size_t CountByte(std::string_view s, char byte) {
  const std::size_t n = s.size();
  const char* p = s.data();
  std::size_t count = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i bytes = _mm_set1_epi8(byte);
  while (i + 16 <= n) {
    const std::size_t blocks = std::min<std::size_t>((n - i) / 16, kBlocksPerSum);
    __m128i lanes = _mm_setzero_si128();
    for (std::size_t k = 0; k < blocks; ++k, i += 16) {
      lanes = _mm_sub_epi8(lanes, Equal(Load(p + i), bytes));
    }
    count += Sum(lanes);
  }
#endif
  for (; i < n; ++i) count += p[i] == byte;
  return count;
}

std::size_t FindNulOrLoneLineEnd(std::string_view s, std::size_t from) {
  const std::size_t n = s.size();
  const char* const p = s.data();
  std::size_t i = std::min(from, n);
  // An LF at `from` pairs with the byte before it.
  if (i < n && p[i] == '\n' && !(i > 0 && p[i - 1] == '\r')) return i;
  const char* q = p + i;
#if defined(__SSE2__)
  // Bytes i and i + 1 taken together: a CR at i without an LF after it, or
  // an LF at i + 1 without a CR before it, is a lone line end. 32 pairs are
  // looked at per step.
  if (n - i >= 33) {
    const char* const lastStep = p + n - 33;
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
    for (; q <= lastStep; q += 32) {
      const __m128i here = Load(q), there = Load(q + 16);
      const __m128i low =
          _mm_or_si128(_mm_xor_si128(Equal(here, cr), Equal(Load(q + 1), lf)), Equal(here, nul));
      const __m128i high =
          _mm_or_si128(_mm_xor_si128(Equal(there, cr), Equal(Load(q + 17), lf)), Equal(there, nul));
      if (Bits(_mm_or_si128(low, high)) == 0) continue;
      const char* at = q + __builtin_ctz(Bits(low) | Bits(high) << 16);
      return static_cast<std::size_t>(at - p) + (*at == '\0' || *at == '\r' ? 0 : 1);
    }
  }
#endif
  for (i = static_cast<std::size_t>(q - p); i < n; ++i) {
    const char c = p[i];
    if (c == '\0' || (c == '\r' && !(i + 1 < n && p[i + 1] == '\n'))) return i;
    if (i + 1 < n && p[i + 1] == '\n' && c != '\r') return i + 1;
  }
  return n;
}
