#include "store/dbf/raw_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "store/dbf/dbf_error.h"

namespace zafirel::dbf {

RawFile::RawFile(RawFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      writable_(other.writable_),
      path_(std::move(other.path_)) {}

RawFile& RawFile::operator=(RawFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    writable_ = other.writable_;
    path_ = std::move(other.path_);
  }
  return *this;
}

RawFile::~RawFile() { Close(); }

RawFile RawFile::Open(const std::filesystem::path& path) {
  RawFile file;
  file.path_ = path;
  file.fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  file.writable_ = file.fd_ >= 0;
  if (file.fd_ < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
    file.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.fd_ < 0) throw DbfError("No se puede abrir el archivo", path);
  struct stat info {};
  if (::fstat(file.fd_, &info) != 0 || !S_ISREG(info.st_mode))
    throw DbfError("No es un archivo normal", path);
  return file;
}

void RawFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  writable_ = false;
}

std::uint64_t RawFile::Size() const {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) throw DbfError("No se puede leer el archivo", path_);
  return static_cast<std::uint64_t>(info.st_size);
}

std::size_t RawFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t n) const {
  std::size_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(fd_, buffer + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw DbfError("No se puede leer el archivo", path_);
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

void RawFile::ReadExactly(std::uint64_t offset, char* buffer, std::size_t n) const {
  if (ReadAt(offset, buffer, n) != n) throw DbfError("El archivo est\xE1 truncado", path_);
}

std::string RawFile::ReadString(std::uint64_t offset, std::size_t n) const {
  std::string bytes(n, '\0');
  ReadExactly(offset, bytes.data(), n);
  return bytes;
}

void RawFile::WriteAt(std::uint64_t offset, const char* data, std::size_t n) {
  if (!writable_) throw DbfError("El archivo es de solo lectura", path_);
  std::size_t done = 0;
  while (done < n) {
    ssize_t put = ::pwrite(fd_, data + done, n - done, static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) throw DbfError("No se puede escribir en el archivo", path_);
    done += static_cast<std::size_t>(put);
  }
}

}  // namespace zafirel::dbf
