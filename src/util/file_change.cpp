#include "util/file_change.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "util/file_handle.h"

namespace zafirel {
namespace {

std::function<bool()>& Hook() {
  static std::function<bool()> hook;
  return hook;
}

std::uint64_t changes = 0;

}  // namespace

bool MayChangeFile() {
  ++changes;
  if (!Hook()) return true;
  // A refusal names a reason as the system's own failure would: the one
  // the hook set in errno, else an input/output error.
  errno = 0;
  if (Hook()()) return true;
  if (errno == 0) errno = EIO;
  return false;
}

void SetFileChangeHook(std::function<bool()> hook) { Hook() = std::move(hook); }

std::uint64_t FileChangesSoFar() { return changes; }

bool SyncDescriptor(int fd) {
  int result;
  do result = ::fdatasync(fd);
  while (result != 0 && errno == EINTR);
  // Some file systems (pipes, a few network ones) cannot flush: nothing to wait for.
  return result == 0 || errno == EINVAL || errno == EROFS;
}

bool SyncFolder(const std::filesystem::path& folder) {
  const FileDescriptor fd = FileDescriptor::Open(
      folder.empty() ? std::filesystem::path(".") : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (!fd.valid()) return false;
  int result;
  do result = ::fsync(fd.get());
  while (result != 0 && errno == EINTR);
  return result == 0 || errno == EINVAL || errno == EROFS;
}

bool RemoveFile(const std::filesystem::path& file) {
  if (!MayChangeFile()) return false;
  if (::unlink(file.c_str()) == 0) {
    (void)SyncFolder(file.parent_path());  // the removal stands even if the flush fails
    return true;
  }
  return errno == ENOENT;
}

bool RenameFile(const std::filesystem::path& from, const std::filesystem::path& to,
                bool flushFolder) {
  if (!MayChangeFile()) return false;
  if (std::rename(from.c_str(), to.c_str()) != 0) return false;
  return !flushFolder || SyncFolder(to.parent_path());
}

}  // namespace zafirel
