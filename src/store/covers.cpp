#include "store/covers.h"

#include <vector>

#include "store/dbf/table.h"

namespace zafirel {

namespace {

// The records of the disc, in record order.
std::vector<std::uint32_t> RecordsOf(dbf::Table& covers, std::string_view number) {
  std::vector<std::uint32_t> found;
  for (covers.First(); !covers.Eof(); covers.Next())
    if (covers.AsString("CODIGO") == number) found.push_back(covers.RecNo());
  return found;
}

}  // namespace

std::optional<std::string> FindCover(dbf::Table& covers, std::string_view number) {
  if (!covers.Locate("CODIGO", number)) return std::nullopt;
  return covers.AsString("GRAFICO");
}

void StoreCover(dbf::Table& covers, std::string_view number, std::string_view jpeg) {
  const std::vector<std::uint32_t> records = RecordsOf(covers, number);
  if (records.empty()) {
    covers.Append();
    covers.SetString("CODIGO", number);
  } else {
    covers.GoTo(records.front());
    covers.Edit();
  }
  covers.SetString("GRAFICO", jpeg);
  covers.Post();
  for (std::size_t i = 1; i < records.size(); ++i) {
    covers.GoTo(records[i]);
    covers.Delete();
  }
}

int DeleteCovers(dbf::Table& covers, std::string_view number) {
  const std::vector<std::uint32_t> records = RecordsOf(covers, number);
  for (std::uint32_t recNo : records) {
    covers.GoTo(recNo);
    covers.Delete();
  }
  return static_cast<int>(records.size());
}

}  // namespace zafirel
