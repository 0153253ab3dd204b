#include "util/file_handle.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace zafirel {
namespace {

// close() is never retried: Linux releases the descriptor even when it
// reports EINTR, and the number may already belong to another file.
void CloseKeepingErrno(int fd) {
  const int saved = errno;
  ::close(fd);
  errno = saved;
}

void CloseFolderKeepingErrno(DIR* dir) {
  const int saved = errno;
  ::closedir(dir);
  errno = saved;
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) CloseKeepingErrno(fd_);
    fd_ = other.release();
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) CloseKeepingErrno(fd_);
}

FileDescriptor FileDescriptor::Open(const std::filesystem::path& path, int flags, mode_t mode) {
  int fd;
  do fd = ::open(path.c_str(), flags, mode);
  while (fd < 0 && errno == EINTR);
  return FileDescriptor(fd);
}

int FileDescriptor::release() noexcept { return std::exchange(fd_, -1); }

bool FileDescriptor::Close() {
  const int fd = release();
  return fd < 0 || ::close(fd) == 0;
}

OpenFolder::OpenFolder(const std::filesystem::path& path) : dir_(::opendir(path.c_str())) {}

OpenFolder::OpenFolder(FileDescriptor folder) {
  if (!folder.valid()) return;
  dir_ = ::fdopendir(folder.get());
  if (dir_ != nullptr) (void)folder.release();  // closedir() closes it now
}

OpenFolder::OpenFolder(OpenFolder&& other) noexcept : dir_(std::exchange(other.dir_, nullptr)) {}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
  if (this != &other) {
    if (dir_ != nullptr) CloseFolderKeepingErrno(dir_);
    dir_ = std::exchange(other.dir_, nullptr);
  }
  return *this;
}

OpenFolder::~OpenFolder() {
  if (dir_ != nullptr) CloseFolderKeepingErrno(dir_);
}

ssize_t ReadSome(int fd, char* buffer, std::size_t size) {
  ssize_t n;
  do n = ::read(fd, buffer, size);
  while (n < 0 && errno == EINTR);
  return n;
}

ssize_t ReadAtOffset(int fd, std::uint64_t offset, char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, buffer + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;  // nothing taken and no error: the disc is full
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace zafirel
