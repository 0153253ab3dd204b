// Finding a needle in a text with the letters a to z compared without case:
// the way the search and the file lists look for a term or a folder inside
// catalogue lines.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace zafirel {

// Finds an upper-cased needle in a text whose letters a to z may be in
// either case (Boyer-Moore-Horspool over the folded bytes).
class NoCaseFinder {
 public:
  explicit NoCaseFinder(std::string upperNeedle);
  bool empty() const { return needle_.empty(); }
  // Position of the first occurrence at or after from; npos when none. An
  // empty needle never occurs.
  std::size_t Find(std::string_view text, std::size_t from = 0) const;

 private:
  std::string needle_;
  std::array<std::size_t, 256> skip_{};
};

}  // namespace zafirel
