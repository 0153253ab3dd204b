#include "search/html_pages.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "util/codepage.h"
#include "util/failure.h"
#include "util/file_handle.h"
#include "util/file_writer.h"
#include "util/piece_reader.h"
#include "util/text.h"
#include "util/version.h"
#include "util/wildcard.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCrLf = "\r\n";

void Line(std::string& page, std::string_view text) {
  page += text;
  page += kCrLf;
}

// The first three lines every page of the program opens with.
void Opening(std::string& page) {
  Line(page, "<HTML>");
  Line(page, "<!-- Creado por Zafirel v" ZAFIREL_VERSION "-->");
  Line(page,
       "<BODY BGCOLOR=\"#F0F0C0\"\" TEXT =\"#000000\" LINK   =\"#009900\" VLINK=\"#003300\">");
}

void Write(const fs::path& page, const std::string& text) {
  if (!WriteFileAtomically(page, text))
    throw Failure("ErrorEscribirPagina", "No se puede escribir la p\xE1gina", page, errno);
}

}  // namespace

std::string SearchPageText(std::string_view searchText, const ResultsWalk& walk) {
  std::string page;
  Opening(page);
  Line(page, "<h2> B\xFAsqueda de '" + std::string(searchText) + "'</h2>");
  Line(page, "<br><br>");
  Line(page, "<br><br>");
  walk([&](std::string_view text, bool topLevel) {
    if (topLevel) {
      Line(page, "<P>");
      Line(page, "<FONT COLOR=\"blue\">" + std::string(text) + "</FONT>");
      Line(page, "</P>");
    } else {
      Line(page, "<FONT COLOR=\"black\">" + std::string(text) + "</FONT>");
    }
  });
  Line(page, "</HTML>");
  return page;
}

void GrabarLaBusqueda(const fs::path& page, std::string_view searchText, const ResultsWalk& walk) {
  Write(page, SearchPageText(searchText, walk));
}

fs::path StoredSearchPath(const fs::path& searchesFolder, std::string_view searchText) {
  const fs::path fallback = searchesFolder / "~Temporal.htm";
  const std::string name = Capitaliza(searchText) + ".htm";
  if (name.find_first_of("/\\") != std::string::npos || name[0] == '.' ||
      name.find('\0') != std::string::npos)
    return fallback;
  const fs::path path = searchesFolder / AnsiToUtf8(name);
  // The name is usable when a file of that name can be created.
  const FileDescriptor created =
      FileDescriptor::Open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  return created.valid() ? path : fallback;
}

namespace {

void DiscPageHead(std::string& page, std::string_view title, std::string_view bytes, bool noDiscs) {
  Opening(page);
  Line(page, "<h2> Contenido de '" + std::string(title) + "'</h2>");
  Line(page, "<h2> Creado por Zafirel v" ZAFIREL_VERSION " - cat\xE1logo de discos</h2>");
  Line(page, "<i>Tama\xF1o : " + std::string(bytes) + " bytes</i>");
  Line(page, "<br><br>");
  if (!noDiscs) Line(page, "<br><br>");
}

void DiscPageRow(std::string& page, std::string_view line) {
  page += "<tr><td> ";
  page += Trozo(line, ';', 0);
  page += " <td> ";
  page += Trozo(line, ';', 1);
  page += " Kb <td>  </tr>";
  page += kCrLf;
  Line(page, "</tr>");
  Line(page, "<br>");
}

}  // namespace

std::string DiscPageText(std::string_view title, std::string_view bytes, bool noDiscs,
                         const LineList& lines) {
  std::string page;
  DiscPageHead(page, title, bytes, noDiscs);
  if (!noDiscs)
    for (std::size_t i = 0; i < lines.size(); ++i) DiscPageRow(page, lines[i]);
  Line(page, "</HTML>");
  return page;
}

void GrabarComoHTML(const fs::path& page, std::string_view title, std::string_view bytes,
                    bool noDiscs, const LineList& lines) {
  Write(page, DiscPageText(title, bytes, noDiscs, lines));
}

void GrabarComoHTMLDesdeArchivos(const fs::path& page, std::string_view title,
                                 std::string_view bytes, bool noDiscs,
                                 const fs::path& catalogueBase) {
  fs::path treeFile = catalogueBase, listFile = catalogueBase;
  treeFile += ".Ind";
  listFile += ".Ct";
  std::error_code unknown;
  bool rows = !noDiscs && fs::exists(treeFile, unknown);
  if (rows) {
    // A tree file that cannot be read fails the page, as loading the disc would.
    if (!FileDescriptor::Open(treeFile, O_RDONLY | O_CLOEXEC).valid())
      throw Failure("ErrorLeerArchivo", "No se puede leer el archivo", treeFile, errno);
    rows = FileDescriptor::Open(listFile, O_RDONLY | O_CLOEXEC).valid();
  }
  StreamedFile out(page);
  auto notWritten = [&](int cause) {
    return Failure("ErrorEscribirPagina", "No se puede escribir la p\xE1gina", page, cause);
  };
  if (!out.ok()) throw notWritten(out.error());  // before a byte is read for it
  std::string text;
  DiscPageHead(text, title, bytes, noDiscs);
  out.Append(text);
  if (rows) {
    ReadBuffer buffer(std::size_t{128} << 10);
    try {
      ForEachLineOfFile(listFile, buffer, [&](std::string_view line) {
        text.clear();
        DiscPageRow(text, line);
        out.Append(text);
        return out.ok();  // after a failed write the rest would go nowhere
      });
    } catch (const Failure& failure) {
      if (!failure.File().empty()) throw;
      throw Failure(failure.Key(), failure.Problem(), listFile, failure.Cause());
    }
  }
  out.Append("</HTML>\r\n");
  if (!out.Commit()) throw notWritten(out.error());
}

std::string ExportPageName(std::string_view number, std::string_view title) {
  std::string name = std::string(number) + " - " + std::string(title);
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  }
  // Within the 255 bytes of a host name even in UTF-8, with a temporary suffix.
  if (name.size() > 75) name.resize(75);
  return name + ".htm";
}

std::vector<std::string> ListStoredSearches(const std::filesystem::path& searchesFolder) {
  std::vector<std::string> names = ListFiles(searchesFolder, "*.htm*");
  // By name, letters a to z without regard to case.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string x = UpperAZ(a), y = UpperAZ(b);
    return x != y ? x < y : a < b;
  });
  return names;
}

void WriteDiscRecords(const fs::path& target, const fs::path& listFile, RecordFormat format) {
  const RecordWriter writer(format, {"path", "kilobytes", "date", "description"});
  StreamedFile out(target);
  const auto notWritten = [&](int cause) {
    return Failure("ErrorEscribirPagina", "No se puede escribir la p\xE1gina", target, cause);
  };
  if (!out.ok()) throw notWritten(out.error());
  out.Append(writer.Header());
  ReadBuffer buffer(std::size_t{128} << 10);
  try {
    ForEachLineOfFile(listFile, buffer, [&](std::string_view line) {
      if (line.empty()) return true;
      out.Append(writer.Record({AnsiToUtf8(Trozo(line, ';', 0)), DigitsOf(Trozo(line, ';', 1)),
                                AnsiToUtf8(Trozo(line, ';', 2)), AnsiToUtf8(Trozo(line, ';', 3))}));
      return out.ok();
    });
  } catch (const Failure& failure) {
    if (!failure.File().empty()) throw;
    throw Failure(failure.Key(), failure.Problem(), listFile, failure.Cause());
  }
  if (!out.Commit()) throw notWritten(out.error());
}

SearchOutcome SearchRecords(TTablas& tablas, const fs::path& catalogueFolder, std::string_view text,
                            const SearchFilter& filter, RecordFormat format,
                            const std::function<void(std::string_view piece)>& out,
                            SearchEvents events) {
  const RecordWriter writer(format, {"match", "disc", "title", "number", "album", "path",
                                     "kilobytes", "date", "description"});
  out(writer.Header());
  const std::unordered_map<std::string, DiscFacts> discs = ReadDiscFacts(tablas);
  std::string disc;  // the number of the disc whose hits are coming
  const auto record = [&](const char* match, std::string_view line) {
    const auto facts = discs.find(disc);
    const DiscFacts none;
    const DiscFacts& of = facts == discs.end() ? none : facts->second;
    const auto field = [&](int n) { return AnsiToUtf8(Trozo(line, ';', n)); };
    out(writer.Record({match, DigitsOf(disc), AnsiToUtf8(of.title), AnsiToUtf8(of.number),
                       AnsiToUtf8(of.album), field(0), DigitsOf(Trozo(line, ';', 1)), field(2),
                       field(3)}));
  };
  events.titleDisc = [&](const std::string& number) {
    disc = number;
    record("title", {});
  };
  events.discHeading = [&](const std::string&, const std::string& number) { disc = number; };
  events.hitLine = [&](std::string_view line) { record("file", line); };
  return BuscaEnArchivos(tablas, catalogueFolder, text, "(ver catalogos)", events, filter);
}

SearchOutcome SaveSearchRecords(const fs::path& target, TTablas& tablas,
                                const fs::path& catalogueFolder, std::string_view text,
                                const SearchFilter& filter, RecordFormat format) {
  StreamedFile file(target);
  const auto notWritten = [&](int cause) {
    return Failure("ErrorEscribirPagina", "No se puede escribir la p\xE1gina", target, cause);
  };
  if (!file.ok()) throw notWritten(file.error());
  SearchEvents events;
  events.cancelled = [&] { return !file.ok(); };  // nothing more would be kept
  const SearchOutcome outcome = SearchRecords(
      tablas, catalogueFolder, text, filter, format,
      [&](std::string_view piece) { file.Append(piece); }, events);
  if (!file.Commit()) throw notWritten(file.error());
  return outcome;
}

}  // namespace zafirel
