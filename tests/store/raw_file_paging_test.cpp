// Reading a file past the pages its cache keeps: in file order many records
// cost one read of the system, in any order the bytes are the file's, and
// the file's own writes (changes and appends) are seen at once.
#include <gtest/gtest.h>

#include <string>

#include "store/dbf/raw_file.h"
#include "test_support.h"

namespace zafirel::dbf {
namespace {
using testing::TempFolder;

constexpr std::size_t kRecord = 328;
constexpr std::uint64_t kKept = 64 << 10;  // one page kept; everything after it is past the cache

class RawFilePagingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (std::size_t i = 0; i < 3000; ++i) bytes_ += Record(i, 'a');
    testing::WriteBytes(folder_ / "T.DBF", bytes_);
    file_ = RawFile::Open(folder_ / "T.DBF");
    file_.SetReadCacheLimit(kKept);
  }
  static std::string Record(std::size_t i, char fill) {
    std::string record = std::to_string(i);
    record.resize(kRecord, fill);
    return record;
  }
  std::string Read(std::size_t i) const { return file_.ReadString(i * kRecord, kRecord); }

  TempFolder folder_;
  std::string bytes_;
  RawFile file_;
};

TEST_F(RawFilePagingTest, RecordsInFileOrderShareTheSystemsReads) {
  const std::uint64_t before = RawFile::SystemReads();
  for (std::size_t i = 0; i < 3000; ++i) {
    // A walk asks for the deletion mark and then for the record.
    char mark = 0;
    file_.ReadExactly(i * kRecord, &mark, 1);
    ASSERT_EQ(Read(i), Record(i, 'a'));
  }
  EXPECT_LT(RawFile::SystemReads() - before, 40u);
}

TEST_F(RawFilePagingTest, ReadsAnywhereSeeTheFileAndItsOwnWrites) {
  for (std::size_t i : {2999u, 700u, 701u, 5u, 2400u, 1999u}) EXPECT_EQ(Read(i), Record(i, 'a'));
  file_.WriteAt(2400 * kRecord, Record(2400, 'b'));
  EXPECT_EQ(Read(2400), Record(2400, 'b'));
  EXPECT_EQ(Read(2999), Record(2999, 'a'));
  // An append past the end the window saw.
  file_.WriteAt(3000 * kRecord, Record(3000, 'c'));
  EXPECT_EQ(Read(3000), Record(3000, 'c'));
  EXPECT_EQ(file_.ReadAt(3001 * kRecord, bytes_.data(), 10), 0u);
  std::string straddling(kRecord * 3, '\0');
  ASSERT_EQ(file_.ReadAt(199 * kRecord, straddling.data(), straddling.size()), straddling.size());
  EXPECT_EQ(straddling, Record(199, 'a') + Record(200, 'a') + Record(201, 'a'));
}

}  // namespace
}  // namespace zafirel::dbf
