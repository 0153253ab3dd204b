#include "util/locale.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "util/codepage.h"
#include "util/text.h"

namespace zafirel {
namespace {

constexpr std::string_view kFallbackDatePattern = "dd/MM/yyyy";

// ---- Reading the environment ----

// The locale name the C library would use for a category, in its order of
// precedence.
std::string CategoryLocaleName(const char* category) {
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

// The C locale (also as C.UTF-8) describes no user, so it leaves the defaults.
bool IsCLocale(std::string_view name) {
  return name.empty() || name == "C" || name == "POSIX" || name.starts_with("C.") ||
         name.starts_with("C@");
}

// A private locale object for one category, so the process locale stays as
// it is. Its items read as empty when the locale is the C one or missing.
class LocaleHandle {
 public:
  LocaleHandle(int mask, const std::string& name) {
    // The character set comes along so multi-byte separators can be decoded.
    if (!IsCLocale(name))
      handle_ = ::newlocale(mask | LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(0));
  }
  LocaleHandle(const LocaleHandle&) = delete;
  LocaleHandle& operator=(const LocaleHandle&) = delete;
  ~LocaleHandle() {
    if (handle_ != static_cast<locale_t>(0)) ::freelocale(handle_);
  }
  std::string Item(nl_item item) const {
    return handle_ != static_cast<locale_t>(0) ? ::nl_langinfo_l(item, handle_) : "";
  }

 private:
  locale_t handle_ = static_cast<locale_t>(0);
};

// ---- Turning the C library's facts into ours ----

std::string CodesetKey(std::string_view codeset) {
  std::string key;
  for (char c : codeset)
    if (c != '-' && c != '_') key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
  return key;
}

// A separator as one ANSI character, if it is one.
std::optional<char> SingleAnsiChar(std::string_view text, std::string_view codeset) {
  std::string ansi;
  const std::string key = CodesetKey(codeset);
  if (text.size() == 1 && static_cast<unsigned char>(text[0]) < 0x80) {
    ansi = text;
  } else if (key == "UTF8") {
    std::string utf8(text);
    // Newer locales group with the narrow no-break space, which Windows-1252
    // lacks; the ordinary no-break space is its nearest ANSI form.
    if (utf8 == "\xE2\x80\xAF") utf8 = "\xC2\xA0";
    ansi = Utf8ToAnsi(utf8);
  } else if (key == "ISO88591" || key == "ISO885915" || key == "CP1252") {
    ansi = text;  // the separators these could hold sit at the same codes
  } else {
    return std::nullopt;
  }
  if (ansi.size() != 1 || ansi[0] == '?') return std::nullopt;
  const auto c = static_cast<unsigned char>(ansi[0]);
  // Digits, signs and control characters would make numbers unreadable.
  if (c < ' ' || (c >= '0' && c <= '9') || c == '+' || c == '-') return std::nullopt;
  return ansi[0];
}

bool IsPlainPunctuation(char c) {
  const auto u = static_cast<unsigned char>(c);
  const bool alphanumeric =
      (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
  return u >= ' ' && u < 0x7F && !alphanumeric && c != '\'' && c != '\\' && c != ';';
}

struct DateConversion {
  char letter;
  std::string_view padded;
  std::string_view unpadded;
  int fields;  // day 1, month 2, year 4
};

constexpr DateConversion kDateConversions[] = {
    {'d', "dd", "d", 1},
    {'e', "d", "d", 1},
    {'m', "MM", "M", 2},
    {'y', "yy", "yy", 4},
    {'Y', "yyyy", "yyyy", 4},
    {'D', "MM/dd/yy", "MM/dd/yy", 7},
    {'F', "yyyy-MM-dd", "yyyy-MM-dd", 7},
    {'%', "%", "%", 0},
};

const DateConversion* FindConversion(char letter) {
  for (const DateConversion& conversion : kDateConversions)
    if (conversion.letter == letter) return &conversion;
  return nullptr;
}

// ---- Writing numbers without the process locale ----

void AppendNumber(std::string& out, long long value, int width) {
  char digits[24];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  const auto length = static_cast<int>(end - digits);
  if (value >= 0 && length < width) out.append(static_cast<std::size_t>(width - length), '0');
  out.append(digits, end);
}

// How many times the character at i repeats from there.
std::size_t RunLength(std::string_view text, std::size_t i) {
  std::size_t end = i;
  while (end < text.size() && text[end] == text[i]) ++end;
  return end - i;
}

void AppendDateField(std::string& out, char letter, std::size_t run, int year, int month, int day) {
  switch (letter) {
    case 'd':
      AppendNumber(out, day, run >= 2 ? 2 : 1);
      break;
    case 'M':
      AppendNumber(out, month, run >= 2 ? 2 : 1);
      break;
    default:
      if (run >= 3)
        AppendNumber(out, year, 4);
      else
        AppendNumber(out, ((year % 100) + 100) % 100, static_cast<int>(run));
      break;
  }
}

}  // namespace

std::optional<std::string> ShortDatePatternFromStrftime(std::string_view format) {
  std::string pattern;
  int fields = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      if (!IsPlainPunctuation(format[i])) return std::nullopt;
      pattern += format[i];
      continue;
    }
    // glibc's padding flags; the era and alternative-digit modifiers (E, O)
    // would need names or digits we do not write, so they are refused below.
    bool unpadded = false;
    while (++i < format.size() &&
           std::string_view("-_0^#").find(format[i]) != std::string_view::npos)
      unpadded = unpadded || format[i] == '-';
    const DateConversion* conversion = i < format.size() ? FindConversion(format[i]) : nullptr;
    if (conversion == nullptr) return std::nullopt;
    pattern += unpadded ? conversion->unpadded : conversion->padded;
    fields |= conversion->fields;
  }
  if (fields != 7) return std::nullopt;
  return pattern;
}

Locale LocaleFromCFacts(std::string_view thousands, std::string_view decimal,
                        std::string_view dateFormat, std::string_view codeset) {
  Locale locale;
  if (const auto c = SingleAnsiChar(decimal, codeset)) locale.decimalSeparator = *c;
  if (const auto c = SingleAnsiChar(thousands, codeset)) locale.thousandsSeparator = *c;
  // A locale without grouping (or a half-usable one) must not end up with one
  // character for both jobs.
  if (locale.thousandsSeparator == locale.decimalSeparator)
    locale.thousandsSeparator = locale.decimalSeparator == '.' ? ',' : '.';
  if (auto pattern = ShortDatePatternFromStrftime(dateFormat))
    locale.shortDateFormat = std::move(*pattern);
  return locale;
}

Locale Locale::FromEnvironment() {
  const LocaleHandle numeric(LC_NUMERIC_MASK, CategoryLocaleName("LC_NUMERIC"));
  const LocaleHandle time(LC_TIME_MASK, CategoryLocaleName("LC_TIME"));
  return LocaleFromCFacts(numeric.Item(THOUSEP), numeric.Item(RADIXCHAR), time.Item(D_FMT),
                          numeric.Item(CODESET));
}

std::string FormatThousands(std::int64_t value, const Locale& locale) {
  if (value == 0) return {};
  // Work on the magnitude as unsigned so the most negative value has one too.
  const std::uint64_t magnitude =
      value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : value;
  char digits[24];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, magnitude);
  const auto length = static_cast<std::size_t>(end - digits);
  std::string out;
  out.reserve(length + length / 3 + 1);
  if (value < 0) out += '-';
  for (std::size_t i = 0; i < length; ++i) {
    if (i > 0 && (length - i) % 3 == 0) out += locale.thousandsSeparator;
    out += digits[i];
  }
  return out;
}

std::string FormatShortDate(int year, int month, int day, const Locale& locale) {
  std::string_view pattern = locale.shortDateFormat;
  if (pattern.empty() || pattern.find_first_of("\\;") != std::string_view::npos)
    pattern = kFallbackDatePattern;
  std::string out;
  for (std::size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '\'') {
      const std::size_t close = pattern.find('\'', i + 1);
      const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
      out.append(pattern.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == 'd' || c == 'M' || c == 'y') {
      const std::size_t run = RunLength(pattern, i);
      AppendDateField(out, c, run, year, month, day);
      i += run;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

std::optional<int> ParseShortDate(std::string_view text, const Locale& locale) {
  return ShortDateReader(locale).Read(text);
}

ShortDateReader::ShortDateReader(const Locale& locale) {
  std::string_view pattern = locale.shortDateFormat;
  if (pattern.empty() || pattern.find_first_of("\\;") != std::string_view::npos)
    pattern = kFallbackDatePattern;
  std::string order;  // "dMy" for "dd/MM/yyyy"
  for (std::size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '\'') {
      const std::size_t close = pattern.find('\'', i + 1);
      i = close == std::string_view::npos ? pattern.size() : close + 1;
    } else if (c == 'd' || c == 'M' || c == 'y') {
      if (order.find(c) == std::string::npos) order += c;
      i += RunLength(pattern, i);
    } else {
      ++i;
    }
  }
  if (order.size() != 3) order = "yMd";
  std::copy(order.begin(), order.end(), order_);
}

std::optional<int> ShortDateReader::Read(std::string_view text) const {
  int values[3] = {0, 0, 0};
  std::size_t digits[3] = {0, 0, 0};
  int runs = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] < '0' || text[i] > '9') {
      ++i;
      continue;
    }
    if (runs == 3) return std::nullopt;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (++digits[runs] > 4) return std::nullopt;
      values[runs] = values[runs] * 10 + (text[i] - '0');
    }
    ++runs;
  }
  if (runs != 3) return std::nullopt;
  static constexpr char kYearFirst[3] = {'y', 'M', 'd'};
  const char* order = digits[0] == 4 ? kYearFirst : order_;
  int year = 0, month = 0, day = 0;
  for (int k = 0; k < 3; ++k) {
    if (order[k] == 'y') {
      year = values[k];
      if (digits[k] <= 2) year += year < 30 ? 2000 : 1900;
    }
    if (order[k] == 'M') month = values[k];
    if (order[k] == 'd') day = values[k];
  }
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return std::nullopt;
  if (month == 2 && day == 29 && !(year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)))
    return std::nullopt;
  return year * 10000 + month * 100 + day;
}

std::string FormatFixed(double value, int decimals, const Locale& locale) {
  // Room for the largest double written out in full plus the decimals.
  constexpr int kMaxDecimals = 40;
  decimals = decimals < 0 ? 0 : decimals > kMaxDecimals ? kMaxDecimals : decimals;
  char buffer[400];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (error != std::errc{}) return {};
  std::string out(buffer, end);
  for (char& c : out)
    if (c == '.') c = locale.decimalSeparator;
  return out;
}

bool ParseNumber(std::string_view text, const Locale& locale, double& out) {
  const std::string_view t = TrimBlanks(text);
  // Checked by hand and rewritten with ".", because from_chars alone would
  // also take "inf", "nan" and hexadecimal forms and refuses a leading "+".
  std::string plain;
  plain.reserve(t.size());
  std::size_t i = 0;
  const auto digitsFrom = [&] {
    const std::size_t start = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') plain += t[i++];
    return i - start;
  };
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    if (t[i] == '-') plain += '-';
    ++i;
  }
  std::size_t mantissaDigits = digitsFrom();
  if (i < t.size() && t[i] == locale.decimalSeparator) {
    plain += '.';
    ++i;
    mantissaDigits += digitsFrom();
  }
  if (mantissaDigits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) plain += t[i++];
    if (digitsFrom() == 0) return false;
  }
  if (i != t.size()) return false;
  double value = 0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (error != std::errc{} || end != plain.data() + plain.size()) return false;
  out = value;
  return true;
}

std::string FormatThousandsOfText(std::string_view text, const Locale& locale) {
  double value = 0;
  if (!ParseNumber(text, locale, value) || !std::isfinite(value)) value = 0;
  // Beyond what 64 bits hold the text is not a size anyone stored.
  if (std::fabs(value) >= 9.2e18) value = 0;
  return FormatThousands(static_cast<std::int64_t>(std::trunc(value)), locale);
}

}  // namespace zafirel
