#include "store/dbf/key_expression.h"

#include <gtest/gtest.h>

#include <map>

#include "store/dbf/dbf_error.h"
#include "store/dbf/mdx_format.h"

namespace zafirel::dbf {
namespace {

const std::vector<FieldDef> kFields = {
    {"TITULOCD", 'C', 75, 0}, {"BYTESCD", 'C', 10, 0}, {"NUMEROCD", 'C', 10, 0},
    {"ALBUM", 'C', 40, 0},    {"AUTO", 'N', 10, 0},    {"NOTAS", 'M', 10, 0},
};

struct Record {
  std::map<std::string, std::string> values;
  KeyExpression::FieldText Accessor() const {
    return [this](std::string_view name) {
      auto it = values.find(std::string(name));
      return it == values.end() ? std::string_view() : std::string_view(it->second);
    };
  }
};

std::string KeyOf(std::string_view expression, const Record& record) {
  return KeyExpression::Parse(expression, kFields).Key(record.Accessor());
}

TEST(KeyExpressionTest, TypesAndLengthsOfTheCatalogueKeys) {
  struct Case {
    const char* text;
    char type;
    int length;
  };
  for (const Case& c :
       {Case{"Upper(TituloCD)", 'C', 75}, Case{"STR(VAL(LEFT(BytesCD, 4)))", 'C', 10},
        Case{"Album", 'C', 40}, Case{"left(album, 3)", 'C', 3}}) {
    const KeyExpression e = KeyExpression::Parse(c.text, kFields);
    EXPECT_EQ(e.Type(), c.type) << c.text;
    EXPECT_EQ(e.Length(), c.length) << c.text;
  }
  EXPECT_EQ(KeyExpression::Parse("Auto", kFields).Type(), 'N');
  EXPECT_EQ(KeyExpression::Parse("Auto", kFields).Length(), 12);
  // Concatenation sums the widths, but no key exceeds 100 bytes.
  EXPECT_EQ(KeyExpression::Parse("Upper(Album)+TituloCD", kFields).Length(), 100);
  EXPECT_EQ(KeyExpression::Parse("album+left(bytescd,3)", kFields).Length(), 43);
}

TEST(KeyExpressionTest, RefusesWhatTheKeysDoNotUse) {
  for (const char* bad : {"", "Upper(", "Upper(Album", "Album+", "Left(Album)", "Left(Album, x)",
                          "Str(Album)", "Val(Auto)", "Upper(Auto)", "Auto+Album", "Notas",
                          "Trim(Album)", "NSerieCD", "Album Album", "Left(Album, 0)"})
    EXPECT_THROW(KeyExpression::Parse(bad, kFields), DbfError) << bad;
}

TEST(KeyExpressionTest, EvaluatesOnThePaddedFields) {
  Record r{{{"TITULOCD", "Juegos \xE1"}, {"ALBUM", "mis discos"}, {"BYTESCD", "650 MB"}}};
  const std::string title = KeyOf("upper(tituloCD)", r);
  ASSERT_EQ(title.size(), 75u);
  EXPECT_EQ(title.substr(0, 9), "JUEGOS \xC1 ");
  // The first text keeps its trailing blanks before the second.
  const std::string filter = KeyOf("Upper(Album)+TituloCD", r);
  ASSERT_EQ(filter.size(), 100u);
  EXPECT_EQ(filter.substr(0, 40), "MIS DISCOS" + std::string(30, ' '));
  EXPECT_EQ(filter.substr(40, 8), "Juegos \xE1");
  EXPECT_EQ(KeyOf("STR(VAL(LEFT(BytesCD, 4)))", r), "       650");
}

TEST(KeyExpressionTest, SizeAndNumberOrdersOfTheCatalogue) {
  auto size = [](const char* bytes) {
    return KeyOf("STR(VAL(LEFT(BytesCD, 4)))", Record{{{"BYTESCD", bytes}}});
  };
  EXPECT_EQ(size("74 MB"), "         0");
  EXPECT_EQ(size("5 MB"), "         0");
  EXPECT_EQ(size("12345 MB"), "      1234");
  EXPECT_LT(size("74 MB"), size("650 MB"));
  EXPECT_LT(size("12345 MB"), size("2000 MB"));
  auto number = [](const char* n) {
    return KeyOf("STR(VAL(NumeroCD))", Record{{{"NUMEROCD", n}}});
  };
  EXPECT_LT(number("9"), number("10"));
  EXPECT_EQ(number("A1"), "         0");
  EXPECT_EQ(number(""), "         0");
}

TEST(KeyExpressionTest, ValReadsWholeNumbersOnly) {
  EXPECT_EQ(DbaseVal("  42  "), 42);
  EXPECT_EQ(DbaseVal("-3,5"), -3.5);
  EXPECT_EQ(DbaseVal("+3.5"), 3.5);
  EXPECT_EQ(DbaseVal("1e3"), 1000);
  EXPECT_EQ(DbaseVal("2,5E-1"), 0.25);
  EXPECT_EQ(DbaseVal("1,5", '.'), 0);  // only the given separator and '.'
  for (const char* notNumber : {"", "   ", "12a", "1 2", "e5", "-", "1e", "0x10", "inf"})
    EXPECT_EQ(DbaseVal(notNumber), 0) << notNumber;
}

TEST(KeyExpressionTest, StrRoundsAndOverflowsToStars) {
  EXPECT_EQ(DbaseStr(0), "         0");
  EXPECT_EQ(DbaseStr(2.5), "         3");
  EXPECT_EQ(DbaseStr(-2.5), "        -3");
  EXPECT_EQ(DbaseStr(1.49), "         1");
  EXPECT_EQ(DbaseStr(9999999999.0), "9999999999");
  EXPECT_EQ(DbaseStr(-999999999.0), "-999999999");
  EXPECT_EQ(DbaseStr(-1000000000.0), "**********");
  EXPECT_EQ(DbaseStr(1e10), "**********");
  EXPECT_EQ(DbaseStr(1e300), "**********");
}

TEST(KeyExpressionTest, NumericFieldGivesTheNumericKeyForm) {
  EXPECT_EQ(KeyOf("AUTO", Record{{{"AUTO", "       123"}}}),
            std::string("\x37\x0D\x12\x30", 4) + std::string(8, '\0'));
  EXPECT_EQ(KeyOf("auto", Record{{{"AUTO", "          "}}}), mdx::EncodeNumericKey(0));
  EXPECT_EQ(KeyExpression::Parse("Auto", kFields).Evaluate(Record{{{"AUTO", "  7"}}}.Accessor()),
            "7");
}

}  // namespace
}  // namespace zafirel::dbf
