#include "scan/iso_image.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "scan/disk_info.h"
#include "util/bytes.h"
#include "util/codepage.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSector = 2048;
constexpr std::size_t kRootRecord = 156;  // in a volume descriptor
constexpr unsigned char kHidden = 0x01, kFolder = 0x02, kMoreExtents = 0x80;

std::uint32_t Le32(std::string_view b, std::size_t at) { return bytes::GetU32(b.data() + at); }
std::uint16_t Le16(std::string_view b, std::size_t at) { return bytes::GetU16(b.data() + at); }

// The 7-byte recording date: years since 1900, month, day, hour, minute,
// second, and the offset from UTC in quarters of an hour.
std::time_t RecordingDate(std::string_view d) {
  std::tm when{};
  when.tm_year = static_cast<unsigned char>(d[0]);
  when.tm_mon = static_cast<unsigned char>(d[1]) - 1;
  when.tm_mday = static_cast<unsigned char>(d[2]);
  when.tm_hour = static_cast<unsigned char>(d[3]);
  when.tm_min = static_cast<unsigned char>(d[4]);
  when.tm_sec = static_cast<unsigned char>(d[5]);
  const int quarters = static_cast<signed char>(d[6]);
  if (when.tm_mon < 0 || when.tm_mon > 11 || when.tm_mday < 1) return 0;
  return timegm(&when) - static_cast<std::time_t>(quarters) * 15 * 60;
}

// "NAME.TXT;1" -> "NAME.TXT", "NAME.;1" -> "NAME".
std::string WithoutVersion(std::string name) {
  const std::size_t semicolon = name.rfind(';');
  if (semicolon != std::string::npos &&
      name.find_first_not_of("0123456789", semicolon + 1) == std::string::npos)
    name.resize(semicolon);
  if (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

// What Rock Ridge says of a record.
struct RockRidge {
  std::string name;
  bool relocated = false;                // RE: listed elsewhere through a CL entry
  std::optional<std::uint32_t> childAt;  // CL: the folder's real block
};

}  // namespace

std::unique_ptr<IsoImage> IsoImage::Open(const fs::path& file) {
  std::unique_ptr<IsoImage> opened(new IsoImage);
  IsoImage& image = *opened;
  if (!image.OpenFile(file)) return nullptr;
  const std::string start = image.ReadAt(0, 32 * kSector);
  const std::optional<IsoVolume> volume = ReadIsoVolume(start);
  if (!volume) return nullptr;
  image.serial_ = volume->serial;
  image.label_ = volume->label;
  const auto [primary, joliet] = FindIsoDescriptors(start);
  if (!primary) return nullptr;
  image.blockSize_ = Le16(*primary, 128);
  if (image.blockSize_ < 512 || image.blockSize_ > 8192) image.blockSize_ = 2048;
  image.volumeBytes_ = std::uint64_t{Le32(*primary, 80)} * image.blockSize_;
  const std::string_view tree = joliet ? *joliet : *primary;
  const std::string_view root = tree.substr(kRootRecord, 34);
  image.root_.folder = true;
  image.root_.offset = std::uint64_t{Le32(root, 2)} * image.blockSize_;
  image.root_.size = Le32(root, 10);
  image.root_.modified = RecordingDate(root.substr(18, 7));
  image.names_ = joliet ? Names::kJoliet : Names::kIso;
  if (!joliet) {
    // Rock Ridge announces itself with an SP entry in the root's "." record.
    const std::string first = image.ReadAt(image.root_.offset, 255);
    const std::size_t length = first.empty() ? 0 : static_cast<unsigned char>(first[0]);
    if (length >= 34 + 7 && length <= first.size() && first.compare(34, 2, "SP") == 0 &&
        static_cast<unsigned char>(first[38]) == 0xBE &&
        static_cast<unsigned char>(first[39]) == 0xEF) {
      image.names_ = Names::kRockRidge;
      image.susSkip_ = static_cast<unsigned char>(first[40]);
    }
  }
  return opened;
}

std::vector<ImageEntry> IsoImage::List(const ImageEntry& folder) const {
  std::vector<ImageEntry> entries;
  const std::uint64_t size = std::min<std::uint64_t>(folder.size, kMaxFolderBytes);
  if (folder.offset >= fileBytes_ || !Spend(std::min(size, fileBytes_ - folder.offset)))
    return entries;
  const std::string records = ReadAt(folder.offset, static_cast<std::size_t>(size));
  const std::string_view all(records);
  bool continuing = false;  // the last entry has more extents to come
  std::size_t at = 0;
  while (at < all.size() && entries.size() < kMaxEntries) {
    const std::size_t length = static_cast<unsigned char>(all[at]);
    if (length == 0) {  // the rest of this sector is padding
      at = (at / blockSize_ + 1) * blockSize_;
      continue;
    }
    if (length < 34 || at + length > all.size()) break;  // damaged: what was read stands
    const std::string_view r = all.substr(at, length);
    at += length;
    const std::size_t idLength = static_cast<unsigned char>(r[32]);
    if (33 + idLength > r.size()) continue;
    const std::string_view id = r.substr(33, idLength);
    if (idLength == 1 && (id[0] == '\0' || id[0] == '\1')) continue;  // "." and ".."
    const unsigned char flags = static_cast<unsigned char>(r[25]);

    RockRidge rr;
    if (names_ == Names::kRockRidge) {
      std::size_t su = 33 + idLength + (idLength % 2 == 0 ? 1 : 0) + susSkip_;
      std::string area(r.substr(std::min(su, r.size())));
      int continuations = 0;
      for (std::size_t p = 0; p + 4 <= area.size();) {
        const std::size_t entryLength = static_cast<unsigned char>(area[p + 2]);
        if (entryLength < 4 || p + entryLength > area.size()) break;
        const std::string_view e = std::string_view(area).substr(p, entryLength);
        const std::string_view signature = e.substr(0, 2);
        if (signature == "NM" && entryLength >= 5 && (e[4] & 0x06) == 0) {
          rr.name.append(e.substr(5));
        } else if (signature == "RE") {
          rr.relocated = true;
        } else if (signature == "CL" && entryLength >= 12) {
          rr.childAt = Le32(e, 4);
        } else if (signature == "ST") {
          break;
        } else if (signature == "CE" && entryLength >= 28 && ++continuations <= 8) {
          // The rest of the entries lie in a continuation area.
          const std::uint64_t where = std::uint64_t{Le32(e, 4)} * blockSize_ + Le32(e, 12);
          const std::size_t more = std::min<std::size_t>(Le32(e, 20), blockSize_);
          if (!Spend(more)) break;
          area = ReadAt(where, more);
          p = 0;
          continue;
        }
        p += entryLength;
      }
      if (rr.relocated) continue;
    }

    ImageEntry entry;
    entry.folder = (flags & kFolder) != 0 || rr.childAt.has_value();
    entry.hidden = (flags & kHidden) != 0;
    entry.offset = std::uint64_t{rr.childAt.value_or(Le32(r, 2))} * blockSize_;
    entry.size = Le32(r, 10);
    entry.modified = RecordingDate(r.substr(18, 7));
    if (names_ == Names::kJoliet)
      entry.name = WithoutVersion(Ucs2BeToUtf8(id));
    else if (!rr.name.empty())
      entry.name = rr.name;
    else
      entry.name = AnsiToUtf8(WithoutVersion(std::string(id)));
    if (entry.folder && rr.childAt) {
      // A relocated folder's size is in its own "." record.
      const std::string dot = ReadAt(entry.offset, 34);
      if (dot.size() == 34) entry.size = Le32(dot, 10);
    }

    // The extents of one big file are records of one name in a row.
    if (continuing && !entries.empty() && entries.back().name == entry.name && !entry.folder) {
      ImageEntry& whole = entries.back();
      if (entry.offset != whole.offset + whole.size) whole.contiguous = false;
      whole.size += entry.size;
    } else {
      entries.push_back(std::move(entry));
    }
    continuing = (flags & kMoreExtents) != 0;
  }
  return entries;
}

}  // namespace zafirel
