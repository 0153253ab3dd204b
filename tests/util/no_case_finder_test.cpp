// The case-blind finder the search and the file lists share.
#include "util/no_case_finder.h"

#include <gtest/gtest.h>

#include "util/text.h"

namespace zafirel {
namespace {

// The finder against a plain reference over many texts and offsets, with
// bytes whose bit 5 alone tells them apart ("[" and "{", "@" and "`").
TEST(NoCaseFinderTest, AgreesWithAPlainSearchEverywhere) {
  auto plain = [](std::string_view text, std::string_view needle, std::size_t from) {
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
      std::size_t j = 0;
      while (j < needle.size() && UpperAZChar(text[i + j]) == needle[j]) ++j;
      if (j == needle.size()) return i;
    }
    return std::string_view::npos;
  };
  const std::string alphabet = "aAbB[{@`xX;\\\xE9\xC9 0";
  unsigned seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (int round = 0; round < 3000; ++round) {
    std::string text, needle;
    const std::size_t length = next() % 70, m = 1 + next() % 5;
    for (std::size_t i = 0; i < length; ++i) text += alphabet[next() % alphabet.size()];
    for (std::size_t i = 0; i < m; ++i) needle += UpperAZChar(alphabet[next() % alphabet.size()]);
    const NoCaseFinder finder(needle);
    const std::size_t from = length ? next() % (length + 1) : 0;
    ASSERT_EQ(finder.Find(text, from), plain(text, needle, from))
        << "text '" << text << "' needle '" << needle << "' from " << from;
  }
  EXPECT_EQ(NoCaseFinder("").Find("abc"), std::string_view::npos);
}

}  // namespace
}  // namespace zafirel
