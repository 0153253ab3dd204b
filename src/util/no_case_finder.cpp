#include "util/no_case_finder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <utility>

#include "util/text.h"

namespace zafirel {

NoCaseFinder::NoCaseFinder(std::string upperNeedle) : needle_(std::move(upperNeedle)) {
  const std::size_t m = needle_.size();
  skip_.fill(m);
  for (std::size_t i = 0; i + 1 < m; ++i) {
    const unsigned char c = static_cast<unsigned char>(needle_[i]);
    skip_[c] = m - 1 - i;
    // The text's lower-case letter folds onto the same skip.
    if (c >= 'A' && c <= 'Z') skip_[c + 32] = m - 1 - i;
  }
}

namespace {

bool IsAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }

// Whether the needle stands at data (its letters a to z in either case).
bool MatchesAt(const char* data, std::string_view needle) {
  for (std::size_t j = 0; j < needle.size(); ++j)
    if (UpperAZChar(data[j]) != needle[j]) return false;
  return true;
}

}  // namespace

std::size_t NoCaseFinder::Find(std::string_view text, std::size_t from) const {
  const std::size_t m = needle_.size();
  if (m == 0 || text.size() < m || from > text.size() - m) return std::string_view::npos;
  const char* data = text.data();
  const std::size_t n = text.size();
  std::size_t i = from;
#if defined(__SSE2__)
  // Sixteen places at a time: the first and the last byte of the needle,
  // letters folded by setting bit 5, must both agree before the rest is
  // compared (the folding maps only a letter's two cases together).
  if (m >= 2) {
    const char first = needle_[0], last = needle_[m - 1];
    const __m128i firstWanted = _mm_set1_epi8(IsAsciiUpper(first) ? first | 0x20 : first);
    const __m128i lastWanted = _mm_set1_epi8(IsAsciiUpper(last) ? last | 0x20 : last);
    const __m128i firstFold = _mm_set1_epi8(IsAsciiUpper(first) ? 0x20 : 0);
    const __m128i lastFold = _mm_set1_epi8(IsAsciiUpper(last) ? 0x20 : 0);
    for (; i + m - 1 + 16 <= n; i += 16) {
      const __m128i a =
          _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), firstFold);
      const __m128i b = _mm_or_si128(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + m - 1)), lastFold);
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
          _mm_and_si128(_mm_cmpeq_epi8(a, firstWanted), _mm_cmpeq_epi8(b, lastWanted))));
      while (mask != 0) {
        const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
        if (MatchesAt(data + at, needle_)) return at;
        mask &= mask - 1;
      }
    }
  }
#endif
  // The rest (or everything without the vector unit): Boyer-Moore-Horspool.
  const char last = needle_[m - 1];
  while (i + m <= n) {
    const char c = data[i + m - 1];
    if (UpperAZChar(c) == last && MatchesAt(data + i, needle_)) return i;
    i += skip_[static_cast<unsigned char>(c)];
  }
  return std::string_view::npos;
}

}  // namespace zafirel
