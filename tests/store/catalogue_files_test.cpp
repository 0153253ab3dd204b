// The catalogue files byte for byte, and reading back what other tools or
// damaged copies may hold.
#include "store/catalogue_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "test_support.h"
#include "util/failure.h"
#include "util/piece_reader.h"

namespace zafirel {
namespace {
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

using testing::Lines;

std::vector<std::string> Texts(const LineList& lines) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < lines.size(); ++i) out.emplace_back(lines[i]);
  return out;
}

TEST(CatalogueFiles, AreNamedByTheDiscNumberAndWrittenWithCrLf) {
  TempFolder dir;
  EXPECT_EQ(TreeFilePath(dir.Path(), "12").filename(), "12.Ind");
  EXPECT_EQ(ListFilePath(dir.Path(), "12").filename(), "12.Ct");

  const LineList files =
      Lines({"D:\\DOCS\\LEEME.TXT;3;25/12/2003", "D:\\UTIL\\ROTO.ZIP;17;03/02/2001;",
             "D:\\A\\Espa\xF1"
             "a;0;01/01/2000"});
  ASSERT_TRUE(WriteCatalogueFile(ListFilePath(dir.Path(), "12"), files));
  EXPECT_EQ(ReadBytes(dir / "12.Ct"),
            "D:\\DOCS\\LEEME.TXT;3;25/12/2003\r\nD:\\UTIL\\ROTO.ZIP;17;03/02/2001;\r\n"
            "D:\\A\\Espa\xF1"
            "a;0;01/01/2000\r\n");
  EXPECT_EQ(Texts(ReadCatalogueFile(dir / "12.Ct")), Texts(files));

  ASSERT_TRUE(WriteCatalogueFile(ListFilePath(dir.Path(), "13"), LineList()));
  EXPECT_EQ(ReadBytes(dir / "13.Ct"), "");  // an empty list is a 0-byte file
  EXPECT_TRUE(ReadCatalogueFile(dir / "13.Ct").empty());

  EXPECT_TRUE(DeleteCatalogueFiles(dir.Path(), "12"));
  EXPECT_FALSE(std::filesystem::exists(dir / "12.Ct"));
  EXPECT_TRUE(DeleteCatalogueFiles(dir.Path(), "99"));  // nothing there: no failure
  EXPECT_THROW(ReadCatalogueFile(dir / "99.Ind"), std::runtime_error);
}

// A file list over 4 GB cannot be held: it is refused, naming the file and
// the cause, before a byte of it is read (the file is sparse).
TEST(CatalogueFiles, AFileTooLargeToHoldIsRefusedWithItsPath) {
  TempFolder dir;
  const std::filesystem::path list = dir / "1.Ct";
  WriteBytes(list, "");
  std::filesystem::resize_file(list, LineList::kMostBytes + 1);
  try {
    (void)ReadCatalogueFile(list);
    ADD_FAILURE() << "read";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.Cause(), EFBIG);
    EXPECT_EQ(failure.File(), list);
  }
}

TEST(CatalogueFiles, ReadAnyLineEndAndALastLineWithoutOne) {
  TempFolder dir;
  WriteBytes(dir / "1.Ind", "D:\\\r\nD:\\A\\\nD:\\B\\\rD:\\C\\");
  EXPECT_EQ(Texts(ReadCatalogueFile(dir / "1.Ind")),
            (std::vector<std::string>{"D:\\", "D:\\A\\", "D:\\B\\", "D:\\C\\"}));
  // An empty line in a damaged copy is kept as an empty line, not dropped silently.
  WriteBytes(dir / "2.Ind", "D:\\\r\n\r\nD:\\A\\\r\n");
  EXPECT_EQ(ReadCatalogueFile(dir / "2.Ind").size(), 3u);
}

// Texts of CR, LF and other bytes split as a plain reading would split them,
// wherever a line end falls against the sixteen-byte blocks of the scan or
// the pieces of a file read through a small buffer.
TEST(LineLists, SplitLikeAPlainReadingAtAnyPlace) {
  auto plain = [](const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
      std::size_t stop = start;
      while (stop < text.size() && text[stop] != '\r' && text[stop] != '\n') ++stop;
      lines.push_back(text.substr(start, stop - start));
      start = stop + (text.compare(stop, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
  };
  TempFolder dir;
  unsigned seed = 7;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const std::size_t length = next() % 80;
    for (std::size_t i = 0; i < length; ++i) text += "\r\nab"[next() % 4];
    ASSERT_EQ(Texts(LineList::FromText(text)), plain(text)) << "text of " << length << " bytes";
    // Read from a file piece by piece, the pieces ending anywhere (lines
    // shorter than the buffer are never cut).
    const std::vector<std::string> lines = plain(text);
    ReadBuffer buffer(8 + round % 9);
    if (std::any_of(lines.begin(), lines.end(),
                    [&](const std::string& l) { return l.size() + 2 > buffer.size(); }))
      continue;
    WriteBytes(dir / "t.Ct", text);
    std::vector<std::string> read;
    ForEachLineOfFile(dir / "t.Ct", buffer, [&](std::string_view line) {
      read.emplace_back(line);
      return true;
    });
    ASSERT_EQ(read, lines) << "text of " << length << " bytes, buffer " << buffer.size();
  }
}

TEST(LineLists, EditsKeepTheOrderOfTheOtherLines) {
  LineList lines = Lines({"a", "b", "c", "d", "e"});
  lines.Replace(1, "B largo");
  lines.Replace(2, lines[0]);  // a line may be replaced by a view into the list itself
  lines.Erase({4, 0, 4});
  EXPECT_EQ(Texts(lines), (std::vector<std::string>{"B largo", "a", "d"}));
  EXPECT_EQ(lines.ToText(), "B largo\r\na\r\nd\r\n");
}

TEST(Sizes, AreKilobytesRoundedUp) {
  EXPECT_EQ(KilobytesOf(0), 0u);
  EXPECT_EQ(KilobytesOf(1), 1u);
  EXPECT_EQ(KilobytesOf(1024), 1u);
  EXPECT_EQ(KilobytesOf(1025), 2u);
  EXPECT_EQ(KilobytesOf(3221225472ull), 3145728u);
}

}  // namespace
}  // namespace zafirel
