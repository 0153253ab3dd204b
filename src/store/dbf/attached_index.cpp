#include "store/dbf/attached_index.h"

#include <algorithm>
#include <vector>

#include "store/dbf/dbf_error.h"
#include "store/dbf/table.h"
#include "util/text.h"

namespace zafirel::dbf {

std::string StoredKey(const KeyExpression& expression, const TableLayout& layout,
                      std::string_view record) {
  return expression.Key([&](std::string_view name) {
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
      if (EqualsNoCaseAZ(layout.fields[i].name, name)) {
        if (layout.offsets[i] + layout.fields[i].width > record.size()) return std::string();
        return std::string(record.substr(layout.offsets[i], layout.fields[i].width));
      }
    }
    return std::string();
  });
}

void BuildIndexFile(Table& table, const std::filesystem::path& file, std::string_view tagName,
                    std::string_view expression, bool unique) {
  const KeyExpression parsed = KeyExpression::Parse(expression, table.Fields());
  mdx::TagInfo tag;
  tag.tableName = UpperAZ(table.Path().stem().string());
  tag.tagName = std::string(tagName);
  tag.expression = std::string(expression);
  tag.keyType = parsed.Type();
  tag.keyLength = static_cast<std::uint16_t>(parsed.Length());
  tag.unique = unique;
  std::vector<MdxTag::Entry> entries;
  const TableLayout& layout = table.Layout();
  table.ForEachStoredRecord([&](std::uint32_t recNo, std::string_view record) {
    entries.push_back({StoredKey(parsed, layout, record), recNo});
    return true;
  });
  MdxTag::Build(file, tag, std::move(entries));
}

AttachedIndex::AttachedIndex(Table& table, const std::filesystem::path& file)
    : table_(table),
      tag_(std::make_shared<MdxTag>(MdxTag::Open(file))),
      expression_(KeyExpression::Parse(tag_->Info().expression, table.Fields())) {
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

std::optional<std::vector<std::uint32_t>> AttachedIndex::Candidates(
    std::string_view field, std::string_view record) const {
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
