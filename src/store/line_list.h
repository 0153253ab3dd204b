// The lines of a catalogue file held in memory: one buffer with every line's
// bytes and a slot (offset, length) per line, so a catalogue of a million
// files costs its own size plus eight bytes a line and no allocation a line.
// Replacing a line appends its new text to the buffer; erasing drops slots.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zafirel {

class LineList {
 public:
  // Offsets are 32 bits: the most bytes of lines a list can hold, and so
  // the largest catalogue file that can be loaded.
  static constexpr std::uint64_t kMostBytes = UINT32_MAX;

  std::size_t size() const { return slots_.size(); }
  bool empty() const { return slots_.empty(); }
  std::string_view operator[](std::size_t i) const {
    return std::string_view(text_.data() + slots_[i].offset, slots_[i].length);
  }

  void clear();
  void push_back(std::string_view line);
  void Replace(std::size_t i, std::string_view line);
  // Removes the lines at the given positions (any order, duplicates allowed).
  void Erase(std::vector<std::size_t> positions);

  // Splits text at CR LF, LF or CR; a last line without an end counts, and a
  // final line end adds no empty line.
  static LineList FromText(std::string text);
  // Every line followed by CR LF; no lines give the empty text.
  std::string ToText() const;

 private:
  struct Slot {
    std::uint32_t offset;
    std::uint32_t length;
  };
  std::string text_;
  std::vector<Slot> slots_;
};

}  // namespace zafirel
