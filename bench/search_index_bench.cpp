// Searching file lists at archive scale: 2, 20 and 50 million file lines in
// discs of 100,000, whole zafirel-cli searches against plocate over the same
// paths and against the search reading every catalogue (the index files,
// "*.Tri" in the catalogue folder, moved aside for the run). Rows: a rare
// term warm at each size (also against a data folder of one disc) and cold
// at the largest, a term with 1,000 hits, a term in about a tenth of the
// lines, a two-term "+" search, the index's size against the ".Ct" bytes and
// its full rebuild against plocate-build, per GB. Each search's hit count is
// printed with and without the index, beside the count made while writing.
//
// The lines are drawn as a walk writes a disc (Windows-1252 bytes, CR LF):
// a splitmix64 generator seeded by the disc's number picks top folders of
// five kinds (photos, music, programs, documents, mixed), each with folders
// up to five levels below "D:\" and the files of each folder written
// together before its subfolders. Names come from about 300 Spanish and
// English words (some with accents) in mixed case and separators, numbered
// series (IMG_0001.JPG .. IMG_0420.JPG, Track 01.mp3), dates and versions;
// extensions are weighted as on old discs (jpg, mp3, dll, txt, doc, exe ...);
// sizes and dates follow the kind; one line in 20 has a description. Planted:
// "ZAFIRELRARO7" in 7 file names on 7 discs spread over the set, "QUETZALMIL"
// in 1,000 file names spread over all discs; "Fotos" (any case) names photo
// folders holding about a tenth of the lines; "MUSICA+2003" finds music
// folders' files dated or named 2003. The generator counts every search's
// hits as it writes.
//
//   build/search_index_bench [FOLDER] [--lines 2,20,50]
//     FOLDER (default /tmp/zafirel-index-bench) keeps the data for the next
//     run; --lines gives the sizes in millions of lines. 50M lines take about
//     3.7 GB of .Ct, 6 GB with plocate's files. The cold row drops the system's caches
//     (root only) before each run.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"

namespace {
namespace fs = std::filesystem;
using bench::ReportUnderLoad;

constexpr int kLinesPerDisc = 100000;
constexpr int kColdRounds = 3;
// Bumped whenever the drawing changes, so kept data is made anew.
constexpr const char* kGeneratorVersion = "names 7";

// ---------------------------------------------------------------------------
// Drawing names.

struct Rng {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
  bool Percent(int p) { return Below(100) < p; }
  template <class T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(static_cast<int>(N))];
  }
};

// Accented letters are Windows-1252 bytes, written as octal escapes.
const char* const kSpanish[] = {
    "agua",       "amigos",      "a\361o",       "archivo",     "arte",        "azul",
    "barco",      "boda",        "bosque",       "cambio",      "camino",      "campo",
    "canci\363n", "carta",       "casa",         "cat\341logo", "cielo",       "ciudad",
    "clase",      "c\363digo",   "color",        "copia",       "cuento",      "curso",
    "datos",      "dise\361o",   "doble",        "edici\363n",  "ejemplo",     "energ\355a",
    "escuela",    "Espa\361a",   "estrella",     "familia",     "fiesta",      "final",
    "flores",     "fuego",       "fuente",       "gato",        "gente",       "grande",
    "guerra",     "historia",    "hoja",         "hotel",       "idioma",      "informe",
    "invierno",   "isla",        "jard\355n",    "juego",       "lago",        "letra",
    "libro",      "luna",        "luz",          "madre",       "mapa",        "mar",
    "m\351todo",  "mesa",        "monta\361a",   "mundo",       "m\372sica",   "navidad",
    "negro",      "ni\361os",    "noche",        "nota",        "nuevo",       "n\372mero",
    "oficina",    "oro",         "padre",        "p\341gina",   "pa\355s",     "papel",
    "parque",     "perro",       "pel\355cula",  "piedra",      "plan",        "playa",
    "plaza",      "primavera",   "programa",     "proyecto",    "pueblo",      "puerta",
    "r\341pido",  "red",         "reuni\363n",   "r\355o",      "rojo",        "ropa",
    "ruta",       "sal\363n",    "se\361al",     "semana",      "sol",         "sonido",
    "tarde",      "teatro",      "tiempo",       "tienda",      "tierra",      "trabajo",
    "tren",       "valle",       "vacaciones",   "verano",      "verde",       "viaje",
    "vida",       "viento",      "v\355deo",     "visita",      "voz",         "zapato",
    "Madrid",     "Sevilla",     "M\341laga",    "C\341diz",    "Le\363n",     "Bilbao",
    "Valencia",   "Granada",     "Mar\355a",     "Jos\351",     "Luc\355a",    "Ram\363n",
    "Pilar",      "Carmen",      "clientes",     "facturas",    "presupuesto", "n\363mina",
    "balance",    "contrato",    "pedido",       "albar\341n",  "manual",      "gu\355a",
    "ayuda",      "utilidades",  "herramientas", "controlador", "instalar",    "juegos",
    "dibujos",    "im\341genes", "sonidos",      "fondos",      "iconos",      "fuentes"};

const char* const kEnglish[] = {
    "account", "album",    "apple",   "archive", "autumn", "backup",  "beach",  "bird",
    "black",   "blue",     "board",   "book",    "bridge", "budget",  "build",  "castle",
    "chart",   "city",     "clock",   "cloud",   "club",   "code",    "config", "data",
    "demo",    "design",   "desktop", "dinner",  "dragon", "dream",   "driver", "earth",
    "engine",  "event",    "family",  "field",   "fire",   "flower",  "forest", "friends",
    "game",    "garden",   "ghost",   "gold",    "green",  "guide",   "help",   "holiday",
    "home",    "house",    "image",   "index",   "island", "journal", "kernel", "king",
    "lake",    "letter",   "library", "light",   "list",   "logo",    "magic",  "main",
    "manual",  "market",   "master",  "media",   "menu",   "metal",   "mirror", "money",
    "moon",    "mountain", "movie",   "night",   "notes",  "ocean",   "office", "paper",
    "party",   "patch",    "photo",   "picture", "planet", "player",  "point",  "power",
    "project", "queen",    "rain",    "record",  "red",    "report",  "river",  "road",
    "rock",    "room",     "sales",   "school",  "screen", "sea",     "server", "setup",
    "shadow",  "ship",     "silver",  "sky",     "snow",   "song",    "sound",  "space",
    "spring",  "star",     "station", "stone",   "storm",  "street",  "summer", "sun",
    "system",  "table",    "tales",   "team",    "test",   "theme",   "tiger",  "tool",
    "tower",   "town",     "track",   "train",   "travel", "tree",    "update", "user",
    "valley",  "video",    "voice",   "wall",    "water",  "wave",    "white",  "wind",
    "window",  "winter",   "wizard",  "wolf",    "work",   "world",   "year",   "yellow",
    "London",  "Paris",    "Boston",  "Sydney",  "John",   "Mary",    "Peter",  "Linda",
    "utils",   "tools",    "drivers", "fonts",   "sounds", "games"};

std::string UpperW(std::string text) {  // Windows-1252 letters, accented ones too
  for (char& c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
      c = static_cast<char>(u - 0x20);
  }
  return text;
}

std::string LowerW(std::string text) {
  for (char& c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
      c = static_cast<char>(u + 0x20);
  }
  return text;
}

std::string Capital(std::string word) {
  if (!word.empty()) word = UpperW(word.substr(0, 1)) + word.substr(1);
  return word;
}

std::string Word(Rng& rng, bool spanish) {
  return spanish ? rng.Pick(kSpanish) : rng.Pick(kEnglish);
}

// One to `most` words in one of the ways people name things: "Title Case",
// UPPER_CASE, lower-case, CamelCase, or a DOS name of eight capitals.
std::string Words(Rng& rng, int most) {
  const bool spanish = rng.Percent(60);
  const int count = rng.Between(1, most);
  const int style = rng.Below(10);
  std::string name;
  for (int k = 0; k < count; ++k) {
    std::string word = Word(rng, spanish);
    switch (style) {
      case 0:
      case 1:
      case 2:
        name += (k ? " " : "") + Capital(word);
        break;
      case 3:
      case 4:
        name += (k ? "_" : "") + UpperW(word);
        break;
      case 5:
        name += (k ? "-" : "") + LowerW(word);
        break;
      case 6:
        name += (k ? "_" : "") + LowerW(word);
        break;
      case 7:
      case 8:
        name += Capital(word);
        break;
      default:
        name += UpperW(word);
        break;
    }
  }
  if (style == 9 && name.size() > 8) name.resize(8);
  return name;
}

std::string Padded(int value, int width) {
  std::string text = std::to_string(value);
  return std::string(text.size() < static_cast<std::size_t>(width) ? width - text.size() : 0, '0') +
         text;
}

struct Extension {
  const char* name;
  int weight, smallestKb, largestKb;
};
const Extension kExtensions[] = {
    {"jpg", 16, 20, 3000},    {"mp3", 10, 1500, 9000},  {"dll", 10, 8, 2500},
    {"txt", 9, 1, 60},        {"doc", 8, 12, 900},      {"exe", 7, 10, 6000},
    {"gif", 6, 1, 200},       {"htm", 6, 2, 80},        {"zip", 5, 10, 40000},
    {"pdf", 5, 30, 8000},     {"avi", 3, 5000, 700000}, {"ini", 3, 1, 8},
    {"bmp", 2, 50, 3000},     {"wav", 2, 100, 40000},   {"xls", 2, 15, 2000},
    {"cab", 1, 200, 2000},    {"rar", 1, 100, 50000},   {"hlp", 1, 20, 900},
    {"mpg", 1, 2000, 200000}, {"ttf", 1, 30, 300},      {"inf", 1, 1, 12},
    {"ppt", 1, 100, 9000},    {"wma", 0, 1000, 6000}};

const Extension& WeightedExtension(Rng& rng) {
  int total = 0;
  for (const Extension& e : kExtensions) total += e.weight;
  int draw = rng.Below(total);
  for (const Extension& e : kExtensions)
    if ((draw -= e.weight) < 0) return e;
  return kExtensions[0];
}

const Extension& ExtensionNamed(const char* name) {
  for (const Extension& e : kExtensions)
    if (std::strcmp(e.name, name) == 0) return e;
  return kExtensions[0];
}

// ---------------------------------------------------------------------------
// Writing a disc.

// The searches the rows run, and the substring test the search applies to a
// whole line (upper-casing a to z only).
const char* const kRare = "ZAFIRELRARO7";
const char* const kThousand = "QUETZALMIL";
const char* const kCommon = "fotos";
const char* const kPlus = "MUSICA+2003";
// The same, upper-cased and cut at "+", for counting while writing.
const char* const kCommonUpper = "FOTOS";
const char* const kPlusFirst = "MUSICA";
const char* const kPlusSecond = "2003";

bool Holds(const std::string& upperLine, const char* upperTerm) {
  return upperLine.find(upperTerm) != std::string::npos;
}

struct Counts {
  long lines = 0, rare = 0, thousand = 0, common = 0, plus = 0;
  void Add(const Counts& o) {
    lines += o.lines, rare += o.rare, thousand += o.thousand, common += o.common, plus += o.plus;
  }
};

enum class Kind { kPhotos, kMusic, kPrograms, kDocuments, kMixed };

class DiscWriter {
 public:
  // plants: the line numbers within the disc that get a planted term.
  DiscWriter(int disc, std::vector<std::pair<int, const char*>> plants)
      : rng_{0x5A4652454C000000ull + static_cast<std::uint64_t>(disc) * 0x10001ull},
        plants_(std::move(plants)) {
    text_.reserve(std::size_t{kLinesPerDisc} * 64);
  }

  std::string Write(Counts& counts) {
    const char* const rootFiles[] = {"AUTORUN.INF", "SETUP.EXE", "LEEME.TXT", "README.TXT"};
    for (int k = rng_.Between(0, 4); k > 0 && Room(); --k) {
      const char* file = rootFiles[k - 1];
      const std::string stem(file, std::strchr(file, '.'));
      File("D:\\", stem, LowerW(std::strchr(file, '.') + 1), 2, counts);
    }
    while (Room()) {
      const int draw = rng_.Below(100);
      const Kind kind = draw < 7    ? Kind::kPhotos
                        : draw < 30 ? Kind::kMusic
                        : draw < 50 ? Kind::kPrograms
                        : draw < 65 ? Kind::kDocuments
                                    : Kind::kMixed;
      Folder("D:\\" + TopName(kind) + "\\", 1, kind, counts);
    }
    return std::move(text_);
  }

 private:
  bool Room() const { return line_ < kLinesPerDisc; }

  std::string Year() { return std::to_string(rng_.Between(1995, 2008)); }

  std::string TopName(Kind kind) {
    switch (kind) {
      case Kind::kPhotos: {
        const char* const names[] = {"Fotos",       "FOTOS",    "fotos",  "Fotos",
                                     "Im\341genes", "Pictures", "Camara", "DCIM"};
        std::string name = rng_.Pick(names);
        if (rng_.Percent(30)) name += " " + Year();
        return name;
      }
      case Kind::kMusic: {
        const char* const names[] = {"Musica", "MUSICA", "M\372sica", "MP3", "Music", "Discos"};
        return rng_.Pick(names);
      }
      case Kind::kPrograms: {
        const char* const names[] = {"Programas", "SOFTWARE", "Utils",
                                     "JUEGOS",    "Drivers",  "Instalar"};
        std::string name = rng_.Pick(names);
        if (rng_.Percent(30)) name += " " + Words(rng_, 2);
        return name;
      }
      case Kind::kDocuments: {
        const char* const names[] = {"Documentos", "Mis documentos", "DOCS",
                                     "Trabajo",    "Textos",         "Oficina"};
        std::string name = rng_.Pick(names);
        if (rng_.Percent(40)) name += " " + Year();
        return name;
      }
      default:
        return Words(rng_, 2);
    }
  }

  std::string SubName(Kind kind) {
    switch (kind) {
      case Kind::kPhotos:
        if (rng_.Percent(40))
          return Year() + "-" + Padded(rng_.Between(1, 12), 2) + "-" +
                 Padded(rng_.Between(1, 28), 2) + " " + Words(rng_, 2);
        return Words(rng_, 2) + (rng_.Percent(50) ? " " + Year() : "");
      case Kind::kMusic:
        if (rng_.Percent(50)) return Words(rng_, 3);  // an artist
        return (rng_.Percent(50) ? Year() + " - " + Words(rng_, 3)
                                 : Words(rng_, 3) + " (" + Year() + ")");
      case Kind::kPrograms:
        return Words(rng_, 2) + (rng_.Percent(30) ? " v" + std::to_string(rng_.Between(1, 9)) +
                                                        "." + std::to_string(rng_.Below(10))
                                                  : "");
      default:
        return Words(rng_, 3);
    }
  }

  // A folder's files, then its subfolders, as a walk lists them.
  void Folder(const std::string& path, int depth, Kind kind, Counts& counts) {
    const int dateBase = rng_.Between(0, 3650);
    upperExtensions_ = rng_.Percent(40);
    switch (kind) {
      case Kind::kPhotos: {
        if (depth == 1 && rng_.Percent(60)) break;  // photos are in dated folders below
        const char* const series[] = {"IMG_", "DSC", "DSCN", "Foto "};
        const char* prefix = rng_.Pick(series);
        const int width = std::strcmp(prefix, "DSC") == 0 ? 5 : (prefix[0] == 'F' ? 3 : 4);
        const int first = rng_.Between(1, 900);
        const bool upper = rng_.Percent(70);
        for (int k = 0, n = rng_.Between(20, 420); k < n && Room(); ++k)
          File(path, prefix + Padded(first + k, width), upper ? "JPG" : "jpg", dateBase, counts);
        if (rng_.Percent(30) && Room()) File(path, "Thumbs", "db", dateBase, counts);
        break;
      }
      case Kind::kMusic: {
        if (depth == 1) break;
        const bool numbered = rng_.Percent(40);
        for (int k = 1, n = rng_.Between(8, 18); k <= n && Room(); ++k)
          File(path, numbered ? "Track " + Padded(k, 2) : Padded(k, 2) + " - " + Words(rng_, 4),
               rng_.Percent(90) ? "mp3" : "wma", dateBase, counts);
        if (rng_.Percent(50) && Room()) File(path, "folder", "jpg", dateBase, counts);
        break;
      }
      case Kind::kPrograms: {
        const char* const fixed[][2] = {
            {"setup", "exe"}, {"LEEME", "TXT"}, {"license", "txt"}, {"install", "ini"}};
        for (int k = rng_.Between(0, 4), first = rng_.Below(4); k > 0 && Room(); --k) {
          const auto& f = fixed[(first + k) % 4];
          File(path, f[0], f[1], dateBase, counts);
        }
        for (int k = 0, n = rng_.Between(1, 30); k < n && Room(); ++k) {
          const int draw = rng_.Below(10);
          std::string stem = Words(rng_, 2);
          if (draw == 0)
            stem +=
                "_v" + std::to_string(rng_.Between(1, 5)) + "." + std::to_string(rng_.Below(10));
          if (draw == 1) stem = "data" + std::to_string(k + 1);
          File(path, stem, draw < 5 ? "dll" : WeightedExtension(rng_).name, dateBase, counts);
        }
        break;
      }
      case Kind::kDocuments: {
        for (int k = 0, n = rng_.Between(1, 40); k < n && Room(); ++k) {
          std::string stem = Words(rng_, 3);
          const int draw = rng_.Below(6);
          if (draw == 0)
            stem += " " + Year() + "-" + Padded(rng_.Between(1, 12), 2) + "-" +
                    Padded(rng_.Between(1, 28), 2);
          if (draw == 1) stem += " v" + std::to_string(rng_.Between(1, 4));
          const char* const docs[] = {"doc", "doc", "pdf", "txt", "xls", "ppt", "htm"};
          File(path, stem, rng_.Pick(docs), dateBase, counts);
        }
        break;
      }
      case Kind::kMixed:
        for (int k = 0, n = rng_.Between(0, 25); k < n && Room(); ++k)
          File(path, Words(rng_, 3), WeightedExtension(rng_).name, dateBase, counts);
        break;
    }
    // Photos lie in dated folders one level down, now and then one more.
    const int most = kind == Kind::kPhotos ? (depth == 1 ? 6 : 1)
                     : depth == 1          ? 7
                     : depth == 2          ? 4
                     : depth == 3          ? 2
                                           : 1;
    if (depth >= 5) return;
    for (int k = rng_.Between(depth == 1 ? 1 : 0, most); k > 0 && Room(); --k) {
      const Kind below = rng_.Percent(85) ? kind : Kind::kMixed;
      Folder(path + SubName(kind) + "\\", depth + 1, below, counts);
    }
  }

  void File(const std::string& folder, std::string stem, std::string extension, int dateBase,
            Counts& counts) {
    while (next_ < plants_.size() && plants_[next_].first < line_) ++next_;
    if (next_ < plants_.size() && plants_[next_].first == line_) {
      const std::string term = plants_[next_].second;
      stem += rng_.Percent(50) ? " " + term : "_" + Capital(LowerW(term));
    }
    if (upperExtensions_) extension = UpperW(extension);
    const Extension& kind = ExtensionNamed(LowerW(extension).c_str());
    const bool known = LowerW(extension) == kind.name;
    const int kb = known ? rng_.Between(kind.smallestKb, kind.largestKb) : rng_.Between(0, 400);
    // Dates of a folder's files lie close together.
    const int day = (dateBase + rng_.Below(40)) % 3650;
    const int year = 1995 + day / 365, month = 1 + (day % 365) / 31 % 12;
    std::string line = folder + stem + "." + extension + ";" + std::to_string(kb) + ";" +
                       Padded(1 + day % 28, 2) + "/" + Padded(month, 2) + "/" +
                       std::to_string(year);
    if (rng_.Below(20) == 0) line += ";" + Capital(Words(rng_, 6)) + " " + Words(rng_, 4);
    const std::string upper = UpperAZ(line);
    counts.lines++;
    counts.rare += Holds(upper, kRare);
    counts.thousand += Holds(upper, kThousand);
    counts.common += Holds(upper, kCommonUpper);
    counts.plus += Holds(upper, kPlusFirst) && Holds(upper, kPlusSecond);
    text_ += line;
    text_ += "\r\n";
    ++line_;
  }

  static std::string UpperAZ(std::string text) {
    for (char& c : text)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
  }

  Rng rng_;
  std::vector<std::pair<int, const char*>> plants_;
  std::size_t next_ = 0;
  int line_ = 0;
  bool upperExtensions_ = false;  // this folder's
  std::string text_;
};

// Which lines of which discs get the planted terms: the rare term on 7
// discs spread over the set, the other on 1,000 lines over all discs.
std::vector<std::vector<std::pair<int, const char*>>> Plants(int discs) {
  std::vector<std::vector<std::pair<int, const char*>>> plants(static_cast<std::size_t>(discs));
  std::vector<std::set<int>> taken(static_cast<std::size_t>(discs));
  Rng rng{0x504C414E54ull + static_cast<std::uint64_t>(discs)};
  auto plant = [&](int disc, const char* term) {
    int line = rng.Below(kLinesPerDisc);
    while (!taken[static_cast<std::size_t>(disc)].insert(line).second)
      line = rng.Below(kLinesPerDisc);
    plants[static_cast<std::size_t>(disc)].push_back({line, term});
  };
  for (int k = 0; k < 7; ++k) plant(k * discs / 7, kRare);
  for (int k = 0; k < 1000; ++k)
    plant(static_cast<int>(static_cast<long>(k) * discs / 1000), kThousand);
  for (auto& disc : plants) std::sort(disc.begin(), disc.end());
  return plants;
}

// ---------------------------------------------------------------------------
// The data of one size: a data folder, the counts made while writing, and
// plocate's input built from the same lines.

struct SizeData {
  fs::path root, data, mlocate, plocate;
  int discs = 0;
  Counts counts;
  std::uintmax_t ctBytes = 0;
  fs::path Catalogues() const { return zafirel::FoldersBelow(data).catalogos; }
};

// Warm searches: more rounds where they are short, to even out other work
// on the machine.
int SearchRounds(const SizeData& size) { return size.ctBytes < 1000000000 ? 9 : 7; }

std::uintmax_t FilesBytes(const fs::path& folder, const std::string& extension) {
  std::uintmax_t total = 0;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.path().extension() == extension) total += entry.file_size();
  return total;
}

void PutBigEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int b = bytes - 1; b >= 0; --b) out += static_cast<char>((value >> (8 * b)) & 0xFF);
}

// An mlocate database (see mlocate.db(5)) of the catalogues' paths, "\"
// turned into "/", bytes kept: the header, a configuration block, then one
// record a folder with its files. Neighbouring lines share their folder, so
// a record runs while the folder stays the same.
void WriteMlocate(const SizeData& size) {
  std::ofstream out(size.mlocate, std::ios::binary);
  std::string block;
  // Each setting's name, its values, one more NUL; the names in order.
  static const char kConfig[] =
      "prune_bind_mounts\0"
      "0\0\0"
      "prunefs\0\0"
      "prunepaths\0";
  const std::string config(kConfig, sizeof kConfig);  // the literal's own NUL ends the last
  block += std::string("\0mlocate", 8);
  PutBigEndian(block, config.size(), 4);
  block += std::string("\0\0\0\0", 4);  // version 0, no visibility check, padding
  block += std::string("/\0", 2);
  block += config;
  std::string folder;
  bool open = false;
  for (int disc = 1; disc <= size.discs; ++disc) {
    std::ifstream in(zafirel::ListFilePath(size.Catalogues(), std::to_string(disc)),
                     std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      std::string path = line.substr(0, line.find(';'));
      for (char& c : path)
        if (c == '\\') c = '/';
      const std::size_t slash = path.rfind('/');
      const std::string dir = path.substr(0, slash), name = path.substr(slash + 1);
      if (!open || dir != folder) {
        if (open) block += '\2';
        PutBigEndian(block, 0, 16);  // time seconds, nanoseconds, padding
        block += dir;
        block += '\0';
        folder = dir;
        open = true;
      }
      block += '\0';
      block += name;
      block += '\0';
      if (block.size() > (1u << 20)) out << block, block.clear();
    }
  }
  if (open) block += '\2';
  out << block;
  if (!out.flush()) throw std::runtime_error(size.mlocate.string() + " cannot be written");
}

// Makes a size's data unless a run before left it whole.
SizeData MakeSize(const fs::path& root, int discs) {
  SizeData size;
  size.root = root;
  size.data = root / "datos";
  size.mlocate = root / "lineas.mlocate";
  size.plocate = root / "lineas.plocate";
  size.discs = discs;
  const std::string stamp = std::to_string(discs) + " discs of " + std::to_string(kLinesPerDisc) +
                            " lines, " + kGeneratorVersion;
  const fs::path countsFile = root / "cuentas.txt";
  if (bench::TreeIsReady(root, stamp)) {
    std::ifstream in(countsFile);
    in >> size.counts.lines >> size.counts.rare >> size.counts.thousand >> size.counts.common >>
        size.counts.plus;
    size.ctBytes = FilesBytes(size.Catalogues(), ".Ct");
    return size;
  }
  // The .Ct files, plocate's two files and room for the index.
  const double needed = 135.0 * kLinesPerDisc * discs;
  fs::create_directories(root);
  const double available = static_cast<double>(fs::space(root).available);
  if (available < needed) {
    std::printf("%s has %.1f GB free, %.1f GB needed for %d discs: skipped\n", root.c_str(),
                available / 1e9, needed / 1e9, discs);
    size.discs = 0;
    return size;
  }
  std::printf("making %d discs of %d lines in %s...\n", discs, kLinesPerDisc, root.c_str());
  std::fflush(stdout);
  const auto start = bench::Clock::now();
  fs::remove(root / bench::kTreeStamp);
  bench::SeedDataFolder(size.data, discs);
  const auto plants = Plants(discs);
  for (int disc = 1; disc <= discs; ++disc) {
    Counts counts;
    const std::string text =
        DiscWriter(disc, plants[static_cast<std::size_t>(disc - 1)]).Write(counts);
    const fs::path file = zafirel::ListFilePath(size.Catalogues(), std::to_string(disc));
    std::ofstream out(file, std::ios::binary);
    if (!(out << text) || !out.flush())
      throw std::runtime_error(file.string() + " cannot be written");
    size.counts.Add(counts);
  }
  if (size.counts.rare != 7 || size.counts.thousand != 1000)
    throw std::runtime_error("the planted terms were drawn " + std::to_string(size.counts.rare) +
                             " and " + std::to_string(size.counts.thousand) + " times");
  bench::BuildIndexes(size.data);
  WriteMlocate(size);
  std::ofstream(countsFile) << size.counts.lines << " " << size.counts.rare << " "
                            << size.counts.thousand << " " << size.counts.common << " "
                            << size.counts.plus << "\n";
  bench::StampTree(root, stamp);
  size.ctBytes = FilesBytes(size.Catalogues(), ".Ct");
  std::printf("  made in %.0f s: %.2f GB of .Ct; \"%s\" in %.1f %% of the lines\n",
              bench::MsSince(start) / 1000, size.ctBytes / 1e9, kCommon,
              100.0 * size.counts.common / size.counts.lines);
  std::fflush(stdout);
  return size;
}

// ---------------------------------------------------------------------------
// Running.

// A whole program run with its standard output and error kept, timed.
bench::ProcessRun RunKept(const std::vector<std::string>& args, const fs::path& outFile,
                          const fs::path& errFile) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  bench::ProcessRun run;
  const auto start = bench::Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  run.ms = bench::MsSince(start);
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The last number a program printed: the search's match count, plocate's
// count; -1 when there is none.
long LastNumber(const fs::path& file) {
  const std::string text = ReadText(file);
  std::size_t end = text.find_last_not_of("\r\n ");
  if (end == std::string::npos) return -1;
  std::size_t start = text.find_last_of('\n', end);
  start = start == std::string::npos ? 0 : start + 1;
  try {
    return std::stol(text.substr(start, end + 1 - start));
  } catch (const std::exception&) {
    return -1;
  }
}

struct Timed {
  double ms = 0;  // the median
  long count = -1;
};

// The index files moved into a folder beside the catalogue folder while
// this lives, so the search reads every catalogue as it does without them.
class IndexAside {
 public:
  explicit IndexAside(const fs::path& catalogues)
      : catalogues_(catalogues), aside_(catalogues.parent_path() / "Tri aparte") {
    fs::create_directories(aside_);
    Move(catalogues_, aside_);
  }
  ~IndexAside() {
    try {
      Move(aside_, catalogues_);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "the index files stay in %s: %s\n", aside_.c_str(), error.what());
    }
  }
  IndexAside(const IndexAside&) = delete;
  IndexAside& operator=(const IndexAside&) = delete;

  // Puts back index files a run cut short left aside.
  static void Restore(const fs::path& catalogues) {
    const fs::path aside = catalogues.parent_path() / "Tri aparte";
    if (fs::exists(aside)) Move(aside, catalogues);
  }

 private:
  static void Move(const fs::path& from, const fs::path& to) {
    for (const auto& entry : fs::directory_iterator(from))
      if (entry.path().extension() == ".Tri")
        fs::rename(entry.path(), to / entry.path().filename());
  }
  fs::path catalogues_, aside_;
};

class Bench {
 public:
  explicit Bench(fs::path root)
      : root_(std::move(root)), sink_(root_ / "salida.txt"), errors_(root_ / "errores.txt") {}

  std::vector<std::string> Search(const fs::path& data, const char* text) const {
    return {bench::CommandLineProgram().string(), "--data", data.string(), "search", text};
  }
  std::vector<std::string> Plocate(const SizeData& size, const char* text) const {
    return {"plocate", "-d", size.plocate.string(), "-i", "-c", text};
  }

  // The median of some runs and the count the last one printed.
  Timed Time(const std::vector<std::string>& args, int rounds, bool cold = false) {
    std::vector<double> figures;
    Timed timed;
    for (int round = 0; round < rounds; ++round) {
      if (cold) DropCaches();
      const bench::ProcessRun run = RunKept(args, sink_, errors_);
      if (run.exitCode != 0)
        std::fprintf(stderr, "%s ended with %d: %s\n", args.front().c_str(), run.exitCode,
                     ReadText(errors_).c_str());
      figures.push_back(run.ms);
      timed.count = LastNumber(sink_);
    }
    timed.ms = bench::Median(figures);
    return timed;
  }

  // Ours, today's scan and, when one is given, the same search over that
  // one-disc folder, their rounds taking turns (each goes first in turn, so
  // none always follows another's reads).
  struct Turns {
    Timed ours, scan, oneDisc;
  };
  Turns OursAndScan(const SizeData& size, const char* text, const SizeData* one = nullptr) {
    std::vector<double> ours, scan, oneDisc;
    Turns turns;
    std::vector<std::function<void()>> runs = {[&] {
                                                 turns.ours = Time(Search(size.data, text), 1);
                                                 ours.push_back(turns.ours.ms);
                                               },
                                               [&] {
                                                 IndexAside aside(size.Catalogues());
                                                 turns.scan = Time(Search(size.data, text), 1);
                                                 scan.push_back(turns.scan.ms);
                                               }};
    if (one != nullptr)
      runs.push_back([&] {
        turns.oneDisc = Time(Search(one->data, text), 1);
        oneDisc.push_back(turns.oneDisc.ms);
      });
    for (int round = 0; round < SearchRounds(size); ++round)
      for (std::size_t k = 0; k < runs.size(); ++k) runs[(round + k) % runs.size()]();
    turns.ours.ms = bench::Median(ours);
    turns.scan.ms = bench::Median(scan);
    if (one != nullptr) turns.oneDisc.ms = bench::Median(oneDisc);
    return turns;
  }

  // Drops the system's page cache; false (said once) when not allowed.
  bool DropCaches() {
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
    const bool dropped = fd >= 0 && ::write(fd, "3", 1) == 1;
    if (!dropped && dropError_.empty()) dropError_ = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return dropped;
  }
  bool CanDropCaches() { return DropCaches(); }
  const std::string& DropError() const { return dropError_; }

  // The full rebuild of the index; nothing when the command line has none.
  std::optional<double> Reindex(const SizeData& size, int rounds) {
    std::vector<double> figures;
    for (int round = 0; round < rounds; ++round) {
      for (const auto& entry : fs::directory_iterator(size.Catalogues()))
        if (entry.path().extension() == ".Tri") fs::remove(entry.path());
      const bench::ProcessRun run =
          RunKept({bench::CommandLineProgram().string(), "--data", size.data.string(), "reindex"},
                  sink_, errors_);
      if (run.exitCode != 0) {
        const std::string why = ReadText(errors_);
        if (why.find("usage") != std::string::npos)
          std::puts("reindex: not available yet");
        else
          std::printf("reindex FAILED (exit %d): %s\n", run.exitCode, why.c_str());
        return std::nullopt;
      }
      figures.push_back(run.ms);
    }
    return bench::Median(figures);
  }

  double PlocateBuild(const SizeData& size, int rounds) {
    std::vector<double> figures;
    for (int round = 0; round < rounds; ++round) {
      const bench::ProcessRun run =
          RunKept({"plocate-build", "-l", "no", size.mlocate.string(), size.plocate.string()},
                  sink_, errors_);
      if (run.exitCode != 0)
        throw std::runtime_error("plocate-build " + size.mlocate.string() +
                                 " failed: " + ReadText(errors_));
      figures.push_back(run.ms);
    }
    return bench::Median(figures);
  }

 private:
  fs::path root_, sink_, errors_;
  std::string dropError_;
};

std::string Label(const std::string& what, const SizeData& size) {
  return what + ", " + std::to_string(size.counts.lines / 1000000) + "M";
}

void PrintCounts(const char* text, long withIndex, long without, long written, long plocate) {
  std::printf("hits %-14s with index %8ld, without %8ld, counted while writing %8ld", text,
              withIndex, without, written);
  if (plocate >= 0) std::printf(", plocate (paths only) %ld", plocate);
  std::puts(withIndex == without ? "" : "   <<<<< MISMATCH: the index changes the hits >>>>>");
  if (withIndex != written)
    std::printf("     MISMATCH: the search found %ld where %ld were written\n", withIndex, written);
  std::fflush(stdout);
}

void RunSize(Bench& run, const SizeData& size, const SizeData& one, bool cold) {
  const double gb = size.ctBytes / 1e9;
  std::printf("\n== %ld lines in %d discs, %.2f GB of .Ct ==\n", size.counts.lines, size.discs, gb);
  IndexAside::Restore(size.Catalogues());

  // Building: plocate's database, then the index.
  const int buildRounds = size.ctBytes < 1000000000 ? 3 : 1;
  const double plocateMs = run.PlocateBuild(size, buildRounds);
  const std::optional<double> reindexMs = run.Reindex(size, buildRounds);
  if (!reindexMs) {
    std::printf("plocate-build: %.2f s per GB of .Ct (%.0f ms)\n", plocateMs / 1000 / gb,
                plocateMs);
  } else {
    ReportUnderLoad(Label("full rebuild (reindex), per GB of .Ct", size), *reindexMs / 1000 / gb,
                    "plocate-build", plocateMs / 1000 / gb, "s", bench::AtMost(20));
    const std::uintmax_t indexBytes = FilesBytes(size.Catalogues(), ".Tri");
    if (indexBytes == 0)
      std::puts("index size: MISSED, reindex left no .Tri file in the catalogue folder");
    else
      ReportUnderLoad(Label("index size", size), indexBytes / 1e6, ".Ct bytes", size.ctBytes / 1e6,
                      "MB", bench::RatioAtMost(0.15));
  }

  // Warm: one pass over everything first.
  run.Time(run.Search(size.data, kCommon), 1);
  {
    IndexAside aside(size.Catalogues());
    run.Time(run.Search(size.data, kCommon), 1);
  }
  run.Time(run.Plocate(size, kRare), 1);

  const Timed plocate = run.Time(run.Plocate(size, kRare), SearchRounds(size));
  run.Time(run.Search(one.data, kRare), 1);
  const Bench::Turns rareTurns = run.OursAndScan(size, kRare, &one);
  const Timed &rare = rareTurns.ours, &rareScan = rareTurns.scan, &oneDisc = rareTurns.oneDisc;
  const std::string rareLabel = Label("rare term, warm", size);
  const bool byPlocate =
      ReportUnderLoad(rareLabel, rare.ms, "plocate", plocate.ms, "ms", bench::RatioAtMost(2));
  const bool byOneDisc = ReportUnderLoad(rareLabel, rare.ms, "search, one disc", oneDisc.ms, "ms",
                                         bench::AtMost(oneDisc.ms + 5));
  std::printf("%s: %s (either bound will do)\n", rareLabel.c_str(),
              byPlocate || byOneDisc ? "met" : "MISSED");
  ReportUnderLoad(rareLabel, rare.ms, "today's scan", rareScan.ms, "ms", bench::NoTarget());

  const Bench::Turns thousandTurns = run.OursAndScan(size, kThousand);
  const Timed &thousand = thousandTurns.ours, &thousandScan = thousandTurns.scan;
  ReportUnderLoad(Label("1,000-hit term, warm", size), thousand.ms, "today's scan", thousandScan.ms,
                  "ms", bench::AtMost(100));
  const Bench::Turns commonTurns = run.OursAndScan(size, kCommon);
  const Timed &common = commonTurns.ours, &commonScan = commonTurns.scan;
  ReportUnderLoad(Label("10 % term, warm", size), common.ms, "today's scan", commonScan.ms, "ms",
                  bench::RatioAtMost(1.05));
  const Bench::Turns plusTurns = run.OursAndScan(size, kPlus);
  const Timed &plus = plusTurns.ours, &plusScan = plusTurns.scan;
  ReportUnderLoad(Label("two-term + search, warm", size), plus.ms, "today's scan", plusScan.ms,
                  "ms", bench::RatioAtMost(1.05));

  PrintCounts(kRare, rare.count, rareScan.count, size.counts.rare, plocate.count);
  PrintCounts(kThousand, thousand.count, thousandScan.count, size.counts.thousand,
              run.Time(run.Plocate(size, kThousand), 1).count);
  PrintCounts(kCommon, common.count, commonScan.count, size.counts.common, -1);
  PrintCounts(kPlus, plus.count, plusScan.count, size.counts.plus, -1);
  std::printf("\"%s\" is in %.1f %% of the lines\n", kCommon,
              100.0 * size.counts.common / size.counts.lines);

  if (!cold) return;
  if (!run.CanDropCaches()) {
    std::printf("rare term, cold: skipped, the caches cannot be dropped (%s; needs root)\n",
                run.DropError().c_str());
    return;
  }
  const Timed plocateCold = run.Time(run.Plocate(size, kRare), kColdRounds, true);
  const Timed rareCold = run.Time(run.Search(size.data, kRare), kColdRounds, true);
  ReportUnderLoad(Label("rare term, cold cache", size), rareCold.ms, "plocate, cold",
                  plocateCold.ms, "ms", bench::AtMost(200));
}

std::vector<int> ParseSizes(const std::string& list) {
  std::vector<int> sizes;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ','))
    if (const int millions = std::atoi(item.c_str()); millions > 0) sizes.push_back(millions);
  return sizes;
}

// What the system says it can give programs and the cache, in bytes.
std::uintmax_t AvailableMemory() {
  std::ifstream info("/proc/meminfo");
  std::string word;
  std::uintmax_t kb = 0;
  while (info >> word)
    if (word == "MemAvailable:") info >> kb;
  return kb * 1024;
}

bool OnPath(const std::string& program) {
  return bench::RunProgram({"/bin/sh", "-c", "command -v " + program}).exitCode == 0;
}

int Main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it comes, into a file too
  fs::path root = "/tmp/zafirel-index-bench";
  std::vector<int> sizes{2, 20, 50};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--lines" && i + 1 < argc)
      sizes = ParseSizes(argv[++i]);
    else if (arg.rfind("--", 0) == 0)
      return std::fputs("usage: search_index_bench [FOLDER] [--lines 2,20,50]\n", stderr), 2;
    else
      root = arg;
  }
  if (sizes.empty()) return std::fputs("--lines takes sizes in millions, as 2,20,50\n", stderr), 2;
  if (!OnPath("plocate") || !OnPath("plocate-build")) {
    std::puts("plocate is not installed (apt-get install plocate): it is the reference here");
    return 1;
  }
  fs::create_directories(root);
  Bench run(root);

  const SizeData one = MakeSize(root / "un-disco", 1);
  if (one.discs == 0) return 1;

  std::sort(sizes.begin(), sizes.end());
  for (const int millions : sizes) {
    const SizeData size =
        MakeSize(root / (std::to_string(millions) + "M"), millions * 1000000 / kLinesPerDisc);
    if (size.discs == 0) continue;
    if (AvailableMemory() < size.ctBytes)
      std::puts("note: the catalogues may not fit in the free memory; warm runs may read the disk");
    RunSize(run, size, one, millions == sizes.back());
  }
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "search_index_bench: %s\n", error.what());
    return 1;
  }
}
