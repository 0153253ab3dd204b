#include "search/search_filter.h"

#include <charconv>

#include "settings/ini_editor.h"
#include "util/text.h"

namespace zafirel {

const std::array<FileKind, 6> kFileKinds = {{
    {"Imagenes", "images",
     "BMP,GIF,JPG,JPEG,JPE,PNG,TIF,TIFF,WEBP,PCX,TGA,ICO,SVG,PSD,HEIC,RAW,CR2,NEF,DNG"},
    {"Musica", "music",
     "MP3,FLAC,OGG,OGA,OPUS,WAV,WMA,AAC,M4A,MPC,APE,AIF,AIFF,MID,MIDI,MOD,XM,S3M,IT,VOC,AU"},
    {"Video", "video",
     "AVI,MKV,MP4,M4V,MOV,QT,MPG,MPEG,MPE,VOB,WMV,ASF,FLV,WEBM,OGV,3GP,TS,M2TS,RM"},
    {"Documentos", "documents",
     "TXT,DOC,DOCX,ODT,RTF,WRI,PDF,PS,XLS,XLSX,ODS,CSV,PPT,PPTX,ODP,HTM,HTML,XML,EPUB,MD,TEX,DIZ,"
     "NFO"},
    {"Comprimidos", "archives",
     "ZIP,RAR,7Z,ARJ,LZH,LHA,ACE,ZOO,CAB,TAR,GZ,TGZ,BZ2,TBZ,XZ,TXZ,Z,ZST,ISO"},
    {"Programas", "programs", "EXE,COM,BAT,CMD,PIF,SCR,DLL,SYS,OCX,MSI,JAR,APK,DEB,RPM,SH,APP"},
}};

std::vector<std::string> ExtensionList(std::string_view text) {
  std::vector<std::string> extensions;
  for (std::size_t at = 0; at <= text.size();) {
    std::size_t end = text.find_first_of(",; ", at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view piece = text.substr(at, end - at);
    while (!piece.empty() && piece.front() == '.') piece.remove_prefix(1);
    if (!piece.empty()) extensions.push_back(UpperAnsi(piece));
    at = end + 1;
  }
  return extensions;
}

std::optional<std::vector<std::string>> KindExtensions(const TIniEditor& settings,
                                                       std::string_view kind) {
  const std::string wanted = UpperAZ(kind);
  for (const FileKind& known : kFileKinds)
    if (wanted == UpperAZ(known.key) || wanted == UpperAZ(known.name))
      return ExtensionList(settings.ReadStr(kFileKindsSection, known.key, known.defaults));
  return std::nullopt;
}

std::optional<std::uint64_t> ParseSize(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end == text.data()) return std::nullopt;
  const std::string_view unit = text.substr(static_cast<std::size_t>(end - text.data()));
  int shift = 0;
  if (unit.size() == 1) {
    const char u = UpperAZChar(unit[0]);
    shift = u == 'K' ? 10 : u == 'M' ? 20 : u == 'G' ? 30 : -1;
  } else if (!unit.empty()) {
    shift = -1;
  }
  if (shift < 0 || value > (UINT64_MAX >> shift)) return std::nullopt;
  return value << shift;
}

std::optional<int> ParseIsoDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  Locale iso;
  iso.shortDateFormat = "yyyy-MM-dd";
  return ParseShortDate(text, iso);
}

namespace {

// Kilobytes as a line holds them for a bound in bytes: rounded up.
std::uint64_t KilobytesOf(std::uint64_t bytes) { return bytes / 1024 + (bytes % 1024 != 0); }

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAnsiChar(a[i]) != UpperAnsiChar(b[i])) return false;
  return true;
}

}  // namespace

bool SearchFilter::JudgesLines() const {
  return !extensions.empty() || minBytes || maxBytes || from || to;
}

bool SearchFilter::KeepsDisc(std::string_view number, std::string_view album) const {
  if (!discs.empty() && discs.count(std::string(number)) == 0) return false;
  if (albums.empty()) return true;
  for (const std::string& wanted : albums)
    if (SameNoCase(TrimBlanks(wanted), TrimBlanks(album))) return true;
  return false;
}

bool SearchFilter::KeepsLine(std::string_view line) const {
  const std::size_t pathEnd = line.find(';');
  const std::string_view path = line.substr(0, pathEnd);
  if (!extensions.empty()) {
    const std::size_t slash = path.rfind('\\');
    const std::string_view name = path.substr(slash == std::string_view::npos ? 0 : slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot - 1 > 16) return false;
    char upper[16];
    const std::string_view extension = name.substr(dot + 1);
    for (std::size_t i = 0; i < extension.size(); ++i) upper[i] = UpperAnsiChar(extension[i]);
    if (extensions.find(std::string_view(upper, extension.size())) == extensions.end())
      return false;
  }
  if (!minBytes && !maxBytes && !from && !to) return true;
  if (pathEnd == std::string_view::npos) return false;
  const std::string_view rest = line.substr(pathEnd + 1);
  if (minBytes || maxBytes) {
    const std::string_view field = Trozo(rest, ';', 0);
    std::uint64_t kilobytes = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), kilobytes);
    if (error != std::errc{} || end != field.data() + field.size()) return false;
    if (minBytes && kilobytes < KilobytesOf(*minBytes)) return false;
    if (maxBytes && kilobytes > KilobytesOf(*maxBytes)) return false;
  }
  if (from || to) {
    if (!dates_ || dates_->first != locale.shortDateFormat)
      dates_.emplace(locale.shortDateFormat, ShortDateReader(locale));
    const std::optional<int> date = dates_->second.Read(Trozo(rest, ';', 1));
    if (!date || (from && *date < *from) || (to && *date > *to)) return false;
  }
  return true;
}

}  // namespace zafirel
