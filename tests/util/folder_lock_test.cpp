// The data folder's locks between programs: a second program waits for the
// write lock and gives up with FolderBusy, one program nests its own, run
// claims are seen by every program and go with the program that held them.
#include "util/folder_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace zafirel {
namespace {

using namespace std::chrono_literals;

// Runs body in a child process that keeps running until the parent writes
// to the pipe; returns once body has run.
class OtherProgram {
 public:
  template <typename Body>
  explicit OtherProgram(Body body) {
    int ready[2], done[2];
    if (pipe(ready) != 0 || pipe(done) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      body();
      char c = 1;
      (void)!write(ready[1], &c, 1);
      (void)!read(done[0], &c, 1);
      _exit(0);
    }
    char c;
    (void)!read(ready[0], &c, 1);
    release_ = done[1];
  }
  ~OtherProgram() { End(); }
  void End() {
    if (pid_ <= 0) return;
    char c = 1;
    (void)!write(release_, &c, 1);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
};

TEST(FolderLockTest, AnotherProgramsLockMakesUsWaitThenGiveUp) {
  testing::TempFolder folder;
  {
    OtherProgram other([&] { new FolderLock(folder.Path()); });  // held until it ends
    EXPECT_THROW(FolderLock(folder.Path(), 100ms), FolderBusy);
    EXPECT_THROW(FolderLock(folder.Path(), 0ms), FolderBusy);  // one try, as readers make
    EXPECT_FALSE(FolderLock::HeldHere(folder.Path()));
  }
  // Once that program has ended, its lock is gone with it.
  FolderLock mine(folder.Path(), 100ms);
  EXPECT_TRUE(FolderLock::HeldHere(folder.Path()));
  const std::uint64_t epoch = FolderLock::Epoch();
  {
    FolderLock nested(folder.Path(), 0ms);  // our own lock nests
    EXPECT_EQ(FolderLock::Epoch(), epoch);
  }
  EXPECT_TRUE(FolderLock::HeldHere(folder.Path()));
}

TEST(FolderLockTest, RunClaimsAreSeenByEveryProgramWhileTheirRunLives) {
  testing::TempFolder folder;
  {
    OtherProgram other([&] {
      auto* claim = new RunClaim;
      if (!claim->Claim(folder.Path(), 7)) _exit(1);
    });
    EXPECT_TRUE(RunClaim::Claimed(folder.Path(), 7));
    EXPECT_FALSE(RunClaim::Claimed(folder.Path(), 8));
    RunClaim mine;
    EXPECT_FALSE(mine.Claim(folder.Path(), 7));
    EXPECT_TRUE(mine.Claim(folder.Path(), 8));
    EXPECT_TRUE(RunClaim::Claimed(folder.Path(), 8));  // our own, seen as any other
    // The write lock is another byte: a run does not keep others from writing.
    FolderLock lock(folder.Path(), 0ms);
  }
  EXPECT_FALSE(RunClaim::Claimed(folder.Path(), 7));
}

}  // namespace
}  // namespace zafirel
