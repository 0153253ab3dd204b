// What an archive holds (.ZIP, .7Z, .RAR, .TAR and its .GZ/.BZ2/.XZ forms,
// .CAB), read through libarchive from its headers alone: member names,
// sizes and dates, never their data, except the bytes of an archive inside
// an archive, which is listed too (one level). Every listing is bounded:
// members, name lengths, and the bytes a compressed stream may unpack.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zafirel {

// Bytes of a file: the whole file, or a run of it (a file inside a disc image).
struct ByteSpan {
  std::filesystem::path file;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct ArchiveMember {
  std::vector<std::string> path;  // UTF-8 names from the archive's top: folders, then the member
  bool folder = false;
  std::uint64_t size = 0;
  std::time_t modified = 0;
  // The members of an archive held in this one (listed when it is one).
  std::optional<std::vector<ArchiveMember>> inner;
};

// Whether a file name names an archive whose members are catalogued.
bool IsArchiveName(std::string_view name);

// The members, in the archive's order; nothing when it cannot be read, is
// damaged or holds encrypted members (its own line is all it gets).
// keepGoing, when given, runs at every header and every block unpacked (a
// large compressed archive takes long to pass over); false ends the listing
// with nothing.
std::optional<std::vector<ArchiveMember>> ListArchive(
    const ByteSpan& archive, const std::function<bool()>& keepGoing = nullptr);
// The same for an archive held in memory (no inner archives are opened).
std::optional<std::vector<ArchiveMember>> ListArchiveBytes(std::string_view bytes);

inline constexpr std::size_t kMaxArchiveMembers = 100000;
inline constexpr std::size_t kMaxMemberName = 1024;
inline constexpr std::uint64_t kMaxInnerArchiveBytes = 32u << 20;
inline constexpr std::uint64_t kMaxUnpackedBytes = 256u << 20;

}  // namespace zafirel
