#include "store/dbf/mdx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "store/dbf/dbf_error.h"
#include "test_support.h"
#include "util/bytes.h"
#include "util/text.h"

namespace zafirel::dbf {
namespace {

using Entry = MdxTag::Entry;
using zafirel::testing::ReadBytes;
using zafirel::testing::RunCommand;
using zafirel::testing::TempFolder;
using zafirel::testing::WriteBytes;

mdx::TagInfo CharTag(std::string name, int length, bool unique = false) {
  mdx::TagInfo tag;
  tag.tableName = "CDROM";
  tag.tagName = std::move(name);
  tag.expression = "Album";
  tag.keyType = 'C';
  tag.keyLength = static_cast<std::uint16_t>(length);
  tag.unique = unique;
  return tag;
}

std::string Pad(std::string text, std::size_t length) {
  text.resize(length, ' ');
  return text;
}

// Perl's XBase::Index walking the tag: one (key, record) per line.
std::vector<Entry> PerlEntries(const std::filesystem::path& file, const std::string& tag) {
  const std::string out = RunCommand(
      "perl -MXBase::Index -e '$i=XBase::Index->new($ARGV[0], tag=>$ARGV[1]) or die; "
      "$i->prepare_select; while(my @r=$i->fetch){print \"$r[0]\\t$r[1]\\n\"}' '" +
      file.string() + "' " + tag + " 2>/dev/null");
  std::vector<Entry> entries;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = out.substr(start, end - start);
    const std::size_t tab = line.rfind('\t');
    entries.push_back(
        Entry{line.substr(0, tab), static_cast<std::uint32_t>(std::stoul(line.substr(tab + 1)))});
  }
  return entries;
}

std::vector<Entry> Padded(std::vector<Entry> entries, std::size_t length) {
  for (Entry& e : entries) e.key = Pad(e.key, length);
  return entries;
}

TEST(MdxFormatTest, NumericKeysHaveTheBcdFormAndSortByValue) {
  auto bytes = [](std::initializer_list<int> head) {
    std::string key(12, '\0');
    std::size_t i = 0;
    for (int b : head) key[i++] = static_cast<char>(b);
    return key;
  };
  EXPECT_EQ(mdx::EncodeNumericKey(0), bytes({0x34, 0x01}));
  EXPECT_EQ(mdx::EncodeNumericKey(1), bytes({0x35, 0x05, 0x10}));
  EXPECT_EQ(mdx::EncodeNumericKey(10), bytes({0x36, 0x05, 0x10}));
  EXPECT_EQ(mdx::EncodeNumericKey(100), bytes({0x37, 0x05, 0x10}));
  EXPECT_EQ(mdx::EncodeNumericKey(123), bytes({0x37, 0x0D, 0x12, 0x30}));
  EXPECT_EQ(mdx::EncodeNumericKey(-5), bytes({0x35, 0x85, 0x50}));
  EXPECT_EQ(mdx::EncodeNumericKey(2.5), bytes({0x35, 0x09, 0x25}));
  EXPECT_EQ(mdx::EncodeNumericKey(20.50), bytes({0x36, 0x0D, 0x20, 0x50}));
  EXPECT_EQ(mdx::EncodeNumericKey(0.05), bytes({0x33, 0x05, 0x50}));
  // Fifteen digits, the most a whole number is written with as it is.
  EXPECT_EQ(mdx::EncodeNumericKey(123456789012345.0),
            bytes({0x43, 0x3D, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x34, 0x50}));
  const std::vector<double> ascending = {-1000, -5, -2.5, -0.05, 0,   0.05, 0.5, 1,
                                         2.5,   10, 20.5, 99,    100, 123,  1e9};
  for (std::size_t i = 0; i + 1 < ascending.size(); ++i) {
    EXPECT_LT(mdx::CompareKeys(mdx::EncodeNumericKey(ascending[i]),
                               mdx::EncodeNumericKey(ascending[i + 1]), 'N'),
              0)
        << ascending[i];
  }
}

TEST(MdxTest, FreshEmptyTagHasTheStandardLayout) {
  TempFolder dir;
  MdxTag::Build(dir / "Album.Mdx", CharTag("Album", 40), {});
  const std::string file = ReadBytes(dir / "Album.Mdx");
  ASSERT_EQ(file.size(), 8u * 512);
  const auto* p = reinterpret_cast<const unsigned char*>(file.data());
  EXPECT_EQ(bytes::GetU32(p + 32), 8u);
  EXPECT_EQ(bytes::GetU32(p + 2048), 6u);       // root
  EXPECT_EQ(bytes::GetU16(p + 2048 + 14), 23);  // keys per node for 40-byte keys
  EXPECT_EQ(bytes::GetU16(p + 2048 + 18), 44);
  MdxTag tag = MdxTag::Open(dir / "Album.Mdx");
  EXPECT_TRUE(tag.Entries().empty());
  EXPECT_EQ(tag.First(10), 0u);
  EXPECT_EQ(tag.Last(10), 0u);
  EXPECT_TRUE(PerlEntries(dir / "Album.Mdx", "Album").empty());
}

TEST(MdxTest, UniqueTagKeepsTheFirstRecordOfEachKey) {
  TempFolder dir;
  const std::vector<std::string> albums = {"Juegos", "JUEGOS", "", "Musica", "juegos", ""};
  std::vector<Entry> upper, plain;
  for (std::uint32_t r = 1; r <= albums.size(); ++r) {
    upper.push_back(Entry{UpperAnsi(albums[r - 1]), r});
    plain.push_back(Entry{albums[r - 1], r});
  }
  MdxTag::Build(dir / "AlbumUn.Mdx", CharTag("AlbumUn", 40, true), upper);
  MdxTag::Build(dir / "Album.Mdx", CharTag("Album", 40), plain);
  const std::vector<Entry> unique = {
      {Pad("", 40), 3}, {Pad("JUEGOS", 40), 1}, {Pad("MUSICA", 40), 4}};
  EXPECT_EQ(MdxTag::Open(dir / "AlbumUn.Mdx").Entries(), unique);
  EXPECT_EQ(Padded(PerlEntries(dir / "AlbumUn.Mdx", "AlbumUn"), 40), unique);
  EXPECT_EQ(MdxTag::Open(dir / "Album.Mdx").Entries().size(), 6u);

  // Incrementally the same: a later record of a present key is not added.
  MdxTag tag = MdxTag::Open(dir / "AlbumUn.Mdx");
  EXPECT_FALSE(tag.Insert("JUEGOS", 7));
  EXPECT_TRUE(tag.Insert("ROCK", 8));
  EXPECT_TRUE(tag.Remove("JUEGOS", 1));
  EXPECT_TRUE(tag.Insert("JUEGOS", 2));
  EXPECT_EQ(tag.Seek("JUEGOS")->recNo, 2u);
}

TEST(MdxTest, WalksInKeyOrderWithinARangeAndTheRecordCount) {
  TempFolder dir;
  // Album (10 wide) + title: the album filter's prefix is the padded album.
  std::vector<Entry> entries = {{"ROCK      b", 1}, {"JAZZ      a", 2}, {"ROCK      a", 3},
                                {"ROCKABILLYz", 4}, {"ROCK      a", 5}, {"ZEN       a", 6}};
  MdxTag::Build(dir / "Filtro.Mdx", CharTag("Filtro", 20), entries);
  MdxTag tag = MdxTag::Open(dir / "Filtro.Mdx");
  tag.SetKeySource([&](std::uint32_t r) -> std::optional<std::string> {
    return r >= 1 && r <= entries.size() ? std::optional(entries[r - 1].key) : std::nullopt;
  });
  auto walk = [&](bool forward, std::uint32_t count) {
    std::vector<std::uint32_t> seen;
    for (std::uint32_t r = forward ? tag.First(count) : tag.Last(count); r != 0;
         r = forward ? tag.After(r, count) : tag.Before(r, count))
      seen.push_back(r);
    return seen;
  };
  EXPECT_EQ(walk(true, 6), (std::vector<std::uint32_t>{2, 3, 5, 1, 4, 6}));
  EXPECT_EQ(walk(false, 6), (std::vector<std::uint32_t>{6, 4, 1, 5, 3, 2}));
  EXPECT_EQ(walk(true, 4), (std::vector<std::uint32_t>{2, 3, 1, 4}));
  tag.SetRange("ROCK      ");
  EXPECT_EQ(walk(true, 6), (std::vector<std::uint32_t>{3, 5, 1}));
  EXPECT_EQ(walk(false, 6), (std::vector<std::uint32_t>{1, 5, 3}));
  tag.SetRange("BLUES     ");
  EXPECT_EQ(tag.First(6), 0u);
  EXPECT_EQ(tag.Last(6), 0u);
  // Without a key source the record is looked for in the tag itself.
  tag.SetRange(std::nullopt);
  tag.SetKeySource(nullptr);
  EXPECT_EQ(tag.After(5, 6), 1u);
  EXPECT_EQ(tag.Before(3, 6), 2u);
}

// A few thousand changes on keys that share values, checked against a model
// and against Perl's reader, which walks the nodes its own way.
void MixedChanges(const mdx::TagInfo& info, const std::function<std::string(int)>& keyOf) {
  TempFolder dir;
  const std::filesystem::path file = dir / (info.tagName + ".Mdx");
  MdxTag::Build(file, info, {});
  MdxTag tag = MdxTag::Open(file);
  std::mt19937 random(7);
  std::vector<Entry> model;
  auto less = [&](const Entry& a, const Entry& b) {
    const int c = mdx::CompareKeys(a.key, b.key, info.keyType);
    return c != 0 ? c < 0 : a.recNo < b.recNo;
  };
  auto check = [&](const char* stage) {
    std::sort(model.begin(), model.end(), less);
    ASSERT_EQ(MdxTag::Open(file).Entries(), model) << stage;
    // Perl gives numeric keys as their raw 12 bytes, character keys trimmed.
    ASSERT_EQ(Padded(PerlEntries(file, info.tagName), info.keyLength), model) << stage;
  };
  std::uint32_t next = 1;
  for (int step = 0; step < 6000; ++step) {
    const bool insert = model.empty() || random() % 100 < (step < 3000 ? 70 : 35);
    if (insert) {
      Entry e{tag.StoredKey(keyOf(static_cast<int>(random() % 60))), next++};
      ASSERT_TRUE(tag.Insert(e.key, e.recNo));
      model.push_back(e);
    } else {
      const std::size_t i = random() % model.size();
      ASSERT_TRUE(tag.Remove(model[i].key, model[i].recNo));
      EXPECT_FALSE(tag.Remove(model[i].key, model[i].recNo));
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (step == 2999) check("after growing");
  }
  check("after shrinking");
  while (model.size() > 3) {
    const std::size_t i = random() % model.size();
    ASSERT_TRUE(tag.Remove(model[i].key, model[i].recNo));
    model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
  }
  check("nearly empty");
}

TEST(MdxTest, MixedInsertsAndRemovesKeepAValidTreeOfCharacterKeys) {
  MixedChanges(CharTag("Album", 40), [](int v) { return "Album " + std::to_string(v % 37); });
}

TEST(MdxTest, MixedInsertsAndRemovesKeepAValidTreeOfLongKeys) {
  MixedChanges(CharTag("Filtro", 100), [](int v) { return std::string(60, 'A' + v % 26) + "x"; });
}

TEST(MdxTest, MixedInsertsAndRemovesKeepAValidTreeOfNumericKeys) {
  mdx::TagInfo info = CharTag("Auto", 12);
  info.keyType = 'N';
  info.expression = "Auto";
  MixedChanges(info, [](int v) { return mdx::EncodeNumericKey((v % 41 - 20) * 2.5); });
}

TEST(MdxTest, BuiltTreeOfManyKeysReadsTheSameEverywhere) {
  TempFolder dir;
  std::vector<Entry> entries;
  for (std::uint32_t r = 1; r <= 3000; ++r)
    entries.push_back(Entry{Pad("T" + std::to_string(r * 7919 % 500), 40), r});
  MdxTag::Build(dir / "Titulo.Mdx", CharTag("Titulo", 40), entries);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.key != b.key ? a.key < b.key : a.recNo < b.recNo;
  });
  MdxTag tag = MdxTag::Open(dir / "Titulo.Mdx");
  EXPECT_EQ(tag.Entries(), entries);
  EXPECT_EQ(Padded(PerlEntries(dir / "Titulo.Mdx", "Titulo"), 40), entries);
  EXPECT_EQ(tag.Seek("T42")->key, Pad("T42", 40));
  EXPECT_EQ(tag.Seek(Pad("T42", 40), 5000)->key, Pad("T420", 40));
  EXPECT_FALSE(tag.Seek("U").has_value());
}

// Keys that share long beginnings and repeat often, with bytes above 127 and
// a length that is no multiple of eight, come out in byte order, then record.
TEST(MdxTest, BuiltTreeOrdersLongSharedKeysByTheirBytes) {
  TempFolder dir;
  std::vector<Entry> entries;
  for (std::uint32_t r = 3000; r >= 1; --r)
    entries.push_back(Entry{
        Pad(std::string(13, 'x') + (r % 2 ? "\xD1" : "N") + std::to_string(r * 7919 % 50), 41), r});
  MdxTag::Build(dir / "Titulo.Mdx", CharTag("Titulo", 41), entries);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.key != b.key ? a.key < b.key : a.recNo < b.recNo;
  });
  EXPECT_EQ(MdxTag::Open(dir / "Titulo.Mdx").Entries(), entries);
}

class MdxDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<Entry> entries;
    for (std::uint32_t r = 1; r <= 200; ++r) entries.push_back(Entry{std::to_string(r), r});
    MdxTag::Build(file_, CharTag("Album", 40), entries);
    bytes_ = ReadBytes(file_);
  }
  std::uint32_t Root() const {
    return bytes::GetU32(reinterpret_cast<const unsigned char*>(bytes_.data()) + 2048);
  }
  void Expect(const char* what, const std::string& damaged) {
    WriteBytes(file_, damaged);
    EXPECT_THROW(MdxTag::Open(file_), DbfError) << what;
  }
  void PutU32(std::string& s, std::size_t offset, std::uint32_t v) {
    bytes::PutU32(reinterpret_cast<unsigned char*>(s.data()) + offset, v);
  }
  TempFolder dir_;
  std::filesystem::path file_ = dir_ / "Album.Mdx";
  std::string bytes_;
};

TEST_F(MdxDamageTest, RefusesDamagedFiles) {
  ASSERT_NO_THROW(MdxTag::Open(file_));
  Expect("truncated", bytes_.substr(0, bytes_.size() - 1024));
  Expect("headers cut", bytes_.substr(0, 1000));
  Expect("empty", "");
  std::string s = bytes_;
  PutU32(s, 2048, 4000);
  Expect("root past the end", s);
  s = bytes_;
  PutU32(s, Root() * 512 + 8, 4000);
  Expect("child past the end", s);
  s = bytes_;
  PutU32(s, Root() * 512 + 8, Root());
  Expect("cycle", s);
  s = bytes_;
  s.replace(Root() * 512 + 12, 3, "0  ");
  Expect("inner key below its child's keys", s);
  s = bytes_;
  PutU32(s, 6 * 512, 24);
  Expect("more keys than a node holds", s);
  s = bytes_;
  s[2048 + 18] = 40;
  Expect("wrong item length", s);
  s = bytes_;
  s[23] = 2;  // 512
  Expect("512-byte blocks", s);
}

TEST_F(MdxDamageTest, DamageAfterOpeningIsAnErrorNotACrash) {
  MdxTag tag = MdxTag::Open(file_);
  std::string s = bytes_;
  PutU32(s, Root() * 512 + 8, Root());
  WriteBytes(file_, s);
  EXPECT_THROW(tag.Insert("1", 999), DbfError);
  EXPECT_THROW(tag.Entries(), DbfError);
  WriteBytes(file_, bytes_.substr(0, 4096));
  EXPECT_THROW(tag.First(200), DbfError);
}

}  // namespace
}  // namespace zafirel::dbf
