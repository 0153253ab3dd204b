// Tables written by the engine, read back by independent dBase readers:
// Debian's python3-dbfread and the Perl XBase module's dbf_dump.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "store/tablas.h"
#include "test_support.h"
#include "util/codepage.h"

namespace zafirel {
namespace {

using zafirel::testing::RunCommand;
using zafirel::testing::TempFolder;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) hex += digits[c >> 4], hex += digits[c & 15];
  return hex;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Prints the field list, then one line per live record: each value as the hex
// of its CP850 bytes (numbers as Python prints them, None as "-").
const char kDbfreadScript[] = R"(
import sys, dbfread
t = dbfread.DBF(sys.argv[1], encoding='cp850')
print(' '.join('%s:%s:%d:%d' % (f.name, f.type, f.length, f.decimal_count) for f in t.fields))
for r in t:
    print('|'.join('-' if v is None else v.encode('cp850').hex() if isinstance(v, str) else str(v)
                   for v in r.values()))
)";

class DbfReadersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TTablas::CreateDiscTable(folder_.Path()));
    tablas_.SetFolder(folder_.Path());
    tablas_.TablaCDRom.Open();
  }
  void AddDisc(const std::string& title, const std::string& number, const std::string& notes) {
    dbf::Table& t = tablas_.TablaCDRom;
    t.Append();
    t.SetString("TITULOCD", title);
    t.SetString("AUTO", number);
    t.SetString("NSERIECD", "0A1B2C3D");
    t.SetString("NOTAS", notes);
    t.Post();
  }
  std::string Python() {
    std::string script = (folder_ / "read.py").string();
    zafirel::testing::WriteBytes(script, kDbfreadScript);
    return RunCommand("/usr/bin/python3 '" + script + "' '" + (folder_ / "CDROM.DBF").string() +
                      "' 2>&1");
  }

  TempFolder folder_;
  TTablas tablas_;
};

TEST_F(DbfReadersTest, DbfreadSeesFieldsTextMemosAndNoDeletedRecords) {
  const std::string memo505 = std::string(504, 'm') + "\xE9";  // é, two blocks
  AddDisc(
      "Espa\xF1"
      "a",
      "1", "notas \xF1");
  AddDisc("Borrado", "2", "se borra");
  AddDisc("Grande", "3", memo505);
  AddDisc("Sin notas", "4", "");
  tablas_.TablaCDRom.GoTo(2);
  tablas_.TablaCDRom.Delete();

  std::vector<std::string> lines = Lines(Python());
  ASSERT_EQ(lines.size(), 4u) << Python();
  EXPECT_EQ(lines[0],
            "TITULOCD:C:75:0 BYTESCD:C:15:0 AUTO:N:11:0 TOTDIR:C:6:0 TOTFILES:C:7:0 "
            "SOCD:C:50:0 ETIQUETA:C:11:0 NSERIECD:C:11:0 DEDONDE:C:50:0 NUMEROCD:C:10:0 "
            "NOTAS:M:10:0 GRAFICO:N:20:4 UNIDAD:C:1:0 ALBUM:C:50:0");
  auto fields = [&](int row) {
    std::vector<std::string> values(1);
    for (char c : lines[row]) {
      if (c == '|')
        values.emplace_back();
      else
        values.back().push_back(c);
    }
    return values;
  };
  std::vector<std::string> first = fields(1);
  ASSERT_EQ(first.size(), 14u);
  EXPECT_EQ(first[0], Hex(AnsiToOem("Espa\xF1"
                                    "a")));
  EXPECT_EQ(first[2], "1");
  EXPECT_EQ(first[7], Hex("0A1B2C3D"));
  EXPECT_EQ(first[11], "-");
  // dbfread returns the 8 bytes after a memo with it (zeros here).
  EXPECT_EQ(first[10], Hex(AnsiToOem("notas \xF1") + std::string(8, '\0')));
  std::vector<std::string> big = fields(2);
  EXPECT_EQ(big[2], "3");
  EXPECT_EQ(big[10], Hex(AnsiToOem(memo505) + std::string(8, '\0')));
  EXPECT_EQ(fields(3)[10], "-");
}

TEST_F(DbfReadersTest, PerlXBaseDumpsTheSameRecords) {
  AddDisc(
      "Espa\xF1"
      "a",
      "1", "primera");
  AddDisc("Borrado", "2", "borrada");
  AddDisc("Tercero", "3", std::string(2000, 'z'));
  tablas_.TablaCDRom.GoTo(2);
  tablas_.TablaCDRom.Delete();

  std::string dbf = (folder_ / "CDROM.DBF").string();
  std::string info = RunCommand("dbf_dump --info '" + dbf + "' 2>&1");
  EXPECT_NE(info.find("Num of records:\t3"), std::string::npos) << info;

  std::vector<std::string> rows =
      Lines(RunCommand("dbf_dump --fs '|' --fields TITULOCD,AUTO,NOTAS '" + dbf + "' 2>&1"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], AnsiToOem("Espa\xF1"
                               "a") +
                         "|1|primera");
  EXPECT_EQ(rows[1], "Tercero|3|" + std::string(2000, 'z'));
}

}  // namespace
}  // namespace zafirel
