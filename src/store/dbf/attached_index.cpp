#include "store/dbf/attached_index.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <system_error>
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
                                                const std::function<void()>& fileDone,
                                                const BuildProgress& progress) {
  std::vector<std::exception_ptr> failures(builds.size());
  const std::uint64_t records = table.StoredRecordCount();
  const std::uint64_t total = records * builds.size();
  // Told every this many records, so the caller may repaint and stop.
  constexpr std::uint32_t kReportEvery = 8192;
  bool stopped = false;
  for (std::size_t i = 0; i < builds.size(); ++i) {
    const IndexBuild& build = builds[i];
    if (!stopped && progress && !progress(records * i, total)) stopped = true;
    if (stopped) {
      failures[i] = std::make_exception_ptr(BuildStopped());
      continue;
    }
    try {
      const KeyExpression expression =
          KeyExpression::Parse(build.expression, table.Fields(), table.TextCodePage());
      mdx::TagInfo tag;
      tag.tableName = UpperAZ(table.Path().stem().string());
      tag.tagName = std::string(build.tagName);
      tag.expression = std::string(build.expression);
      tag.keyType = expression.Type();
      tag.keyLength = static_cast<std::uint16_t>(expression.Length());
      tag.unique = build.unique;
      MdxTag::KeyList keys(tag);
      keys.Reserve(records);
      FieldReader reader(table.Layout());
      std::string key;
      const std::uint64_t before = records * i;
      std::uint32_t seen = 0;
      table.ForEachStoredRecord([&](std::uint32_t recNo, std::string_view record) {
        key.clear();
        AppendKeyOf(expression, reader, record, key);
        keys.Add(key, recNo);
        if (progress && ++seen % kReportEvery == 0 && !progress(before + recNo, total))
          stopped = true;
        return !stopped;
      });
      if (stopped) {
        failures[i] = std::make_exception_ptr(BuildStopped());
        continue;
      }
      if (build.inMemory)
        *build.inMemory = MdxTag::Encode(build.file, tag, keys);
      else
        MdxTag::WriteBuilt(build.file, tag, keys, build.transient);
    } catch (const DbfError&) {
      failures[i] = std::current_exception();
    }
    if (fileDone) fileDone();
  }
  if (!stopped && progress) (void)progress(total, total);
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
