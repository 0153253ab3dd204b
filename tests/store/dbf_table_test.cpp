#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "store/dbf/dbf_error.h"
#include "store/dbf/field.h"
#include "store/dbf/table.h"
#include "store/tablas.h"
#include "test_support.h"

namespace zafirel::dbf {
namespace {

using zafirel::testing::ReadBytes;
using zafirel::testing::TempFolder;

class DbfTableTest : public ::testing::Test {
 protected:
  // A table "Libros.Dbf" with a character, a numeric and a memo field.
  void CreateBooks() {
    Table creator(true);
    creator.SetFolder(folder_.Path());
    creator.SetTableName("Libros.Dbf");
    creator.CreateTable(ParseFieldList({"TITULO;C;20;0", "NUM;N;6;0", "TEXTO;M;10;0"}));
  }
  std::unique_ptr<Table> OpenBooks(bool oem = true) {
    auto table = std::make_unique<Table>(oem);
    table->SetFolder(folder_.Path());
    table->SetTableName("libros.dbf");
    table->Open();
    return table;
  }
  void AddBook(Table& table, const std::string& title, const std::string& num) {
    table.Append();
    table.SetString("TITULO", title);
    table.SetString("NUM", num);
    table.Post();
  }
  std::vector<std::string> Titles(Table& table) {
    std::vector<std::string> titles;
    for (table.First(); !table.Eof(); table.Next()) titles.push_back(table.AsString("titulo"));
    return titles;
  }

  TempFolder folder_;
};

TEST_F(DbfTableTest, FreshDiscTableHasTheExactHeaderBytes) {
  ASSERT_TRUE(TTablas::CreateDiscTable(folder_.Path()));
  std::string dbf = ReadBytes(folder_ / "CDROM.DBF");
  ASSERT_EQ(dbf.size(), 482u);
  EXPECT_EQ(static_cast<unsigned char>(dbf[0]), 0x8B);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(dbf[1], local.tm_year % 100);
  EXPECT_EQ(dbf[2], local.tm_mon + 1);
  EXPECT_EQ(dbf[3], local.tm_mday);
  EXPECT_EQ(dbf.substr(4, 4), std::string(4, '\0'));
  EXPECT_EQ(dbf.substr(8, 4), std::string("\xE1\x01\x48\x01", 4));  // 481, 328
  EXPECT_EQ(dbf.substr(12, 20), std::string(20, '\0'));
  // Field 1: TITULOCD C 75; field 12: GRAFICO N 20.4.
  EXPECT_EQ(dbf.substr(32, 32),
            std::string("TITULOCD\0\0\0C\0\0\0\0\x4B\0", 18) + std::string(14, '\0'));
  EXPECT_EQ(dbf.substr(32 + 11 * 32, 18), std::string("GRAFICO\0\0\0\0N\0\0\0\0\x14\x04", 18));
  EXPECT_EQ(dbf.substr(480), "\x0D\x1A");

  EXPECT_EQ(ReadBytes(folder_ / "CDROM.DBT"),
            std::string("\x01\0\0\0\0\0\0\0CDROM\0\0\0\0\0\x02\x01\x00\x02\0\0", 24));
}

TEST_F(DbfTableTest, FreshCoverTableHasItsLengths) {
  ASSERT_TRUE(TTablas::CreateCoverTable(folder_.Path()));
  std::string dbf = ReadBytes(folder_ / "IMG.DBF");
  ASSERT_EQ(dbf.size(), 130u);
  EXPECT_EQ(dbf.substr(8, 4), std::string("\x81\0\x5B\0", 4));  // 129, 91
  EXPECT_EQ(ReadBytes(folder_ / "IMG.DBT").substr(8, 8), std::string("IMG\0\0\0\0\0", 8));
}

TEST_F(DbfTableTest, CreateIsRefusedOpenOverAnExistingTableOrWithABadList) {
  CreateBooks();
  Table table(true);
  table.SetFolder(folder_.Path());
  table.SetTableName("LIBROS.DBF");
  try {
    table.CreateTable(ParseFieldList({"A;C;1;0"}));
    FAIL() << "created over an existing table";
  } catch (const DbfError&) {
  }
  table.Open();
  try {
    table.CreateTable(ParseFieldList({"A;C;1;0"}));
    FAIL() << "created while open";
  } catch (const DbfError& error) {
    EXPECT_EQ(error.Problem(), "No se puede realizar esta operaci\xF3n en una tabla abierta");
    EXPECT_NE(std::string(error.what()).find("LIBROS.DBF"), std::string::npos);
  }
  Table other(true);
  other.SetFolder(folder_.Path());
  other.SetTableName("otra.dbf");
  EXPECT_THROW(other.CreateTable({}), DbfError);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "OTRA.DBF"));
}

TEST_F(DbfTableTest, NamesMatchWithoutRegardToCase) {
  CreateBooks();
  EXPECT_TRUE(std::filesystem::exists(folder_ / "LIBROS.DBF"));
  EXPECT_TRUE(std::filesystem::exists(folder_ / "LIBROS.DBT"));
  std::filesystem::rename(folder_ / "LIBROS.DBF", folder_ / "Libros.Dbf");
  std::filesystem::rename(folder_ / "LIBROS.DBT", folder_ / "libros.dbt");
  auto table = OpenBooks();
  EXPECT_EQ(table->Path().filename(), "Libros.Dbf");
  EXPECT_EQ(table->MemoPath().filename(), "libros.dbt");
  EXPECT_EQ(table->FieldIndex("texto"), 2);
  EXPECT_EQ(table->FieldIndex("nada"), -1);
}

TEST_F(DbfTableTest, CharacterFieldsAreStoredInOemAndReadBackInAnsi) {
  CreateBooks();
  auto table = OpenBooks();
  AddBook(*table,
          "Espa\xF1"
          "a  ",
          "7");
  std::string dbf = ReadBytes(folder_ / "LIBROS.DBF");
  const std::size_t record = 32 + 3 * 32 + 1;
  EXPECT_EQ(dbf.substr(record, 1 + 20 + 6),
            " Espa\xA4"
            "a" +
                std::string(14, ' ') + "     7");
  EXPECT_EQ(table->AsString("TITULO"),
            "Espa\xF1"
            "a");
  EXPECT_EQ(table->AsString("NUM"), "7");

  auto raw = OpenBooks(false);
  EXPECT_EQ(raw->AsString("TITULO"),
            "Espa\xA4"
            "a");
}

TEST_F(DbfTableTest, AppendKeepsCountDateAndEndMarkOnDisk) {
  CreateBooks();
  auto table = OpenBooks();
  AddBook(*table, "uno", "1");
  AddBook(*table, "dos", "2");
  std::string dbf = ReadBytes(folder_ / "LIBROS.DBF");
  const std::size_t header = 32 + 3 * 32 + 1, record = 1 + 20 + 6 + 10;
  ASSERT_EQ(dbf.size(), header + 2 * record + 1);
  EXPECT_EQ(dbf.substr(4, 4), std::string("\x02\0\0\0", 4));
  EXPECT_EQ(dbf.back(), '\x1A');
  EXPECT_EQ(table->RecNo(), 2u);
  EXPECT_EQ(table->RecordCount(), 2u);
}

TEST_F(DbfTableTest, NumericFieldsAreRightAlignedWithTheirDecimals) {
  FieldDef money{"PRECIO", 'N', 10, 2};
  EXPECT_EQ(EncodeNumeric("5", money), "      5.00");
  EXPECT_EQ(EncodeNumeric(" -3.14159 ", money), "     -3.14");
  EXPECT_EQ(EncodeNumeric("9.996", money), "     10.00");
  EXPECT_EQ(EncodeNumeric(".5", money), "      0.50");
  EXPECT_EQ(EncodeNumeric("", money), std::string(10, ' '));
  EXPECT_EQ(EncodeNumeric("12345678.1", money), std::nullopt);
  EXPECT_EQ(EncodeNumeric("12a", money), std::nullopt);
  EXPECT_EQ(EncodeNumeric("-", money), std::nullopt);
  FieldDef whole{"AUTO", 'N', 11, 0};
  EXPECT_EQ(EncodeNumeric("0042", whole), "         42");
  EXPECT_EQ(EncodeNumeric("-0", whole), "          0");

  CreateBooks();
  auto table = OpenBooks();
  table->Append();
  EXPECT_THROW(table->SetString("NUM", "mucho"), DbfError);
  EXPECT_THROW(table->SetString("NUM", "1234567"), DbfError);
}

TEST_F(DbfTableTest, FieldListsAreCheckedAndUpperCased) {
  auto fields = ParseFieldList({"titulo;c;20;0", "Fecha;D;3;0", "SI;L;9;0"});
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].name, "TITULO");
  EXPECT_EQ(fields[0].type, 'C');
  EXPECT_EQ(fields[1].width, 8);
  EXPECT_EQ(fields[2].width, 1);
  const std::vector<std::vector<std::string>> bad = {{},
                                                     {"A;C;1;0", "a;C;2;0"},
                                                     {"NOMBREMUYLARGO;C;5;0"},
                                                     {"A;X;5;0"},
                                                     {"A;C;0;0"},
                                                     {"A;C;5"},
                                                     {"A;M;4;0"},
                                                     {"1A;C;5;0"}};
  for (const auto& list : bad) {
    try {
      ParseFieldList(list);
      ADD_FAILURE() << "accepted " << (list.empty() ? "an empty list" : list.back());
    } catch (const DbfError& error) {
      EXPECT_EQ(error.Problem(), "La lista de campos es inv\xE1lida");
    }
  }
}

TEST_F(DbfTableTest, MemosOfAnySizeRoundTripAndFillWholeBlocks) {
  CreateBooks();
  auto table = OpenBooks();
  const std::vector<std::size_t> sizes = {0, 504, 505, 2000};
  for (std::size_t size : sizes) {
    table->Append();
    table->SetString("TITULO", std::to_string(size));
    std::string text(size, 'x');
    if (size > 0) text.front() = '\xF1', text.back() = 'Z';
    table->SetString("TEXTO", text);
    EXPECT_EQ(table->AsString("TEXTO"), text);  // before the post, too
    table->Post();
  }
  table->Close();

  auto reader = OpenBooks();
  std::size_t i = 0;
  for (reader->First(); !reader->Eof(); reader->Next(), ++i) {
    std::string expected(sizes[i], 'x');
    if (sizes[i] > 0) {
      expected.front() = '\xF1';
      expected.back() = 'Z';
    }
    EXPECT_EQ(reader->AsString("TEXTO"), expected) << "memo of " << sizes[i] << " bytes";
  }
  // Blocks: 504 -> 1, 505 -> 2-3, 2000 -> 4-7; the empty memo takes none.
  std::string dbt = ReadBytes(folder_ / "LIBROS.DBT");
  EXPECT_EQ(dbt.size(), 8u * 512);
  EXPECT_EQ(dbt.substr(0, 4), std::string("\x08\0\0\0", 4));
  EXPECT_EQ(dbt.substr(512, 8), std::string("\xFF\xFF\x08\x00\x00\x02\0\0", 8));
  EXPECT_EQ(dbt[512 + 8], '\xA4');  // memo text is OEM on disk too
  EXPECT_EQ(dbt.substr(1024, 8), std::string("\xFF\xFF\x08\x00\x01\x02\0\0", 8));
  EXPECT_EQ(dbt.substr(2048, 8), std::string("\xFF\xFF\x08\x00\xD8\x07\0\0", 8));
  std::string dbf = ReadBytes(folder_ / "LIBROS.DBF");
  const std::size_t header = 129, record = 37, memoAt = 1 + 20 + 6;
  EXPECT_EQ(dbf.substr(header + memoAt, 10), std::string(10, ' '));
  EXPECT_EQ(dbf.substr(header + record + memoAt, 10), "         1");
  EXPECT_EQ(dbf.substr(header + 3 * record + memoAt, 10), "         4");
}

TEST_F(DbfTableTest, RewrittenMemoReusesItsBlocksOnlyWhenItFits) {
  CreateBooks();
  auto table = OpenBooks();
  table->Append();
  table->SetString("TEXTO", std::string(600, 'a'));  // blocks 1-2
  table->Post();
  table->Append();
  table->SetString("TEXTO", "otro");  // block 3
  table->Post();

  table->First();
  table->Edit();
  table->SetString("TEXTO", std::string(1000, 'b'));  // still two blocks
  table->Post();
  EXPECT_EQ(ReadBytes(folder_ / "LIBROS.DBT").size(), 4u * 512);
  table->Edit();
  table->SetString("TEXTO", std::string(1100, 'c'));  // three blocks: to the end
  table->Post();
  EXPECT_EQ(ReadBytes(folder_ / "LIBROS.DBT").size(), 7u * 512);
  EXPECT_EQ(table->AsString("TEXTO"), std::string(1100, 'c'));
  table->Next();
  EXPECT_EQ(table->AsString("TEXTO"), "otro");
  table->Edit();
  table->SetString("TEXTO", "");
  table->Post();
  EXPECT_EQ(table->AsString("TEXTO"), "");
}

TEST_F(DbfTableTest, CoverMemosKeepBinaryBytesUnchanged) {
  ASSERT_TRUE(TTablas::CreateCoverTable(folder_.Path()));
  TTablas tablas;
  tablas.SetFolder(folder_.Path());
  std::string picture;
  for (int i = 0; i < 1500; ++i) picture += static_cast<char>(i % 256);
  tablas.TablaGraf.Open();
  tablas.TablaGraf.Append();
  tablas.TablaGraf.SetString("CODIGO", "12");
  tablas.TablaGraf.SetString("GRAFICO", picture);
  tablas.TablaGraf.Post();
  tablas.TablaGraf.Close();
  tablas.TablaGraf.Open();
  ASSERT_TRUE(tablas.TablaGraf.Locate("CODIGO", "12"));
  EXPECT_EQ(tablas.TablaGraf.AsString("GRAFICO"), picture);
}

TEST_F(DbfTableTest, NavigationVisitsLiveRecordsInOrder) {
  CreateBooks();
  auto table = OpenBooks();
  EXPECT_TRUE(table->Eof());
  EXPECT_TRUE(table->Bof());
  EXPECT_EQ(table->RecNo(), 0u);
  EXPECT_TRUE(table->IsEmpty());
  EXPECT_EQ(table->AsString("TITULO"), "");
  for (const char* title : {"a", "b", "c", "d"}) AddBook(*table, title, "1");
  table->GoTo(1);
  table->Delete();
  EXPECT_EQ(table->AsString("TITULO"), "b");  // moved on to the next live one
  table->GoTo(3);
  table->Delete();
  EXPECT_EQ(Titles(*table), (std::vector<std::string>{"b", "d"}));

  table->Last();
  EXPECT_TRUE(table->Eof());
  EXPECT_EQ(table->RecNo(), 4u);
  table->Prior();
  EXPECT_EQ(table->RecNo(), 2u);
  EXPECT_FALSE(table->Bof());
  table->Prior();
  EXPECT_TRUE(table->Bof());
  EXPECT_EQ(table->RecNo(), 2u);
  EXPECT_THROW(table->GoTo(3), DbfError);
  EXPECT_THROW(table->GoTo(9), DbfError);
}

TEST_F(DbfTableTest, LocateFindsTheFirstLiveMatch) {
  CreateBooks();
  auto table = OpenBooks();
  AddBook(*table, "igual", "1");
  AddBook(*table, "igual", "2");
  AddBook(*table, "otro", "3");
  table->GoTo(1);
  table->Delete();
  table->Last();
  ASSERT_TRUE(table->Locate("titulo", "igual"));
  EXPECT_EQ(table->RecNo(), 2u);
  EXPECT_TRUE(table->Locate("NUM", "3"));
  EXPECT_FALSE(table->Locate("TITULO", "igua"));
  EXPECT_EQ(table->RecNo(), 3u);
  EXPECT_THROW(table->Locate("NADA", "x"), DbfError);
}

TEST_F(DbfTableTest, SecondCursorSeesEveryChangeAtOnce) {
  CreateBooks();
  auto writer = OpenBooks();
  auto reader = OpenBooks();
  AddBook(*writer, "uno", "1");
  EXPECT_EQ(reader->RecordCount(), 1u);
  reader->First();
  EXPECT_EQ(reader->AsString("TITULO"), "uno");
  AddBook(*writer, "dos", "2");
  reader->Next();
  EXPECT_FALSE(reader->Eof());
  EXPECT_EQ(reader->AsString("TITULO"), "dos");

  writer->Edit();
  writer->SetString("TITULO", "DOS");
  writer->Post();
  reader->Refresh();
  EXPECT_EQ(reader->AsString("TITULO"), "DOS");

  writer->Delete();
  EXPECT_EQ(reader->RecordCount(), 1u);
  EXPECT_EQ(writer->RecordCount(), 1u);
  EXPECT_EQ(Titles(*reader), std::vector<std::string>{"uno"});
  EXPECT_EQ(ReadBytes(folder_ / "LIBROS.DBF")[129 + 37], '*');  // the record stays, marked
}

TEST_F(DbfTableTest, EditStatesPostOnNavigationAndDropOnCancelOrClose) {
  CreateBooks();
  auto table = OpenBooks();
  AddBook(*table, "uno", "1");
  EXPECT_THROW(table->SetString("TITULO", "x"), DbfError);  // not editing
  table->Edit();
  table->SetString("TITULO", "cancelado");
  table->Cancel();
  EXPECT_EQ(table->AsString("TITULO"), "uno");
  table->Append();
  table->SetString("TITULO", "dos");
  table->First();  // posts the new record
  EXPECT_EQ(table->RecordCount(), 2u);
  table->Edit();
  table->SetString("TITULO", "perdido");
  table->Close();
  table->Open();
  EXPECT_EQ(Titles(*table), (std::vector<std::string>{"uno", "dos"}));
}

// An order supplied from outside (as an index will be) drives navigation.
class ReverseOrder : public RecordOrder {
 public:
  std::uint32_t First(std::uint32_t count) override { return count; }
  std::uint32_t Last(std::uint32_t count) override { return count > 0 ? 1 : 0; }
  std::uint32_t After(std::uint32_t recNo, std::uint32_t) override { return recNo - 1; }
  std::uint32_t Before(std::uint32_t recNo, std::uint32_t count) override {
    return recNo < count ? recNo + 1 : 0;
  }
};

TEST_F(DbfTableTest, AnotherOrderReplacesRecordOrder) {
  CreateBooks();
  auto table = OpenBooks();
  for (const char* title : {"a", "b", "c"}) AddBook(*table, title, "1");
  table->GoTo(2);
  table->Delete();
  table->SetOrder(std::make_shared<ReverseOrder>());
  EXPECT_EQ(Titles(*table), (std::vector<std::string>{"c", "a"}));
  AddBook(*table, "b", "2");
  EXPECT_TRUE(table->Locate("TITULO", "b"));
  EXPECT_EQ(table->RecNo(), 4u);
  table->SetOrder(nullptr);
  EXPECT_EQ(Titles(*table), (std::vector<std::string>{"a", "c", "b"}));
}

}  // namespace
}  // namespace zafirel::dbf

namespace zafirel::dbf {
namespace {

// Records what a cursor reports to its observers.
class WriteLog : public RecordObserver {
 public:
  struct Entry {
    std::uint32_t recNo;
    std::string before, after;
  };
  void RecordWritten(std::uint32_t recNo, std::string_view before, std::string_view after,
                     const TableLayout&) override {
    entries.push_back({recNo, std::string(before), std::string(after)});
  }
  std::vector<Entry> entries;
};

TEST_F(DbfTableTest, ObserversHearEveryWriteWithTheStoredBytesBeforeAndAfter) {
  CreateBooks();
  auto table = OpenBooks();
  auto log = std::make_shared<WriteLog>();
  table->AddObserver(log);
  AddBook(*table,
          "Espa\xF1"
          "a",
          "1");
  AddBook(*table, "Francia", "2");
  table->First();
  table->Edit();
  table->SetString("TITULO", "Italia");
  table->Post();
  table->Delete();

  ASSERT_EQ(log->entries.size(), 4u);
  EXPECT_EQ(log->entries[0].recNo, 1u);
  EXPECT_TRUE(log->entries[0].before.empty());
  EXPECT_EQ(log->entries[0].after.substr(1, 6),
            "Espa\xA4"
            "a");  // stored in the OEM page
  EXPECT_EQ(log->entries[2].before.substr(1, 6),
            "Espa\xA4"
            "a");
  EXPECT_EQ(log->entries[2].after.substr(1, 6), "Italia");
  EXPECT_EQ(log->entries[3].recNo, 1u);
  EXPECT_EQ(log->entries[3].before.substr(1, 6), "Italia");
  EXPECT_TRUE(log->entries[3].after.empty());
  // The cursor moved on to the next live record.
  EXPECT_EQ(table->AsString("TITULO"), "Francia");

  table->ClearObservers();
  AddBook(*table, "Grecia", "3");
  EXPECT_EQ(log->entries.size(), 4u);
}

}  // namespace
}  // namespace zafirel::dbf

namespace zafirel::dbf {
namespace {

// What a cursor keeps in memory gives way to a change made by another
// program once the file system shows it.
TEST_F(DbfTableTest, AChangeByAnotherProgramIsSeenAfterAMoment) {
  CreateBooks();
  auto table = OpenBooks();
  AddBook(*table, "Antes", "1");
  table->First();
  EXPECT_EQ(table->AsString("TITULO"), "Antes");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  testing::PatchBytes(folder_ / "LIBROS.DBF", table->Layout().headerLength + 1, "Despues");
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  table->Refresh();
  EXPECT_EQ(table->AsString("TITULO"), "Despues");
}

}  // namespace
}  // namespace zafirel::dbf
