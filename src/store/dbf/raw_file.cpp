#include "store/dbf/raw_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <utility>

#include "store/dbf/dbf_error.h"
#include "util/file_change.h"
#include "util/folder_lock.h"

namespace zafirel::dbf {

namespace {

// Write counters by (device, inode): the program is single-threaded and the
// only writer of its tables, so a counter bumped at every write tells every
// open RawFile of that file that what it read may be stale.
std::uint64_t* WriteCounterOf(const struct stat& info) {
  static std::map<std::pair<dev_t, ino_t>, std::uint64_t> counters;
  return &counters[{info.st_dev, info.st_ino}];
}

// Microseconds of a clock cheap enough to read at every step of a walk: the
// coarse clock where it ticks at least every 4 ms, else the precise one.
std::int64_t NowMicroseconds() {
  static const clockid_t clock = [] {
    timespec resolution{};
    return ::clock_getres(CLOCK_MONOTONIC_COARSE, &resolution) == 0 && resolution.tv_sec == 0 &&
                   resolution.tv_nsec <= 4000000
               ? CLOCK_MONOTONIC_COARSE
               : CLOCK_MONOTONIC;
  }();
  timespec now{};
  ::clock_gettime(clock, &now);
  return std::int64_t{now.tv_sec} * 1000000 + now.tv_nsec / 1000;
}

std::uint64_t systemReads = 0;

// Every read this file asks of the system goes through here.
ssize_t ReadFromSystem(int fd, std::uint64_t offset, char* buffer, std::size_t size) {
  ++systemReads;
  return ReadAtOffset(fd, offset, buffer, size);
}

}  // namespace

std::uint64_t RawFile::SystemReads() { return systemReads; }

RawFile::RawFile(RawFile&& other) noexcept
    : fd_(std::move(other.fd_)),
      writable_(other.writable_),
      readOnlyCause_(other.readOnlyCause_),
      memory_(std::move(other.memory_)),
      writes_(std::exchange(other.writes_, nullptr)),
      cacheLimit_(other.cacheLimit_),
      fingerprintOffset_(other.fingerprintOffset_),
      fingerprintLength_(other.fingerprintLength_),
      statted_(other.statted_),
      stattedAt_(std::exchange(other.stattedAt_, INT64_MIN)),
      path_(std::move(other.path_)) {}

RawFile& RawFile::operator=(RawFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::move(other.fd_);
    writable_ = other.writable_;
    readOnlyCause_ = other.readOnlyCause_;
    memory_ = std::move(other.memory_);
    writes_ = std::exchange(other.writes_, nullptr);
    cacheLimit_ = other.cacheLimit_;
    fingerprintOffset_ = other.fingerprintOffset_;
    fingerprintLength_ = other.fingerprintLength_;
    statted_ = other.statted_;
    stattedAt_ = std::exchange(other.stattedAt_, INT64_MIN);
    path_ = std::move(other.path_);
  }
  return *this;
}

RawFile::~RawFile() { Close(); }

RawFile RawFile::Open(const std::filesystem::path& path) {
  RawFile file;
  file.path_ = path;
  file.fd_ = FileDescriptor::Open(path, O_RDWR | O_CLOEXEC);
  file.writable_ = file.fd_.valid();
  if (!file.fd_.valid() && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    file.readOnlyCause_ = errno;
    file.fd_ = FileDescriptor::Open(path, O_RDONLY | O_CLOEXEC);
  }
  if (!file.fd_.valid()) throw DbfError("No se puede abrir el archivo", path, errno);
  struct stat info {};
  if (::fstat(file.fd_.get(), &info) != 0 || !S_ISREG(info.st_mode))
    throw DbfError("No es un archivo normal", path);
  file.writes_ = WriteCounterOf(info);
  return file;
}

RawFile RawFile::InMemory(std::string bytes, std::filesystem::path name) {
  RawFile file;
  file.path_ = std::move(name);
  file.memory_ = std::make_shared<Memory>();
  file.memory_->bytes = std::move(bytes);
  file.writes_ = &file.memory_->writes;
  file.writable_ = true;
  return file;
}

void RawFile::Close() {
  fd_ = FileDescriptor();
  memory_.reset();
  writable_ = false;
  writes_ = nullptr;
  stattedAt_ = INT64_MIN;
  ReleaseArena();
  cacheValid_ = false;
}

std::uint64_t RawFile::Size() const {
  if (memory_) return memory_->bytes.size();
  struct stat info {};
  if (!fd_.valid() || ::fstat(fd_.get(), &info) != 0)
    throw DbfError("No se puede leer el archivo", path_, fd_.valid() ? errno : EBADF);
  return static_cast<std::uint64_t>(info.st_size);
}

bool RawFile::Replaced() const {
  if (memory_) return false;
  struct stat open {};
  struct stat named {};
  if (!fd_.valid() || ::fstat(fd_.get(), &open) != 0 || ::stat(path_.c_str(), &named) != 0)
    return false;
  return open.st_dev != named.st_dev || open.st_ino != named.st_ino;
}

RawFile::Version RawFile::CurrentVersion() const {
  if (memory_) return {WriteCount(), memory_->bytes.size(), 0, FolderLock::Epoch()};
  // Walking an order asks at every step: the file system is asked again only
  // after our own writes or once the clock has moved on.
  const std::int64_t now = NowMicroseconds();
  if (stattedAt_ != INT64_MIN && statted_.writes == WriteCount() &&
      statted_.epoch == FolderLock::Epoch() && now - stattedAt_ < 1000)
    return statted_;
  struct stat info {};
  if (!fd_.valid() || ::fstat(fd_.get(), &info) != 0)
    throw DbfError("No se puede leer el archivo", path_, fd_.valid() ? errno : EBADF);
  statted_ = {WriteCount(), static_cast<std::uint64_t>(info.st_size), Nanoseconds(info.st_mtim),
              FolderLock::Epoch()};
  stattedAt_ = now;
  return statted_;
}

// The pages held are good when no other RawFile wrote since they were read
// (the shared counter) and the file system shows no change by another
// program; otherwise they are dropped and read again as needed.
bool RawFile::CacheServes() const {
  if (cacheLimit_ == 0 || memory_) return false;
  // A lock taken since the pages were read means another program may have
  // written: they serve only while the fingerprint holds.
  if (cacheValid_ && cacheEpoch_ != FolderLock::Epoch()) {
    if (FingerprintHolds()) {
      cacheEpoch_ = FolderLock::Epoch();
      cacheStamp_ = CurrentVersion();
    } else {
      cacheValid_ = false;
    }
  }
  const Version now = CurrentVersion();
  if (cacheValid_ && cacheWrites_ == WriteCount()) {
    if (!cacheStamp_) cacheStamp_ = now;  // the first look after our own write
    if (*cacheStamp_ == now) return true;
  }
  DropPages();
  cacheValid_ = true;
  cacheEpoch_ = FolderLock::Epoch();
  cacheWrites_ = WriteCount();
  cacheStamp_ = now;
  return true;
}

void RawFile::DropPages() const {
  std::fill(pageLength_.begin(), pageLength_.end(), kNotHeld);
  windowLength_ = 0;
}

void RawFile::ReleaseArena() {
  if (arena_ != nullptr) ::munmap(arena_, pageLength_.size() * kCachePage);
  arena_ = nullptr;
  pageLength_.clear();
  std::string().swap(window_);
  windowLength_ = 0;
}

// The page's bytes as the file holds them (fewer at its end); nullopt when
// the page lies beyond the pages kept or cannot be read, so that the caller
// reads directly (and reports the error).
std::optional<std::string_view> RawFile::Page(std::uint64_t index) const {
  if (arena_ == nullptr) {
    // Address space for every page up to the limit, taken once; memory is
    // only used for the pages read.
    const std::size_t pages = static_cast<std::size_t>(cacheLimit_ / kCachePage);
    if (pages == 0) return std::nullopt;
    void* arena = ::mmap(nullptr, pages * kCachePage, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (arena == MAP_FAILED) return std::nullopt;
    arena_ = static_cast<char*>(arena);
    pageLength_.assign(pages, kNotHeld);
  }
  if (index >= pageLength_.size()) return std::nullopt;
  char* page = arena_ + index * kCachePage;
  if (pageLength_[index] == kNotHeld) {
    const ssize_t got = ReadFromSystem(fd_.get(), index * kCachePage, page, kCachePage);
    if (got < 0) return std::nullopt;
    pageLength_[index] = static_cast<std::uint32_t>(got);
  }
  return std::string_view(page, pageLength_[index]);
}

bool RawFile::FingerprintHolds() const {
  if (fingerprintLength_ == 0 || pageLength_.empty() || pageLength_[0] == kNotHeld ||
      fingerprintOffset_ + fingerprintLength_ > pageLength_[0])
    return false;
  std::string onDisc(fingerprintLength_, '\0');
  const ssize_t got = ReadFromSystem(fd_.get(), fingerprintOffset_, onDisc.data(), onDisc.size());
  return got == static_cast<ssize_t>(onDisc.size()) &&
         std::memcmp(onDisc.data(), arena_ + fingerprintOffset_, fingerprintLength_) == 0;
}

// Our own write goes into the pages held; a page the write would leave with
// a gap is dropped and read again when needed.
void RawFile::CacheWrite(std::uint64_t offset, const char* data, std::size_t n) {
  if (!cacheValid_ || cacheWrites_ + 1 != WriteCount()) {
    cacheValid_ = false;  // someone else wrote in between: read anew
    return;
  }
  // A write into the window's reach (the end of the file it saw included)
  // has it read again.
  if (windowLength_ > 0 && offset < windowStart_ + window_.size() && offset + n > windowStart_)
    windowLength_ = 0;
  for (std::size_t done = 0; done < n;) {
    const std::uint64_t at = offset + done;
    const std::uint64_t index = at / kCachePage;
    const std::size_t within = static_cast<std::size_t>(at % kCachePage);
    const std::size_t take = std::min(n - done, kCachePage - within);
    if (index < pageLength_.size() && pageLength_[index] != kNotHeld) {
      std::uint32_t& length = pageLength_[index];
      if (within > length) {
        length = kNotHeld;
      } else {
        std::memcpy(arena_ + index * kCachePage + within, data + done, take);
        length = std::max(length, static_cast<std::uint32_t>(within + take));
      }
    }
    done += take;
  }
  cacheWrites_ = WriteCount();
  cacheStamp_.reset();
}

std::size_t RawFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t n) const {
  if (memory_) {
    const std::string& bytes = memory_->bytes;
    if (offset >= bytes.size()) return 0;
    const std::size_t got = std::min<std::size_t>(n, bytes.size() - offset);
    std::memcpy(buffer, bytes.data() + offset, got);
    return got;
  }
  std::size_t done = 0;
  if (CacheServes()) {
    while (done < n) {
      const std::uint64_t at = offset + done;
      const std::optional<std::string_view> page = Page(at / kCachePage);
      if (!page) {
        // Past the pages kept: through the window (else directly below).
        std::size_t got = 0;
        if (arena_ != nullptr && at / kCachePage >= pageLength_.size() &&
            FromWindow(at, buffer + done, n - done, got))
          return done + got;
        break;
      }
      const std::size_t within = static_cast<std::size_t>(at % kCachePage);
      if (within >= page->size()) return done;  // the end of the file
      const std::size_t take = std::min(n - done, page->size() - within);
      std::memcpy(buffer + done, page->data() + within, take);
      done += take;
      if (page->size() < kCachePage) return done;
    }
    if (done == n) return done;
  }
  const ssize_t got = ReadFromSystem(fd_.get(), offset + done, buffer + done, n - done);
  if (got < 0) throw DbfError("No se puede leer el archivo", path_, errno);
  return done + static_cast<std::size_t>(got);
}

// Serves a read past the pages kept from the window, moving it when the
// read is not inside: a read running on past its end (a walk in file order)
// doubles its size, any other shrinks it back. False when the file cannot be read
// there (the caller reads directly and reports why).
bool RawFile::FromWindow(std::uint64_t offset, char* buffer, std::size_t n,
                         std::size_t& got) const {
  const bool inside =
      windowLength_ > 0 && offset >= windowStart_ &&
      (offset + n <= windowStart_ + windowLength_ || windowLength_ < window_.size());
  if (!inside) {
    const bool onward = windowLength_ > 0 && offset >= windowStart_ &&
                        offset < windowStart_ + windowLength_ + window_.size();
    windowSize_ = onward ? std::min(windowSize_ * 2, kMaxWindow) : kMinWindow;
    // Whole pieces of the window's size, so that a read never needs two.
    std::size_t size = windowSize_;
    while (size < n + kMinWindow) size *= 2;
    const std::uint64_t start = offset - offset % kMinWindow;
    window_.resize(size);
    const ssize_t read = ReadFromSystem(fd_.get(), start, window_.data(), size);
    if (read < 0) {
      windowLength_ = 0;
      return false;
    }
    windowStart_ = start;
    windowLength_ = static_cast<std::size_t>(read);
  }
  const std::uint64_t within = offset - windowStart_;
  got = within >= windowLength_ ? 0 : std::min<std::size_t>(n, windowLength_ - within);
  std::memcpy(buffer, window_.data() + within, got);
  return true;
}

void RawFile::Prefetch(std::uint64_t offset, std::size_t n) const {
  const std::uint64_t index = offset / kCachePage;
  if (arena_ == nullptr || index >= pageLength_.size() || pageLength_[index] == kNotHeld) return;
  const std::uint64_t end = std::min<std::uint64_t>(offset + n, (index + 1) * kCachePage);
  for (std::uint64_t at = offset; at < end; at += 64) __builtin_prefetch(arena_ + at);
}

std::size_t RawFile::ReadPassing(std::uint64_t offset, char* buffer, std::size_t n) const {
  if (memory_) return ReadAt(offset, buffer, n);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ReadFromSystem(fd_.get(), offset + done, buffer + done, n - done);
    if (got < 0) throw DbfError("No se puede leer el archivo", path_, errno);
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
  if (!writable_) throw DbfError("El archivo es de solo lectura", path_, readOnlyCause_);
  if (!MayChangeFile()) throw DbfError("No se puede escribir en el archivo", path_, errno);
  if (writes_) ++*writes_;  // before the write: a failed write still counts
  if (memory_) {
    std::string& bytes = memory_->bytes;
    // A file in memory grows as a real one would, but not by a leap a
    // damaged offset asks for.
    if (offset > bytes.size() + (std::uint64_t{64} << 20))
      throw DbfError("No se puede escribir en el archivo", path_);
    if (offset + n > bytes.size()) bytes.resize(offset + n, '\0');
    bytes.replace(offset, n, data, n);
    return;
  }
  std::size_t done = 0;
  while (done < n) {
    ssize_t put = ::pwrite(fd_.get(), data + done, n - done, static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      // A write of nothing without an error is the disc being full.
      const int cause = put < 0 ? errno : ENOSPC;
      cacheValid_ = false;
      throw DbfError("No se puede escribir en el archivo", path_, cause);
    }
    done += static_cast<std::size_t>(put);
  }
  CacheWrite(offset, data, n);
}

void RawFile::Truncate(std::uint64_t size) {
  if (!writable_) throw DbfError("El archivo es de solo lectura", path_, readOnlyCause_);
  if (!MayChangeFile()) throw DbfError("No se puede escribir en el archivo", path_, errno);
  if (writes_) ++*writes_;
  cacheValid_ = false;
  if (memory_) {
    if (size < memory_->bytes.size()) memory_->bytes.resize(size);
    return;
  }
  if (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0)
    throw DbfError("No se puede escribir en el archivo", path_, errno);
}

}  // namespace zafirel::dbf
