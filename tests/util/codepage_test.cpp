#include "util/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace zafirel {
namespace {

TEST(CodepageOem, SpanishLettersMapBothWays) {
  EXPECT_EQ(AnsiToOem("\xF1"), "\xA4");  // n tilde
  EXPECT_EQ(OemToAnsi("\xA4"), "\xF1");
  EXPECT_EQ(AnsiToOem("Cat\xE1logos \xD1U\xF1O \xBF?"), "Cat\xA0logos \xA5U\xA4O \xA8?");
  EXPECT_EQ(OemToAnsi("Cat\xA0logos \xA5U\xA4O \xA8?"), "Cat\xE1logos \xD1U\xF1O \xBF?");
}

TEST(CodepageOem, AsciiIsUnchangedAndLengthKept) {
  std::string ascii;
  for (int c = 0; c < 0x80; ++c) ascii += static_cast<char>(c);
  EXPECT_EQ(AnsiToOem(ascii), ascii);
  EXPECT_EQ(OemToAnsi(ascii), ascii);
}

TEST(CodepageOem, CharactersTheOtherSideLacksBecomeQuestionMarks) {
  // The euro sign and the ellipsis have no place in code page 850.
  EXPECT_EQ(AnsiToOem("\x80\x85"), "??");
  // Box drawing has no place in Windows-1252.
  EXPECT_EQ(OemToAnsi("\xC4\xB3"), "??");
}

TEST(CodepageOem, EveryAnsiCharacterCP850HasSurvivesTheRoundTrip) {
  int kept = 0;
  for (int c = 0; c < 256; ++c) {
    const std::string ansi(1, static_cast<char>(c));
    const std::string oem = AnsiToOem(ansi);
    if (oem == "?" && c != '?') continue;
    EXPECT_EQ(OemToAnsi(oem), ansi) << "ANSI 0x" << std::hex << c;
    ++kept;
  }
  // All of 0x00-0x7F and 0xA0-0xFF, and the florin sign of the 0x80 row.
  EXPECT_EQ(kept, 128 + 96 + 1);
}

TEST(CodepageUtf8, AnsiTextRoundTrips) {
  const std::string ansi = "Cat\xE1logos";
  const std::string utf8 = AnsiToUtf8(ansi);
  EXPECT_EQ(utf8, "Cat\xC3\xA1logos");
  EXPECT_EQ(Utf8ToAnsi(utf8), ansi);

  for (int c = 1; c < 256; ++c) {
    const std::string one(1, static_cast<char>(c));
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(one)), one) << "ANSI 0x" << std::hex << c;
  }
}

TEST(CodepageUtf8, EuroSignUsesItsWindows1252Code) {
  EXPECT_EQ(AnsiToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC"), "\x80");
}

TEST(CodepageUtf8, MalformedBytesAndForeignCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToAnsi("a\x80z"), "a?z");   // stray continuation byte
  EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");     // cut at the end
  EXPECT_EQ(Utf8ToAnsi("\xC3(x"), "?(x");   // lead byte without continuation
  EXPECT_EQ(Utf8ToAnsi("\xFF\xFE"), "??");  // never valid in UTF-8
  EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD"
                       "b"),
            "?b");                                 // a CJK ideograph
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80"), "?");  // an emoji, four bytes
  EXPECT_EQ(Utf8ToAnsi("\xE2\x82"), "??");         // a three-byte sequence cut short
}

// Overlong forms are malformed UTF-8 and must not decode: "\xC0\xAF" passing
// for "/" would let a host file name smuggle a folder separator.
TEST(CodepageUtf8, OverlongFormsBecomeQuestionMarks) {
  for (const std::string overlong : {"\xC0\xAF", "\xE0\x80\xAF", "\xF0\x82\x82\xAC"})
    EXPECT_EQ(Utf8ToAnsi(overlong).find_first_not_of('?'), std::string::npos);
}

}  // namespace
}  // namespace zafirel
