#include "util/file_handle.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "test_support.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// Numbers are handed out lowest first, so a descriptor closed twice would
// close whatever file took its number in between: each case reopens the
// number and checks the new file survives the owner that let it go.
class FileHandleTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteBytes(file_, "contents"); }
  int OpenFile() const { return ::open(file_.c_str(), O_RDONLY | O_CLOEXEC); }

  testing::TempFolder temp_;
  const fs::path file_ = temp_ / "file.txt";
};

TEST_F(FileHandleTest, MovedFromOwnersCloseNothing) {
  const int number = OpenFile();
  ASSERT_GE(number, 0);
  FileDescriptor kept;
  {
    FileDescriptor first(number);
    kept = std::move(first);
    EXPECT_FALSE(first.valid());
    FileDescriptor second(std::move(kept));
    kept = std::move(second);
  }
  EXPECT_TRUE(IsOpen(number));
  EXPECT_EQ(kept.get(), number);

  // Taking another descriptor closes the one held before.
  kept = FileDescriptor(OpenFile());
  EXPECT_FALSE(IsOpen(number));
  EXPECT_NE(kept.get(), number);
}

TEST_F(FileHandleTest, CloseReportsAndTheOwnerIsEmptyAfter) {
  FileDescriptor file(OpenFile());
  const int number = file.get();
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(file.valid());
  EXPECT_TRUE(file.Close());  // nothing left to close

  // A number that is open no more: close() fails, and that is reported.
  FileDescriptor stale(number);
  EXPECT_FALSE(stale.Close());
  const FileDescriptor reused(OpenFile());
  ASSERT_EQ(reused.get(), number);
  stale = FileDescriptor();
  EXPECT_TRUE(IsOpen(number));
}

TEST_F(FileHandleTest, AListingAdoptsAFolderDescriptorAndClosesAnyOtherOnce) {
  const int number = OpenFile();
  FileDescriptor reused;
  {
    const OpenFolder notAFolder{FileDescriptor(number)};
    EXPECT_FALSE(notAFolder.valid());
    EXPECT_FALSE(IsOpen(number));
    reused = FileDescriptor(OpenFile());
    ASSERT_EQ(reused.get(), number);
  }
  EXPECT_TRUE(IsOpen(number));

  const int folder = ::open(temp_.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(folder, 0);
  {
    OpenFolder listing{FileDescriptor(folder)};
    ASSERT_TRUE(listing.valid());
    const OpenFolder moved = std::move(listing);
    EXPECT_FALSE(listing.valid());
    std::string names;
    while (const dirent* entry = ::readdir(moved.get()))
      if (entry->d_name[0] != '.') names += entry->d_name;
    EXPECT_EQ(names, "file.txt");
    EXPECT_TRUE(IsOpen(folder));
  }
  EXPECT_FALSE(IsOpen(folder));
}

}  // namespace
}  // namespace zafirel
