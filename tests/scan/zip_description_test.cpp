// Descriptions read from .ZIP archives: which member is used, the text it
// gives, where its copy goes, and archives or members that cannot be read.
#include "scan/zip_description.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace zafirel {
namespace {
namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

using Kind = ZipDescription::Kind;

struct Member {
  std::string name;
  std::string data;
  zip_int32_t method = ZIP_CM_DEFAULT;
  const char* password = nullptr;  // AES-256 when set
};

// Writes an archive with libzip; the member data must outlive zip_close.
void MakeZip(const fs::path& path, const std::vector<Member>& members) {
  int error = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(zip, nullptr);
  for (const Member& member : members) {
    zip_source_t* source = zip_source_buffer(zip, member.data.data(), member.data.size(), 0);
    const zip_int64_t index = zip_file_add(zip, member.name.c_str(), source, ZIP_FL_ENC_GUESS);
    ASSERT_GE(index, 0) << member.name;
    zip_set_file_compression(zip, index, member.method, 0);
    if (member.password != nullptr) {
      ASSERT_EQ(zip_file_set_encryption(zip, index, ZIP_EM_AES_256, member.password), 0);
    }
  }
  ASSERT_EQ(zip_close(zip), 0);
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

class ZipDescriptionTest : public ::testing::Test {
 protected:
  ZipDescriptionTest() { fs::create_directory(temp_); }

  ZipDescription Read(const std::vector<Member>& members) {
    MakeZip(archive_, members);
    return ReadZipDescription(archive_, temp_);
  }

  TempFolder dir_;
  fs::path archive_ = dir_ / "PACK.zip";
  fs::path temp_ = dir_ / "Temp";
};

TEST(CleanDescription, CutsAt255ThenDropsSeparatorsAndLineEnds) {
  EXPECT_EQ(CleanDescription("a;b\\c\r\nd\re\nf"), "abc d ef");
  EXPECT_EQ(CleanDescription(std::string(300, 'x') + ";"), std::string(255, 'x'));
  // The cut comes first: a ";" past byte 255 costs nothing.
  EXPECT_EQ(CleanDescription(";" + std::string(300, 'x')), std::string(254, 'x'));
}

TEST(ZipDescriptionSuffix, DependsOnTheKind) {
  EXPECT_EQ((ZipDescription{Kind::kUnreadable, ""}).LineSuffix(), ";");
  EXPECT_EQ((ZipDescription{Kind::kNone, ""}).LineSuffix(), "");
  EXPECT_EQ((ZipDescription{Kind::kDescribed, ""}).LineSuffix(), ";");
  EXPECT_EQ((ZipDescription{Kind::kDescribed, "Disk tools"}).LineSuffix(), ";Disk tools");
}

TEST_F(ZipDescriptionTest, UsesAReadmeAndLeavesItsCopyInTheTempFolder) {
  const ZipDescription got = Read({{"TOOL.EXE", "MZ"}, {"README.TXT", "Disk tools\r\n"}});
  EXPECT_EQ(got.kind, Kind::kDescribed);
  EXPECT_EQ(got.LineSuffix(), ";Disk tools");
  EXPECT_EQ(Names(temp_), std::set<std::string>{"README.TXT"});
  EXPECT_EQ(ReadBytes(temp_ / "README.TXT"), "Disk tools\r\n");
}

TEST_F(ZipDescriptionTest, OnlyTheFirstQualifyingMemberCounts) {
  ZipDescription got =
      Read({{"A.TXT", "no"}, {"FILE_ID.DIZ", "The diz"}, {"README.TXT", "The readme"}});
  EXPECT_EQ(got.text, "The diz");
  EXPECT_EQ(Names(temp_), std::set<std::string>{"FILE_ID.DIZ"});

  // Names are upper-cased a to z and need only contain one of the two.
  EXPECT_EQ(Read({{"docs/readme.txt", "lower"}, {"FILE_ID.DIZ", "x"}}).text, "lower");
  EXPECT_EQ(Read({{"OLDREADME.TXT.BAK", "old"}}).text, "old");
  EXPECT_TRUE(fs::exists(temp_ / "OLDREADME.TXT.BAK"));

  got = Read({{"README.DOC", "x"}, {"FILE_ID.DI", "x"}, {"READ_ME.TXT", "x"}});
  EXPECT_EQ(got.kind, Kind::kNone);
  EXPECT_EQ(got.LineSuffix(), "");
}

TEST_F(ZipDescriptionTest, WritesUnderTheBareNameOnlyAndOverwrites) {
  EXPECT_EQ(Read({{"../../evil/README.TXT", "up"}}).text, "up");
  EXPECT_EQ(Read({{"..\\evil\\FILE_ID.DIZ", "back"}}).text, "back");
  EXPECT_EQ(Read({{"/evil/x/README.TXT/", ""}}).kind, Kind::kDescribed);  // a folder entry
  EXPECT_EQ(Read({{"OLD README.TXT/..", "dots"}}).text, "dots");
  EXPECT_EQ(Names(dir_.Path()), (std::set<std::string>{"PACK.zip", "Temp"}));
  EXPECT_EQ(Names(temp_), (std::set<std::string>{"README.TXT", "FILE_ID.DIZ", "DESCRIPCION.TXT"}));
  EXPECT_EQ(ReadBytes(temp_ / "DESCRIPCION.TXT"), "dots");

  // Archives read on two threads finish out of turn: the copy of the later
  // archive stays, also when the earlier one comes after a flush.
  {
    DescriptionCopies copies(temp_);
    copies.Keep("ORDEN.TXT", "later", 2);
    copies.Keep("ORDEN.TXT", "earlier", 1);
    ASSERT_TRUE(copies.Flush());
    copies.Keep("ORDEN.TXT", "earliest", 0);
  }
  EXPECT_EQ(ReadBytes(temp_ / "ORDEN.TXT"), "later");
  fs::remove(temp_ / "ORDEN.TXT");

  // An earlier copy goes, read-only or not.
  fs::permissions(temp_ / "README.TXT", fs::perms::owner_read);
  EXPECT_EQ(Read({{"README.TXT", "second"}}).text, "second");
  EXPECT_EQ(ReadBytes(temp_ / "README.TXT"), "second");

  // A DOS name in code page 437 becomes a UTF-8 host name.
  EXPECT_EQ(Read({{"\x8E"
                   "README.TXT",
                   "cp437"}})
                .text,
            "cp437");
  EXPECT_TRUE(fs::exists(temp_ / "\xC3\x84README.TXT"));
}

TEST_F(ZipDescriptionTest, TextIsTheJoinedLinesCutThenCleaned) {
  EXPECT_EQ(Read({{"README.TXT", std::string(1000, 'd')}}).text, std::string(255, 'd'));
  EXPECT_EQ(Read({{"README.TXT", "C:\\TOOLS;version 2\n"}}).text, "C:TOOLSversion 2");
  // LF, CR LF and lone CR each end a line; a last line end adds nothing.
  EXPECT_EQ(Read({{"README.TXT", "one\ntwo\r\nthree\rfour\n\n"}}).text, "one two three four ");
  // Each line end takes two of the 255 bytes: 85 lines of "x" fill them.
  std::string lines;
  for (int i = 0; i < 100; ++i) lines += "x\n";
  std::string expected;
  for (int i = 0; i < 85; ++i) expected += "x ";
  EXPECT_EQ(Read({{"FILE_ID.DIZ", lines}}).text, expected);
  // The text ends where a text box would stop, at a NUL.
  EXPECT_EQ(Read({{"README.TXT", std::string("Tools\r\n\0junk", 12)}}).text, "Tools");

  const ZipDescription empty = Read({{"README.TXT", ""}});
  EXPECT_EQ(empty.kind, Kind::kDescribed);
  EXPECT_EQ(empty.LineSuffix(), ";");
  EXPECT_TRUE(fs::exists(temp_ / "README.TXT"));
}

TEST_F(ZipDescriptionTest, FilesThatAreNoReadableArchive) {
  auto unreadable = [&](const std::string& bytes) {
    WriteBytes(archive_, bytes);
    return ReadZipDescription(archive_, temp_).kind == Kind::kUnreadable;
  };
  EXPECT_TRUE(unreadable(""));
  EXPECT_TRUE(unreadable("This is a plain text file, not an archive.\r\n"));
  EXPECT_EQ(ReadZipDescription(dir_ / "MISSING.ZIP", temp_).LineSuffix(), ";");

  MakeZip(archive_, {{"README.TXT", "Disk tools", ZIP_CM_STORE}});
  const std::string whole = ReadBytes(archive_);
  EXPECT_TRUE(unreadable(whole.substr(0, whole.size() / 2)));
  std::string damaged = whole;
  damaged.replace(damaged.find("PK\x01\x02"), 4, "XXXX");  // the central directory's entry
  EXPECT_TRUE(unreadable(damaged));
  EXPECT_TRUE(Names(temp_).empty());

  // An archive without members is readable and has no description.
  WriteBytes(archive_, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_EQ(ReadZipDescription(archive_, temp_).kind, Kind::kNone);
}

// What libzip alone does not read: a member packed with LZMA, and the
// archive behind a self-extracting program's code (small, read from memory,
// and large, read from the file). Python's zipfile writes them.
TEST_F(ZipDescriptionTest, LzmaMembersAndSelfExtractingArchivesKeepTheirDescription) {
  const std::string script =
      "import io, sys, zipfile\n"
      "def pack(method):\n"
      "    b = io.BytesIO()\n"
      "    with zipfile.ZipFile(b, 'w', compression=method) as z:\n"
      "        z.writestr('DOCS/README.TXT', 'Herramientas\\r\\nde disco\\r\\n')\n"
      "        z.writestr('PROG.EXE', 'x' * 1000)\n"
      "    return b.getvalue()\n"
      "folder = sys.argv[1]\n"
      "open(folder + '/lzma.zip', 'wb').write(pack(zipfile.ZIP_LZMA))\n"
      "plain = pack(zipfile.ZIP_DEFLATED)\n"
      "open(folder + '/sfx.exe', 'wb').write(b'MZ' + b'\\x90' * 5000 + plain)\n"
      "open(folder + '/sfx-large.exe', 'wb').write(b'MZ' + b'\\x90' * 300000 + plain)\n";
  WriteBytes(dir_ / "make.py", script);
  if (std::system(("python3 '" + (dir_ / "make.py").string() + "' '" + dir_.Path().string() +
                   "' 2>/dev/null")
                      .c_str()) != 0)
    GTEST_SKIP() << "python3 with zipfile's LZMA is not at hand";
  for (const char* name : {"lzma.zip", "sfx.exe", "sfx-large.exe"}) {
    fs::remove_all(temp_);
    fs::create_directory(temp_);
    const ZipDescription described = ReadZipDescription(dir_ / name, temp_);
    EXPECT_EQ(described.kind, Kind::kDescribed) << name;
    EXPECT_EQ(described.text, "Herramientas de disco") << name;
    EXPECT_EQ(ReadBytes(temp_ / "README.TXT"), "Herramientas\r\nde disco\r\n") << name;
  }
}

TEST_F(ZipDescriptionTest, AMemberThatCannotBeReadMakesTheArchiveUnreadable) {
  MakeZip(archive_, {{"README.TXT", "Disk tools", ZIP_CM_STORE}});
  const std::string whole = ReadBytes(archive_);

  std::string badCrc = whole;
  badCrc[badCrc.find("Disk tools")] = 'R';
  WriteBytes(archive_, badCrc);
  EXPECT_EQ(ReadZipDescription(archive_, temp_).LineSuffix(), ";");

  std::string badMethod = whole;  // method 99 in the local and the central header
  badMethod[8] = 99;
  badMethod[badMethod.find("PK\x01\x02") + 10] = 99;
  WriteBytes(archive_, badMethod);
  EXPECT_EQ(ReadZipDescription(archive_, temp_).kind, Kind::kUnreadable);
  EXPECT_TRUE(Names(temp_).empty());

  // The copy cannot be written: no folder is created for it.
  WriteBytes(archive_, whole);
  EXPECT_EQ(ReadZipDescription(archive_, dir_ / "NoSuchFolder").kind, Kind::kUnreadable);
  EXPECT_FALSE(fs::exists(dir_ / "NoSuchFolder"));
}

TEST_F(ZipDescriptionTest, AnEncryptedMemberIsUnreadable) {
  if (!zip_encryption_method_supported(ZIP_EM_AES_256, 1))
    GTEST_SKIP() << "libzip built without AES";
  EXPECT_EQ(Read({{"README.TXT", "secret", ZIP_CM_DEFLATE, "pw"}}).kind, Kind::kUnreadable);
  EXPECT_TRUE(Names(temp_).empty());
}

// A member of any size made of one repeated byte, without holding it in memory.
struct RepeatedBytes {
  char byte;
  zip_uint64_t size;
  zip_uint64_t offset = 0;

  static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    auto* self = static_cast<RepeatedBytes*>(state);
    switch (cmd) {
      case ZIP_SOURCE_OPEN:
        self->offset = 0;
        return 0;
      case ZIP_SOURCE_READ: {
        const zip_uint64_t n = std::min(length, self->size - self->offset);
        std::fill_n(static_cast<char*>(data), n, self->byte);
        self->offset += n;
        return static_cast<zip_int64_t>(n);
      }
      case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = self->size;
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
      }
      case ZIP_SOURCE_ERROR: {
        zip_error_t none;
        zip_error_init(&none);
        return zip_error_to_data(&none, data, length);
      }
      case ZIP_SOURCE_CLOSE:
      case ZIP_SOURCE_FREE:
        return 0;
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
      default:
        return -1;
    }
  }
};

TEST_F(ZipDescriptionTest, OnlyTheBeginningOfALargeMemberIsRead) {
  RepeatedBytes huge{'A', zip_uint64_t{200} << 20};
  int error = 0;
  zip_t* zip = zip_open(archive_.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(zip, nullptr);
  zip_source_t* source = zip_source_function(zip, RepeatedBytes::Callback, &huge);
  ASSERT_GE(zip_file_add(zip, "README.TXT", source, 0), 0);
  ASSERT_EQ(zip_close(zip), 0);
  ASSERT_LT(fs::file_size(archive_), huge.size / 100);

  EXPECT_EQ(ReadZipDescription(archive_, temp_).text, std::string(255, 'A'));
  EXPECT_LT(fs::file_size(temp_ / "README.TXT"), 1u << 20);

  // Damage past the beginning goes unnoticed, since it is never read.
  std::string tail(1 << 20, 'B');
  MakeZip(archive_, {{"README.TXT", tail, ZIP_CM_STORE}});
  std::string bytes = ReadBytes(archive_);
  bytes[bytes.rfind('B')] = 'C';
  WriteBytes(archive_, bytes);
  EXPECT_EQ(ReadZipDescription(archive_, temp_).text, std::string(255, 'B'));
}

}  // namespace
}  // namespace zafirel
