// The directory walker over trees built in a temporary folder mapped to a
// drive letter: reporting order, the name and attribute rules, the setters'
// messages, stopping, and what a Linux tree holds besides plain files.
#include "scan/find_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>
#include <set>

#include "scan/drive_map.h"
#include "test_support.h"

namespace zafirel {
namespace {

namespace fs = std::filesystem;

class FindFileTest : public ::testing::Test {
 protected:
  void SetUp() override { drives_.Map('T', folder_.Path()); }
  void File(const std::string& relative, std::uintmax_t size = 1) {
    const fs::path path = folder_ / relative;
    fs::create_directories(path.parent_path());
    testing::WriteBytes(path, std::string(static_cast<std::size_t>(size), 'x'));
  }
  // "F folder" and "  name size" lines, in reporting order.
  std::vector<std::string> Walk(TFindFile& walker) {
    std::vector<std::string> events;
    walker.OnNewFolder = [&](TFindFile&, const std::string& folder, bool&) {
      events.push_back("F " + folder);
    };
    walker.OnFound = [&](TFindFile&, const std::string& folder, FileInfo& info) {
      events.push_back("  " + folder + info.name + " " + std::to_string(info.size));
    };
    walker.Execute();
    return events;
  }

  testing::TempFolder folder_;
  DriveMap drives_;
};

// Entries of a folder come in name order without regard to case (accented
// names after Z, as their code page places them), whatever order the host
// file system keeps.
TEST_F(FindFileTest, AFolderComesBeforeItsFilesAndItsFilesBeforeItsSubfolders) {
  File("uno.txt");
  File("\xC3\xA1rbol.txt", 5);  // "árbol" in UTF-8
  File("Dos.TXT", 6);
  File("c/CUATRO.TXT", 4);
  File("A/DOS.TXT", 2);
  File("A/B/TRES.TXT", 3);
  File("b/x.txt", 7);
  File(".oculto");
  File(".git/config");
  File("A/.profile");
  TFindFile walker(drives_);
  walker.SetLocation("T:\\");
  EXPECT_EQ(Walk(walker),
            (std::vector<std::string>{"F T:\\", "  T:\\Dos.TXT 6", "  T:\\uno.txt 1",
                                      "  T:\\\xE1rbol.txt 5", "F T:\\A\\", "  T:\\A\\DOS.TXT 2",
                                      "F T:\\A\\B\\", "  T:\\A\\B\\TRES.TXT 3", "F T:\\b\\",
                                      "  T:\\b\\x.txt 7", "F T:\\c\\", "  T:\\c\\CUATRO.TXT 4"}));

  walker.Subfolders = false;
  EXPECT_EQ(Walk(walker), (std::vector<std::string>{"F T:\\", "  T:\\Dos.TXT 6", "  T:\\uno.txt 1",
                                                    "  T:\\\xE1rbol.txt 5"}));
}

TEST_F(FindFileTest, SettersKeepARootsBackslashAndRefuseBadValues) {
  File("DOCS/LEEME");
  TFindFile walker(drives_);
  walker.SetLocation("T:\\");
  EXPECT_EQ(walker.Location(), "T:\\");
  walker.SetLocation("T:\\DOCS\\");
  EXPECT_EQ(walker.Location(), "T:\\DOCS");
  EXPECT_EQ(Walk(walker), (std::vector<std::string>{"F T:\\DOCS\\", "  T:\\DOCS\\LEEME 1"}));
  try {
    walker.SetLocation("T:\\NADA");
    FAIL() << "a missing folder was accepted";
  } catch (const EFindFileError& error) {
    EXPECT_EQ(std::string(error.what()), "T:\\NADA\n\rEl directorio no existe.");
  }
  EXPECT_THROW(walker.SetLocation("Q:\\"), EFindFileError);  // no such letter
  EXPECT_EQ(walker.Location(), "T:\\DOCS");
  EXPECT_THROW(walker.SetFilename("DOCS\\*.*"), EFindFileError);
  EXPECT_EQ(walker.Filename(), "*.*");
}

TEST_F(FindFileTest, PatternsWithoutADotMatchAnyExtension) {
  File("LEEME");
  File("LEEME.TXT");
  File("OTRO.TXT");
  TFindFile walker(drives_);
  walker.SetLocation("T:\\");
  walker.SetFilename("leeme");
  std::vector<std::string> events = Walk(walker);
  std::sort(events.begin() + 1, events.end());
  EXPECT_EQ(events, (std::vector<std::string>{"F T:\\", "  T:\\LEEME 1", "  T:\\LEEME.TXT 1"}));
  walker.SetFilename("*");
  EXPECT_EQ(Walk(walker).size(), 4u);
}

TEST_F(FindFileTest, StoppingInTheFirstFolderReportsNothingMore) {
  File("A.TXT");
  File("SUB/B.TXT");
  TFindFile walker(drives_);
  walker.SetLocation("T:\\");
  int found = 0, folders = 0;
  walker.OnNewFolder = [&](TFindFile& sender, const std::string&, bool&) {
    ++folders;
    sender.Abort();
  };
  walker.OnFound = [&](TFindFile&, const std::string&, FileInfo&) { ++found; };
  walker.Execute();
  EXPECT_TRUE(walker.Aborted());
  EXPECT_EQ(folders, 1);
  EXPECT_EQ(found, 0);
  // A folder the handler skips lists nothing; the next walk starts afresh.
  walker.OnNewFolder = [&](TFindFile&, const std::string& folder, bool& ignore) {
    ignore = folder == "T:\\SUB\\";
  };
  walker.Execute();
  EXPECT_FALSE(walker.Aborted());
  EXPECT_EQ(found, 1);
}

// A folder the user may not list keeps its line, with nothing under it, as
// lost+found does on an ext4 disk. Root may list any folder, so there the
// walk runs in a child as nobody.
TEST_F(FindFileTest, AFolderThatCannotBeListedKeepsItsLine) {
  File("ABIERTA/UNO.TXT");
  File("CERRADA/DOS.TXT");
  File("CERRADA/DENTRO/TRES.TXT");
  fs::permissions(folder_.Path(), fs::perms(0755));
  fs::permissions(folder_ / "CERRADA", fs::perms::none);
  const auto walk = [&] {
    TFindFile walker(drives_);
    walker.SetLocation("T:\\");
    return Walk(walker);
  };
  std::vector<std::string> events;
  if (geteuid() != 0) {
    events = walk();
  } else {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    if (child == 0) {
      close(out[0]);
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
      std::string text;
      for (const std::string& event : walk()) text += event + "\n";
      _exit(write(out[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 4);
    }
    close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    fs::permissions(folder_ / "CERRADA", fs::perms(0755));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "the walk cannot run as an unprivileged user";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
      events.push_back(text.substr(at, end - at));
  }
  fs::permissions(folder_ / "CERRADA", fs::perms(0755));
  EXPECT_EQ(events, (std::vector<std::string>{"F T:\\", "F T:\\ABIERTA\\",
                                              "  T:\\ABIERTA\\UNO.TXT 1", "F T:\\CERRADA\\"}));
}

TEST_F(FindFileTest, LinksFifosAndOtherVolumesAreHandledSafely) {
  File("DATOS/REAL.BIN", 1025);
  fs::create_symlink(folder_ / "DATOS" / "REAL.BIN", folder_ / "ENLACE.BIN");
  fs::create_directory_symlink(folder_.Path(), folder_ / "DATOS" / "BUCLE");  // a loop
  fs::create_symlink(folder_ / "NO_EXISTE", folder_ / "ROTO");
  ASSERT_EQ(mkfifo((folder_ / "TUBERIA").c_str(), 0644), 0);
  File("RARO;NOMBRE.TXT");
  // A sparse file beyond 4 GiB keeps its whole size.
  { std::ofstream grande(folder_ / "GRANDE.ISO", std::ios::binary); }
  fs::resize_file(folder_ / "GRANDE.ISO", (std::uintmax_t{5} << 30) + 1);
  File("SOLO.TXT");
  fs::permissions(folder_ / "SOLO.TXT", fs::perms::owner_read | fs::perms::group_read);

  TFindFile walker(drives_);
  walker.SetLocation("T:\\");
  std::map<std::string, FileInfo> found;
  std::vector<std::string> folders;
  walker.OnNewFolder = [&](TFindFile&, const std::string& f, bool&) { folders.push_back(f); };
  walker.OnFound = [&](TFindFile&, const std::string& f, FileInfo& info) {
    found[f + info.name] = info;
  };
  walker.Execute();
  EXPECT_EQ(folders, (std::vector<std::string>{"T:\\", "T:\\DATOS\\"}));
  ASSERT_TRUE(found.count("T:\\ENLACE.BIN"));
  EXPECT_EQ(found["T:\\ENLACE.BIN"].size, 1025u);
  EXPECT_FALSE(found.count("T:\\ROTO"));
  EXPECT_FALSE(found.count("T:\\TUBERIA"));
  EXPECT_TRUE(found.count("T:\\RARO_NOMBRE.TXT"));
  EXPECT_EQ(found["T:\\GRANDE.ISO"].size, (std::uint64_t{5} << 30) + 1);
  EXPECT_EQ(found["T:\\SOLO.TXT"].attributes & attr::kReadOnly, attr::kReadOnly);
  EXPECT_EQ(found["T:\\DATOS\\REAL.BIN"].attributes, 0u);
  EXPECT_EQ(found.size(), 5u);
}

TEST_F(FindFileTest, HostNamesBecomeAnsiAndBadBytesQuestionMarks) {
  File("caf\xC3\xA9.txt");
  File("mal\xFF\xFE.bin");
  TFindFile walker(drives_);
  walker.SetLocation("T:\\");
  std::vector<std::string> events = Walk(walker);
  std::sort(events.begin(), events.end());
  EXPECT_EQ(events,
            (std::vector<std::string>{"  T:\\caf\xE9.txt 1", "  T:\\mal??.bin 1", "F T:\\"}));
}

// A folder large enough that its entries' facts are looked up in pieces and
// by two threads: every file keeps its own size, in name order, with links,
// a FIFO and subfolders among them handled as in a small folder.
TEST_F(FindFileTest, ALargeFolderReportsEveryFileWithItsOwnFacts) {
  constexpr int kFiles = 5000;
  std::vector<std::string> expected{"F T:\\"};
  for (int i = 0; i < kFiles; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "F%05d.BIN", i);
    File(name, static_cast<std::uintmax_t>(i % 97));
    expected.push_back(std::string("  T:\\") + name + " " + std::to_string(i % 97));
  }
  fs::create_symlink(folder_ / "F00003.BIN", folder_ / "G_ENLACE.BIN");
  expected.push_back("  T:\\G_ENLACE.BIN 3");
  ASSERT_EQ(mkfifo((folder_ / "G_TUBERIA").c_str(), 0644), 0);
  File("H/DENTRO.TXT", 7);
  expected.push_back("F T:\\H\\");
  expected.push_back("  T:\\H\\DENTRO.TXT 7");
  TFindFile walker(drives_);
  walker.SetLocation("T:\\");
  EXPECT_TRUE(Walk(walker) == expected);
}

// Large folders within large folders: while one is reported the next folder
// the walk enters (its first subfolder, else the next one waiting above) is
// listed ahead; every folder and file still comes once, in walking order,
// small folders and a link to a folder among them.
TEST_F(FindFileTest, LargeFoldersWithinLargeFoldersComeInWalkingOrder) {
  std::vector<std::string> expected;
  const auto folder = [&](const std::string& path, int files) {
    std::string windows = "T:\\" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    expected.push_back("F " + windows);
    for (int i = 0; i < files; ++i) {
      const std::string name = "F" + std::to_string(1000 + i) + ".DAT";
      File(path + name, static_cast<std::uintmax_t>(i % 13));
      expected.push_back("  " + windows + name + " " + std::to_string(i % 13));
    }
  };
  folder("", 300);
  folder("A/", 400);
  folder("A/X/", 300);
  folder("A/Y/", 3);
  folder("B/", 5);
  folder("C/", 260);
  folder("C/Z/", 280);
  fs::create_directory_symlink(folder_ / "A", folder_ / "C" / "ENLACE");
  TFindFile walker(drives_);
  walker.SetLocation("T:\\");
  EXPECT_TRUE(Walk(walker) == expected);
}

// Runs work on a thread with a small stack, as deep walks must not need one.
void OnSmallStack(const std::function<void()>& work) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 256 * 1024);
  pthread_t thread;
  auto* job = new std::function<void()>(work);
  ASSERT_EQ(
      pthread_create(
          &thread, &attributes,
          [](void* w) -> void* {
            std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(w));
            (*run)();
            return nullptr;
          },
          job),
      0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

// Depth costs neither the program's stack nor a descriptor a level: a chain
// deeper than the longest path the system takes, with a side folder at every
// level walked after the chain below it (so the walk must find its way back
// to folders whose descriptors it closed), on a 256 KiB stack, leaving no
// descriptor open; a level moved away meanwhile is still walked whole.
TEST_F(FindFileTest, WalksChainsDeeperThanPathsGoAndComesBackToEachLevel) {
  constexpr int kLevels = 1500;  // past PATH_MAX and the usual 1,024 open files
  const auto openDescriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  int fd = open(folder_.Path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < kLevels; ++i) {
    ASSERT_EQ(mkdirat(fd, "carpeta", 0755), 0);
    ASSERT_EQ(mkdirat(fd, "lado", 0755), 0);
    close(openat(fd, "lado/f.txt", O_CREAT | O_WRONLY, 0644));
    const int next = openat(fd, "carpeta", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  close(fd);
  const auto before = openDescriptors();
  TFindFile walker(drives_);
  walker.SetLocation("T:\\");
  // Paths grow with depth: events are compared by their hashes.
  const auto hash = [](const std::string& event) { return std::hash<std::string>()(event); };
  std::vector<std::size_t> expected{hash("F T:\\")};
  std::string path = "T:\\";
  for (int i = 0; i < kLevels; ++i) {
    path += "carpeta\\";
    expected.push_back(hash("F " + path));
  }
  for (int i = kLevels; i-- > 0;) {
    path.resize(path.size() - 8);
    expected.push_back(hash("F " + path + "lado\\"));
    expected.push_back(hash("  " + path + "lado\\f.txt"));
  }
  std::vector<std::size_t> events;
  walker.OnNewFolder = [&](TFindFile&, const std::string& folder, bool&) {
    events.push_back(hash("F " + folder));
  };
  walker.OnFound = [&](TFindFile&, const std::string& folder, FileInfo& info) {
    events.push_back(hash("  " + folder + info.name));
  };
  OnSmallStack([&] { walker.Execute(); });
  EXPECT_TRUE(events == expected);
  EXPECT_EQ(openDescriptors(), before);

  bool moved = false;
  walker.OnNewFolder = [&](TFindFile&, const std::string& folder, bool&) {
    if (moved || std::count(folder.begin(), folder.end(), '\\') < 300) return;
    fs::rename(folder_ / "carpeta" / "carpeta", folder_ / "fuera");
    moved = true;
  };
  std::set<std::string> sides;
  walker.OnFound = [&](TFindFile&, const std::string& folder, FileInfo&) { sides.insert(folder); };
  OnSmallStack([&] { walker.Execute(); });
  EXPECT_TRUE(moved);
  EXPECT_EQ(sides.size(), static_cast<std::size_t>(kLevels));
  EXPECT_EQ(openDescriptors(), before);
}

TEST(AttributeRules, HiddenAndSystemFilesAreReportedUnderTheDefaultMask) {
  const std::uint32_t defaults = attr::kArchive | attr::kReadOnly | attr::kHidden | attr::kSystem;
  EXPECT_EQ(defaults, 39u);
  EXPECT_TRUE(ReportsFile(0, defaults, true));
  EXPECT_TRUE(ReportsFile(attr::kHidden, defaults, true));
  EXPECT_TRUE(ReportsFile(attr::kSystem | attr::kArchive, defaults, true));
  EXPECT_FALSE(ReportsFile(attr::kVolume, defaults, true));
  EXPECT_FALSE(ReportsFile(attr::kDirectory, defaults, true));
  EXPECT_FALSE(ReportsFile(128, defaults, true));  // only bits outside the mask
  // Without hidden in the mask a hidden file is not even listed.
  EXPECT_FALSE(ReportsFile(attr::kHidden | attr::kArchive, attr::kArchive, true));
  EXPECT_FALSE(ReportsFile(0, attr::kArchive, false));  // plain entries need ffNormal
  EXPECT_TRUE(ReportsFile(attr::kArchive, attr::kArchive, false));
}

}  // namespace
}  // namespace zafirel
