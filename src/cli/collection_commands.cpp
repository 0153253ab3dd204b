#include "cli/collection_commands.h"

#include <chrono>
#include <memory>
#include <variant>

#include "search/catalogue_search.h"
#include "search/collection_stats.h"
#include "search/duplicates.h"
#include "search/html_pages.h"
#include "search/search_filter.h"
#include "util/codepage.h"
#include "util/text.h"

namespace zafirel::cli {

namespace fs = std::filesystem;

namespace {

// The search filter the options ask for; a message for a value that cannot be read.
std::variant<SearchFilter, std::string> FilterOf(const Options& options,
                                                 const TIniEditor& settings) {
  SearchFilter filter;
  filter.locale = Locale::FromEnvironment();
  const auto each = [&](const char* name) { return options.All(name); };
  for (const std::string& text : each("--ext"))
    for (std::string& extension : ExtensionList(Utf8ToAnsi(text)))
      filter.extensions.insert(std::move(extension));
  for (const std::string& kind : each("--kind")) {
    const std::optional<std::vector<std::string>> extensions = KindExtensions(settings, kind);
    if (!extensions) {
      std::string known;
      for (const FileKind& k : kFileKinds)
        known += (known.empty() ? "" : ", ") + std::string(k.name);
      return "unknown kind \"" + kind + "\" (known: " + known + ")";
    }
    filter.extensions.insert(extensions->begin(), extensions->end());
  }
  for (const auto& [name, bound] :
       {std::pair{"--min-size", &filter.minBytes}, std::pair{"--max-size", &filter.maxBytes}})
    for (const std::string& text : each(name))
      if (!(*bound = ParseSize(text)))
        return std::string(name) + " takes a size such as 700, 64K, 10M or 2G, not \"" + text +
               "\"";
  for (const auto& [name, bound] :
       {std::pair{"--after", &filter.from}, std::pair{"--before", &filter.to}})
    for (const std::string& text : each(name))
      if (!(*bound = ParseIsoDate(text)))
        return std::string(name) + " takes a date as YYYY-MM-DD, not \"" + text + "\"";
  for (const std::string& album : each("--album")) filter.albums.insert(Utf8ToAnsi(album));
  for (const std::string& disc : each("--disc")) filter.discs.insert(disc);
  return filter;
}

// What every collection command starts from: its output format, the data
// folder, the filter its options ask for, and the open tables.
struct Collection {
  std::optional<RecordFormat> records;
  DataFolder folder;
  SearchFilter filter;
  TTablas tablas;
};

// Nothing when an option is wrong or the tables cannot be opened: the
// failure is said and code holds the exit code.
std::unique_ptr<Collection> OpenCollection(const Options& options, int& code) {
  auto collection = std::make_unique<Collection>();
  if ((code = ReadFormat(options, collection->records)) != kDone) return nullptr;
  collection->folder = FindDataFolder(options);
  std::variant<SearchFilter, std::string> filter = FilterOf(options, *collection->folder.settings);
  if (const std::string* wrong = std::get_if<std::string>(&filter))
    return code = Fail(kUsage, *wrong), nullptr;
  collection->filter = std::get<SearchFilter>(std::move(filter));
  if (!OpenTables(collection->tablas, collection->folder, std::chrono::milliseconds(0)))
    return code = kFailed, nullptr;
  return collection;
}

// Records go out a piece at a time.
class Output {
 public:
  ~Output() { Flush(); }
  void Add(std::string_view text) {
    out_ += text;
    FlushIfFull();
  }
  // For text put together in place.
  std::string& Buffer() { return out_; }
  void FlushIfFull() {
    if (out_.size() > (1u << 16)) Flush();
  }
  void Flush() {
    Write(out_);
    out_.clear();
  }

 private:
  std::string out_;
};

std::uint64_t Number(std::string_view text) {
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

int Search(const Options& options) {
  if (options.words.size() != 2) return Fail(kUsage, "search needs one text");
  int code = kDone;
  const std::unique_ptr<Collection> collection = OpenCollection(options, code);
  if (!collection) return code;
  const std::optional<RecordFormat> records = collection->records;
  const DataFolder& folder = collection->folder;
  TTablas& tablas = collection->tablas;
  Output out;
  SearchEvents events;
  events.cancelled = OutputFailed;  // nobody would read the rest
  try {
    if (records) {
      (void)SearchRecords(
          tablas, folder.below.catalogos, Utf8ToAnsi(options.words[1]), collection->filter,
          *records, [&](std::string_view piece) { out.Add(piece); }, events);
      return kDone;
    }
    events.titleHeading = [&](const std::string& heading) { out.Add(AnsiToUtf8(heading) + "\n"); };
    events.discHeading = [&](const std::string& heading, const std::string&) {
      out.Add(AnsiToUtf8(heading) + "\n");
    };
    events.hit = [&](std::string_view path) {
      out.Add("  ");
      out.Add(AnsiToUtf8(path));
      out.Add("\n");
    };
    const SearchOutcome outcome =
        BuscaEnArchivos(tablas, folder.below.catalogos, Utf8ToAnsi(options.words[1]),
                        "(ver catalogos)", events, collection->filter);
    out.Add(std::to_string(outcome.matches) + "\n");
  } catch (const std::exception& error) {
    out.Flush();
    return Fail(kFailed, Why(error));
  }
  return kDone;
}

int Duplicates(const Options& options) {
  if (options.words.size() != 1) return Fail(kUsage, "duplicates takes no text");
  int code = kDone;
  const std::unique_ptr<Collection> collection = OpenCollection(options, code);
  if (!collection) return code;
  const std::optional<RecordFormat> records = collection->records;
  const DataFolder& folder = collection->folder;
  TTablas& tablas = collection->tablas;
  DuplicateOptions wanted;
  wanted.scope = collection->filter;
  const auto by = options.values.find("--by");
  if (by != options.values.end()) {
    if (by->second == "name")
      wanted.match = DuplicateMatch::kName;
    else if (by->second == "name,size")
      wanted.match = DuplicateMatch::kNameSize;
    else if (by->second == "name,size,date")
      wanted.match = DuplicateMatch::kNameSizeDate;
    else
      return Fail(kUsage,
                  "--by takes name, name,size or name,size,date, not \"" + by->second + "\"");
  }
  Output out;
  const RecordWriter writer(records.value_or(RecordFormat::kCsv),
                            {"group", "name", "copies", "total_kilobytes", "disc", "title",
                             "number", "path", "kilobytes", "date"});
  if (records) out.Add(writer.Header());
  std::uint64_t index = 0;
  const auto print = [&](const DuplicateGroup& group) {
    ++index;
    std::string& text = out.Buffer();
    if (!records) {
      AppendAnsiAsUtf8(text, group.name);
      text += '\t';
      text += std::to_string(group.kilobytes);
      text += " KB\t";
      text += std::to_string(group.copies.size());
      text += '\t';
      text += std::to_string(group.totalKilobytes);
      text += " KB\n";
    }
    for (const DuplicateCopy& copy : group.copies) {
      if (records)
        out.Add(writer.Record({index, AnsiToUtf8(group.name), std::uint64_t{group.copies.size()},
                               group.totalKilobytes, Number(copy.disc), AnsiToUtf8(copy.title),
                               AnsiToUtf8(copy.number), AnsiToUtf8(copy.path), copy.kilobytes,
                               AnsiToUtf8(copy.date)}));
      else
        out.Add("  " + copy.disc + "\t" + AnsiToUtf8(copy.title) + "\t" + AnsiToUtf8(copy.path) +
                "\t" + std::to_string(copy.kilobytes) + " KB\t" + AnsiToUtf8(copy.date) + "\n");
    }
    return !OutputFailed();
  };
  try {
    DuplicateEvents events;
    events.cancelled = OutputFailed;
    std::error_code ec;
    fs::create_directories(folder.below.temp, ec);
    (void)ForEachDuplicateGroup(tablas, folder.below.catalogos, folder.below.temp, wanted, print,
                                events);
  } catch (const std::exception& error) {
    out.Flush();
    return Fail(kFailed, Why(error));
  }
  return kDone;
}

int Stats(const Options& options) {
  if (options.words.size() != 1) return Fail(kUsage, "stats takes no text");
  int code = kDone;
  const std::unique_ptr<Collection> collection = OpenCollection(options, code);
  if (!collection) return code;
  const std::optional<RecordFormat> records = collection->records;
  std::optional<CollectionStats> stats;
  try {
    stats = GatherStats(collection->tablas, collection->folder.below.catalogos, collection->filter);
  } catch (const std::exception& error) {
    return Fail(kFailed, Why(error));
  }
  if (!stats) return kFailed;
  Output out;
  const RecordWriter writer(records.value_or(RecordFormat::kCsv),
                            {"section", "name", "discs", "files", "kilobytes"});
  if (records) out.Add(writer.Header());
  const auto section = [&](const char* name, const std::vector<Totals>& rows, bool discs) {
    if (!records) out.Add(std::string(name) + (discs ? "\tdiscs" : "") + "\tfiles\tkilobytes\n");
    for (const Totals& row : rows) {
      if (records) {
        out.Add(writer.Record(
            {std::string(name), AnsiToUtf8(row.name), row.discs, row.files, row.kilobytes}));
        continue;
      }
      std::string& text = out.Buffer();
      AppendAnsiAsUtf8(text, row.name);
      if (discs) text += "\t" + std::to_string(row.discs);
      text += "\t" + std::to_string(row.files) + "\t" + std::to_string(row.kilobytes) + "\n";
      out.FlushIfFull();
    }
  };
  section("total", {stats->all}, true);
  section("album", stats->albums, true);
  section("month", stats->months, true);
  section("extension", stats->extensions, false);
  return kDone;
}

}  // namespace zafirel::cli
