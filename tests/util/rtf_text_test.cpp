// The text of notes stored as rich text.
#include "util/rtf_text.h"

#include <gtest/gtest.h>

namespace zafirel {
namespace {

TEST(RtfText, KeepsTheTextDropsTablesAndBreaksParagraphs) {
  const std::string rtf =
      "{\\rtf1\\ansi\\deff0\\deftab720{\\fonttbl{\\f0\\fswiss MS Sans Serif;}}\r\n"
      "{\\colortbl\\red0\\green0\\blue0;}\r\n"
      "{\\*\\generator Riched20;}\\deflang3082\\pard\\plain\\f0\\fs16 Primera l\\'ednea\\par\r\n"
      "\\b Segunda\\b0  \\{llaves\\} y \\\\barra\\tab fin\\par\r\n}";
  EXPECT_TRUE(IsRtf(rtf));
  EXPECT_EQ(RtfToText(rtf), "Primera l\xEDnea\r\nSegunda {llaves} y \\barra\tfin");
  EXPECT_FALSE(IsRtf("Notas normales"));
}

TEST(RtfText, UnicodeEscapesAndDamagedInput) {
  EXPECT_EQ(RtfToText("{\\rtf1\\uc1 a\\u233?b\\u8364?c}"),
            "a\xE9"
            "b?c");
  EXPECT_EQ(RtfToText("{\\rtf1 sin cerrar \\'z"), "sin cerrar z");
  EXPECT_EQ(RtfToText("}}}{\\rtf1 x}}}"), "x");
  EXPECT_EQ(RtfToText(std::string(5000, '{') + "hondo"), "hondo");
  EXPECT_EQ(RtfToText("\\"), "");
}

}  // namespace
}  // namespace zafirel
