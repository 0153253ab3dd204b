// The HTML pages the program writes: a saved search (its results tree) and
// the page of one disc (its title, size and files). ANSI text, CR LF after
// every line, written byte for byte with no escaping, as pages of earlier
// versions were; each file is written whole through a temporary file.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "search/catalogue_search.h"
#include "search/search_filter.h"
#include "store/line_list.h"
#include "util/records.h"

namespace zafirel {

// Visits every node of a results tree in tree order: a heading (top level)
// and then its hits.
using ResultsWalk =
    std::function<void(const std::function<void(std::string_view text, bool topLevel)>& visit)>;

std::string SearchPageText(std::string_view searchText, const ResultsWalk& walk);
// Throws Failure (the page, the system's reason) when it cannot be written.
void GrabarLaBusqueda(const std::filesystem::path& page, std::string_view searchText,
                      const ResultsWalk& walk);

// Where a search is saved: Capitaliza(text) + ".htm" in the searches folder,
// or "~Temporal.htm" there when that name cannot be created or would name a
// file elsewhere or a hidden one (the text holds "/" or "\" or begins with
// ".").
std::filesystem::path StoredSearchPath(const std::filesystem::path& searchesFolder,
                                       std::string_view searchText);

std::string DiscPageText(std::string_view title, std::string_view bytes, bool noDiscs,
                         const LineList& lines);
// Throws Failure (the page, the system's reason) when it cannot be written.
void GrabarComoHTML(const std::filesystem::path& page, std::string_view title,
                    std::string_view bytes, bool noDiscs, const LineList& lines);

// The same page with its rows read from a disc's catalogue files (base +
// ".Ind", base + ".Ct") as the loaded catalogue would hold them: no rows
// without the tree file, none from a file list that cannot be opened. The
// file list is read and the page written piece by piece, so a disc of any
// size costs a few buffers. Throws Failure (the file, the system's reason)
// when the tree file or the file list cannot be read or the page cannot be
// written; the page is then left as it was.
void GrabarComoHTMLDesdeArchivos(const std::filesystem::path& page, std::string_view title,
                                 std::string_view bytes, bool noDiscs,
                                 const std::filesystem::path& catalogueBase);

// The file name of a disc's exported page: "N - Title.htm", the characters a
// file name cannot hold on Linux or Windows made "_".
std::string ExportPageName(std::string_view number, std::string_view title);

// Names of the stored searches ("*.htm*"), sorted by name (letters a to z
// without regard to case).
std::vector<std::string> ListStoredSearches(const std::filesystem::path& searchesFolder);

// A disc's file list as records for spreadsheets and scripts (path,
// kilobytes, date, description; texts in UTF-8), written piece by piece and
// put in place whole. Throws Failure (the file, the system's reason) when
// the list cannot be read or the file cannot be written; the file is then
// left as it was.
void WriteDiscRecords(const std::filesystem::path& target, const std::filesystem::path& listFile,
                      RecordFormat format);

// A search's hits as records (after the header): one a title hit ("title")
// and one a file ("file"), each with its disc's number, title, user's number
// and album, and a file's path, kilobytes, date and description. The search
// is BuscaEnArchivos's, with the caller's cancel and progress handlers.
SearchOutcome SearchRecords(TTablas& tablas, const std::filesystem::path& catalogueFolder,
                            std::string_view text, const SearchFilter& filter, RecordFormat format,
                            const std::function<void(std::string_view piece)>& out,
                            SearchEvents events = {});
// The same into a file put in place whole. Throws Failure (the file, the
// system's reason) when it cannot be written; it is then left as it was.
SearchOutcome SaveSearchRecords(const std::filesystem::path& target, TTablas& tablas,
                                const std::filesystem::path& catalogueFolder, std::string_view text,
                                const SearchFilter& filter, RecordFormat format);

}  // namespace zafirel
