// Records for spreadsheets and scripts: CSV fields quoted only where RFC 4180
// needs it, JSON texts escaped, numbers as numbers.
#include "util/records.h"

#include <gtest/gtest.h>

namespace zafirel {
namespace {

TEST(RecordsTest, CsvAndJsonLines) {
  const RecordWriter csv(RecordFormat::kCsv, {"path", "kilobytes", "note"});
  EXPECT_EQ(csv.Header(), "path,kilobytes,note\r\n");
  EXPECT_EQ(csv.Record({std::string("D:\\a;b.txt"), std::uint64_t{12},
                        std::string("dice \"hola\", y\r\nadi\xC3\xB3s")}),
            "D:\\a;b.txt,12,\"dice \"\"hola\"\", y\r\nadi\xC3\xB3s\"\r\n");
  const RecordWriter json(RecordFormat::kJson, {"path", "kilobytes"});
  EXPECT_EQ(json.Header(), "");
  EXPECT_EQ(json.Record({std::string("D:\\M\xC3\xBAsica\t\"x\"\x01"), std::uint64_t{0}}),
            "{\"path\":\"D:\\\\M\xC3\xBAsica\\u0009\\\"x\\\"\\u0001\",\"kilobytes\":0}\n");
}

}  // namespace
}  // namespace zafirel
