#include "store/index_stamp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>
#include <system_error>

#include "store/dbf/table_header.h"
#include "util/bytes.h"
#include "util/file_handle.h"
#include "util/file_writer.h"
#include "util/folder_lock.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

constexpr const char kStampMagic[] = "Zafirel index stamp 1";
// Small enough that what was read is still in the cache when it is hashed.
constexpr std::size_t kReadChunk = std::size_t{256} << 10;

std::uint64_t Mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}

// The file system's facts of an open file and its header; nullopt when it
// is not a table (too short for its own header).
std::optional<TableImage> ReadFacts(int fd, std::uint32_t* recordCount,
                                    std::uint16_t* recordLength) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  TableImage image;
  image.device = info.st_dev;
  image.inode = info.st_ino;
  image.size = static_cast<std::uint64_t>(info.st_size);
  image.modifiedNs = Nanoseconds(info.st_mtim);
  image.changedNs = Nanoseconds(info.st_ctim);
  char prefix[dbf::kHeaderPrefix];
  if (ReadAtOffset(fd, 0, prefix, sizeof prefix) != static_cast<ssize_t>(sizeof prefix))
    return std::nullopt;
  const std::size_t headerLength = bytes::GetU16(prefix + 8);
  if (headerLength < dbf::kHeaderPrefix || headerLength > image.size) return std::nullopt;
  image.header.resize(headerLength);
  if (ReadAtOffset(fd, 0, image.header.data(), headerLength) != static_cast<ssize_t>(headerLength))
    return std::nullopt;
  image.header[dbf::kInDoubtOffset] = 0;
  if (recordCount) *recordCount = bytes::GetU32(prefix + 4);
  if (recordLength) *recordLength = bytes::GetU16(prefix + 10);
  return image;
}

// Facts, header and the digest of every record present that the header counts.
std::optional<TableImage> ReadImage(const fs::path& tableFile) {
  const FileDescriptor file = FileDescriptor::Open(tableFile, O_RDONLY | O_CLOEXEC);
  if (!file.valid()) return std::nullopt;
  std::uint32_t count = 0;
  std::uint16_t length = 0;
  std::optional<TableImage> image = ReadFacts(file.get(), &count, &length);
  if (!image || length == 0) return image;
  const std::uint64_t body = image->size - image->header.size();
  const std::uint64_t records = std::min<std::uint64_t>(count, body / length);
  const std::size_t perChunk = std::max<std::size_t>(1, kReadChunk / length);
  ReadBuffer buffer(perChunk * length);
  for (std::uint64_t first = 0; first < records; first += perChunk) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(perChunk, records - first));
    const std::uint64_t offset = image->header.size() + first * length;
    if (ReadAtOffset(file.get(), offset, buffer.data(), n * length) !=
        static_cast<ssize_t>(n * length))
      return std::nullopt;
    for (std::size_t i = 0; i < n; ++i)
      image->digest += RecordDigest(static_cast<std::uint32_t>(first + i + 1),
                                    {buffer.data() + i * length, length});
  }
  return image;
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += kDigits[c >> 4];
    text += kDigits[c & 15];
  }
  return text;
}

std::optional<std::string> Unhex(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int value = 0;
    for (char c : text.substr(i, 2)) {
      const char* digit = std::strchr("0123456789abcdef", c);
      if (digit == nullptr || c == 0) return std::nullopt;
      value = value * 16 + static_cast<int>(digit - "0123456789abcdef");
    }
    bytes += static_cast<char>(value);
  }
  return bytes;
}

struct Stamp {
  TableImage image;
  std::int64_t stampedNs = 0;
};

std::optional<Stamp> ParseStamp(const std::string& text) {
  std::istringstream in(text);
  std::string magic;
  std::getline(in, magic);
  if (magic != kStampMagic) return std::nullopt;
  Stamp stamp;
  TableImage& image = stamp.image;
  std::string header;
  if (!(in >> image.device >> image.inode >> image.size >> image.modifiedNs >> image.changedNs >>
        stamp.stampedNs >> image.digest >> header))
    return std::nullopt;
  std::optional<std::string> bytes = Unhex(header);
  if (!bytes) return std::nullopt;
  image.header = std::move(*bytes);
  return stamp;
}

// What this program last proved or stamped: while neither the stamp nor the
// table's facts have moved since, it stands without reading the table again
// (an opening checks once for the healing and once for the cursor; each
// change checks before it writes).
struct LastProof {
  std::mutex mutex;
  fs::path folder;
  std::string stampText;
  TableImage image;
};

LastProof& Remembered() {
  static LastProof last;
  return last;
}

void Remember(const fs::path& folder, const std::string& stampText, const TableImage& image) {
  LastProof& last = Remembered();
  const std::lock_guard<std::mutex> hold(last.mutex);
  last.folder = folder;
  last.stampText = stampText;
  last.image = image;
}

[[nodiscard]] bool WriteStamp(const fs::path& folder, const TableImage& image) {
  std::ostringstream out;
  out << kStampMagic << "\n"
      << image.device << " " << image.inode << " " << image.size << " " << image.modifiedNs << " "
      << image.changedNs << " " << NowNs() << " " << image.digest << "\n"
      << Hex(image.header) << "\n";
  // Derived data: a stamp lost in a crash only costs a rebuild.
  if (!WriteTransientFile(folder / kIndexStampName, out.str())) return false;
  Remember(folder, out.str(), image);
  return true;
}

// Since Linux 6.13, ext4, XFS, Btrfs and tmpfs give a file a finer change
// time than the clock's tick once its times have been looked at (as the
// stamp does right after each change), so no later write can share the
// stamped time there.
bool FineChangeTimes(const fs::path& folder) {
  static const bool kernel = [] {
    struct utsname name {};
    int major = 0, minor = 0;
    return ::uname(&name) == 0 && std::sscanf(name.release, "%d.%d", &major, &minor) == 2 &&
           (major > 6 || (major == 6 && minor >= 13));
  }();
  struct statfs info {};
  if (!kernel || ::statfs(folder.c_str(), &info) != 0) return false;
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:      // ext4
    case 0x58465342:  // XFS
    case 0x9123683E:  // Btrfs
    case 0x01021994:  // tmpfs
      return true;
    default:
      return false;
  }
}

// A stamp written at stampedNs of a table changed at changedNs that the file
// system's times alone cannot vouch for.
bool Racy(std::int64_t stampedNs, std::int64_t changedNs, const fs::path& folder) {
  return stampedNs - changedNs < std::chrono::nanoseconds(kRacyWindow).count() &&
         !FineChangeTimes(folder);
}

}  // namespace

bool TableImage::SameFile(const TableImage& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modifiedNs == other.modifiedNs && changedNs == other.changedNs && header == other.header;
}

// Four lanes of words side by side, so the multiplications of one record
// overlap instead of waiting on each other.
std::uint64_t RecordDigest(std::uint32_t recNo, std::string_view record) {
  constexpr std::uint64_t kPrime1 = 0x87C37B91114253D5ull, kPrime2 = 0x4CF5AD432745937Full;
  std::uint64_t lane[4] = {Mix(0x9E3779B97F4A7C15ull + recNo), kPrime1, kPrime2,
                           0x52DCE729DA3ED7B5ull};
  const auto step = [](std::uint64_t h, std::uint64_t word) {
    h = (h ^ (word * kPrime1)) * kPrime2;
    return (h << 31) | (h >> 33);
  };
  std::size_t i = 0;
  for (; i + 32 <= record.size(); i += 32) {
    std::uint64_t words[4];
    std::memcpy(words, record.data() + i, 32);
    for (int k = 0; k < 4; ++k) lane[k] = step(lane[k], words[k]);
  }
  for (; i + 8 <= record.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, record.data() + i, 8);
    lane[0] = step(lane[0], word);
  }
  std::uint64_t tail = record.size();
  for (; i < record.size(); ++i) tail = (tail << 8) | static_cast<unsigned char>(record[i]);
  return Mix(lane[0] ^ Mix(lane[1] + Mix(lane[2] ^ Mix(lane[3] + tail))));
}

StampProof CheckIndexStamp(const fs::path& folder, const fs::path& tableFile, std::uint64_t* digest,
                           bool restampWhenOld) {
  const std::optional<std::string> text = ReadWholeFile(folder / kIndexStampName);
  const std::optional<Stamp> stamp = text ? ParseStamp(*text) : std::nullopt;
  if (!stamp) return StampProof::kNone;
  {
    LastProof& last = Remembered();
    const std::lock_guard<std::mutex> hold(last.mutex);
    if (last.folder == folder && last.stampText == *text) {
      const FileDescriptor file = FileDescriptor::Open(tableFile, O_RDONLY | O_CLOEXEC);
      const std::optional<TableImage> now =
          file.valid() ? ReadFacts(file.get(), nullptr, nullptr) : std::nullopt;
      if (now && now->SameFile(last.image)) {
        if (digest) *digest = last.image.digest;
        return StampProof::kByContent;
      }
    }
  }
  if (!Racy(stamp->stampedNs, stamp->image.changedNs, folder)) {
    const FileDescriptor file = FileDescriptor::Open(tableFile, O_RDONLY | O_CLOEXEC);
    if (!file.valid()) return StampProof::kNone;
    const std::optional<TableImage> now = ReadFacts(file.get(), nullptr, nullptr);
    if (now && now->SameFile(stamp->image)) {
      if (digest) *digest = stamp->image.digest;
      return StampProof::kQuick;
    }
  }
  const std::optional<TableImage> image = ReadImage(tableFile);
  if (!image || image->size != stamp->image.size || image->header != stamp->image.header ||
      image->digest != stamp->image.digest)
    return StampProof::kNone;
  if (digest) *digest = image->digest;
  if (restampWhenOld && !Racy(NowNs(), image->changedNs, folder)) {
    // The file system's word is good for a stamp written now: the next
    // opening is quick.
    if (WriteStamp(folder, *image)) return StampProof::kByContent;
  }
  Remember(folder, *text, *image);
  return StampProof::kByContent;
}

bool StampTable(const fs::path& folder, const fs::path& tableFile, std::uint64_t* digest) {
  const std::optional<TableImage> image = ReadImage(tableFile);
  if (!image) return false;
  if (digest) *digest = image->digest;
  return WriteStamp(folder, *image);
}

void DropIndexStamp(const fs::path& folder) {
  std::error_code error;
  fs::remove(folder / kIndexStampName, error);
}

StampKeeper::StampKeeper(fs::path folder, fs::path tableFile, std::uint64_t digest, Rebuild rebuild)
    : folder_(std::move(folder)),
      tableFile_(std::move(tableFile)),
      digest_(digest),
      rebuild_(std::move(rebuild)) {}

void StampKeeper::BeforeChange() {
  std::uint64_t digest = 0;
  if (CheckIndexStamp(folder_, tableFile_, &digest) != StampProof::kNone) {
    digest_ = digest;  // another program of ours may have moved it
    return;
  }
  digest_ = rebuild_ ? rebuild_() : std::nullopt;
}

void StampKeeper::RecordWritten(std::uint32_t recNo, std::string_view before,
                                std::string_view after, const dbf::TableLayout&) {
  if (!digest_) return;
  if (!before.empty()) *digest_ -= RecordDigest(recNo, before);
  if (!after.empty()) {
    *digest_ += RecordDigest(recNo, after);
  } else if (!before.empty()) {
    std::string deleted(before);  // a deletion marks the record and keeps it
    deleted[0] = dbf::kDeletedFlag;
    *digest_ += RecordDigest(recNo, deleted);
  }
}

void StampKeeper::AfterChange(bool indexesFollow) {
  if (!digest_ || !indexesFollow) {
    DropIndexStamp(folder_);
    return;
  }
  const FileDescriptor file = FileDescriptor::Open(tableFile_, O_RDONLY | O_CLOEXEC);
  std::optional<TableImage> image =
      file.valid() ? ReadFacts(file.get(), nullptr, nullptr) : std::nullopt;
  if (!image) return DropIndexStamp(folder_);
  image->digest = *digest_;
  if (!WriteStamp(folder_, *image)) DropIndexStamp(folder_);
}

}  // namespace zafirel
