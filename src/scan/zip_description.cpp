#include "scan/zip_description.h"

#include <fcntl.h>
#include <lzma.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

#include "util/bytes.h"
#include "util/file_change.h"
#include "util/file_handle.h"
#include "util/file_writer.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kDescriptionBytes = 255;
// Every byte read gives at least one byte of joined text, so a prefix well
// above 255 bytes always yields the whole description, however the member
// is compressed or however large it is.
constexpr std::size_t kPrefixBytes = 4096;
// A member whose bare name cannot serve as a host file name is written under
// this one.
constexpr const char* kFallbackName = "DESCRIPCION.TXT";
// Well within NAME_MAX.
constexpr std::size_t kMaxBareNameBytes = 200;

struct ZipCloser {
  void operator()(zip_t* zip) const { zip_discard(zip); }
};
struct ZipFileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipCloser>;
using ZipFileHandle = std::unique_ptr<zip_file_t, ZipFileCloser>;

struct Prefix {
  std::string bytes;
  bool wholeMember = false;  // the member ended within the bytes read
};

bool Qualifies(std::string_view rawName) {
  const std::string upper = UpperAZ(rawName);
  return upper.find("README.TXT") != std::string::npos ||
         upper.find("FILE_ID.DIZ") != std::string::npos;
}

std::optional<zip_uint64_t> FirstQualifyingMember(zip_t* zip) {
  const zip_int64_t count = zip_get_num_entries(zip, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name != nullptr && Qualifies(name)) return static_cast<zip_uint64_t>(i);
  }
  return std::nullopt;
}

// The host name of the extracted copy: the text after the member name's last
// "/" or "\", so nothing the archive says can lead out of the folder. libzip
// gives the name as UTF-8 (DOS names converted from code page 437).
std::string BareOf(std::string_view full) {
  const std::size_t slash = full.find_last_of("/\\");
  const std::string_view bare = slash == std::string_view::npos ? full : full.substr(slash + 1);
  if (bare.empty() || bare == "." || bare == ".." || bare.size() > kMaxBareNameBytes)
    return kFallbackName;
  return std::string(bare);
}

std::string BareName(zip_t* zip, zip_uint64_t index) {
  const char* name = zip_get_name(zip, index, ZIP_FL_ENC_GUESS);
  return name == nullptr ? kFallbackName : BareOf(name);
}

// The start of an LZMA member, which libzip does not unpack. Its stored
// bytes are a version (2), the properties' size (2), the properties (5),
// then the stream. Only the first kPrefixBytes + 1 bytes are wanted, and no
// match reaches back past what came out, so the dictionary is capped at
// 64 KiB whatever the header asks (a crafted one could ask for gigabytes).
// A member read to its end is checked against its CRC.
std::optional<Prefix> ReadLzmaPrefix(zip_t* zip, zip_uint64_t index) {
  zip_stat_t stat;
  if (zip_stat_index(zip, index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_COMP_METHOD) == 0 ||
      stat.comp_method != ZIP_CM_LZMA || (stat.valid & ZIP_STAT_SIZE) == 0)
    return std::nullopt;
  const ZipFileHandle raw(zip_fopen_index(zip, index, ZIP_FL_COMPRESSED));
  unsigned char header[9];
  if (!raw || zip_fread(raw.get(), header, sizeof header) != sizeof header ||
      (header[2] | header[3] << 8) != 5)
    return std::nullopt;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (lzma_properties_decode(&filters[0], nullptr, header + 4, 5) != LZMA_OK) return std::nullopt;
  auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
  options->dict_size = std::clamp<std::uint32_t>(options->dict_size, LZMA_DICT_SIZE_MIN, 64 * 1024);
  lzma_stream stream = LZMA_STREAM_INIT;
  const lzma_ret started = lzma_raw_decoder(&stream, filters);
  std::free(options);
  if (started != LZMA_OK) return std::nullopt;
  Prefix prefix;
  prefix.bytes.resize(kPrefixBytes + 1);
  stream.next_out = reinterpret_cast<std::uint8_t*>(prefix.bytes.data());
  stream.avail_out = prefix.bytes.size();
  std::array<std::uint8_t, 4096> input;
  lzma_ret state = LZMA_OK;
  bool inputEnded = false;
  while (state == LZMA_OK && stream.avail_out > 0 && !inputEnded) {
    if (stream.avail_in == 0) {
      const zip_int64_t n = zip_fread(raw.get(), input.data(), input.size());
      if (n < 0) break;
      inputEnded = n == 0;
      stream.next_in = input.data();
      stream.avail_in = static_cast<std::size_t>(n);
    }
    state = lzma_code(&stream, LZMA_RUN);
  }
  const std::size_t got = prefix.bytes.size() - stream.avail_out;
  lzma_end(&stream);
  if (state != LZMA_OK && state != LZMA_STREAM_END) return std::nullopt;  // damaged
  // The member ends within the bytes wanted only where its size says.
  if (got <= kPrefixBytes && got != stat.size) return std::nullopt;
  prefix.wholeMember = got <= kPrefixBytes;
  prefix.bytes.resize(std::min<std::size_t>(got, kPrefixBytes));
  if (prefix.wholeMember && (stat.valid & ZIP_STAT_CRC) != 0 &&
      crc32_z(0, reinterpret_cast<const Bytef*>(prefix.bytes.data()), prefix.bytes.size()) !=
          stat.crc)
    return std::nullopt;
  return prefix;
}

// Reads at most kPrefixBytes of the member. A member that fits is read to its
// end, so that libzip checks its CRC; a larger one is never inflated further.
std::optional<Prefix> ReadPrefix(zip_t* zip, zip_uint64_t index) {
  const ZipFileHandle file(zip_fopen_index(zip, index, 0));
  if (!file) {
    // Encrypted, a bad local header, or packed in a way libzip does not
    // unpack: LZMA is read here.
    if (zip_error_code_zip(zip_get_error(zip)) == ZIP_ER_COMPNOTSUPP)
      return ReadLzmaPrefix(zip, index);
    return std::nullopt;
  }
  Prefix prefix;
  prefix.bytes.resize(kPrefixBytes);
  std::size_t got = 0;
  while (true) {
    char probe;
    const bool full = got == kPrefixBytes;
    const zip_int64_t n =
        full ? zip_fread(file.get(), &probe, 1)
             : zip_fread(file.get(), prefix.bytes.data() + got, kPrefixBytes - got);
    if (n < 0) return std::nullopt;
    if (n == 0) prefix.wholeMember = true;
    if (n == 0 || full) break;
    got += static_cast<std::size_t>(n);
  }
  prefix.bytes.resize(got);
  return prefix;
}

// The text a multi-line text box holds after loading the bytes as lines:
// every CR LF, lone LF or lone CR is one line end, the lines are joined with
// CR LF and a final line end adds nothing. The box's text ends at a NUL byte.
std::string JoinedLines(std::string_view bytes, bool wholeMember) {
  const std::size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) {
    bytes = bytes.substr(0, nul);
    wholeMember = true;
  }
  std::string joined;
  joined.reserve(bytes.size() + bytes.size() / 8);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') {
      joined.push_back(c);
      continue;
    }
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    joined.append("\r\n");
  }
  const char last = bytes.empty() ? '\0' : bytes.back();
  if (wholeMember && (last == '\r' || last == '\n')) joined.resize(joined.size() - 2);
  return joined;
}

ZipDescription Unreadable() { return {ZipDescription::Kind::kUnreadable, {}}; }

// libzip could not open the archive and the bytes do not begin as one: a
// self-extracting program's, whose archive follows its code.
struct Retry {
  bool behindData = false;
};

// The description of an open archive; its member is copied through copies
// when they are given.
ZipDescription DescribeOpen(zip_t* zip, DescriptionCopies* copies, std::uint64_t turn) {
  const std::optional<zip_uint64_t> member = FirstQualifyingMember(zip);
  if (!member) return {ZipDescription::Kind::kNone, {}};
  const std::optional<Prefix> prefix = ReadPrefix(zip, *member);
  if (!prefix) return Unreadable();
  if (copies) copies->Keep(BareName(zip, *member), prefix->bytes, turn);
  const std::string joined = JoinedLines(prefix->bytes, prefix->wholeMember);
  return {ZipDescription::Kind::kDescribed, CleanDescription(joined)};
}

// The description of an archive behind a libzip source, which it takes over;
// beginsAsArchive: the bytes begin with a member's header.
ZipDescription DescribeSource(zip_source_t* source, bool beginsAsArchive, DescriptionCopies* copies,
                              std::uint64_t turn, Retry& retry) {
  retry = Retry{};
  if (source == nullptr) return Unreadable();
  zip_error_t error;
  zip_error_init(&error);
  zip_t* opened = zip_open_from_source(source, ZIP_RDONLY, &error);
  zip_error_fini(&error);
  if (opened == nullptr) {
    zip_source_free(source);
    retry.behindData = !beginsAsArchive;
    return Unreadable();
  }
  const ZipHandle zip(opened);
  return DescribeOpen(zip.get(), copies, turn);
}

bool BeginsAsArchive(std::string_view bytes) { return bytes.substr(0, 4) == "PK\x03\x04"; }

// The end record's search reaches this far back: the record and the
// longest comment it may carry.
constexpr std::size_t kTailBytes = 22 + 65535;

// Where the archive begins within data of length bytes, whose last bytes
// are tail: what the end record says of the directory's place against where
// the record is. 0 when there is no record or nothing comes before.
std::uint64_t ArchiveStart(std::string_view tail, std::uint64_t length) {
  for (std::size_t at = tail.size() >= 22 ? tail.size() - 22 + 1 : 0; at-- > 0;) {
    if (tail.compare(at, 4, "PK\x05\x06") != 0) continue;
    const std::uint64_t record = length - tail.size() + at;
    const std::uint64_t directory = bytes::GetU32(tail.data() + at + 12);
    const std::uint64_t directoryAt = bytes::GetU32(tail.data() + at + 16);
    return record >= directory + directoryAt ? record - directory - directoryAt : 0;
  }
  return 0;
}

ZipDescription DescribeMemory(std::string_view bytes, DescriptionCopies* copies,
                              std::uint64_t turn) {
  const auto fromBytes = [&](std::string_view archive, Retry& retry) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(archive.data(), archive.size(), 0, &error);
    zip_error_fini(&error);
    return DescribeSource(source, BeginsAsArchive(archive), copies, turn, retry);
  };
  Retry retry;
  ZipDescription described = fromBytes(bytes, retry);
  if (retry.behindData) {
    const std::uint64_t start =
        ArchiveStart(bytes.substr(bytes.size() - std::min(bytes.size(), kTailBytes)), bytes.size());
    if (start > 0 && start < bytes.size()) described = fromBytes(bytes.substr(start), retry);
  }
  return described;
}

}  // namespace

std::string ZipDescription::LineSuffix() const {
  switch (kind) {
    case Kind::kUnreadable:
      return ";";
    case Kind::kNone:
      return "";
    case Kind::kDescribed:
      return ";" + text;
  }
  return "";
}

DescriptionCopies::DescriptionCopies(fs::path tempFolder) : folder_(std::move(tempFolder)) {}

DescriptionCopies::~DescriptionCopies() { (void)Flush(); }

void DescriptionCopies::Keep(const std::string& bareName, std::string_view bytes,
                             std::uint64_t turn) {
  const std::lock_guard lock(mutex_);
  const auto [at, added] = copies_.try_emplace(bareName);
  Copy& copy = at->second;
  if (!added && turn < copy.turn) return;  // a later archive's copy stays
  if (!copy.pending) kept_.fetch_add(1, std::memory_order_relaxed);
  copy.bytes.assign(bytes);
  copy.turn = turn;
  copy.pending = true;
}

bool DescriptionCopies::Flush() {
  std::vector<std::pair<std::string, std::string>> copies;
  {
    const std::lock_guard lock(mutex_);
    for (auto& [name, copy] : copies_) {
      if (!copy.pending) continue;
      copies.emplace_back(name, std::move(copy.bytes));
      copy.bytes.clear();
      copy.pending = false;
    }
    kept_.store(0, std::memory_order_relaxed);
  }
  bool written = true;
  int cause = 0;
  for (const auto& [name, bytes] : copies) {
    if (WriteTransientFile(folder_ / name, bytes)) continue;
    written = false;
    cause = errno;
  }
  if (!written) errno = cause;
  return written;
}

namespace {

// Archives up to this size are read whole with one system call and opened
// from memory: most archives described are small, and libzip's file source
// costs a dozen system calls an archive.
constexpr std::uint64_t kReadWhole = 256 * 1024;

// The description of the archive in length bytes at offset of an open file.
ZipDescription DescribeOpenFile(const FileDescriptor& file, std::uint64_t offset,
                                std::uint64_t length, DescriptionCopies& copies,
                                std::uint64_t turn) {
  if (!file.valid() || length == 0 || length > static_cast<std::uint64_t>(INT64_MAX))
    return Unreadable();
  if (length <= kReadWhole) {
    // Reused from one archive to the next by each thread that reads them.
    thread_local std::string bytes;
    bytes.resize(static_cast<std::size_t>(length));
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::pread(file.get(), bytes.data() + got, bytes.size() - got,
                                static_cast<off_t>(offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Unreadable();  // shorter than listed, or unreadable
      got += static_cast<std::size_t>(n);
    }
    return DescribeMemory(bytes, &copies, turn);
  }
  // Through a stream of its own, which libzip takes over.
  const auto fromRange = [&](std::uint64_t at, std::uint64_t size, Retry& retry) {
    retry = Retry{};
    char first[4] = {};
    const ssize_t firstGot = ReadAtOffset(file.get(), at, first, sizeof first);
    const bool begins = firstGot == 4 && BeginsAsArchive(std::string_view(first, sizeof first));
    FileDescriptor own(::dup(file.get()));
    FILE* stream = own.valid() ? ::fdopen(own.get(), "rb") : nullptr;
    if (stream == nullptr) return Unreadable();
    own.release();
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_filep_create(stream, at, static_cast<zip_int64_t>(size), &error);
    zip_error_fini(&error);
    if (source == nullptr) {
      std::fclose(stream);
      return Unreadable();
    }
    return DescribeSource(source, begins, &copies, turn, retry);
  };
  Retry retry;
  ZipDescription described = fromRange(offset, length, retry);
  if (retry.behindData) {
    std::string tail(static_cast<std::size_t>(std::min<std::uint64_t>(length, kTailBytes)), '\0');
    if (ReadAtOffset(file.get(), offset + length - tail.size(), tail.data(), tail.size()) ==
        static_cast<ssize_t>(tail.size())) {
      const std::uint64_t start = ArchiveStart(tail, length);
      if (start > 0 && start < length) described = fromRange(offset + start, length - start, retry);
    }
  }
  return described;
}

}  // namespace

ZipDescription ReadZipDescription(int folderFd, const char* name, std::uint64_t size,
                                  DescriptionCopies& copies, std::uint64_t turn) {
  try {
    return DescribeOpenFile(FileDescriptor(::openat(folderFd, name, O_RDONLY | O_CLOEXEC)), 0, size,
                            copies, turn);
  } catch (const std::exception&) {
    return Unreadable();
  }
}

ZipDescription ReadZipDescription(const fs::path& file, std::uint64_t offset, std::uint64_t length,
                                  DescriptionCopies& copies, std::uint64_t turn) {
  try {
    return DescribeOpenFile(FileDescriptor::Open(file, O_RDONLY | O_CLOEXEC), offset, length,
                            copies, turn);
  } catch (const std::exception&) {
    return Unreadable();
  }
}

ZipDescription ReadZipDescription(const fs::path& file, std::uint64_t offset, std::uint64_t length,
                                  const fs::path& tempFolder) {
  DescriptionCopies copies(tempFolder);
  const ZipDescription description = ReadZipDescription(file, offset, length, copies);
  if (description.kind == ZipDescription::Kind::kDescribed && !copies.Flush()) return Unreadable();
  return description;
}

ZipDescription ReadZipDescription(const fs::path& archive, const fs::path& tempFolder) {
  // libzip takes an empty file for an empty archive; here it is no archive.
  std::error_code error;
  if (!fs::is_regular_file(archive, error)) return Unreadable();
  const std::uintmax_t size = fs::file_size(archive, error);
  if (error || size == 0) return Unreadable();
  return ReadZipDescription(archive, 0, size, tempFolder);
}

ZipDescription DescribeArchiveBytes(std::string_view bytes) {
  if (bytes.empty()) return Unreadable();
  try {
    return DescribeMemory(bytes, nullptr, 0);
  } catch (const std::exception&) {
    return Unreadable();
  }
}

std::string CleanDescription(std::string_view joined) {
  joined = joined.substr(0, kDescriptionBytes);
  std::string clean;
  clean.reserve(joined.size());
  for (const char c : joined) {
    if (c == ';' || c == '\\' || c == '\n') continue;
    clean.push_back(c == '\r' ? ' ' : c);
  }
  return clean;
}

}  // namespace zafirel
