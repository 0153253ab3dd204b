#include "scan/disc_image.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>

#include "scan/iso_image.h"
#include "scan/udf_image.h"

namespace zafirel {

std::unique_ptr<DiscImage> DiscImage::Open(const std::filesystem::path& file) {
  if (std::unique_ptr<DiscImage> udf = UdfImage::Open(file)) return udf;
  return IsoImage::Open(file);
}

bool DiscImage::OpenFile(const std::filesystem::path& file) {
  file_ = file;
  fd_ = std::make_shared<FileDescriptor>(
      FileDescriptor::Open(file, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd_->valid()) return false;
  struct stat info {};
  if (fstat(fd_->get(), &info) != 0) return false;
  fileBytes_ = static_cast<std::uint64_t>(info.st_size);
  // A disc in its drive reads as its image does.
  if (S_ISBLK(info.st_mode) && ioctl(fd_->get(), BLKGETSIZE64, &fileBytes_) != 0) return false;
  if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) return false;
  budget_ = std::make_shared<std::uint64_t>(fileBytes_ + kMaxFolderBytes);
  return true;
}

bool DiscImage::Spend(std::uint64_t size) const {
  if (size > *budget_) return false;
  *budget_ -= size;
  return true;
}

std::string DiscImage::ReadAt(std::uint64_t offset, std::size_t size) const {
  // Never more than the file holds from there: a crafted size costs nothing.
  if (offset >= fileBytes_) return {};
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, fileBytes_ - offset));
  std::string bytes(size, '\0');
  const ssize_t got = ReadAtOffset(fd_->get(), offset, bytes.data(), size);
  bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return bytes;
}

}  // namespace zafirel
