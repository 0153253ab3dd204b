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
  StreamedFile file(target);
  if (!file.ok()) return false;
  if (!fill(file.fd())) {
    const int cause = errno != 0 ? errno : EIO;
    file.Discard();
    errno = cause;
    return false;
  }
  return file.Commit(flush);
}

}  // namespace

namespace {
constexpr std::size_t kStreamBuffer = std::size_t{256} << 10;
}  // namespace

StreamedFile::StreamedFile(std::filesystem::path target, std::filesystem::path working)
    : target_(std::move(target)), working_(std::move(working)) {
  if (!MayChangeFile()) {
    Fail(errno);
    return;
  }
  errno = 0;
  if (working_.empty()) {
    std::string temp = target_.string() + std::string(kTempMarker) + "XXXXXX";
    file_ = FileDescriptor(mkstemp(temp.data()));
    working_ = temp;
  } else {
    file_ = FileDescriptor::Open(working_, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  }
  if (!file_.valid()) {
    working_.clear();
    Fail(errno);
    return;
  }
  error_ = 0;
}

StreamedFile& StreamedFile::operator=(StreamedFile&& other) noexcept {
  if (this != &other) {
    Discard();
    target_ = std::move(other.target_);
    working_ = std::move(other.working_);
    file_ = std::move(other.file_);
    buffer_ = std::move(other.buffer_);
    bytes_ = other.bytes_;
    error_ = other.error_;
    other.working_.clear();
    other.error_ = EBADF;
  }
  return *this;
}

void StreamedFile::Fail(int cause) {
  if (error_ == 0 || error_ == EBADF) error_ = cause != 0 ? cause : EIO;
}

void StreamedFile::Append(std::string_view piece) {
  if (!ok()) return;
  bytes_ += piece.size();
  if (buffer_.capacity() < kStreamBuffer) buffer_.reserve(kStreamBuffer);
  if (buffer_.size() + piece.size() > kStreamBuffer && !Flush()) return;
  if (piece.size() >= kStreamBuffer) {
    if (!MayChangeFile() || !WriteAll(file_.get(), piece.data(), piece.size())) Fail(errno);
    return;
  }
  buffer_.append(piece);
}

bool StreamedFile::Flush() {
  if (!ok()) return false;
  if (buffer_.empty()) return true;
  if (!MayChangeFile() || !WriteAll(file_.get(), buffer_.data(), buffer_.size())) {
    Fail(errno);
    return false;
  }
  buffer_.clear();
  return true;
}

bool StreamedFile::Commit(bool flush) {
  bool done = Flush();
  if (done) {
    const int fd = file_.get();
    // Keep the permissions an existing target had; a new one gets 0644.
    struct stat st {};
    ::fchmod(fd, ::stat(target_.c_str(), &st) == 0 ? st.st_mode & 07777 : 0644);
    if (flush && !SyncDescriptor(fd)) Fail(errno);
    if (!file_.Close()) Fail(errno);
    if (ok() && !RenameFile(working_, target_, flush)) Fail(errno);
    done = ok();
  }
  if (done) {
    working_.clear();
    error_ = EBADF;  // spent
    return true;
  }
  const int cause = error_;
  Discard();
  errno = cause;
  return false;
}

void StreamedFile::Discard() {
  const int saved = errno;
  (void)file_.Close();
  if (!working_.empty()) ::unlink(working_.c_str());
  working_.clear();
  buffer_.clear();
  errno = saved;
}

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
  return ReplaceThroughTemp(
      target, [&](int fd) { return MayChangeFile() && WriteAll(fd, bytes.data(), bytes.size()); });
}

bool WriteTransientFile(const std::filesystem::path& target, std::string_view bytes) {
  return ReplaceThroughTemp(
      target, [&](int fd) { return MayChangeFile() && WriteAll(fd, bytes.data(), bytes.size()); },
      false);
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
