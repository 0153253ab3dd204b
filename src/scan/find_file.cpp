#include "scan/find_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "scan/archive_members.h"
#include "scan/disc_image.h"
#include "scan/drive_map.h"
#include "util/codepage.h"
#include "util/file_handle.h"
#include "util/scope_guard.h"
#include "util/text.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

constexpr long kFatMagic = 0x4d44;       // vfat and msdos
constexpr long kNtfsMagic = 0x5346544e;  // ntfs3 and the old ntfs driver
constexpr long kFuseMagic = 0x65735546;  // ntfs-3g mounts as fuseblk

enum class AttributeSource { kNone, kFat, kNtfs };

// A name fit for the catalogue's lines: ANSI, without "\" or ";", which
// would split its path or its fields, nor CR or LF, which would split the line.
std::string ReportedName(std::string_view hostName) {
  std::string name = Utf8ToAnsi(hostName);
  for (char& c : name)
    if (c == '\\' || c == ';' || c == '\r' || c == '\n') c = '_';
  return name;
}

// A folder's entry with the name the catalogue gets.
template <typename Node>
struct Named {
  std::string reported, hostName;
  Node node;
};

template <typename Node>
Named<Node> NameOf(std::string_view hostName, Node node) {
  return {ReportedName(hostName), std::string(hostName), node};
}

// The order entries are reported in: name order without regard to case
// (upper-cased Windows-1252, then the host's bytes), as the file systems discs
// come from list them, not in the host's hashed order.
template <typename Entry>
bool ComesBefore(const Entry& a, const Entry& b) {
  const int order = CompareNamesNoCase(a.reported, b.reported);
  return order != 0 ? order < 0 : a.hostName < b.hostName;
}

template <typename Entry>
void SortByName(std::vector<Entry>& entries) {
  // Most names differ within their first eight upper-cased bytes, compared
  // here as one number (a name ending sooner pads with zeros, which no name
  // holds, so it comes first as in the whole comparison).
  struct Key {
    std::uint64_t prefix;
    std::size_t index;
  };
  std::vector<Key> keys(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].reported;
    std::uint64_t prefix = 0;
    for (std::size_t j = 0; j < 8; ++j)
      prefix =
          prefix << 8 | (j < name.size() ? static_cast<unsigned char>(UpperAnsiChar(name[j])) : 0u);
    keys[i] = {prefix, i};
  }
  std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return ComesBefore(entries[a.index], entries[b.index]);
  });
  std::vector<Entry> sorted;
  sorted.reserve(entries.size());
  for (const Key& key : keys) sorted.push_back(std::move(entries[key.index]));
  entries.swap(sorted);
}

// A folder deeper than this inside an image is not entered.
constexpr int kMaxImageDepth = 64;

// A path that opens name inside the folder open on folderFd whatever the
// folder's own path (which may be longer than the system takes).
std::string ThroughDescriptor(int folderFd, const char* name) {
  std::string path = "/proc/self/fd/" + std::to_string(folderFd);
  if (name != nullptr && *name != '\0') {
    path += '/';
    path += name;
  }
  return path;
}

// The attributes the file system keeps beyond the permission bits.
std::uint32_t StoredAttributes(AttributeSource source, int folderFd, const char* name,
                               bool directory) {
  if (source == AttributeSource::kFat) {
    const int flags =
        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (directory ? O_DIRECTORY : 0);
    const FileDescriptor fd(openat(folderFd, name, flags));
    if (!fd.valid()) return 0;
    std::uint32_t value = 0;
    const bool ok = ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &value) == 0;
    return ok ? value & (attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kArchive) : 0;
  }
  if (source == AttributeSource::kNtfs) {
    const std::string path = ThroughDescriptor(folderFd, name);
    unsigned char bytes[4] = {0, 0, 0, 0};
    ssize_t got = lgetxattr(path.c_str(), "system.ntfs_attrib", bytes, sizeof bytes);
    if (got < 1) got = lgetxattr(path.c_str(), "system.dos_attrib", bytes, 1);
    if (got < 1) return 0;
    return bytes[0] & (attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kArchive);
  }
  return 0;
}

}  // namespace

// A subfolder to walk after a folder's files: a folder, or an archive
// walked as the folder of its members.
struct Below {
  std::string hostName;
  std::optional<ByteSpan> archive;  // inside a disc image
  bool archiveFile = false;         // an archive file in the folder, of this size
  std::uint64_t size = 0;
};

struct TFindFile::Walk {
  std::string pattern;
  bool anyName = false;
  std::uint32_t mask = 0;
  bool acceptPlain = false;
  dev_t device = 0;
  AttributeSource source = AttributeSource::kNone;
};

fs::path HostPathOf(const DriveMap& drives, std::string_view windowsPath) {
  if (windowsPath.size() < 2 || windowsPath[1] != ':') return {};
  const std::optional<fs::path> root = drives.FolderOf(windowsPath[0]);
  if (!root) return {};
  fs::path host = *root;
  const std::string_view rest = windowsPath.substr(2);
  for (int i = 0, n = CuentaTrozos(rest, '\\'); i < n; ++i) {
    const std::string_view piece = Trozo(rest, '\\', i);
    if (!piece.empty()) host /= AnsiToUtf8(piece);
  }
  return host;
}

bool ReportsFile(std::uint32_t attributes, std::uint32_t mask, bool acceptPlain) {
  // The listing leaves out the kinds of entry the mask does not ask for.
  const std::uint32_t listedOnlyOnRequest =
      attr::kHidden | attr::kSystem | attr::kVolume | attr::kDirectory;
  if ((attributes & listedOnlyOnRequest & ~mask) != 0) return false;
  return (attributes == 0 && acceptPlain) || (attributes & mask) != 0;
}

// A second thread that runs one job at a time for the walk.
class TFindFile::Helper {
 public:
  Helper() : thread_([this] { Loop(); }) {}
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;
  ~Helper() {
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Start(std::function<void()> job) {
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      job_ = std::move(job);
      done_ = false;
    }
    wake_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    wake_.wait(hold, [this] { return done_; });
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
      wake_.wait(hold, [this] { return stop_ || job_ != nullptr; });
      if (stop_) return;
      const std::function<void()> job = std::move(job_);
      job_ = nullptr;
      hold.unlock();
      job();
      hold.lock();
      done_ = true;
      wake_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::function<void()> job_;
  bool done_ = true;
  bool stop_ = false;
  std::thread thread_;
};

TFindFile::TFindFile(const DriveMap& drives) : drives_(drives) {}

TFindFile::~TFindFile() = default;

bool TFindFile::SecondThread() {
  if (!helper_ && std::thread::hardware_concurrency() > 1) {
    try {
      helper_ = std::make_unique<Helper>();
    } catch (const std::system_error&) {
      return false;  // no thread to be had: one does it all
    }
  }
  return helper_ != nullptr;
}

void TFindFile::SetFilename(const std::string& value) {
  if (value.find_first_of("\\/:") != std::string::npos)
    throw EFindFileError(value + "\n\rNombre de archivo inv\xE1lido.");
  filename_ = value;
}

void TFindFile::SetLocation(const std::string& value) {
  if (!value.empty()) {
    const fs::path host = HostPathOf(drives_, value);
    std::error_code ec;
    const bool root = value.size() <= 3 && value.size() >= 2 && value[1] == ':';
    if (host.empty() || !(fs::is_directory(host, ec) ||
                          (root && fs::is_regular_file(host, ec) && DiscImage::Open(host))))
      throw EFindFileError(value + "\n\rEl directorio no existe.");
  }
  std::string stored = value;
  if (stored.size() > 1 && stored.back() == '\\' && stored[stored.size() - 2] != ':')
    stored.pop_back();
  location_ = stored;
}

void TFindFile::Execute() {
  std::string start = location_;
  fs::path host;
  if (start.empty()) {
    host = fs::current_path();
    for (const fs::path& part : host.relative_path()) start += "\\" + ReportedName(part.string());
  } else {
    host = HostPathOf(drives_, start);
  }
  if (start.empty() || start.back() != '\\') start += '\\';

  Walk walk;
  walk.pattern = filename_.empty()                          ? "*.*"
                 : filename_.find('.') == std::string::npos ? filename_ + ".*"
                                                            : filename_;
  walk.anyName = walk.pattern == "*.*" || walk.pattern == "*";
  aborted_ = false;
  if (Attributes.Has(TFileAttribute::ffArchive)) walk.mask |= attr::kArchive;
  if (Attributes.Has(TFileAttribute::ffReadonly)) walk.mask |= attr::kReadOnly;
  if (Attributes.Has(TFileAttribute::ffHidden)) walk.mask |= attr::kHidden;
  if (Attributes.Has(TFileAttribute::ffSystem)) walk.mask |= attr::kSystem;
  if (Attributes.Has(TFileAttribute::ffDirectory)) walk.mask |= attr::kDirectory;
  walk.acceptPlain = Attributes.Has(TFileAttribute::ffNormal);

  FileDescriptor folder = FileDescriptor::Open(host, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int fd = folder.get();
  struct stat info {};
  if (fd >= 0 && fstat(fd, &info) == 0) walk.device = info.st_dev;
  struct statfs volume {};
  if (fd >= 0 && fstatfs(fd, &volume) == 0) {
    if (volume.f_type == kFatMagic) walk.source = AttributeSource::kFat;
    if (volume.f_type == kNtfsMagic || volume.f_type == kFuseMagic)
      walk.source = AttributeSource::kNtfs;
  }
  imageFile_.clear();
  folder_ = start;
  const ScopeGuard done([this] {
    folder_.clear();
    currentFd_ = -1;
  });
  if (fd < 0) {
    if (const std::unique_ptr<DiscImage> image = DiscImage::Open(host)) {
      // A disc image is walked inside, as the disc it holds.
      imageFile_ = host;
      std::set<std::uint64_t> entered{image->Root().offset};
      WalkImage(*image, image->Root(), start, walk, entered, 0);
      return;
    }
    // A folder that cannot be listed yields no entries, but is still entered.
    bool ignore = false;
    if (OnNewFolder) OnNewFolder(*this, start, ignore);
    return;
  }
  WalkFolders(std::move(folder), walk);
}

void TFindFile::WalkImage(const DiscImage& image, const ImageEntry& dir, const std::string& folder,
                          Walk& walk, std::set<std::uint64_t>& entered, int depth) {
  bool ignore = false;
  if (OnNewFolder) OnNewFolder(*this, folder, ignore);
  if (ignore || aborted_) return;
  using Entry = Named<const ImageEntry*>;
  const std::vector<ImageEntry> listed = image.List(dir);
  std::vector<Entry> entries;
  entries.reserve(listed.size());
  for (const ImageEntry& e : listed)
    if (!e.name.empty() && e.name[0] != '.') entries.push_back(NameOf(e.name, &e));
  SortByName(entries);
  std::vector<std::pair<const Entry*, std::optional<ByteSpan>>> subfolders;
  for (Entry& entry : entries) {
    if (aborted_) break;
    const ImageEntry& e = *entry.node;
    if (e.folder) {
      if (Subfolders) subfolders.emplace_back(&entry, std::nullopt);
      continue;
    }
    // Files on a disc cannot be written: read-only, as a mounted disc shows them.
    const std::uint32_t attributes = attr::kReadOnly | (e.hidden ? attr::kHidden : 0);
    if (!ReportsFile(attributes, walk.mask, walk.acceptPlain)) continue;
    FileInfo found;
    found.name = std::move(entry.reported);
    if (!walk.anyName && !MatchesPattern(found.name, walk.pattern)) continue;
    found.size = e.size;
    found.attributes = attributes;
    found.hostName = entry.hostName.c_str();
    if (e.contiguous) found.imageOffset = e.offset;
    localtime_r(&e.modified, &found.modified);
    if (OnFound) OnFound(*this, folder, found);
    if (Subfolders && Archives && e.contiguous && IsArchiveName(found.name))
      subfolders.emplace_back(&entry, ByteSpan{image.File(), e.offset, e.size});
  }
  for (const auto& [entry, archive] : subfolders) {
    if (aborted_) break;
    if (archive) {
      WalkArchive(*archive, folder + ReportedName(entry->hostName) + "\\", walk);
      continue;
    }
    const ImageEntry& e = *entry->node;
    if (e.hidden || depth >= kMaxImageDepth) continue;  // hidden folders are not entered
    if (!entered.insert(e.offset).second) continue;     // a loop, or a folder seen already
    WalkImage(image, e, folder + entry->reported + "\\", walk, entered, depth + 1);
  }
}

// An archive's members as folders: each folder's files and subfolders, an
// archive inside the archive being a subfolder named as its file.
struct MemberTree {
  std::vector<const ArchiveMember*> files;
  std::map<std::string, MemberTree> folders;

  void Add(const std::vector<ArchiveMember>& members) {
    for (const ArchiveMember& member : members) {
      MemberTree* node = this;
      for (std::size_t i = 0; i + 1 < member.path.size(); ++i)
        node = &node->folders[member.path[i]];
      if (member.folder) {
        node->folders[member.path.back()];
        continue;
      }
      node->files.push_back(&member);
      if (member.inner) node->folders[member.path.back()].Add(*member.inner);
    }
  }
};

void TFindFile::WalkArchive(const ByteSpan& archive, const std::string& folder, Walk& walk) {
  const std::optional<std::vector<ArchiveMember>> members = ListArchive(archive, [this] {
    if (OnBusy) OnBusy(*this);
    return !aborted_;
  });
  if (!members) return;  // damaged or encrypted: its own line is all
  MemberTree tree;
  tree.Add(*members);
  WalkMembers(tree, folder, walk);
}

void TFindFile::WalkMembers(const MemberTree& tree, const std::string& folder, Walk& walk) {
  bool ignore = false;
  if (OnNewFolder) OnNewFolder(*this, folder, ignore);
  if (ignore || aborted_) return;
  std::vector<Named<const ArchiveMember*>> files;
  std::vector<Named<const MemberTree*>> folders;
  for (const ArchiveMember* member : tree.files)
    files.push_back(NameOf(member->path.back(), member));
  for (const auto& [name, below] : tree.folders)
    if (!name.empty() && name[0] != '.') folders.push_back(NameOf(name, &below));
  SortByName(files);
  SortByName(folders);
  for (auto& entry : files) {
    if (aborted_) break;
    const ArchiveMember& member = *entry.node;
    if (entry.hostName.empty() || entry.hostName[0] == '.') continue;
    if (!ReportsFile(0, walk.mask, walk.acceptPlain)) continue;
    FileInfo found;
    found.name = std::move(entry.reported);
    if (!walk.anyName && !MatchesPattern(found.name, walk.pattern)) continue;
    found.size = member.size;
    found.hostName = entry.hostName.c_str();
    found.inArchive = true;
    localtime_r(&member.modified, &found.modified);
    if (OnFound) OnFound(*this, folder, found);
  }
  if (!Subfolders) return;
  for (const auto& entry : folders) {
    if (aborted_) break;
    WalkMembers(*entry.node, folder + entry.reported + "\\", walk);
  }
}

// One folder of the walk on the stack: what is left to walk below it, and
// how to reach it again. Its descriptor is closed as soon as nothing is left
// below it, or while too many are open; a closed one is opened again from
// the nearest open folder above it, name by name, and must still be the same
// folder (device and inode).
// A folder's entry as its listing gives it: the name and the type.
using Listed = Named<unsigned char>;

// Reads the entries of the folder open on fd (".", ".." and every dot name
// left out) in large pieces, without a listing of the C library (which would
// need a copy of it); false when it cannot be listed at all.
bool ReadListing(int fd, std::vector<char>& buffer, std::vector<Listed>& entries) {
  if (buffer.empty()) buffer.resize(64 * 1024);
  for (;;) {
    const ssize_t got = getdents64(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && entries.empty()) return false;
    if (got <= 0) return true;
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
      if (entry->d_name[0] != '.') entries.push_back(NameOf(entry->d_name, entry->d_type));
      at += entry->d_reclen;
    }
  }
}

// A folder's entries, sorted.
struct TFindFile::Listing {
  std::vector<Listed> entries;
};

// The folder the walk will most likely enter next, opened and listed by the
// second thread while this one reports the folder before it. It stands in
// for opening and listing only when it is the very folder entered: the same
// name below the same level, still the same folder.
struct TFindFile::Prefetch {
  bool asked = false;
  std::size_t level = 0;  // the stack level it lies below
  dev_t device = 0;       // that level's folder
  ino_t inode = 0;
  std::string hostName;
  int parentFd = -1;  // open while the second thread reads it
  FileDescriptor fd;
  bool listed = false;
  Listing listing;
  std::vector<char> buffer;

  void Forget() {
    asked = listed = false;
    fd = FileDescriptor();
    listing.entries.clear();
  }
  void Read() {
    fd = FileDescriptor(
        openat(parentFd, hostName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    listed = fd.valid() && ReadListing(fd.get(), buffer, listing.entries);
    if (listed) SortByName(listing.entries);
  }
};

struct TFindFile::Level {
  FileDescriptor fd;
  std::string hostName;  // its name in the folder above (empty for the start)
  dev_t device = 0;
  ino_t inode = 0;
  std::size_t folderLength = 0;  // of the Windows-style path, up to its "\"
  std::vector<Below> below;      // subfolders and archives, in walking order
  std::size_t next = 0;
};

namespace {

// Folders the walk keeps open at once below the start folder.
constexpr std::size_t kMaxOpenFolders = 64;
// A folder's entries have their facts looked up a piece at a time; from
// kSharedLookUps entries on, a second thread takes pieces too.
constexpr std::size_t kLookUpPiece = 128;
constexpr std::size_t kSharedLookUps = 256;

// What reporting an entry needs to know of it.
struct Facts {
  mode_t mode = 0;
  bool known = false;  // looked up (a folder the listing named needs none)
  std::uint64_t size = 0;
  std::time_t modified = 0;
};

}  // namespace

int TFindFile::LevelFd(std::vector<Level>& stack, std::size_t i) {
  if (stack[i].fd.valid()) return stack[i].fd.get();
  std::size_t open = i;
  while (open > 0 && !stack[open].fd.valid()) --open;
  FileDescriptor held;
  int fd = stack[open].fd.get();
  for (std::size_t k = open + 1; k <= i; ++k) {
    FileDescriptor child(
        openat(fd, stack[k].hostName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!child.valid() || fstat(child.get(), &info) != 0 || info.st_dev != stack[k].device ||
        info.st_ino != stack[k].inode)
      return -1;  // moved or replaced meanwhile
    held = std::move(child);
    fd = held.get();
  }
  stack[i].fd = std::move(held);
  ++openFolders_;
  return fd;
}

void TFindFile::ReopenUpward(std::vector<Level>& stack, std::size_t from) {
  if (!stack[from].fd.valid()) return;
  std::size_t wanted = from - 1;
  while (wanted > 0 && stack[wanted].next == stack[wanted].below.size()) --wanted;
  if (stack[wanted].fd.valid()) return;
  FileDescriptor held;
  int fd = stack[from].fd.get();
  for (std::size_t k = from; k-- > wanted;) {
    FileDescriptor parent(openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (!parent.valid() || fstat(parent.get(), &info) != 0 || info.st_dev != stack[k].device ||
        info.st_ino != stack[k].inode)
      return;  // moved meanwhile: found again by name from above, if at all
    held = std::move(parent);
    fd = held.get();
  }
  stack[wanted].fd = std::move(held);
  ++openFolders_;
}

void TFindFile::CloseLevel(Level& level) {
  if (!level.fd.valid()) return;
  level.fd = FileDescriptor();
  --openFolders_;
}

void TFindFile::WalkFolders(FileDescriptor start, Walk& walk) {
  std::vector<Level> stack;
  openFolders_ = 0;
  const auto enter = [&](FileDescriptor fd, std::string hostName, Listing* listed) {
    Level level;
    struct stat info {};
    if (fstat(fd.get(), &info) == 0) {
      level.device = info.st_dev;
      level.inode = info.st_ino;
    }
    level.fd = std::move(fd);
    level.hostName = std::move(hostName);
    level.folderLength = folder_.size();
    stack.push_back(std::move(level));
    if (stack.size() > 1) ++openFolders_;
    ListFolder(stack, walk, listed);
  };
  enter(std::move(start), {}, nullptr);
  while (!stack.empty() && !aborted_) {
    const std::size_t at = stack.size() - 1;
    Level& level = stack[at];
    if (level.next == level.below.size()) {
      if (at > 0) {
        ReopenUpward(stack, at);
        CloseLevel(level);
      }
      stack.pop_back();
      if (!stack.empty()) folder_.resize(stack.back().folderLength);
      continue;
    }
    const Below below = std::move(level.below[level.next++]);
    const int folderFd = LevelFd(stack, at);
    if (folderFd < 0) {
      level.next = level.below.size();  // moved away: nothing more below it
      continue;
    }
    const std::size_t length = folder_.size();
    folder_ += ReportedName(below.hostName);
    folder_ += '\\';
    if (below.archiveFile) {
      currentFd_ = folderFd;
      WalkArchive(ByteSpan{ThroughDescriptor(folderFd, below.hostName.c_str()), 0, below.size},
                  folder_, walk);
      folder_.resize(length);
      continue;
    }
    FileDescriptor child;
    Listing* listed = nullptr;
    if (prefetch_ && prefetch_->asked && prefetch_->fd.valid() && prefetch_->level == at &&
        prefetch_->device == level.device && prefetch_->inode == level.inode &&
        prefetch_->hostName == below.hostName) {
      child = std::move(prefetch_->fd);
      if (prefetch_->listed) listed = &prefetch_->listing;
    } else {
      child = FileDescriptor(openat(folderFd, below.hostName.c_str(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    const int openError = child.valid() ? 0 : errno;
    struct stat info {};
    const auto shown = [&] {
      return info.st_dev == walk.device &&  // another volume is not entered
             (walk.source == AttributeSource::kNone ||
              (StoredAttributes(walk.source, folderFd, below.hostName.c_str(), true) &
               (attr::kHidden | attr::kSystem)) == 0);  // nor are hidden and system folders
    };
    if (!child.valid() && (openError == EACCES || openError == EPERM) &&
        fstatat(folderFd, below.hostName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(info.st_mode) && shown()) {
      // A folder the user may not list keeps its line, with nothing under it.
      bool ignore = false;
      if (OnNewFolder) OnNewFolder(*this, folder_, ignore);
      folder_.resize(length);
      continue;
    }
    if (!child.valid() || fstat(child.get(), &info) != 0 || !shown()) {
      folder_.resize(length);
      continue;
    }
    if (at > 0 && level.next == level.below.size()) CloseLevel(level);
    // Past the limit, the open folders nearest the start close: they are needed last.
    for (std::size_t k = 1; k < stack.size() && openFolders_ >= kMaxOpenFolders; ++k)
      CloseLevel(stack[k]);
    enter(std::move(child), below.hostName, listed);
  }
}

void TFindFile::AskNextFolder(const std::vector<Level>& stack, const Listing& listing) {
  if (!prefetch_) prefetch_ = std::make_unique<Prefetch>();
  Prefetch& next = *prefetch_;
  if (!Subfolders) return;
  // This folder's first subfolder, else the next folder waiting above it.
  std::size_t at = stack.size() - 1;
  const std::string* name = nullptr;
  for (const Listed& entry : listing.entries)
    if (entry.node == DT_DIR) {
      name = &entry.hostName;
      break;
    }
  while (name == nullptr && at-- > 0) {
    const Level& above = stack[at];
    if (above.next == above.below.size()) continue;
    const Below& waiting = above.below[above.next];
    if (waiting.archiveFile || waiting.archive) return;
    name = &waiting.hostName;
  }
  if (name == nullptr || !stack[at].fd.valid()) return;
  next.asked = true;
  next.level = at;
  next.device = stack[at].device;
  next.inode = stack[at].inode;
  next.hostName = *name;
  next.parentFd = stack[at].fd.get();
}

void TFindFile::ListFolder(std::vector<Level>& stack, Walk& walk, Listing* listed) {
  Level& level = stack.back();
  bool ignore = false;
  if (OnNewFolder) OnNewFolder(*this, folder_, ignore);
  if (ignore || aborted_) return;

  const int folderFd = level.fd.get();
  currentFd_ = folderFd;
  using Entry = Listed;
  Listing listing;
  if (listed) {
    listing.entries.swap(listed->entries);
  } else {
    if (!ReadListing(folderFd, listBuffer_, listing.entries)) return;  // cannot be listed
    SortByName(listing.entries);
  }
  std::vector<Entry>& entries = listing.entries;
  const bool shared = entries.size() >= kSharedLookUps && SecondThread();
  if (prefetch_) prefetch_->Forget();
  if (shared) AskNextFolder(stack, listing);
  // The entries' facts are looked up a piece at a time, each piece by the
  // thread that claims it. In a large folder a second thread claims pieces
  // from the start while this one reports them in order, looking up the next
  // unclaimed piece itself whenever the one it needs is not ready.
  const std::size_t pieces = (entries.size() + kLookUpPiece - 1) / kLookUpPiece;
  std::vector<Facts> facts(entries.size());
  const std::unique_ptr<std::atomic<bool>[]> ready(new std::atomic<bool>[pieces]());
  std::atomic<std::size_t> nextPiece{0};
  std::atomic<bool> enough{false};
  const auto lookUp = [&](std::size_t piece) {
    const std::size_t end = std::min(entries.size(), (piece + 1) * kLookUpPiece);
    for (std::size_t i = piece * kLookUpPiece; i < end; ++i) {
      if (entries[i].node == DT_DIR) continue;
      struct stat info {};
      if (fstatat(folderFd, entries[i].hostName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      facts[i] = {info.st_mode, true, static_cast<std::uint64_t>(info.st_size),
                  info.st_mtim.tv_sec};
    }
    ready[piece].store(true, std::memory_order_release);
  };
  const auto lookUpNext = [&] {
    const std::size_t piece = nextPiece.fetch_add(1);
    if (piece >= pieces) return false;
    lookUp(piece);
    return true;
  };
  if (shared)
    helper_->Start([&] {
      if (prefetch_->asked) prefetch_->Read();
      while (!enough.load(std::memory_order_relaxed) && lookUpNext()) {
      }
    });
  // However the reporting ends, the second thread is done before the entries go.
  const ScopeGuard joined([&] {
    if (!shared) return;
    enough.store(true);
    helper_->Wait();
  });
  for (std::size_t at = 0; at < entries.size(); ++at) {
    if (aborted_) break;
    const std::atomic<bool>& pieceReady = ready[at / kLookUpPiece];
    while (!pieceReady.load(std::memory_order_acquire))
      if (!lookUpNext()) std::this_thread::yield();  // the other thread is finishing it
    Entry& entry = entries[at];
    const char* name = entry.hostName.c_str();
    Facts fact = facts[at];
    unsigned char type = entry.node;
    if (type != DT_DIR) {
      if (!fact.known) continue;
      if (S_ISLNK(fact.mode)) {
        // A link is reported as the file it names; a link to a folder is never followed.
        struct stat target {};
        if (fstatat(folderFd, name, &target, 0) != 0 || !S_ISREG(target.st_mode)) continue;
        fact = {target.st_mode, true, static_cast<std::uint64_t>(target.st_size),
                target.st_mtim.tv_sec};
      } else if (S_ISDIR(fact.mode)) {
        type = DT_DIR;
      } else if (!S_ISREG(fact.mode)) {
        continue;  // FIFOs, sockets and devices hold no catalogued data
      }
    }
    if (type == DT_DIR) {
      if (Subfolders) level.below.push_back({std::move(entry.hostName), std::nullopt});
      continue;
    }
    std::uint32_t attributes = (fact.mode & 0222) == 0 ? attr::kReadOnly : 0;
    if (walk.source != AttributeSource::kNone)
      attributes |= StoredAttributes(walk.source, folderFd, name, false);
    if (!ReportsFile(attributes, walk.mask, walk.acceptPlain)) continue;
    FileInfo found;
    found.name = std::move(entry.reported);
    if (!walk.anyName && !MatchesPattern(found.name, walk.pattern)) continue;
    found.size = fact.size;
    found.attributes = attributes;
    found.hostName = name;
    localtime_r(&fact.modified, &found.modified);
    if (OnFound) OnFound(*this, folder_, found);
    if (Subfolders && Archives && IsArchiveName(found.name))
      level.below.push_back({std::move(entry.hostName), std::nullopt, true, found.size});
  }
}

fs::path TFindFile::CurrentHostFolder() const {
  return currentFd_ >= 0 ? fs::path(ThroughDescriptor(currentFd_, nullptr)) : fs::path();
}

}  // namespace zafirel
