// TFindFile: walks a drive's folder tree depth first and reports every folder
// it enters and every file it finds, in the order the catalogue files keep: a
// folder, then its files in the file system's own listing order, then each
// subfolder's whole subtree. Paths are reported Windows-style ("D:\DOCS\"),
// the letter resolved through the drive map.
//
// On Linux: folders are listed with readdir and entries examined with fstatat
// relative to the open folder; symbolic links to folders are never followed,
// FIFOs, sockets and devices are never opened or reported, and the walk stays
// on the file system it started on. Read-only comes from the permission bits;
// hidden, system and archive come from FAT attributes (vfat) or the NTFS
// attribute extended attributes where the file system keeps them. A "\", ";",
// CR or LF in a host name, which the catalogue lines cannot hold, is reported
// as "_".
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "util/file_handle.h"

namespace zafirel {

class DriveMap;
class DiscImage;
struct ImageEntry;
struct ByteSpan;
struct MemberTree;

enum class TFileAttribute : std::uint8_t {
  ffNormal,
  ffArchive,
  ffReadonly,
  ffHidden,
  ffSystem,
  ffDirectory
};

class TFileAttributes {
 public:
  constexpr TFileAttributes() = default;
  constexpr TFileAttributes(std::initializer_list<TFileAttribute> members) {
    for (TFileAttribute m : members) bits_ |= Bit(m);
  }
  constexpr bool Has(TFileAttribute m) const { return (bits_ & Bit(m)) != 0; }

 private:
  static constexpr std::uint8_t Bit(TFileAttribute m) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(m));
  }
  std::uint8_t bits_ = 0;
};

// The file-system attribute values the rules are stated in.
namespace attr {
inline constexpr std::uint32_t kReadOnly = 1, kHidden = 2, kSystem = 4, kVolume = 8,
                               kDirectory = 16, kArchive = 32;
}

struct FileInfo {
  std::string name;  // ANSI, without folder
  std::uint64_t size = 0;
  std::tm modified{};  // local time
  std::uint32_t attributes = 0;
  const char* hostName = nullptr;  // the name on the host, valid inside the report only
  // Inside a disc image: where the file's bytes begin in the image file
  // (TFindFile::ImageFile), when they lie in one run.
  std::optional<std::uint64_t> imageOffset;
  bool inArchive = false;  // a member of an archive walked as a folder
};

class EFindFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TFindFile {
 public:
  using FoundEvent =
      std::function<void(TFindFile& sender, const std::string& folder, FileInfo& info)>;
  using NewFolderEvent =
      std::function<void(TFindFile& sender, const std::string& folder, bool& ignoreFolder)>;

  explicit TFindFile(const DriveMap& drives);
  TFindFile(const TFindFile&) = delete;
  TFindFile& operator=(const TFindFile&) = delete;
  ~TFindFile();

  TFileAttributes Attributes{TFileAttribute::ffNormal, TFileAttribute::ffArchive,
                             TFileAttribute::ffReadonly, TFileAttribute::ffHidden,
                             TFileAttribute::ffSystem};
  bool Subfolders = true;
  // Archives (.ZIP, .7Z, .RAR, .TAR and its compressed forms, .CAB) are also
  // walked as folders of their members, after the folder's files, among its
  // subfolders by name; the archive keeps its own line as a file.
  bool Archives = false;
  FoundEvent OnFound;
  NewFolderEvent OnNewFolder;
  // Runs now and then during long work between two reports (passing over a
  // large compressed archive), so a handler can show progress and stop.
  std::function<void(TFindFile& sender)> OnBusy;

  const std::string& Filename() const { return filename_; }
  // Throws EFindFileError for a value with a folder part.
  void SetFilename(const std::string& value);
  const std::string& Location() const { return location_; }
  // A Windows-style folder on a mapped drive ("D:\", "D:\DOCS"). Throws
  // EFindFileError when no such folder exists.
  void SetLocation(const std::string& value);

  // Walks synchronously; events run inside it. A failure of a handler ends
  // the walk and reaches the caller.
  void Execute();
  void Abort() { aborted_ = true; }
  bool Aborted() const { return aborted_; }

  // A path to the host folder being listed, for handlers that open a found
  // file: it reaches the folder through its open descriptor, so it works at
  // any depth, and only while the file is being reported.
  std::filesystem::path CurrentHostFolder() const;
  // The descriptor of the host folder being listed (-1 inside an image or an
  // archive), for handlers that open a found file relative to it.
  int CurrentFolderFd() const { return currentFd_; }
  // The disc image being walked (a drive mapped to an ISO 9660 image file
  // is walked inside the image); empty for a folder.
  const std::filesystem::path& ImageFile() const { return imageFile_; }

 private:
  struct Walk;
  struct Level;
  struct Listing;
  struct Prefetch;
  class Helper;
  // The second thread that shares the look-ups of a large folder; false on
  // a machine of one core.
  bool SecondThread();
  // The folder tree below an open folder, walked with a stack of its own
  // (one level a folder, holding what is left to walk below it), so depth
  // costs neither the program's stack nor a path per level.
  void WalkFolders(FileDescriptor start, Walk& walk);
  // Reports the folder on the top of the stack and its files, and gathers
  // its subfolders and archives; its entries, sorted, when they were listed
  // already.
  void ListFolder(std::vector<Level>& stack, Walk& walk, Listing* listed);
  // Names the folder the walk will most likely enter after the one on the
  // top of the stack, for the second thread to open and list meanwhile.
  void AskNextFolder(const std::vector<Level>& stack, const Listing& listing);
  // The open descriptor of a level, opened again when it was closed; -1 when
  // the folder is no longer where it was.
  int LevelFd(std::vector<Level>& stack, std::size_t i);
  // Before a level closes, the nearest level above it with work left is
  // opened again through "..", one step a level, when it was closed: walking
  // back up costs one opening a level, not one path from the start.
  void ReopenUpward(std::vector<Level>& stack, std::size_t from);
  void CloseLevel(Level& level);
  void WalkArchive(const ByteSpan& archive, const std::string& path, Walk& walk);
  void WalkMembers(const MemberTree& tree, const std::string& path, Walk& walk);
  void WalkImage(const DiscImage& image, const ImageEntry& folder, const std::string& path,
                 Walk& walk, std::set<std::uint64_t>& entered, int depth);

  const DriveMap& drives_;
  std::string filename_ = "*.*";
  std::string location_;
  bool aborted_ = false;
  std::string folder_;  // the Windows-style path of the folder being walked
  int currentFd_ = -1;  // the folder being listed
  std::size_t openFolders_ = 0;
  std::vector<char> listBuffer_;  // a folder's entries as the system lists them
  std::unique_ptr<Helper> helper_;
  std::unique_ptr<Prefetch> prefetch_;
  std::filesystem::path imageFile_;
};

// Whether a file with these attribute values is reported under a mask (the
// attribute values of the wanted members other than ffNormal) and whether
// ffNormal is wanted: plain entries need ffNormal, others a shared bit; a
// hidden, system, volume or folder entry needs its own bit in the mask.
bool ReportsFile(std::uint32_t attributes, std::uint32_t mask, bool acceptPlain);

// The host folder of a Windows-style path on a mapped drive; empty when its
// letter is not mapped or the text is no such path.
std::filesystem::path HostPathOf(const DriveMap& drives, std::string_view windowsPath);

}  // namespace zafirel
