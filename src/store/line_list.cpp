#include "store/line_list.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <stdexcept>

namespace zafirel {

void LineList::clear() {
  text_.clear();
  slots_.clear();
}

void LineList::push_back(std::string_view line) {
  if (text_.size() + line.size() > kMostBytes) throw std::length_error("catalogue too large");
  slots_.push_back(
      {static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(line.size())});
  text_.append(line);
}

void LineList::Replace(std::size_t i, std::string_view line) {
  const std::string copy(line);  // line may point into text_, which may move
  if (text_.size() + copy.size() > kMostBytes) throw std::length_error("catalogue too large");
  slots_[i] = {static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(copy.size())};
  text_.append(copy);
}

void LineList::Erase(std::vector<std::size_t> positions) {
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  std::size_t next = 0, kept = 0;
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (next < positions.size() && positions[next] == i) {
      ++next;
      continue;
    }
    slots_[kept++] = slots_[i];
  }
  slots_.resize(kept);
}

LineList LineList::FromText(std::string text) {
  if (text.size() > kMostBytes) throw std::length_error("catalogue too large");
  LineList lines;
  // Catalogue lines run to some fifty bytes, so this is room enough (a text of
  // shorter lines makes the list grow as usual); room left over is never
  // touched and costs no memory.
  lines.slots_.reserve(text.size() / 32 + 1);
  const char* begin = text.data();
  const char* end = begin + text.size();
  std::size_t start = 0;  // of the line being read
  // Each CR or LF ends a line, except the LF of a CR LF pair.
  auto lineEnd = [&](std::size_t at) {
    if (at < start) return;  // the LF of a pair already taken
    lines.slots_.push_back(
        {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(at - start)});
    start = begin[at] == '\r' && begin + at + 1 < end && begin[at + 1] == '\n' ? at + 2 : at + 1;
  };
  const char* block = begin;
#if defined(__SSE2__)
  // Sixteen bytes at a time: a bit for each CR or LF among them.
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
  for (; end - block >= 16; block += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    auto ends = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf))));
    for (; ends != 0; ends &= ends - 1)
      lineEnd(static_cast<std::size_t>(block - begin) + static_cast<unsigned>(__builtin_ctz(ends)));
  }
#endif
  for (; block < end; ++block)
    if (*block == '\r' || *block == '\n') lineEnd(static_cast<std::size_t>(block - begin));
  if (start < text.size())  // a last line without an end
    lines.slots_.push_back(
        {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(text.size() - start)});
  lines.text_ = std::move(text);
  return lines;
}

std::string LineList::ToText() const {
  std::size_t total = 0;
  for (const Slot& slot : slots_) total += slot.length + 2;
  std::string out;
  out.reserve(total);
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    out.append((*this)[i]);
    out.append("\r\n");
  }
  return out;
}

}  // namespace zafirel
