#include "store/line_list.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zafirel {

void LineList::clear() {
  text_.clear();
  slots_.clear();
}

void LineList::push_back(std::string_view line) {
  if (text_.size() + line.size() > UINT32_MAX) throw std::length_error("catalogue too large");
  slots_.push_back(
      {static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(line.size())});
  text_.append(line);
}

void LineList::Replace(std::size_t i, std::string_view line) {
  const std::string copy(line);  // line may point into text_, which may move
  if (text_.size() + copy.size() > UINT32_MAX) throw std::length_error("catalogue too large");
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
  if (text.size() > UINT32_MAX) throw std::length_error("catalogue too large");
  LineList lines;
  lines.slots_.reserve(std::count(text.begin(), text.end(), '\n') + 1);
  const char* begin = text.data();
  const char* end = begin + text.size();
  const char* start = begin;
  while (start < end) {
    const char* stop = start;
    while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
    lines.slots_.push_back(
        {static_cast<std::uint32_t>(start - begin), static_cast<std::uint32_t>(stop - start)});
    if (stop < end && *stop == '\r' && stop + 1 < end && stop[1] == '\n') ++stop;
    start = stop + 1;
  }
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
