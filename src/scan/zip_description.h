// The description of a .ZIP archive for its file-list line: the text of the
// first member whose upper-cased full name contains "README.TXT" or
// "FILE_ID.DIZ", cut and cleaned to fit the line's last field.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
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

// The copies of description members in the temporary folder, one file a
// bare name, each holding the last member of that name. A run keeps its files
// open and writes each new copy over the old one in place, so a thousand
// archives cost no file creation or rename each; the first copy of a name
// replaces whatever file held it (read-only ones included).
class DescriptionCopies {
 public:
  explicit DescriptionCopies(std::filesystem::path tempFolder);
  DescriptionCopies(const DescriptionCopies&) = delete;
  DescriptionCopies& operator=(const DescriptionCopies&) = delete;
  ~DescriptionCopies();
  // False when the copy could not be written.
  [[nodiscard]] bool Write(const std::string& bareName, std::string_view bytes);
  // Memory an archive read whole is kept in, reused from one to the next.
  std::string& Scratch() { return scratch_; }

 private:
  std::filesystem::path folder_;
  struct Copy {
    int fd = -1;
    std::size_t length = 0;
  };
  std::map<std::string, Copy> open_;
  std::string scratch_;
};

// Reads the archive's directory and, for the first qualifying member only,
// at most the few KiB the description needs; that part is also written to
// tempFolder under the member's bare name (never a path taken from the
// archive). The member's text becomes lines joined with CR LF, of which the
// first 255 bytes are kept; then ";" and "\" are removed, each CR becomes a
// blank and each LF is removed. Never throws.
ZipDescription ReadZipDescription(const std::filesystem::path& archive,
                                  const std::filesystem::path& tempFolder);
// The same for an archive of length bytes lying at offset inside a file (a
// disc image).
ZipDescription ReadZipDescription(const std::filesystem::path& file, std::uint64_t offset,
                                  std::uint64_t length, const std::filesystem::path& tempFolder);
// The same, the copy written through copies: for an archive of size bytes
// named name in the folder open on folderFd, and for one lying in a file.
ZipDescription ReadZipDescription(int folderFd, const char* name, std::uint64_t size,
                                  DescriptionCopies& copies);
ZipDescription ReadZipDescription(const std::filesystem::path& file, std::uint64_t offset,
                                  std::uint64_t length, DescriptionCopies& copies);

// The cleaning of a description text alone (the first 255 bytes of text
// already joined with CR LF).
// The same for an archive held in memory, with nothing written anywhere.
ZipDescription DescribeArchiveBytes(std::string_view bytes);

std::string CleanDescription(std::string_view joined);

}  // namespace zafirel
