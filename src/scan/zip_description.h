// The description of a .ZIP archive for its file-list line: the text of the
// first member whose upper-cased full name contains "README.TXT" or
// "FILE_ID.DIZ", cut and cleaned to fit the line's last field.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace zafirel {

struct ZipDescription {
  enum class Kind {
    kUnreadable,  // not a readable archive, or its member could not be read: the line ends with ";"
    kNone,        // a readable archive without a qualifying member: the line keeps three fields
    kDescribed,   // the member's text (possibly empty) is the fourth field
  };
  Kind kind = Kind::kNone;
  std::string text;  // ANSI, at most 255 bytes, without ";", "\", CR or LF

  // What the line gets after its date: "", ";" or ";" + text.
  std::string LineSuffix() const;
};

// The copies of description members for the temporary folder, one file a
// bare name, each holding the last member of that name. The copies are kept
// in memory and written by Flush, so a thousand archives cost no file
// written each; a copy replaces whatever file held its name (read-only ones
// included). Keep may be called from any thread: archives read on two
// threads finish out of turn, so each copy carries its archive's place in
// the walk, and a copy never replaces one from a later archive.
class DescriptionCopies {
 public:
  explicit DescriptionCopies(std::filesystem::path tempFolder);
  DescriptionCopies(const DescriptionCopies&) = delete;
  DescriptionCopies& operator=(const DescriptionCopies&) = delete;
  // Writes what is still kept; the copies are a by-product of reading the
  // descriptions, so a failure here costs only them.
  ~DescriptionCopies();
  void Keep(const std::string& bareName, std::string_view bytes, std::uint64_t turn = 0);
  // How many names are kept and not yet written.
  std::size_t Kept() const { return kept_.load(std::memory_order_relaxed); }
  // Writes the copies kept so far; false (errno set) when one could not be
  // written.
  [[nodiscard]] bool Flush();

 private:
  std::filesystem::path folder_;
  mutable std::mutex mutex_;
  struct Copy {
    std::string bytes;
    std::uint64_t turn = 0;
    bool pending = false;  // kept and not yet written
  };
  std::map<std::string, Copy> copies_;  // the names seen, for their turns
  std::atomic<std::size_t> kept_{0};
};

// Reads the archive's directory and, for the first qualifying member only,
// at most the few KiB the description needs; that part is also written to
// tempFolder under the member's bare name (never a path taken from the
// archive) before the call returns. The member's text becomes lines joined
// with CR LF, of which the first 255 bytes are kept; then ";" and "\" are
// removed, each CR becomes a blank and each LF is removed. Never throws.
ZipDescription ReadZipDescription(const std::filesystem::path& archive,
                                  const std::filesystem::path& tempFolder);
// The same for an archive of length bytes lying at offset inside a file (a
// disc image).
ZipDescription ReadZipDescription(const std::filesystem::path& file, std::uint64_t offset,
                                  std::uint64_t length, const std::filesystem::path& tempFolder);
// The same, the copy kept by copies: for an archive of size bytes
// named name in the folder open on folderFd, and for one lying in a file.
// turn is the archive's place in the walk (see DescriptionCopies).
ZipDescription ReadZipDescription(int folderFd, const char* name, std::uint64_t size,
                                  DescriptionCopies& copies, std::uint64_t turn = 0);
ZipDescription ReadZipDescription(const std::filesystem::path& file, std::uint64_t offset,
                                  std::uint64_t length, DescriptionCopies& copies,
                                  std::uint64_t turn = 0);

// The same for an archive held in memory, with nothing written anywhere.
ZipDescription DescribeArchiveBytes(std::string_view bytes);

// The cleaning of a description text alone (the first 255 bytes of text
// already joined with CR LF).
std::string CleanDescription(std::string_view joined);

}  // namespace zafirel
