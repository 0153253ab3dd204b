// The user's number and date conventions. The program reads them from the
// environment once, at start, and hands the value down; tests build one
// explicitly. Nothing else in the core looks at the process locale, and the
// formatting here does not depend on it either.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zafirel {

struct Locale {
  char thousandsSeparator = '.';
  char decimalSeparator = ',';
  // Windows-style pattern: d, dd, M, MM, yy, yyyy; anything else is literal
  // (text inside single quotes is always literal).
  std::string shortDateFormat = "dd/MM/yyyy";

  // The user's LC_NUMERIC and LC_TIME conventions, read without changing the
  // process locale. The C/POSIX locale, a locale that is not installed, or a
  // fact that does not fit (a multi-byte separator, a date with month names)
  // keeps the Spanish default of that fact.
  static Locale FromEnvironment();
};

// What FromEnvironment does with the C library's facts, given as the library
// reports them (text in the locale's codeset, a strftime date format).
Locale LocaleFromCFacts(std::string_view thousands, std::string_view decimal,
                        std::string_view dateFormat, std::string_view codeset);

// Maps a strftime date format ("%d/%m/%Y") to a Windows-style pattern
// ("dd/MM/yyyy"); nothing when it uses fields other than day, month and year
// or literal text that is not plain punctuation.
std::optional<std::string> ShortDatePatternFromStrftime(std::string_view format);

// The "#,##" pattern: the integer grouped by threes with the thousands
// separator; 0 gives the empty text, a negative keeps its sign.
std::string FormatThousands(std::int64_t value, const Locale& locale);

// A stored number text in the "#,##" pattern: read with the locale's rules,
// a text that is not a number counting as 0, the fraction dropped.
std::string FormatThousandsOfText(std::string_view text, const Locale& locale);

// The date in the locale's short date pattern. A pattern holding "\" or ";"
// (which would break the catalogue files' fields) gives way to "dd/MM/yyyy".
std::string FormatShortDate(int year, int month, int day, const Locale& locale);

// A date written in the locale's short date pattern, as yyyymmdd: its day,
// month and year taken in the pattern's order from the text's runs of
// digits. A two-digit year falls in 1930 to 2029; a text whose first run has
// four digits is read as year, month, day whatever the pattern. Nothing for
// a text that does not give a real calendar day.
std::optional<int> ParseShortDate(std::string_view text, const Locale& locale);

// ParseShortDate with the pattern's order worked out once, for many dates.
class ShortDateReader {
 public:
  explicit ShortDateReader(const Locale& locale);
  std::optional<int> Read(std::string_view text) const;

 private:
  char order_[3] = {'d', 'M', 'y'};
};

// Fixed notation with the given number of decimals and the locale's decimal
// separator.
std::string FormatFixed(double value, int decimals, const Locale& locale);

// Reads a whole text as a number: blanks around, an optional sign, digits
// with the locale's decimal separator, an optional exponent. False (out
// untouched) for anything else, the empty text included.
bool ParseNumber(std::string_view text, const Locale& locale, double& out);

}  // namespace zafirel
