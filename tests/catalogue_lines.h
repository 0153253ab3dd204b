// One disc's catalogue files with every kind of line a catalogue run writes,
// for tests that hold what is shown or exported from the files against what
// the loaded lines give: plain files, archives with a description, with an
// empty one and with their members as a folder, an empty folder above a
// full one, a folder whose name begins another's, lower case and high
// bytes, "&" and "<", a size that is no number, a name holding ";", and
// the three line ends and a last line without one.
#pragma once

#include <string>

namespace zafirel::testing {

inline const char* const kEveryKindTree =
    "D:\\\r\nD:\\A\\\r\nD:\\AB\\\r\nD:\\AB\\PACK.ZIP\\\r\nD:\\VACIA\\\r\nD:\\VACIA\\HONDA\\\r\n"
    "D:\\M\xFAsica\\\r\n";

// The file list, with extraFiles more files in D:\A (to cross the pieces a
// file is read or written in).
inline std::string EveryKindList(int extraFiles = 0) {
  std::string list =
      "D:\\LEEME.TXT;3;25/12/2003\r\n"
      "D:\\leeme;0;01/01/2000\r\n"
      "D:\\A;B.TXT;7;01/01/2001\r\n"
      "D:\\ROTO.ZIP;17;03/02/2001;\r\n"
      "D:\\A\\HERRAM.ZIP;1536;03/02/2001;Utilidades <nuevas> & m\xE1s\r\n"
      "D:\\A\\Espa\xF1"
      "a \x80\xFF.TXT;1234567;31/12/1999;Comentario del usuario\r\n"
      "D:\\a\\minus.txt;5;01/01/2000\r\n";
  for (int i = 0; i < extraFiles; ++i)
    list += "D:\\A\\F" + std::to_string(i) + ".DAT;" + std::to_string(i) + ";01/01/2000" +
            (i % 5 == 0 ? ";Nota " + std::to_string(i) : "") + "\r\n";
  list +=
      "D:\\AB\\PACK.ZIP;12;02/02/2002;Paquete\r\n"
      "D:\\AB\\RARO;abc;x\r\n"
      "D:\\AB\\PACK.ZIP\\README.TXT;2;02/02/2002\r\n"
      "D:\\AB\\PACK.ZIP\\SETUP.EXE;300;02/02/2002\r\n"
      "D:\\VACIA\\HONDA\\UNO.TXT;1;01/01/2000\r\n"
      "D:\\M\xFAsica\\CANCI\xD3N.MP3;4000;05/05/2005\n"
      "D:\\M\xFAsica\\OTRA.MP3;1;05/05/2005\r"
      "D:\\M\xFAsica\\ULTIMA.MP3;2;05/05/2005";
  return list;
}

}  // namespace zafirel::testing
