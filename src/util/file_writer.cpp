#include "util/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "util/file_change.h"
#include "util/file_handle.h"

namespace zafirel {
namespace {

// Creates the temporary file beside target, lets fill write it, then flushes
// and renames it over target. Any failure removes the temporary file.
template <typename Fill>
bool ReplaceThroughTemp(const std::filesystem::path& target, Fill&& fill, bool flush = true) {
  if (!MayChangeFile()) return false;
  errno = 0;
  std::string temp = target.string() + std::string(kTempMarker) + "XXXXXX";
  FileDescriptor file(mkstemp(temp.data()));
  if (!file.valid()) return false;
  const int fd = file.get();
  bool ok = fill(fd);
  // Keep the permissions an existing target had; mkstemp gives 0600.
  struct stat st {};
  if (ok && ::stat(target.c_str(), &st) == 0)
    ::fchmod(fd, st.st_mode & 07777);
  else if (ok)
    ::fchmod(fd, 0644);
  if (ok && flush) ok = SyncDescriptor(fd);
  if (!file.Close()) ok = false;
  if (ok) ok = RenameFile(temp, target, flush);
  if (!ok) {
    const int cause = errno != 0 ? errno : EIO;  // the step that failed, not the clean-up
    ::unlink(temp.c_str());
    errno = cause;
  }
  return ok;
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
  return ReplaceThroughTemp(
      target, [&](int fd) { return MayChangeFile() && WriteAll(fd, bytes.data(), bytes.size()); });
}

bool WriteTransientFile(const std::filesystem::path& target, std::string_view bytes) {
  return ReplaceThroughTemp(
      target, [&](int fd) { return MayChangeFile() && WriteAll(fd, bytes.data(), bytes.size()); },
      false);
}

bool WriteFileThrough(const std::filesystem::path& target, const std::function<bool(int fd)>& write,
                      bool flush) {
  return ReplaceThroughTemp(
      target, [&](int fd) { return MayChangeFile() && write(fd); }, flush);
}

bool CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target) {
  const FileDescriptor file = FileDescriptor::Open(source, O_RDONLY | O_CLOEXEC);
  if (!file.valid()) return false;
  const int from = file.get();
  struct stat info {};
  bool ok = ::fstat(from, &info) == 0 && S_ISREG(info.st_mode);
  if (ok) {
    ok = ReplaceThroughTemp(target, [&](int to) {
      char buffer[16384];
      for (;;) {
        const ssize_t n = ReadSome(from, buffer, sizeof buffer);
        if (n < 0) return false;
        if (n == 0) break;
        if (!MayChangeFile() || !WriteAll(to, buffer, static_cast<std::size_t>(n))) return false;
      }
      const struct timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
      ::futimens(to, times);
      return true;
    });
  }
  return ok;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
  const FileDescriptor file = FileDescriptor::Open(path, O_RDONLY | O_CLOEXEC);
  if (!file.valid()) return std::nullopt;
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return std::nullopt;
  // The system copies into a buffer that starts on a cache line much faster
  // than into a string's memory (see ReadBuffer), so a large file passes
  // through one and is copied on from there.
  constexpr std::size_t kLeast = 4096, kMost = std::size_t{256} << 10;
  const std::size_t size = info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
  std::string bytes;
  bytes.reserve(size);
  ReadBuffer buffer(std::clamp(size + 1, kLeast, kMost));
  for (;;) {
    const ssize_t n = ReadSome(file.get(), buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    bytes.append(buffer.data(), static_cast<std::size_t>(n));
  }
  return bytes;
}

bool IsLeftoverTempFile(std::string_view fileName) {
  const std::size_t at = fileName.rfind(kTempMarker);
  return at != std::string_view::npos && at > 0 && fileName.size() == at + kTempMarker.size() + 6;
}

}  // namespace zafirel
