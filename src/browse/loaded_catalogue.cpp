#include "browse/loaded_catalogue.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <exception>
#include <system_error>
#include <unordered_map>

#include "store/catalogue_files.h"
#include "store/search_index.h"
#include "util/failure.h"
#include "util/file_writer.h"
#include "util/folder_lock.h"
#include "util/piece_reader.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

std::string CleanComment(std::string_view typed) {
  std::string clean;
  clean.reserve(typed.size());
  for (char c : typed) {
    if (c == ';' || c == '\\' || c == '\n') continue;
    clean += c == '\r' || c == '\t' ? ' ' : c;
  }
  return clean;
}

std::string CleanFileName(std::string_view typed) {
  std::string clean;
  clean.reserve(typed.size());
  for (char c : typed)
    if (c != ';' && c != '\\' && c != '\r' && c != '\n') clean += c;
  return std::string(TrimBlanks(clean));
}

std::string WithComment(std::string_view line, std::string_view comment) {
  std::string out;
  for (int field = 0; field < 3; ++field) {
    if (field > 0) out += ';';
    out += Trozo(line, ';', field);
  }
  out += ';';
  out += comment;
  return out;
}

std::string Renamed(std::string_view line, std::string_view newName) {
  const std::size_t fieldEnd = std::min(line.find(';'), line.size());
  const std::string_view path = line.substr(0, fieldEnd);
  const std::size_t slash = path.rfind('\\');
  std::string out(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1));
  out += newName;
  out += line.substr(fieldEnd);
  return out;
}

std::string FileSizeCell(std::string_view sizeField, const Locale& locale) {
  return FormatThousandsOfText(sizeField, locale) + " KB";
}

bool LoadedCatalogue::CargarCatalogo(const fs::path& base) {
  fs::path treeFile = base;
  treeFile += ".Ind";
  std::error_code ec;
  if (!fs::exists(treeFile, ec)) return false;
  const std::string tree = treeFile.string();
  bool rebuilt = false;
  if (RutaIndActual != tree) {
    // Named as loaded first: a tree file that cannot be read is not retried.
    RutaIndActual = tree;
    LineasActuales = LineList();  // its memory goes before the next is read
    CargarArbol(treeFile);
    rebuilt = true;
    fs::path listFile = base;
    listFile += ".Ct";
    std::exception_ptr tooLarge;
    try {
      LineasActuales = ReadCatalogueFile(listFile);
    } catch (const Failure& failure) {
      // No file list: every folder lists nothing. One that cannot be held is
      // said, not shown as a disc without files.
      if (failure.Cause() == EFBIG) tooLarge = std::current_exception();
    } catch (const std::exception&) {
    }
    NoteFileWritten();
    if (tooLarge) std::rethrow_exception(tooLarge);
  }
  return rebuilt;
}

void LoadedCatalogue::CargarArbol(const fs::path& treeFile) {
  Arbol = FolderTree();
  Arbol = FolderTree::FromLines(ReadCatalogueFile(treeFile));
}

void LoadedCatalogue::Clear() {
  RutaIndActual.clear();
  stamp_.reset();
  LineasActuales = LineList();
  Arbol = FolderTree();
}

fs::path LoadedCatalogue::TargetFile() const {
  fs::path target = RutaIndActual;
  target.replace_extension(".Ct");
  return target;
}

std::optional<LoadedCatalogue::Stamp> LoadedCatalogue::CurrentStamp() const {
  // Whatever stands under the name counts, a folder too: an edit must not
  // take a name something else took meanwhile.
  struct stat info {};
  if (RutaIndActual.empty() || ::stat(TargetFile().c_str(), &info) != 0) return std::nullopt;
  return Stamp{static_cast<std::uint64_t>(info.st_size), Nanoseconds(info.st_mtim),
               static_cast<std::uint64_t>(info.st_ino)};
}

void LoadedCatalogue::NoteFileWritten() { stamp_ = CurrentStamp(); }

EditOutcome LoadedCatalogue::WriteEdited(const std::vector<std::size_t>& dropped,
                                         std::size_t replaced, std::string_view replacement) {
  if (RutaIndActual.empty()) return EditOutcome::kNotWritten;
  std::optional<FolderLock> lock;
  try {
    if (!lockFolder.empty()) lock.emplace(lockFolder);
  } catch (const FolderBusy&) {
    return EditOutcome::kBusy;
  }
  if (stamp_ && CurrentStamp() != stamp_) return EditOutcome::kChangedElsewhere;
  std::vector<char> gone(LineasActuales.size(), 0);
  for (std::size_t line : dropped)
    if (line < gone.size()) gone[line] = 1;
  // The list goes out through the writer's buffer: an edit of a catalogue
  // of any size costs no copy of it.
  StreamedFile out(TargetFile());
  for (std::size_t i = 0; i < LineasActuales.size() && out.ok(); ++i) {
    if (gone[i]) continue;
    out.Append(i == replaced ? replacement : LineasActuales[i]);
    out.Append("\r\n");
  }
  if (!out.Commit()) {
    notWrittenCause_ = out.error();
    return EditOutcome::kNotWritten;
  }
  // The search index follows the edit; without it the disc is only read whole.
  (void)UpdateDiscIndex(TargetFile().parent_path(),
                        DiscNumberOfFile(TargetFile().filename().string()));
  NoteFileWritten();
  return EditOutcome::kWritten;
}

std::vector<std::size_t> LoadedCatalogue::FolderLines(int node) const {
  if (node < 0 || static_cast<std::size_t>(node) >= Arbol.Nodes().size()) return {};
  return ListFolderFiles(LineasActuales, Arbol.Prefix(node));
}

std::size_t LoadedCatalogue::PrefixLength(int node) const {
  if (node < 0 || static_cast<std::size_t>(node) >= Arbol.Nodes().size()) return 0;
  return Arbol.Prefix(node).size();
}

std::vector<FileRow> LoadedCatalogue::Rows(int node, const Locale& locale) const {
  const std::size_t prefixLength = PrefixLength(node);
  std::vector<FileRow> rows;
  for (std::size_t i : FolderLines(node))
    rows.push_back(FileRowOf(LineasActuales[i], i, prefixLength, locale));
  return rows;
}

FileRow FileRowOf(std::string_view line, std::size_t lineNumber, std::size_t prefixLength,
                  const Locale& locale) {
  const std::string_view rest = line.substr(std::min(prefixLength, line.size()));
  FileRow row;
  row.line = lineNumber;
  row.name = Trozo(rest, ';', 0);
  row.size = FileSizeCell(Trozo(rest, ';', 1), locale);
  row.date = Trozo(rest, ';', 2);
  row.comment = Trozo(rest, ';', 3);
  return row;
}

void ForEachFolderRowInFile(const fs::path& listFile, std::string_view prefix, const Locale& locale,
                            const std::function<void(const FileRow&)>& visit) {
  constexpr std::size_t kPiece = std::size_t{128} << 10;
  const FolderLineRule rule(prefix);
  ReadBuffer buffer(kPiece);
  std::size_t lineNumber = 0;
  try {
    ForEachLineOfFile(listFile, buffer, [&](std::string_view line) {
      const FolderLineRule::Verdict verdict = rule.Judge(line);
      if (verdict == FolderLineRule::Verdict::kBelow) return false;
      if (verdict == FolderLineRule::Verdict::kOwn)
        visit(FileRowOf(line, lineNumber, prefix.size(), locale));
      ++lineNumber;
      return true;
    });
  } catch (const Failure& failure) {
    if (!failure.File().empty()) throw;
    throw Failure(failure.Key(), failure.Problem(), listFile, failure.Cause());
  }
}

std::size_t LoadedCatalogue::Find(int node, std::string_view fileName) const {
  if (node < 0 || static_cast<std::size_t>(node) >= Arbol.Nodes().size())
    return LineasActuales.size();
  return FindFileLine(LineasActuales, Arbol.FolderPath(node), fileName);
}

EditOutcome LoadedCatalogue::DeleteFiles(int node, const std::vector<std::string>& fileNames) {
  if (node < 0 || static_cast<std::size_t>(node) >= Arbol.Nodes().size())
    return EditOutcome::kUnchanged;
  std::string folder = Arbol.FolderPath(node);
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  // One pass over the lines for all names: each name takes the first line
  // of its path not taken yet (two rows alike take two lines).
  std::unordered_map<std::string, std::deque<std::size_t>> wanted;  // path -> name positions
  for (std::size_t n = 0; n < fileNames.size(); ++n)
    wanted[UpperAZ(folder + "\\" + fileNames[n])].push_back(n);
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> lineOf(fileNames.size(), kNone);
  std::string path;
  for (std::size_t i = 0; i < LineasActuales.size() && !wanted.empty(); ++i) {
    path.assign(Trozo(LineasActuales[i], ';', 0));
    UpperAZInPlace(path);
    const auto it = wanted.find(path);
    if (it == wanted.end()) continue;
    lineOf[it->second.front()] = i;
    it->second.pop_front();
    if (it->second.empty()) wanted.erase(it);
  }
  // A name without a line changes nothing: what is shown stays what is stored.
  if (std::find(lineOf.begin(), lineOf.end(), kNone) != lineOf.end())
    return EditOutcome::kUnchanged;
  const EditOutcome outcome = WriteEdited(lineOf, kNone, {});
  if (outcome == EditOutcome::kWritten) LineasActuales.Erase(std::move(lineOf));
  return outcome;
}

EditOutcome LoadedCatalogue::SetComment(std::size_t line, std::string_view typed) {
  if (typed.empty() || line >= LineasActuales.size()) return EditOutcome::kUnchanged;
  const std::string edited = WithComment(LineasActuales[line], CleanComment(typed));
  const EditOutcome outcome = WriteEdited({}, line, edited);
  if (outcome == EditOutcome::kWritten) LineasActuales.Replace(line, edited);
  return outcome;
}

EditOutcome LoadedCatalogue::Rename(std::size_t line, std::string_view typed) {
  const std::string name = CleanFileName(typed);
  if (name.empty() || line >= LineasActuales.size()) return EditOutcome::kUnchanged;
  const std::string edited = Renamed(LineasActuales[line], name);
  const EditOutcome outcome = WriteEdited({}, line, edited);
  if (outcome == EditOutcome::kWritten) LineasActuales.Replace(line, edited);
  return outcome;
}

}  // namespace zafirel
