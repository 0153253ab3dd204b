#include "util/folder_lock.h"

#include <fcntl.h>

#include <cerrno>
#include <map>
#include <thread>
#include <utility>

namespace zafirel {
namespace {

constexpr off_t kWriteByte = 0;
constexpr off_t kRunClaimBase = 16;

std::filesystem::path LockFileOf(const std::filesystem::path& folder) {
  return folder / kLockFileName;
}

// The lock file opened for reading and writing, created when missing; an
// empty owner when the folder cannot hold it.
FileDescriptor OpenLockFile(const std::filesystem::path& folder) {
  return FileDescriptor::Open(LockFileOf(folder), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
}

bool TryLock(int fd, off_t byte, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

struct Held {
  FileDescriptor fd;  // empty: the folder could not be locked, nothing to release
  int depth = 0;
};

std::map<std::string, Held>& HeldLocks() {
  static std::map<std::string, Held> held;
  return held;
}

std::uint64_t epoch = 0;

std::string KeyOf(const std::filesystem::path& folder) {
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(folder, ec);
  return (ec ? folder : canonical).string();
}

}  // namespace

FolderBusy::FolderBusy(const std::filesystem::path& folder)
    : std::runtime_error("Otro programa est\xE1 modificando los cat\xE1logos de " +
                         folder.string()) {}

FolderLock::FolderLock(const std::filesystem::path& folder, std::chrono::milliseconds wait)
    : key_(KeyOf(folder)) {
  Held& held = HeldLocks()[key_];
  if (held.depth > 0) {
    ++held.depth;
    return;
  }
  FileDescriptor fd = OpenLockFile(folder);
  if (fd.valid()) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!TryLock(fd.get(), kWriteByte, F_WRLCK)) {
      if ((errno != EAGAIN && errno != EACCES) || std::chrono::steady_clock::now() >= deadline) {
        HeldLocks().erase(key_);
        throw FolderBusy(folder);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  held.fd = std::move(fd);
  held.depth = 1;
  ++epoch;
}

FolderLock::~FolderLock() {
  auto it = HeldLocks().find(key_);
  if (it == HeldLocks().end()) return;
  if (--it->second.depth > 0) return;
  HeldLocks().erase(it);  // closing the lock file releases the lock
}

bool FolderLock::HeldHere(const std::filesystem::path& folder) {
  auto it = HeldLocks().find(KeyOf(folder));
  return it != HeldLocks().end() && it->second.depth > 0;
}

std::uint64_t FolderLock::Epoch() { return epoch; }

bool RunClaim::Claim(const std::filesystem::path& folder, std::uint64_t number) {
  Release();
  FileDescriptor fd = OpenLockFile(folder);
  if (!fd.valid()) {
    unlocked_ = true;
    return true;
  }
  if (!TryLock(fd.get(), kRunClaimBase + static_cast<off_t>(number), F_WRLCK)) return false;
  fd_ = std::move(fd);
  return true;
}

void RunClaim::Release() {
  fd_ = FileDescriptor();
  unlocked_ = false;
}

bool RunClaim::Claimed(const std::filesystem::path& folder, std::uint64_t number) {
  const FileDescriptor fd = FileDescriptor::Open(LockFileOf(folder), O_RDONLY | O_CLOEXEC);
  if (!fd.valid()) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kRunClaimBase + static_cast<off_t>(number);
  lock.l_len = 1;
  return ::fcntl(fd.get(), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

}  // namespace zafirel
