// Damaged tables and memo files give a DbfError naming the file, and the
// engine never writes to a file it found damaged.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "store/dbf/dbf_error.h"
#include "store/dbf/table.h"
#include "test_support.h"

namespace zafirel::dbf {
namespace {

using zafirel::testing::PatchBytes;
using zafirel::testing::ReadBytes;
using zafirel::testing::TempFolder;
using zafirel::testing::WriteBytes;

constexpr std::size_t kHeader = 32 + 2 * 32 + 1;  // NOMBRE C 10, NOTAS M 10
constexpr std::size_t kRecord = 21;
constexpr std::size_t kMemoAt = 11;

class DbfDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Table table(true);
    table.SetFolder(folder_.Path());
    table.SetTableName("NOTAS.DBF");
    table.CreateTable(ParseFieldList({"NOMBRE;C;10;0", "NOTAS;M;10;0"}));
    table.Open();
    for (const char* name : {"uno", "dos", "tres"}) {
      table.Append();
      table.SetString("NOMBRE", name);
      table.SetString("NOTAS", std::string("memo de ") + name);
      table.Post();
    }
  }
  std::unique_ptr<Table> Open() {
    auto table = std::make_unique<Table>(true);
    table->SetFolder(folder_.Path());
    table->SetTableName("notas.dbf");
    table->Open();
    return table;
  }
  // Expects a DbfError naming file, from an action that must not change the files.
  template <typename Action>
  void ExpectError(const std::string& file, Action action) {
    std::string dbf = ReadBytes(Dbf()), dbt = ReadBytes(Dbt());
    try {
      action();
      ADD_FAILURE() << "no error";
    } catch (const DbfError& error) {
      EXPECT_NE(std::string(error.what()).find(file), std::string::npos) << error.what();
    }
    EXPECT_EQ(ReadBytes(Dbf()), dbf);
    EXPECT_EQ(ReadBytes(Dbt()), dbt);
  }
  std::filesystem::path Dbf() const { return folder_ / "NOTAS.DBF"; }
  std::filesystem::path Dbt() const { return folder_ / "NOTAS.DBT"; }

  TempFolder folder_;
};

TEST_F(DbfDamageTest, TruncatedOrGarbageTableIsRefused) {
  std::string good = ReadBytes(Dbf());
  for (std::size_t length : {0, 10, 40, 90}) {
    WriteBytes(Dbf(), good.substr(0, length));
    ExpectError("NOTAS.DBF", [&] { Open(); });
  }
  std::string garbage(600, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 37 + 11);
  WriteBytes(Dbf(), garbage);
  ExpectError("NOTAS.DBF", [&] { Open(); });
  // A sound prefix whose record length disagrees with its fields.
  WriteBytes(Dbf(), good);
  PatchBytes(Dbf(), 10, std::string("\x30\x00", 2));
  ExpectError("NOTAS.DBF", [&] { Open(); });
}

TEST_F(DbfDamageTest, CountPastTheEndShowsOnlyTheRecordsPresentAndRefusesChanges) {
  PatchBytes(Dbf(), 4, std::string("\x0A\0\0\0", 4));
  std::string dbf = ReadBytes(Dbf());
  WriteBytes(Dbf(), dbf.substr(0, kHeader + 2 * kRecord + 5));  // half of record 3 left
  auto table = Open();
  EXPECT_EQ(table->RecordCount(), 2u);
  table->Last();
  EXPECT_EQ(table->RecNo(), 2u);
  EXPECT_EQ(table->AsString("NOTAS"), "memo de dos");
  ExpectError("NOTAS.DBF", [&] { table->Append(); });
  ExpectError("NOTAS.DBF", [&] { table->Edit(); });
  ExpectError("NOTAS.DBF", [&] { table->Delete(); });
}

TEST_F(DbfDamageTest, BadMemoReferencesNameTheMemoFile) {
  PatchBytes(Dbf(), kHeader + kMemoAt, "      9999");  // past the end
  PatchBytes(Dbf(), kHeader + kRecord + kMemoAt, "     abc  ");
  PatchBytes(Dbt(), 3 * 512, std::string("\0\0\0\0", 4));  // record 3 loses its mark
  auto table = Open();
  for (std::uint32_t recNo : {1, 2, 3}) {
    table->GoTo(recNo);
    ExpectError("NOTAS.DBT", [&] { table->AsString("NOTAS"); });
  }
  EXPECT_EQ(table->AsString("NOMBRE"), "tres");  // the rest of the record still reads
  EXPECT_FALSE(table->Locate("NOMBRE", "nadie"));
}

TEST_F(DbfDamageTest, MemoLengthRunningPastTheFileIsRefused) {
  auto table = Open();
  PatchBytes(Dbt(), 3 * 512 + 4, std::string("\x00\x10\x00\x00", 4));
  table->Last();
  ExpectError("NOTAS.DBT", [&] { table->AsString("NOTAS"); });
}

TEST_F(DbfDamageTest, RewritingADamagedMemoNeverWritesOverOtherBlocks) {
  PatchBytes(Dbf(), kHeader + kMemoAt, "         2");  // record 1 now names record 2's memo...
  PatchBytes(Dbt(), 2 * 512, std::string(4, '\0'));    // ...and that block is damaged
  auto table = Open();
  table->Edit();
  table->SetString("NOTAS", "nueva");
  table->Post();
  EXPECT_EQ(table->AsString("NOTAS"), "nueva");
  EXPECT_EQ(ReadBytes(Dbt()).size(), 5u * 512);  // went to a new block at the end
  table->Last();
  EXPECT_EQ(table->AsString("NOTAS"), "memo de tres");
}

// A dBase III memo file (a spreadsheet's) is read but never written.
TEST_F(DbfDamageTest, MissingOrTruncatedMemoFileIsRefusedAndADBaseIIIOneOnlyRead) {
  std::string dbt = ReadBytes(Dbt());
  std::filesystem::remove(Dbt());
  try {
    Open();
    FAIL() << "opened without its memo file";
  } catch (const DbfError& error) {
    EXPECT_NE(std::string(error.what()).find("NOTAS.DBT"), std::string::npos);
  }
  WriteBytes(Dbt(), dbt.substr(0, 10));
  ExpectError("NOTAS.DBT", [&] { Open(); });
  WriteBytes(Dbt(), dbt);
  PatchBytes(Dbt(), 16, "\x03");
  ExpectError("NOTAS.DBF", [&] { Open()->Append(); });
}

}  // namespace
}  // namespace zafirel::dbf
