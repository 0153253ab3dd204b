#include "util/file_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "test_support.h"
#include "util/file_handle.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

class FileWriterTest : public ::testing::Test {
 protected:
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
      names.insert(entry.path().filename().string());
    return names;
  }

  testing::TempFolder temp_;
  const fs::path dir_ = temp_.Path();
};

TEST_F(FileWriterTest, WritesAndReplacesWholeFiles) {
  const fs::path target = dir_ / "1.Ct";
  const std::string first = "D:\\A.TXT;1;25/12/2003;\r\n";
  ASSERT_TRUE(WriteFileAtomically(target, first));
  EXPECT_EQ(Read(target), first);

  ASSERT_TRUE(WriteFileAtomically(target, "x"));
  EXPECT_EQ(Read(target), "x");
  ASSERT_TRUE(WriteFileAtomically(target, ""));
  EXPECT_EQ(fs::file_size(target), 0u);
  EXPECT_EQ(Names(), std::set<std::string>{"1.Ct"});
}

TEST_F(FileWriterTest, ReplacingKeepsTheTargetsPermissions) {
  const fs::path target = dir_ / "Opcion.ini";
  ASSERT_TRUE(WriteFileAtomically(target, "old"));
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(WriteFileAtomically(target, "new"));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::mask,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FileWriterTest, MissingFolderIsAFailure) {
  EXPECT_FALSE(WriteFileAtomically(dir_ / "missing" / "1.Ind", "D:\\\r\n"));
  EXPECT_TRUE(Names().empty());
}

TEST_F(FileWriterTest, FailedRenameKeepsTheOldTargetAndNoTemporary) {
  // A folder in the target's place cannot be replaced by a file.
  const fs::path target = dir_ / "busy";
  fs::create_directory(target);
  std::ofstream(target / "inside") << "keep";
  EXPECT_FALSE(WriteFileAtomically(target, "new"));
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_EQ(Read(target / "inside"), "keep");
  EXPECT_EQ(Names(), std::set<std::string>{"busy"});
}

TEST_F(FileWriterTest, FailedWriteKeepsTheOldTargetAndNoTemporary) {
  const fs::path target = dir_ / "2.Ct";
  ASSERT_TRUE(WriteFileAtomically(target, "old contents"));

  // A file size limit makes the write itself fail, as a full disc would.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteFileAtomically(target, std::string(100000, 'n'));
  const int why = errno;  // the write's reason, not the clean-up's
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(why, EFBIG);
  EXPECT_EQ(Read(target), "old contents");
  EXPECT_EQ(Names(), std::set<std::string>{"2.Ct"});
}

TEST_F(FileWriterTest, ReadsWholeFilesWhateverSizeTheyReport) {
  std::string large;
  for (int i = 0; large.size() < 100000; ++i) large += std::to_string(i) + "\r\n";
  ASSERT_TRUE(WriteFileAtomically(dir_ / "large", large));
  EXPECT_EQ(ReadWholeFile(dir_ / "large"), large);
  ASSERT_TRUE(WriteFileAtomically(dir_ / "empty", ""));
  EXPECT_EQ(ReadWholeFile(dir_ / "empty"), "");

  // A pipe reports no size: what it holds is read all the same.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  FileDescriptor reading(ends[0]), writing(ends[1]);
  const std::string piped = large.substr(0, 20000);
  ASSERT_TRUE(WriteAll(writing.get(), piped.data(), piped.size()));
  ASSERT_TRUE(writing.Close());
  EXPECT_EQ(ReadWholeFile("/proc/self/fd/" + std::to_string(reading.get())), piped);

  // errno tells a missing file from one that is there but cannot be read.
  const bool missingRead = ReadWholeFile(dir_ / "missing").has_value();
  const int missingWhy = errno;
  const bool folderRead = ReadWholeFile(dir_).has_value();
  const int folderWhy = errno;
  EXPECT_FALSE(missingRead);
  EXPECT_EQ(missingWhy, ENOENT);
  EXPECT_FALSE(folderRead);
  EXPECT_NE(folderWhy, ENOENT);
}

}  // namespace
}  // namespace zafirel
