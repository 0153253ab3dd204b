// The catalogue of the files page: loading once per disc, the rows of a
// folder as shown, and the edits of file entries written back whole.
#include "browse/loaded_catalogue.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "catalogue_lines.h"
#include "store/catalogue_files.h"
#include "test_support.h"
#include "util/failure.h"

namespace zafirel {
namespace {

using testing::Lines;
using testing::ReadBytes;
using testing::WriteBytes;
constexpr EditOutcome kWritten = EditOutcome::kWritten, kUnchanged = EditOutcome::kUnchanged;

class LoadedCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(folder_ / "7.Ind", "D:\\\r\nD:\\DOCS\\\r\nD:\\DOCS\\OLD\\\r\nD:\\VACIA\\\r\n");
    WriteBytes(folder_ / "7.Ct",
               "D:\\LEEME.TXT;0;01/02/2003\r\n"
               "D:\\DOCS\\LEEME.TXT;1536;25/12/2003;Notas del disco\r\n"
               "D:\\DOCS\\JUEGO.ZIP;12;25/12/2003;\r\n"
               "D:\\DOCS\\RARO;abc;x\r\n"
               "D:\\DOCS\\OLD\\VIEJO.DOC;5;01/01/1999\r\n");
  }
  std::filesystem::path Base() const { return folder_ / "7"; }
  std::vector<std::string> Names(int node) const {
    std::vector<std::string> names;
    for (const FileRow& row : catalogue_.Rows(node, Locale{})) names.push_back(row.name);
    return names;
  }

  static std::string Cells(const FileRow& r) {
    return std::to_string(r.line) + "|" + r.name + "|" + r.size + "|" + r.date + "|" + r.comment;
  }

  testing::TempFolder folder_;
  LoadedCatalogue catalogue_;
};

TEST_F(LoadedCatalogueTest, LoadsADiscOnceAndKeepsTheOldOneWhenTheTreeFileIsMissing) {
  EXPECT_TRUE(catalogue_.CargarCatalogo(Base()));
  EXPECT_EQ(catalogue_.RutaIndActual, (folder_ / "7.Ind").string());
  EXPECT_EQ(catalogue_.LineasActuales.size(), 5u);
  EXPECT_EQ(catalogue_.Arbol.Nodes().size(), 4u);
  EXPECT_FALSE(catalogue_.CargarCatalogo(Base()));  // the same disc again

  EXPECT_FALSE(catalogue_.CargarCatalogo(folder_ / "8"));  // no 8.Ind: nothing changes
  EXPECT_EQ(catalogue_.RutaIndActual, (folder_ / "7.Ind").string());
  EXPECT_EQ(catalogue_.LineasActuales.size(), 5u);

  // A tree file without its file list: folders, but no files anywhere.
  WriteBytes(folder_ / "8.Ind", "E:\\\nE:\\X\\");
  EXPECT_TRUE(catalogue_.CargarCatalogo(folder_ / "8"));
  EXPECT_EQ(catalogue_.Arbol.Nodes().size(), 2u);
  EXPECT_TRUE(catalogue_.LineasActuales.empty());
  EXPECT_TRUE(catalogue_.Rows(0, Locale{}).empty());
  EXPECT_TRUE(catalogue_.Rows(5, Locale{}).empty());  // no such node
}

TEST_F(LoadedCatalogueTest, RowsShowNameGroupedSizeDateAndComment) {
  ASSERT_TRUE(catalogue_.CargarCatalogo(Base()));
  const std::vector<FileRow> root = catalogue_.Rows(0, Locale{});
  ASSERT_EQ(root.size(), 1u);
  EXPECT_EQ(root[0].name, "LEEME.TXT");
  EXPECT_EQ(root[0].size, " KB");  // 0 KB shows no number
  EXPECT_EQ(root[0].comment, "");

  const std::vector<FileRow> docs = catalogue_.Rows(1, Locale{});
  ASSERT_EQ(docs.size(), 3u);
  EXPECT_EQ(docs[0].size, "1.536 KB");
  EXPECT_EQ(docs[0].date, "25/12/2003");
  EXPECT_EQ(docs[0].comment, "Notas del disco");
  EXPECT_EQ(docs[1].comment, "");  // an archive without a description
  EXPECT_EQ(docs[2].size, " KB");  // not a number
  EXPECT_EQ(Names(2), (std::vector<std::string>{"VIEJO.DOC"}));

  EXPECT_TRUE(Names(3).empty());
}

// Every folder of a disc with every kind of line: its rows read from the
// file are the rows of the loaded lines; a file list too large to hold
// leaves the tree and no lines, and says so.
TEST_F(LoadedCatalogueTest, EveryKindOfLineListsAlikeFromFileAndMemory) {
  WriteBytes(folder_ / "9.Ind", testing::kEveryKindTree);
  WriteBytes(folder_ / "9.Ct", testing::EveryKindList(3));
  ASSERT_TRUE(catalogue_.CargarCatalogo(folder_ / "9"));
  EXPECT_EQ(Names(0), (std::vector<std::string>{"LEEME.TXT", "leeme", "A", "ROTO.ZIP"}));
  EXPECT_EQ(Names(1), (std::vector<std::string>{"HERRAM.ZIP",
                                                "Espa\xF1"
                                                "a \x80\xFF.TXT",
                                                "minus.txt", "F0.DAT", "F1.DAT", "F2.DAT"}));
  EXPECT_EQ(Names(6), (std::vector<std::string>{"CANCI\xD3N.MP3", "OTRA.MP3", "ULTIMA.MP3"}));
  for (int node = 0; node < static_cast<int>(catalogue_.Arbol.Nodes().size()); ++node) {
    std::vector<std::string> read, held;
    ForEachFolderRowInFile(folder_ / "9.Ct", catalogue_.Arbol.Prefix(node), Locale{},
                           [&](const FileRow& row) { read.push_back(Cells(row)); });
    for (const FileRow& row : catalogue_.Rows(node, Locale{})) held.push_back(Cells(row));
    EXPECT_EQ(read, held) << node;
  }

  std::filesystem::resize_file(folder_ / "9.Ct", LineList::kMostBytes + 1);  // sparse
  catalogue_.Clear();
  try {
    catalogue_.CargarCatalogo(folder_ / "9");
    ADD_FAILURE() << "loaded";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Cause(), EFBIG);
    EXPECT_EQ(failure.File(), folder_ / "9.Ct");
  }
  EXPECT_EQ(catalogue_.Arbol.Nodes().size(), 7u);
  EXPECT_TRUE(catalogue_.LineasActuales.empty());
}

TEST_F(LoadedCatalogueTest, DeletingSeveralEntriesWritesTheListOnce) {
  ASSERT_TRUE(catalogue_.CargarCatalogo(Base()));
  EXPECT_EQ(catalogue_.DeleteFiles(1, {"LEEME.TXT", "juego.zip", "RARO"}), kWritten);
  EXPECT_EQ(ReadBytes(folder_ / "7.Ct"),
            "D:\\LEEME.TXT;0;01/02/2003\r\nD:\\DOCS\\OLD\\VIEJO.DOC;5;01/01/1999\r\n");
  EXPECT_TRUE(Names(1).empty());  // the folder stays, without files
  EXPECT_EQ(catalogue_.Arbol.Nodes().size(), 4u);

  // A name without a line: nothing removed, nothing written.
  const std::string before = ReadBytes(folder_ / "7.Ct");
  EXPECT_EQ(catalogue_.DeleteFiles(0, {"LEEME.TXT", "FALTA"}), kUnchanged);
  EXPECT_EQ(ReadBytes(folder_ / "7.Ct"), before);
  EXPECT_EQ(catalogue_.LineasActuales.size(), 2u);
}

// An edit that cannot reach the file leaves memory as the file is; one made
// after another program rewrote the file writes nothing over it.
TEST_F(LoadedCatalogueTest, EditsThatDoNotReachTheFileChangeNothing) {
  ASSERT_TRUE(catalogue_.CargarCatalogo(Base()));
  const std::string stored = ReadBytes(folder_ / "7.Ct");
  std::filesystem::rename(folder_ / "7.Ct", folder_ / "7.bak");
  std::filesystem::create_directory(folder_ / "7.Ct");  // no file can take its place
  EXPECT_EQ(catalogue_.Rename(1, "OTRO.TXT"), EditOutcome::kChangedElsewhere);
  catalogue_.NoteFileWritten();
  EXPECT_EQ(catalogue_.Rename(1, "OTRO.TXT"), EditOutcome::kNotWritten);
  EXPECT_EQ(catalogue_.SetComment(1, "nuevo"), EditOutcome::kNotWritten);
  EXPECT_EQ(catalogue_.DeleteFiles(1, {"LEEME.TXT"}), EditOutcome::kNotWritten);
  std::filesystem::remove(folder_ / "7.Ct");
  std::filesystem::rename(folder_ / "7.bak", folder_ / "7.Ct");
  EXPECT_EQ(catalogue_.LineasActuales.ToText(), stored);

  WriteBytes(folder_ / "7.Ct", "D:\\OTRO.TXT;1;x\r\n");  // another program's edit
  EXPECT_EQ(catalogue_.Rename(0, "X.TXT"), EditOutcome::kChangedElsewhere);
  EXPECT_EQ(ReadBytes(folder_ / "7.Ct"), "D:\\OTRO.TXT;1;x\r\n");
}

TEST_F(LoadedCatalogueTest, TwoRowsOfOneNameTakeTwoLines) {
  WriteBytes(folder_ / "7.Ct", "D:\\DOBLE;1;x\r\nD:\\OTRO;1;x\r\nd:\\doble;2;y\r\n");
  ASSERT_TRUE(catalogue_.CargarCatalogo(Base()));
  EXPECT_EQ(catalogue_.DeleteFiles(0, {"DOBLE", "DOBLE"}), kWritten);
  EXPECT_EQ(ReadBytes(folder_ / "7.Ct"), "D:\\OTRO;1;x\r\n");
  EXPECT_EQ(catalogue_.DeleteFiles(0, {"OTRO", "OTRO"}),
            kUnchanged);  // the second has no line left
  EXPECT_EQ(ReadBytes(folder_ / "7.Ct"), "D:\\OTRO;1;x\r\n");
}

TEST_F(LoadedCatalogueTest, CommentsAreCleanedAndReplaceOnlyTheLastField) {
  EXPECT_EQ(CleanComment("una\r\nlinea"), "una linea");
  EXPECT_EQ(CleanComment("a;b\\c"), "abc");
  EXPECT_EQ(CleanComment("dos\tcolumnas"), "dos columnas");  // a tab would read as a field

  ASSERT_TRUE(catalogue_.CargarCatalogo(Base()));
  const std::size_t zip = catalogue_.Find(1, "JUEGO.ZIP");
  ASSERT_EQ(zip, 2u);
  EXPECT_EQ(catalogue_.SetComment(zip, "Juego de\r\ncartas"), kWritten);
  EXPECT_EQ(catalogue_.LineasActuales[zip], "D:\\DOCS\\JUEGO.ZIP;12;25/12/2003;Juego de cartas");
  // A comment equal to part of the path, size or date leaves those alone.
  EXPECT_EQ(catalogue_.SetComment(1, "DOCS"), kWritten);
  EXPECT_EQ(catalogue_.SetComment(1, "25"), kWritten);
  EXPECT_EQ(catalogue_.LineasActuales[1], "D:\\DOCS\\LEEME.TXT;1536;25/12/2003;25");
  EXPECT_EQ(catalogue_.SetComment(1, ""), kUnchanged);  // an empty box keeps the comment
  EXPECT_EQ(catalogue_.LineasActuales[1], "D:\\DOCS\\LEEME.TXT;1536;25/12/2003;25");
  EXPECT_NE(ReadBytes(folder_ / "7.Ct").find("JUEGO.ZIP;12;25/12/2003;Juego de cartas\r\n"),
            std::string::npos);
}

TEST_F(LoadedCatalogueTest, RenamingKeepsTheRestOfTheLineAndRefusesUnusableNames) {
  ASSERT_TRUE(catalogue_.CargarCatalogo(Base()));
  EXPECT_EQ(catalogue_.Rename(1, "LEEME.DOC"), kWritten);
  EXPECT_EQ(catalogue_.LineasActuales[1], "D:\\DOCS\\LEEME.DOC;1536;25/12/2003;Notas del disco");
  EXPECT_EQ(catalogue_.Rename(0, "a;b\\c"), kWritten);
  EXPECT_EQ(catalogue_.LineasActuales[0], "D:\\abc;0;01/02/2003");
  EXPECT_EQ(catalogue_.Rename(0, " ;\\ "), kUnchanged);
  EXPECT_EQ(catalogue_.Rename(0, ""), kUnchanged);
  EXPECT_EQ(catalogue_.LineasActuales[0], "D:\\abc;0;01/02/2003");
  EXPECT_EQ(Renamed("SINCAMPOS", "X"), "X");
  EXPECT_NE(ReadBytes(folder_ / "7.Ct").find("D:\\DOCS\\LEEME.DOC;1536;"), std::string::npos);
}

TEST_F(LoadedCatalogueTest, DamagedListLinesNeverBreakTheRows) {
  WriteBytes(folder_ / "7.Ct", std::string("\r\n\r\nsin punto y coma\r\nD:\\") +
                                   std::string(100000, 'X') + ";1;x\r\nD:\\OK;;\n");
  ASSERT_TRUE(catalogue_.CargarCatalogo(Base()));
  const std::vector<FileRow> root = catalogue_.Rows(0, Locale{});
  ASSERT_EQ(root.size(), 2u);
  EXPECT_EQ(root[0].name.size(), 100000u);
  EXPECT_EQ(root[1].name, "OK");
  EXPECT_EQ(root[1].size, " KB");
  EXPECT_EQ(catalogue_.Find(0, "OK"), 4u);
}

TEST_F(LoadedCatalogueTest, ATreeFileThatIsNoDriveRootStillGivesATree) {
  WriteBytes(folder_ / "9.Ind", std::string("basura\0\xFF\r\n\r\nD:\\X\\\r\n", 14));
  WriteBytes(folder_ / "9.Ct", "basura\\A;1;x\r\nD:\\X\\B;2;y\r\n");
  ASSERT_TRUE(catalogue_.CargarCatalogo(folder_ / "9"));
  ASSERT_FALSE(catalogue_.Arbol.empty());
  EXPECT_EQ(catalogue_.Arbol.Node(0).name, std::string("basura\0\xFF", 8));
  EXPECT_TRUE(catalogue_.Rows(0, Locale{}).empty());
  EXPECT_TRUE(WalkToFolder(catalogue_.Arbol, "D:\\X\\").empty());
  // Nothing is written unless something was changed.
  EXPECT_EQ(ReadBytes(folder_ / "9.Ct"), "basura\\A;1;x\r\nD:\\X\\B;2;y\r\n");
}

}  // namespace
}  // namespace zafirel
