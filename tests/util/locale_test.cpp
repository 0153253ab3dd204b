#include "util/locale.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

namespace zafirel {
namespace {

Locale English() {
  Locale locale;
  locale.thousandsSeparator = ',';
  locale.decimalSeparator = '.';
  locale.shortDateFormat = "MM/dd/yyyy";
  return locale;
}

TEST(LocaleThousands, GroupsByThreesAndLeavesZeroEmpty) {
  const Locale spanish;
  EXPECT_EQ(FormatThousands(0, spanish), "");
  EXPECT_EQ(FormatThousands(7, spanish), "7");
  EXPECT_EQ(FormatThousands(999, spanish), "999");
  EXPECT_EQ(FormatThousands(1000, spanish), "1.000");
  EXPECT_EQ(FormatThousands(12345, spanish), "12.345");
  EXPECT_EQ(FormatThousands(3145728, spanish), "3.145.728");
  EXPECT_EQ(FormatThousands(-1234567, spanish), "-1.234.567");
  EXPECT_EQ(FormatThousands(-12, spanish), "-12");
  EXPECT_EQ(FormatThousands(123456, English()), "123,456");
  EXPECT_EQ(FormatThousands(std::numeric_limits<std::int64_t>::min(), spanish),
            "-9.223.372.036.854.775.808");
}

TEST(LocaleDate, FollowsThePattern) {
  const Locale spanish;
  EXPECT_EQ(FormatShortDate(2003, 12, 25, spanish), "25/12/2003");
  EXPECT_EQ(FormatShortDate(2004, 1, 5, spanish), "05/01/2004");
  EXPECT_EQ(FormatShortDate(2004, 1, 5, English()), "01/05/2004");
  Locale other;
  other.shortDateFormat = "d.M.yy";
  EXPECT_EQ(FormatShortDate(2003, 2, 5, other), "5.2.03");
  EXPECT_EQ(FormatShortDate(2000, 11, 30, other), "30.11.00");
  other.shortDateFormat = "yyyy-MM-dd";
  EXPECT_EQ(FormatShortDate(1999, 7, 4, other), "1999-07-04");
  other.shortDateFormat = "dd 'de' MM yyyy";
  EXPECT_EQ(FormatShortDate(1999, 7, 4, other), "04 de 07 1999");
}

TEST(LocaleDate, PatternsThatWouldBreakCatalogueLinesFallBack) {
  Locale locale;
  for (const std::string pattern : {"dd;MM;yyyy", "dd\\MM\\yyyy", ""}) {
    locale.shortDateFormat = pattern;
    EXPECT_EQ(FormatShortDate(2003, 12, 25, locale), "25/12/2003") << pattern;
  }
}

TEST(LocaleFixed, UsesTheDecimalSeparator) {
  const Locale spanish;
  EXPECT_EQ(FormatFixed(1234.5678, 3, spanish), "1234,568");
  EXPECT_EQ(FormatFixed(0.5, 3, spanish), "0,500");
  EXPECT_EQ(FormatFixed(-2.25, 1, English()), "-2.2");
  EXPECT_EQ(FormatFixed(42.7, 0, spanish), "43");
  EXPECT_EQ(FormatFixed(1e300, 3, spanish).size(), 301u + 4u);
}

TEST(LocaleParse, AcceptsWholeNumbersInTheLocalesForm) {
  const Locale spanish;
  double value = -1;
  ASSERT_TRUE(ParseNumber("  12,5 ", spanish, value));
  EXPECT_DOUBLE_EQ(value, 12.5);
  ASSERT_TRUE(ParseNumber("+3", spanish, value));
  EXPECT_DOUBLE_EQ(value, 3);
  ASSERT_TRUE(ParseNumber("-2,5e3", spanish, value));
  EXPECT_DOUBLE_EQ(value, -2500);
  ASSERT_TRUE(ParseNumber("1E-2", spanish, value));
  EXPECT_DOUBLE_EQ(value, 0.01);
  ASSERT_TRUE(ParseNumber(",5", spanish, value));
  EXPECT_DOUBLE_EQ(value, 0.5);
  ASSERT_TRUE(ParseNumber("7,", spanish, value));
  EXPECT_DOUBLE_EQ(value, 7);
  ASSERT_TRUE(ParseNumber("1.5", English(), value));
  EXPECT_DOUBLE_EQ(value, 1.5);
  ASSERT_TRUE(ParseNumber("        1234", spanish, value));  // a space-padded field
  EXPECT_DOUBLE_EQ(value, 1234);
}

TEST(LocaleParse, RefusesAnythingElseAndKeepsTheOutput) {
  const Locale spanish;
  for (const std::string text : {"", "   ", "abc", "1.5", "1.234", "12,5x", "1 2", "+", "-,", ",",
                                 "1e", "1e+", "inf", "nan", "0x10", "--1", "1,2,3"}) {
    double value = 99;
    EXPECT_FALSE(ParseNumber(text, spanish, value)) << "'" << text << "'";
    EXPECT_EQ(value, 99) << text;
  }
  double value = 99;
  EXPECT_FALSE(ParseNumber("1e999", spanish, value));
}

TEST(LocaleFacts, StrftimeFormatsMapToPatternLetters) {
  EXPECT_EQ(ShortDatePatternFromStrftime("%d/%m/%Y"), "dd/MM/yyyy");
  EXPECT_EQ(ShortDatePatternFromStrftime("%d/%m/%y"), "dd/MM/yy");
  EXPECT_EQ(ShortDatePatternFromStrftime("%m/%d/%Y"), "MM/dd/yyyy");
  EXPECT_EQ(ShortDatePatternFromStrftime("%d.%m.%Y"), "dd.MM.yyyy");
  EXPECT_EQ(ShortDatePatternFromStrftime("%F"), "yyyy-MM-dd");
  EXPECT_EQ(ShortDatePatternFromStrftime("%D"), "MM/dd/yy");
  EXPECT_EQ(ShortDatePatternFromStrftime("%-d/%-m/%Y"), "d/M/yyyy");
  EXPECT_EQ(ShortDatePatternFromStrftime("%e-%m-%y"), "d-MM-yy");
  EXPECT_EQ(ShortDatePatternFromStrftime("%d/%m/%Ey"), std::nullopt);
  EXPECT_EQ(ShortDatePatternFromStrftime("%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5"),
            std::nullopt);
  EXPECT_EQ(ShortDatePatternFromStrftime("%a %d %b %Y"), std::nullopt);
  EXPECT_EQ(ShortDatePatternFromStrftime("%d/%m"), std::nullopt);
  EXPECT_EQ(ShortDatePatternFromStrftime("%d;%m;%Y"), std::nullopt);
  EXPECT_EQ(ShortDatePatternFromStrftime("%d/%m/%"), std::nullopt);
  EXPECT_EQ(ShortDatePatternFromStrftime(""), std::nullopt);
}

TEST(LocaleFacts, SeparatorsBecomeSingleAnsiCharacters) {
  Locale english = LocaleFromCFacts(",", ".", "%m/%d/%Y", "UTF-8");
  EXPECT_EQ(english.thousandsSeparator, ',');
  EXPECT_EQ(english.decimalSeparator, '.');
  EXPECT_EQ(english.shortDateFormat, "MM/dd/yyyy");

  // Narrow no-break space (French) and right single quote (Swiss German).
  EXPECT_EQ(LocaleFromCFacts("\xE2\x80\xAF", ",", "%d/%m/%Y", "UTF-8").thousandsSeparator, '\xA0');
  EXPECT_EQ(LocaleFromCFacts("\xE2\x80\x99", ".", "%d.%m.%Y", "UTF-8").thousandsSeparator, '\x92');
  EXPECT_EQ(LocaleFromCFacts("\xA0", ",", "%d/%m/%Y", "ISO-8859-1").thousandsSeparator, '\xA0');
}

TEST(LocaleFacts, UnusableFactsKeepTheSpanishDefaults) {
  const Locale odd = LocaleFromCFacts("\xE0\xB9\x8F", "\xD9\xAB", "%Ec", "UTF-8");
  EXPECT_EQ(odd.thousandsSeparator, '.');
  EXPECT_EQ(odd.decimalSeparator, ',');
  EXPECT_EQ(odd.shortDateFormat, "dd/MM/yyyy");
  EXPECT_EQ(LocaleFromCFacts("\xA0", ",", "", "KOI8-R").thousandsSeparator, '.');

  // No grouping in a "." locale: the default would clash with the decimals.
  const Locale noGrouping = LocaleFromCFacts("", ".", "%Y-%m-%d", "UTF-8");
  EXPECT_EQ(noGrouping.decimalSeparator, '.');
  EXPECT_EQ(noGrouping.thousandsSeparator, ',');
  EXPECT_EQ(noGrouping.shortDateFormat, "yyyy-MM-dd");
}

// Sets LC_ALL for one test and puts the old value back.
class ScopedLcAll {
 public:
  explicit ScopedLcAll(const char* value) {
    if (const char* old = std::getenv("LC_ALL")) saved_ = old;
    ::setenv("LC_ALL", value, 1);
  }
  ~ScopedLcAll() {
    if (saved_)
      ::setenv("LC_ALL", saved_->c_str(), 1);
    else
      ::unsetenv("LC_ALL");
  }

 private:
  std::optional<std::string> saved_;
};

TEST(LocaleEnvironment, CLocaleAndUnknownLocalesKeepTheDefaults) {
  const std::string processLocale = ::setlocale(LC_ALL, nullptr);
  for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_NOWHERE.UTF-8"}) {
    ScopedLcAll scoped(name);
    const Locale locale = Locale::FromEnvironment();
    EXPECT_EQ(locale.thousandsSeparator, '.') << name;
    EXPECT_EQ(locale.decimalSeparator, ',') << name;
    EXPECT_EQ(locale.shortDateFormat, "dd/MM/yyyy") << name;
  }
  EXPECT_EQ(::setlocale(LC_ALL, nullptr), processLocale);
}

TEST(LocaleEnvironment, ReadsAnInstalledUserLocale) {
  locale_t probe = ::newlocale(LC_ALL_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
  if (probe == static_cast<locale_t>(0)) GTEST_SKIP() << "en_US.UTF-8 is not installed";
  ::freelocale(probe);
  const std::string processLocale = ::setlocale(LC_ALL, nullptr);
  ScopedLcAll scoped("en_US.UTF-8");
  const Locale locale = Locale::FromEnvironment();
  EXPECT_EQ(locale.thousandsSeparator, ',');
  EXPECT_EQ(locale.decimalSeparator, '.');
  EXPECT_EQ(locale.shortDateFormat, "MM/dd/yyyy");
  EXPECT_EQ(::setlocale(LC_ALL, nullptr), processLocale);
}

}  // namespace
}  // namespace zafirel
