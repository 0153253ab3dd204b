#include "store/list_changes.h"

#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "store/catalogue_files.h"
#include "store/line_list.h"
#include "util/file_writer.h"
#include "util/piece_reader.h"
#include "util/text.h"

namespace zafirel {
namespace fs = std::filesystem;

namespace {

std::string_view WithoutDrive(std::string_view path) {
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') path.remove_prefix(3);
  return path;
}

// A file line's fields: path, size and date, and the rest from the third
// ";" on (a description or a comment; empty when the line has none).
struct Fields {
  std::string_view path, size, date, head, tail;
};

Fields FieldsOf(std::string_view line) {
  Fields fields;
  const std::size_t pathEnd = line.find(';');
  fields.path = line.substr(0, pathEnd);
  fields.head = line;
  if (pathEnd == std::string_view::npos) return fields;
  const std::size_t sizeEnd = line.find(';', pathEnd + 1);
  fields.size = line.substr(pathEnd + 1, sizeEnd - pathEnd - 1);
  if (sizeEnd == std::string_view::npos) return fields;
  const std::size_t dateEnd = line.find(';', sizeEnd + 1);
  fields.date = line.substr(sizeEnd + 1, dateEnd - sizeEnd - 1);
  if (dateEnd == std::string_view::npos) return fields;
  fields.head = line.substr(0, dateEnd);
  fields.tail = line.substr(dateEnd);
  return fields;
}

// The lines of a list one at a time, empty lines passed over.
class Lines {
 public:
  virtual ~Lines() = default;
  // False at the end; the line stays valid until the next call.
  virtual bool Next(std::string_view& line) = 0;
};

// As the file holds them, a piece at a time.
class StreamedLines : public Lines {
 public:
  explicit StreamedLines(const fs::path& file) : buffer_(1 << 20), reader_(file, buffer_) {}
  bool Next(std::string_view& line) override {
    for (;;) {
      while (at_ < piece_.size()) {
        const std::size_t end = LineEnd(piece_, at_);
        line = piece_.substr(at_, end - at_);
        at_ = end + 1;
        if (!line.empty()) return true;
      }
      piece_ = reader_.Next();
      at_ = 0;
      if (piece_.empty()) return false;
    }
  }

 private:
  ReadBuffer buffer_;
  PieceReader reader_;
  std::string_view piece_;
  std::size_t at_ = 0;
};

// The whole file in memory, in walk order.
class SortedLines : public Lines {
 public:
  explicit SortedLines(const fs::path& file) : lines_(ReadCatalogueFile(file)) {
    order_.resize(lines_.size());
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
      return CompareWalkOrder(FieldsOf(lines_[a]).path, FieldsOf(lines_[b]).path) < 0;
    });
  }
  bool Next(std::string_view& line) override {
    while (next_ < order_.size()) {
      line = lines_[order_[next_++]];
      if (!line.empty()) return true;
    }
    return false;
  }

 private:
  LineList lines_;
  std::vector<std::size_t> order_;
  std::size_t next_ = 0;
};

bool InWalkOrder(const fs::path& file) {
  StreamedLines lines(file);
  std::string before;
  std::string_view line;
  bool first = true;
  while (lines.Next(line)) {
    const std::string_view path = FieldsOf(line).path;
    if (!first && CompareWalkOrder(before, path) > 0) return false;
    before.assign(path);
    first = false;
  }
  return true;
}

// The new line of a file still there, with the old line's last field where
// the user's words are to be kept.
std::string_view KeptTail(const Fields& before, const Fields& now) {
  if (before.tail.size() <= 1 || before.tail == now.tail) return {};  // nothing of the user's
  if (now.tail.empty()) return before.tail;
  // An archive's new description: the old field stays while the archive did.
  return before.size == now.size && before.date == now.date ? before.tail : std::string_view();
}

}  // namespace

int CompareWalkOrder(std::string_view a, std::string_view b) {
  a = WithoutDrive(a);
  b = WithoutDrive(b);
  for (;;) {
    const std::size_t endA = a.find('\\'), endB = b.find('\\');
    const bool fileA = endA == std::string_view::npos, fileB = endB == std::string_view::npos;
    if (fileA != fileB) return fileA ? -1 : 1;  // a folder's files before its subfolders
    const std::string_view nameA = a.substr(0, endA), nameB = b.substr(0, endB);
    int order = CompareNamesNoCase(nameA, nameB);
    if (order == 0) order = nameA.compare(nameB);
    if (order != 0) return order < 0 ? -1 : 1;
    if (fileA) return 0;
    a.remove_prefix(endA + 1);
    b.remove_prefix(endB + 1);
  }
}

ListComparison CompareFileLists(const fs::path& oldList, const fs::path& newList,
                                const std::function<void(const FileChange&)>& visit,
                                StreamedFile* kept) {
  ListComparison result;
  const auto open = [&](const fs::path& file) -> std::unique_ptr<Lines> {
    if (InWalkOrder(file)) return std::make_unique<StreamedLines>(file);
    result.sortedInMemory = true;
    return std::make_unique<SortedLines>(file);
  };
  const std::unique_ptr<Lines> before = open(oldList), now = open(newList);
  const auto report = [&](ChangeKind kind, std::string_view oldLine, std::string_view newLine) {
    if (visit) visit(FileChange{kind, oldLine, newLine});
  };
  const auto keep = [&](std::string_view head, std::string_view tail) {
    if (!kept) return;
    kept->Append(head);
    kept->Append(tail);
    kept->Append("\r\n");
  };
  std::string_view oldLine, newLine;
  bool moreOld = before->Next(oldLine), moreNew = now->Next(newLine);
  while (moreOld || moreNew) {
    const Fields o = moreOld ? FieldsOf(oldLine) : Fields{};
    const Fields n = moreNew ? FieldsOf(newLine) : Fields{};
    const int order = !moreOld ? 1 : !moreNew ? -1 : CompareWalkOrder(o.path, n.path);
    if (order < 0) {
      ++result.removed;
      report(ChangeKind::kRemoved, oldLine, {});
      moreOld = before->Next(oldLine);
      continue;
    }
    if (order > 0) {
      ++result.added;
      report(ChangeKind::kAdded, {}, newLine);
      keep(newLine, {});
      moreNew = now->Next(newLine);
      continue;
    }
    if (o.size != n.size || o.date != n.date) {
      ++result.changed;
      report(ChangeKind::kChanged, oldLine, newLine);
    } else {
      ++result.unchanged;
    }
    if (const std::string_view tail = KeptTail(o, n); !tail.empty()) {
      ++result.commentsKept;
      keep(n.head, tail);
    } else {
      keep(newLine, {});
    }
    moreOld = before->Next(oldLine);
    moreNew = now->Next(newLine);
  }
  return result;
}

}  // namespace zafirel
