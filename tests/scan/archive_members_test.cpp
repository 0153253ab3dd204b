// Archive members listed from their headers: every format (written here by
// libarchive, a RAR laid out by hand, a CAB by gcab when installed), member
// paths that would climb out, damaged and encrypted archives, archives
// inside archives, the bounds; and the walker showing archives as folders.
#include "scan/archive_members.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "scan/drive_map.h"
#include "scan/find_file.h"
#include "test_support.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;

struct Member {
  std::string path;
  std::string data;  // a path ending in "/" is a folder
};

const std::vector<Member> kMembers = {{"README.TXT", "hola\n"},
                                      {"DOCS/", ""},
                                      {"DOCS/A.TXT", std::string(3000, 'a')},
                                      {"n;a.txt", "x"},
                                      {"../fuera.txt", "y"}};

// An archive written by libarchive: format and filter by name.
std::string Written(const char* format, const char* filter, const std::vector<Member>& members,
                    const char* options = nullptr, std::size_t capacity = 64u << 20) {
  std::string bytes(capacity, '\0');
  std::size_t used = 0;
  archive* a = archive_write_new();
  archive_write_set_format_by_name(a, format);
  if (filter != nullptr) archive_write_add_filter_by_name(a, filter);
  if (options != nullptr) {
    archive_write_set_options(a, options);
    archive_write_set_passphrase(a, "clave");
  }
  archive_write_open_memory(a, bytes.data(), bytes.size(), &used);
  for (const Member& m : members) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, m.path.c_str());
    const bool folder = m.path.back() == '/';
    archive_entry_set_filetype(e, folder ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, static_cast<la_int64_t>(m.data.size()));
    archive_entry_set_mtime(e, 946728000, 0);  // 2000-01-01 12:00 UTC
    archive_write_header(a, e);
    if (!m.data.empty()) archive_write_data(a, m.data.data(), m.data.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  bytes.resize(used);
  return bytes;
}

std::uint32_t Crc32(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put(std::string& s, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(value >> (8 * i));
}

// A RAR 4 archive of stored members, laid out by its header rules.
std::string Rar(const std::vector<Member>& members) {
  const auto block = [](std::string body) {  // from the type byte on; the CRC goes first
    std::string out;
    Put(out, Crc32(body) & 0xFFFF, 2);
    return out + body;
  };
  std::string rar = "Rar!\x1A\x07";
  rar += '\0';
  std::string main;
  Put(main, 0x73, 1), Put(main, 0, 2), Put(main, 13, 2), Put(main, 0, 6);
  rar += block(main);
  for (const Member& m : members) {
    if (m.path.back() == '/') continue;
    std::string file;
    Put(file, 0x74, 1), Put(file, 0x8000, 2), Put(file, 32 + m.path.size(), 2);
    Put(file, m.data.size(), 4), Put(file, m.data.size(), 4), Put(file, 0, 1);
    Put(file, Crc32(m.data), 4), Put(file, 0x28216000, 4), Put(file, 20, 1), Put(file, 0x30, 1);
    Put(file, m.path.size(), 2), Put(file, 0x20, 4);
    file += m.path;
    rar += block(file) + m.data;
  }
  std::string end;
  Put(end, 0x7B, 1), Put(end, 0x4000, 2), Put(end, 7, 2);
  return rar + block(end);
}

// "path size" of each member, folders ending in "/".
std::vector<std::string> Listed(const std::optional<std::vector<ArchiveMember>>& members) {
  std::vector<std::string> out;
  if (!members) return {"(unreadable)"};
  for (const ArchiveMember& m : *members) {
    std::string path;
    for (const std::string& part : m.path) path += (path.empty() ? "" : "/") + part;
    out.push_back(path + (m.folder ? "/" : " " + std::to_string(m.size)));
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct Format {
  const char* name;
  std::function<std::string()> make;
  bool folders;  // the format keeps folder entries
};

class ArchiveFormatTest : public ::testing::TestWithParam<Format> {};

TEST_P(ArchiveFormatTest, MembersComeFromTheHeadersAndStayInside) {
  testing::TempFolder folder;
  const std::string bytes = GetParam().make();
  ASSERT_FALSE(bytes.empty());
  // The archive at an offset inside a bigger file, as inside a disc image.
  WriteBytes(folder / "image", std::string(4096, 'p') + bytes + std::string(100, 'q'));
  const auto members = ListArchive({folder / "image", 4096, bytes.size()});
  std::vector<std::string> expected = {"DOCS/A.TXT 3000", "README.TXT 5", "fuera.txt 1",
                                       "n;a.txt 1"};
  if (GetParam().folders) expected.insert(expected.begin(), "DOCS/");
  EXPECT_EQ(Listed(members), expected);
  EXPECT_EQ(Listed(ListArchiveBytes(bytes)), expected);
  // A listing asked to stop (a stopped run) ends with nothing; one let go on
  // was asked at least once a member.
  int asked = 0;
  EXPECT_FALSE(ListArchive({folder / "image", 4096, bytes.size()}, [] { return false; }));
  EXPECT_TRUE(ListArchive({folder / "image", 4096, bytes.size()}, [&] { return ++asked > 0; }));
  EXPECT_GE(asked, 4);
  ASSERT_TRUE(members);
  if (std::string_view(GetParam().name) != "rar") {  // RAR keeps local time
    EXPECT_EQ(members->front().modified, 946728000);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EachFormat, ArchiveFormatTest,
    ::testing::Values(Format{"zip", [] { return Written("zip", nullptr, kMembers); }, true},
                      Format{"7z", [] { return Written("7zip", nullptr, kMembers); }, true},
                      Format{"tar", [] { return Written("pax", nullptr, kMembers); }, true},
                      Format{"tgz", [] { return Written("pax", "gzip", kMembers); }, true},
                      Format{"tbz2", [] { return Written("pax", "bzip2", kMembers); }, true},
                      Format{"txz", [] { return Written("pax", "xz", kMembers); }, true},
                      Format{"rar", [] { return Rar(kMembers); }, false}),
    [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

TEST(ArchiveMembersTest, CabinetsMadeByGcab) {
  if (::access("/usr/bin/gcab", X_OK) != 0) GTEST_SKIP() << "gcab is not installed";
  testing::TempFolder folder;
  WriteBytes(folder / "README.TXT", "hola\n");
  const std::string command = "cd '" + folder.Path().string() + "' && gcab -c pack.cab README.TXT";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(Listed(ListArchive({folder / "pack.cab", 0, fs::file_size(folder / "pack.cab")})),
            std::vector<std::string>{"README.TXT 5"});
}

TEST(ArchiveMembersTest, DamagedEncryptedAndBoundedArchives) {
  const std::string zip = Written("zip", nullptr, kMembers);
  EXPECT_FALSE(ListArchiveBytes("no soy un archivo"));
  EXPECT_FALSE(ListArchiveBytes(zip.substr(0, zip.size() / 2)));  // cut short
  EXPECT_FALSE(ListArchiveBytes(Written("zip", nullptr, kMembers, "zip:encryption=zipcrypt")));

  // More members than the bound: the first ones are listed, no more.
  std::vector<Member> many(kMaxArchiveMembers + 5, Member{"", ""});
  for (std::size_t i = 0; i < many.size(); ++i) many[i].path = "f" + std::to_string(i);
  const auto listed = ListArchiveBytes(Written("pax", "gzip", many, nullptr, 256u << 20));
  ASSERT_TRUE(listed);
  EXPECT_EQ(listed->size(), kMaxArchiveMembers);

  // A compressed stream that unpacks past the budget: the headers read so far stand.
  const std::vector<Member> bomb = {{"primero.txt", "1"},
                                    {"ceros.bin", std::string(kMaxUnpackedBytes + 1, '\0')},
                                    {"ultimo.txt", "2"}};
  EXPECT_EQ(Listed(ListArchiveBytes(Written("pax", "gzip", bomb))),
            (std::vector<std::string>{"ceros.bin " + std::to_string(kMaxUnpackedBytes + 1),
                                      "primero.txt 1"}));
}

TEST(ArchiveMembersTest, KnowsArchivesByTheirNames) {
  for (const char* name : {"A.ZIP", "b.7z", "c.rar", "d.tar", "e.TGZ", "f.tar.gz", "g.tar.bz2",
                           "h.tbz2", "i.tar.xz", "j.txz", "k.cab"})
    EXPECT_TRUE(IsArchiveName(name)) << name;
  for (const char* name : {"zip", ".zip", "a.gz", "a.zipx", "a.exe"})
    EXPECT_FALSE(IsArchiveName(name)) << name;
}

// The walker: an archive is a folder of its members after the folder's
// files, among its subfolders by name, with one level of archives inside;
// a damaged archive keeps its line alone.
TEST(ArchiveWalkTest, ArchivesAreFoldersOfTheirMembers) {
  testing::TempFolder folder;
  fs::create_directories(folder / "SW" / "Beta");
  WriteBytes(folder / "SW" / "Beta" / "b.txt", "b");
  std::vector<Member> outer = kMembers;
  outer.push_back({"INNER.ZIP", Written("zip", nullptr, {{"X.TXT", "x"}})});
  WriteBytes(folder / "SW" / "Alfa.zip", Written("zip", nullptr, outer));
  WriteBytes(folder / "SW" / "Roto.7z", "7z roto");
  DriveMap drives;
  drives.Map('T', folder.Path());
  TFindFile walker(drives);
  walker.Archives = true;
  walker.SetLocation("T:\\");
  std::vector<std::string> events;
  walker.OnNewFolder = [&](TFindFile&, const std::string& f, bool&) { events.push_back("F " + f); };
  walker.OnFound = [&](TFindFile&, const std::string& f, FileInfo& info) {
    events.push_back("  " + f + info.name);
  };
  walker.Execute();
  EXPECT_EQ(events, (std::vector<std::string>{
                        "F T:\\", "F T:\\SW\\", "  T:\\SW\\Alfa.zip", "  T:\\SW\\Roto.7z",
                        "F T:\\SW\\Alfa.zip\\", "  T:\\SW\\Alfa.zip\\fuera.txt",
                        "  T:\\SW\\Alfa.zip\\INNER.ZIP", "  T:\\SW\\Alfa.zip\\n_a.txt",
                        "  T:\\SW\\Alfa.zip\\README.TXT", "F T:\\SW\\Alfa.zip\\DOCS\\",
                        "  T:\\SW\\Alfa.zip\\DOCS\\A.TXT", "F T:\\SW\\Alfa.zip\\INNER.ZIP\\",
                        "  T:\\SW\\Alfa.zip\\INNER.ZIP\\X.TXT", "F T:\\SW\\Beta\\",
                        "  T:\\SW\\Beta\\b.txt"}));

  // Off, archives are files like any other.
  walker.Archives = false;
  events.clear();
  walker.Execute();
  EXPECT_EQ(events.size(), 6u);
}

}  // namespace
}  // namespace zafirel
