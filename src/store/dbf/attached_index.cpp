#include "store/dbf/attached_index.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <future>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "store/dbf/dbf_error.h"
#include "store/dbf/table.h"
#include "util/text.h"

namespace zafirel::dbf {

namespace {

// A field's stored text in a record, found by the name an expression spells
// it with. The names an expression asks for are the same strings every time,
// so each is looked up in the field list once.
class FieldReader {
 public:
  explicit FieldReader(const TableLayout& layout) : layout_(layout) {}
  std::string_view Read(std::string_view name, std::string_view record) {
    int index = -1;
    for (const auto& [spelling, found] : known_)
      if (spelling == name.data()) index = found;
    if (index < 0 && known_.size() < kRemembered) {
      index = Find(name);
      known_.emplace_back(name.data(), index);
    } else if (index < 0) {
      index = Find(name);
    }
    if (index == kNoField) return {};
    const std::size_t i = static_cast<std::size_t>(index);
    if (layout_.offsets[i] + layout_.fields[i].width > record.size()) return {};
    return record.substr(layout_.offsets[i], layout_.fields[i].width);
  }

 private:
  static constexpr int kNoField = -2;
  static constexpr std::size_t kRemembered = 32;
  int Find(std::string_view name) const {
    for (std::size_t i = 0; i < layout_.fields.size(); ++i)
      if (EqualsNoCaseAZ(layout_.fields[i].name, name)) return static_cast<int>(i);
    return kNoField;
  }
  const TableLayout& layout_;
  std::vector<std::pair<const char*, int>> known_;
};

void AppendKeyOf(const KeyExpression& expression, FieldReader& reader, std::string_view record,
                 std::string& out) {
  expression.AppendKey([&](std::string_view name) { return reader.Read(name, record); }, out);
}

}  // namespace

std::string StoredKey(const KeyExpression& expression, const TableLayout& layout,
                      std::string_view record) {
  FieldReader reader(layout);
  std::string key;
  AppendKeyOf(expression, reader, record, key);
  return key;
}

std::vector<std::exception_ptr> BuildIndexFiles(Table& table, const std::vector<IndexBuild>& builds,
                                                const std::function<void()>& fileDone) {
  struct Pending {
    const IndexBuild* build;
    std::optional<KeyExpression> expression;
    mdx::TagInfo tag;
    std::optional<MdxTag::KeyList> keys;
    std::exception_ptr failure;
  };
  std::vector<Pending> pending;
  for (const IndexBuild& build : builds) {
    Pending p{&build, std::nullopt, {}, std::nullopt, nullptr};
    try {
      p.expression = KeyExpression::Parse(build.expression, table.Fields(), table.TextCodePage());
      p.tag.tableName = UpperAZ(table.Path().stem().string());
      p.tag.tagName = std::string(build.tagName);
      p.tag.expression = std::string(build.expression);
      p.tag.keyType = p.expression->Type();
      p.tag.keyLength = static_cast<std::uint16_t>(p.expression->Length());
      p.tag.unique = build.unique;
    } catch (const DbfError&) {
      p.expression.reset();  // not built
      p.failure = std::current_exception();
    }
    pending.push_back(std::move(p));
  }
  // One pass over the records gives the keys of every file.
  const std::uint32_t records = table.StoredRecordCount();
  for (Pending& p : pending) {
    if (!p.expression) continue;
    p.keys.emplace(p.tag);
    p.keys->Reserve(records);
  }
  FieldReader reader(table.Layout());
  std::string key;
  table.ForEachStoredRecord([&](std::uint32_t recNo, std::string_view record) {
    for (Pending& p : pending) {
      if (!p.expression) continue;
      key.clear();
      AppendKeyOf(*p.expression, reader, record, key);
      p.keys->Add(key, recNo);
    }
    return true;
  });
  // Each file's keys are sorted and its bytes laid out on its own, so that
  // work is shared out among the machine's cores. The files are written
  // here, on the caller's thread and in their order, as each is ready: file
  // changes keep one order, and the caller hears of each file in turn.
  std::vector<std::string> bytes(pending.size());
  std::vector<std::promise<void>> laidOut(pending.size());
  std::vector<std::future<void>> ready;
  for (std::promise<void>& promise : laidOut) ready.push_back(promise.get_future());
  std::atomic<std::size_t> nextFile{0};
  const auto work = [&] {
    for (std::size_t i; (i = nextFile.fetch_add(1)) < pending.size();) {
      Pending& p = pending[i];
      try {
        if (p.keys) bytes[i] = MdxTag::Encode(p.build->file, p.tag, *p.keys);
        p.keys.reset();
        laidOut[i].set_value();
      } catch (const std::exception&) {
        p.keys.reset();
        laidOut[i].set_exception(std::current_exception());  // handed to the caller's thread
      }
    }
  };
  {
    std::vector<std::jthread> workers;
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    for (std::size_t w = 0; w < std::min(cores, pending.size()); ++w) {
      try {
        workers.emplace_back(work);
      } catch (const std::system_error&) {
        break;  // the files left are laid out by the threads there are
      }
    }
    if (workers.empty()) work();
    for (std::size_t i = 0; i < pending.size(); ++i) {
      Pending& p = pending[i];
      try {
        ready[i].get();
        if (p.expression && p.build->inMemory)
          *p.build->inMemory = std::move(bytes[i]);
        else if (p.expression)
          MdxTag::Write(p.build->file, bytes[i]);
      } catch (const DbfError&) {
        p.failure = std::current_exception();
      }
      std::string().swap(bytes[i]);
      if (fileDone) fileDone();
    }
  }
  std::vector<std::exception_ptr> failures;
  for (const Pending& p : pending) failures.push_back(p.failure);
  return failures;
}

void BuildIndexFile(Table& table, const std::filesystem::path& file, std::string_view tagName,
                    std::string_view expression, bool unique) {
  const std::exception_ptr failure =
      BuildIndexFiles(table, {IndexBuild{file, tagName, expression, unique}}).front();
  if (failure) std::rethrow_exception(failure);
}

AttachedIndex::AttachedIndex(Table& table, const std::filesystem::path& file)
    : AttachedIndex(table, std::make_shared<MdxTag>(MdxTag::Open(file))) {}

AttachedIndex::AttachedIndex(Table& table, RawFile file)
    : AttachedIndex(table, std::make_shared<MdxTag>(MdxTag::Open(std::move(file)))) {}

AttachedIndex::AttachedIndex(Table& table, std::shared_ptr<MdxTag> tag)
    : table_(table),
      tag_(std::move(tag)),
      expression_(
          KeyExpression::Parse(tag_->Info().expression, table.Fields(), table.TextCodePage())) {
  tag_->SetKeySource([this](std::uint32_t recNo) -> std::optional<std::string> {
    const std::string record = table_.StoredRecord(recNo);
    if (record.empty()) return std::nullopt;
    return StoredKey(expression_, table_.Layout(), record);
  });
}

void AttachedIndex::RecordWritten(std::uint32_t recNo, std::string_view before,
                                  std::string_view after, const TableLayout& layout) {
  const std::string oldKey =
      before.empty() ? std::string() : StoredKey(expression_, layout, before);
  const std::string newKey = after.empty() ? std::string() : StoredKey(expression_, layout, after);
  if (!before.empty() && !after.empty() && oldKey == newKey) return;  // this key did not move
  if (!before.empty() && tag_->Remove(oldKey, recNo) && tag_->Info().unique)
    FillVacancy(oldKey, recNo);
  if (!after.empty()) tag_->Insert(newKey, recNo);
}

std::optional<std::vector<std::uint32_t>> AttachedIndex::Candidates(std::string_view field,
                                                                    std::string_view record) const {
  if (tag_->Info().unique || !EqualsNoCaseAZ(expression_.Text(), field)) return std::nullopt;
  return tag_->RecordsWithKey(StoredKey(expression_, table_.Layout(), record));
}

// The record that held a unique key has left it: the first other live record
// with that key (in record order) takes the key's entry.
void AttachedIndex::FillVacancy(const std::string& key, std::uint32_t leaving) {
  const std::string stored = tag_->StoredKey(key);
  const TableLayout& layout = table_.Layout();
  table_.ForEachStoredRecord([&](std::uint32_t recNo, std::string_view record) {
    if (recNo == leaving || tag_->StoredKey(StoredKey(expression_, layout, record)) != stored)
      return true;
    tag_->Insert(key, recNo);
    return false;
  });
}

}  // namespace zafirel::dbf
