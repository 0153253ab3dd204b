// The folder tree rebuilt from tree lines, and the file look-ups over the
// file-list lines.
#include "browse/folder_tree.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace zafirel {
namespace {

using testing::Lines;

// Each node as "parent name > name", in the order the nodes were placed.
std::vector<std::string> Shape(const FolderTree& tree) {
  std::vector<std::string> out;
  for (const FolderNode& node : tree.Nodes())
    out.push_back((node.parent < 0 ? std::string("-") : tree.Node(node.parent).name) + " > " +
                  node.name);
  return out;
}

TEST(FolderTreeRules, PlaceEachLineByItsDepth) {
  FolderTree tree = FolderTree::FromLines(Lines({"D:\\", "D:\\A\\", "D:\\A\\B\\", "D:\\C\\"}));
  EXPECT_EQ(Shape(tree), (std::vector<std::string>{"- > D:\\", "D:\\ > A", "A > B", "D:\\ > C"}));
  EXPECT_EQ(tree.FolderPath(2), "D:\\A\\B");
  EXPECT_EQ(tree.Prefix(2), "D:\\A\\B\\");
  EXPECT_EQ(tree.Prefix(0), "D:\\");

  // A skipped level is not made up; a second root and empty lines are skipped.
  tree = FolderTree::FromLines(Lines({"D:\\", "D:\\A\\B\\C\\", "E:\\", "", "D:\\X\\Y\\Z\\"}));
  EXPECT_EQ(Shape(tree), (std::vector<std::string>{"- > D:\\", "D:\\ > C", "C > Z"}));
  EXPECT_TRUE(FolderTree::FromLines(LineList()).empty());
}

TEST(FolderListing, TakesTheFolderOwnLinesAndStopsAtASubfolder) {
  const LineList files = Lines({"D:\\RAIZ.TXT;1;01/01/2000", "D:\\A\\UNO.TXT;1;01/01/2000",
                                "D:\\A\\DOS.TXT;2;01/01/2000", "D:\\A\\SUB\\TRES.TXT;3;01/01/2000",
                                "D:\\AB\\CUATRO.TXT;4;01/01/2000", "D:\\C\\D\\CINCO;5;x"});
  EXPECT_EQ(ListFolderFiles(files, "D:\\"), (std::vector<std::size_t>{0}));
  EXPECT_EQ(ListFolderFiles(files, "d:\\a\\"), (std::vector<std::size_t>{1, 2}));
  EXPECT_EQ(ListFolderFiles(files, "D:\\AB\\"), (std::vector<std::size_t>{4}));
  // A folder with only subfolders lists nothing: its first line belongs below.
  EXPECT_TRUE(ListFolderFiles(files, "D:\\C\\").empty());
  EXPECT_TRUE(ListFolderFiles(LineList(), "D:\\").empty());
}

TEST(FolderWalk, FollowsAHitsFolderLevelByLevel) {
  const FolderTree tree = FolderTree::FromLines(
      Lines({"D:\\", "D:\\X\\", "D:\\X\\DOCS\\", "D:\\DOCS\\", "D:\\DOCS\\OLD\\", "D:\\DATOS\\"}));
  EXPECT_EQ(WalkToFolder(tree, "D:\\"), (std::vector<int>{0}));
  // X\DOCS comes first in file order but its parent is not the root.
  EXPECT_EQ(WalkToFolder(tree, "D:\\DOCS\\OLD\\"), (std::vector<int>{3, 4}));
  EXPECT_EQ(WalkToFolder(tree, "D:\\DATOS\\"), (std::vector<int>{5}));
  // A missing level ends the walk at the last one found; names compare with case.
  EXPECT_EQ(WalkToFolder(tree, "D:\\DOCS\\NUEVO\\MAS\\"), (std::vector<int>{3}));
  EXPECT_TRUE(WalkToFolder(tree, "D:\\docs\\").empty());
  EXPECT_TRUE(WalkToFolder(FolderTree(), "D:\\A\\").empty());
}

TEST(FileLookUp, MatchesTheWholePathFieldOnly) {
  const LineList files = Lines({"D:\\DOCS\\LEEME.TXT;3;25/12/2003", "D:\\DOCS\\LEEME;1;25/12/2003",
                                "D:\\RAIZ;1;x", "sin punto y coma"});
  EXPECT_EQ(FindFileLine(files, "D:\\DOCS", "LEEME"), 1u);
  EXPECT_EQ(FindFileLine(files, "d:\\docs\\", "leeme.txt"), 0u);
  EXPECT_EQ(FindFileLine(files, "D:\\", "RAIZ"), 2u);
  EXPECT_EQ(FindFileLine(files, "D:\\DOCS", "LEE"), files.size());
}

}  // namespace
}  // namespace zafirel
