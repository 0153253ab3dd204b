#include "util/text.h"

#include <gtest/gtest.h>

#include <string>

namespace zafirel {
namespace {

TEST(TextPieces, CountCutsAtEachSeparatorAndIgnoresATrailingOne) {
  EXPECT_EQ(CuentaTrozos("", ';'), 0);
  EXPECT_EQ(CuentaTrozos("abc", ';'), 1);
  EXPECT_EQ(CuentaTrozos("D:\\", '\\'), 1);
  EXPECT_EQ(CuentaTrozos("D:\\DOCS\\", '\\'), 2);
  EXPECT_EQ(CuentaTrozos("D:\\DOCS\\LEEME.TXT", '\\'), 3);
  EXPECT_EQ(CuentaTrozos("a;;b", ';'), 3);
  EXPECT_EQ(CuentaTrozos(";", ';'), 1);
  EXPECT_EQ(CuentaTrozos(";;", ';'), 2);
  EXPECT_EQ(CuentaTrozos(";a", ';'), 2);
}

TEST(TextPieces, PieceNumberedFromZeroAndEmptyWhenMissing) {
  const std::string line = "D:\\DOCS\\LEEME.TXT;12;25/12/2003;";
  EXPECT_EQ(Trozo(line, ';', 0), "D:\\DOCS\\LEEME.TXT");
  EXPECT_EQ(Trozo(line, ';', 1), "12");
  EXPECT_EQ(Trozo(line, ';', 2), "25/12/2003");
  EXPECT_EQ(Trozo(line, ';', 3), "");
  EXPECT_EQ(Trozo(line, ';', 4), "");
  EXPECT_EQ(Trozo(line, ';', -1), "");
  EXPECT_EQ(Trozo("a;;b", ';', 1), "");
  EXPECT_EQ(Trozo("a;;b", ';', 2), "b");
  EXPECT_EQ(Trozo("", ';', 0), "");
}

TEST(TextPieces, EveryCountedPieceCanBeFetched) {
  for (const std::string text : {"a;b;c", "a;b;c;", ";x;", "x", "a;;"}) {
    const int count = CuentaTrozos(text, ';');
    std::string joined;
    for (int i = 0; i < count; ++i) joined += std::string(Trozo(text, ';', i)) + ";";
    const std::string expected = text.back() == ';' ? text : text + ";";
    EXPECT_EQ(joined, expected) << text;
  }
}

TEST(TextPieces, PieceIsAViewIntoTheText) {
  const std::string line = "uno;dos";
  const std::string_view piece = Trozo(line, ';', 1);
  EXPECT_EQ(piece.data(), line.data() + 4);
}

TEST(TextUpper, AZOnlyTouchesAsciiLetters) {
  EXPECT_EQ(UpperAZ("abc xyz-09 \xF1\xE9\xFF"), "ABC XYZ-09 \xF1\xE9\xFF");
  std::string text = "leeme.txt";
  UpperAZInPlace(text);
  EXPECT_EQ(text, "LEEME.TXT");
}

TEST(TextUpper, AnsiRuleFollowsWindows1252) {
  EXPECT_EQ(UpperAnsi("cat\xE1logo a\xF1o"), "CAT\xC1LOGO A\xD1O");
  EXPECT_EQ(UpperAnsi("\x9A\x9C\x9E\xFF"), "\x8A\x8C\x8E\x9F");
  // Division sign, sharp s and micro have no capital of their own.
  EXPECT_EQ(UpperAnsi("\xF7\xDF\xB5"), "\xF7\xDF\xB5");
  EXPECT_EQ(UpperAnsi("\xE0\xFE"), "\xC0\xDE");
  std::string text = "\xE7";
  UpperAnsiInPlace(text);
  EXPECT_EQ(text, "\xC7");
}

TEST(TextUpper, AnsiTableIsAnIdentityOutsideTheLetterPairs) {
  int changed = 0;
  for (int c = 0; c < 256; ++c)
    if (UpperAnsiChar(static_cast<char>(c)) != static_cast<char>(c)) ++changed;
  // 26 ASCII letters, 30 from 0xE0-0xFE, and the four pairs of the 0x80 row.
  EXPECT_EQ(changed, 26 + 30 + 4);
}

TEST(TextUpper, EqualsNoCaseAZ) {
  EXPECT_TRUE(EqualsNoCaseAZ("Leeme.Txt", "LEEME.TXT"));
  EXPECT_TRUE(EqualsNoCaseAZ("", ""));
  EXPECT_FALSE(EqualsNoCaseAZ("a\xF1o", "A\xD1O"));
  EXPECT_FALSE(EqualsNoCaseAZ("abc", "abcd"));
}

TEST(TextEdit, CapitalizaRaisesWordStartsOnly) {
  EXPECT_EQ(Capitaliza("el se\xF1or de los anillos"), "El Se\xF1or De Los Anillos");
  EXPECT_EQ(Capitaliza("jean-luc.picard"), "Jean-Luc.Picard");
  EXPECT_EQ(Capitaliza("\xE1rbol mIXto"), "\xC1rbol MIXto");
  EXPECT_EQ(Capitaliza("a  b"), "A  B");
  EXPECT_EQ(Capitaliza(""), "");
}

TEST(TextTrim, BlanksAndControlCharactersGo) {
  EXPECT_EQ(TrimRight("abc  \r\n"), "abc");
  EXPECT_EQ(TrimRight(std::string_view("abc\0\0", 5)), "abc");
  EXPECT_EQ(TrimRight("  a b "), "  a b");
  EXPECT_EQ(TrimBlanks("  a b \t"), "a b");
  EXPECT_EQ(TrimBlanks("    "), "");
  EXPECT_EQ(TrimBlanks(""), "");
  // 0xA0 (no-break space) is text, not a blank.
  EXPECT_EQ(TrimBlanks("\xA0x\xA0"), "\xA0x\xA0");
}

}  // namespace
}  // namespace zafirel
