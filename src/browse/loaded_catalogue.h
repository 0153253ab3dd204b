// The catalogue shown on the files page: one disc's tree file and file-list
// lines held in memory, the folder tree rebuilt from them, the rows of one
// folder, and the edits of file entries, each written back whole at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/folder_tree.h"
#include "store/line_list.h"
#include "store/search_index.h"
#include "util/locale.h"

namespace zafirel {

// One row of the file list: the line it shows and its four cells.
struct FileRow {
  std::size_t line = 0;
  std::string name;     // field 0 without the folder's prefix
  std::string size;     // field 1 grouped, then " KB"
  std::string date;     // field 2 as stored
  std::string comment;  // field 3, empty when there is none
};

// A comment typed by the user, made fit for one line's last field: ";" and
// "\" removed, each CR or tab a blank, each LF dropped.
std::string CleanComment(std::string_view typed);

// A name typed in place, made fit for a path field: ";" and "\" removed and
// the blanks at either end trimmed. Empty when nothing usable is left, and the
// rename is then refused.
std::string CleanFileName(std::string_view typed);

// A line with its comment set: fields 0 to 2 exactly as they were, then ";"
// and the comment (an earlier field 3 is replaced).
std::string WithComment(std::string_view line, std::string_view comment);

// A line with the file part of its path replaced; everything after the path
// field stays exactly as it was.
std::string Renamed(std::string_view line, std::string_view newName);

// The size cell of a file row.
std::string FileSizeCell(std::string_view sizeField, const Locale& locale);

// The row of a line numbered lineNumber, of the folder whose prefix has
// prefixLength bytes.
FileRow FileRowOf(std::string_view line, std::size_t lineNumber, std::size_t prefixLength,
                  const Locale& locale);

// Each row of a folder's own files, read from a file-list file piece by
// piece without holding the whole file: the same rows LoadedCatalogue::Rows
// gives once the file is loaded, one at a time. Throws Failure naming the
// file when it cannot be read.
void ForEachFolderRowInFile(const std::filesystem::path& listFile, std::string_view prefix,
                            const Locale& locale, const std::function<void(const FileRow&)>& visit);

// What became of an edit of file entries.
enum class EditOutcome {
  kWritten,           // the file holds the change, and so does memory
  kUnchanged,         // nothing to do (an empty text, a name without a line)
  kNotWritten,        // the file could not be written: memory unchanged too
  kChangedElsewhere,  // another program rewrote the file since it was read: nothing written
  kBusy,              // another program kept the folder's lock: nothing written
};

class LoadedCatalogue {
 public:
  // The data folder whose write lock the edits take; none when empty.
  std::filesystem::path lockFolder;
  // The tree file now loaded; empty when none is.
  std::string RutaIndActual;
  // The lines of its file-list file, in file order.
  LineList LineasActuales;
  // The folders of its tree file.
  FolderTree Arbol;

  // Loads the disc whose files are base + ".Ind" and base + ".Ct" unless its
  // tree file is the one already loaded. Nothing changes when the tree file
  // does not exist. A file list that cannot be read leaves the lines empty;
  // one too large to hold (cause EFBIG) does so too, and then throws.
  // True when the tree was rebuilt; throws when the tree file cannot be read
  // (the tree is then empty).
  bool CargarCatalogo(const std::filesystem::path& base);
  // Rebuilds the folder tree from a tree file; throws std::runtime_error when
  // it cannot be read, leaving no folders.
  void CargarArbol(const std::filesystem::path& treeFile);
  void Clear();

  // RutaIndActual with ".Ct" in place of its extension: the file edits write.
  std::filesystem::path TargetFile() const;
  // The file list as read or last written: an edit finding the file changed
  // since (by another program) writes nothing.
  void NoteFileWritten();

  // The positions in LineasActuales of a folder's own files, in file order,
  // and the length of the folder's prefix on those lines (FileRowOf).
  std::vector<std::size_t> FolderLines(int node) const;
  std::size_t PrefixLength(int node) const;
  // The rows of a folder's own files, in file order.
  std::vector<FileRow> Rows(int node, const Locale& locale) const;
  // The line of a file of a folder, or LineasActuales.size() when none is.
  std::size_t Find(int node, std::string_view fileName) const;

  // Each edit writes the whole list, with the change, under the lock and
  // only then changes memory: memory and the file never part.
  //
  // Removes the entries of the named files of a folder with one write. When a
  // name has no line nothing is removed (kUnchanged).
  [[nodiscard]] EditOutcome DeleteFiles(int node, const std::vector<std::string>& fileNames);
  // Sets the comment of a line; an empty text changes nothing.
  [[nodiscard]] EditOutcome SetComment(std::size_t line, std::string_view typed);
  // Renames the entry of a line; a cleaned name that is empty changes nothing.
  [[nodiscard]] EditOutcome Rename(std::size_t line, std::string_view typed);
  // Why the last edit was kNotWritten (an errno value).
  int NotWrittenCause() const { return notWrittenCause_; }

 private:
  using Stamp = ListStamp;  // the search index's stamp of a file list
  std::optional<Stamp> CurrentStamp() const;
  // Writes the list as it would be with the edits: dropped lines left out,
  // one line replaced.
  int notWrittenCause_ = 0;
  EditOutcome WriteEdited(const std::vector<std::size_t>& dropped, std::size_t replaced,
                          std::string_view replacement);

  std::optional<Stamp> stamp_;  // of the file list when read or last written
};

}  // namespace zafirel
