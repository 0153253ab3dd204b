#include "store/dbf/field.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "store/dbf/dbf_error.h"
#include "util/text.h"

namespace zafirel::dbf {

namespace {

const char kInvalidList[] = "La lista de campos es inv\xE1lida";

bool ParseInt(std::string_view text, int& value) {
  text = TrimBlanks(text);
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

bool IsNameChar(char c, bool first) {
  bool letter = (c >= 'A' && c <= 'Z');
  return first ? letter : (letter || (c >= '0' && c <= '9') || c == '_');
}

FieldDef ParseSpec(const std::string& spec) {
  if (CuentaTrozos(spec, ';') != 4) throw DbfError(kInvalidList);
  FieldDef field;
  field.name = UpperAZ(TrimBlanks(Trozo(spec, ';', 0)));
  std::string_view type = TrimBlanks(Trozo(spec, ';', 1));
  if (type.size() != 1) throw DbfError(kInvalidList);
  field.type = UpperAZChar(type[0]);
  if (!ParseInt(Trozo(spec, ';', 2), field.width) || !ParseInt(Trozo(spec, ';', 3), field.decimals))
    throw DbfError(kInvalidList);
  if (field.type == 'D') field.width = 8, field.decimals = 0;
  if (field.type == 'L') field.width = 1, field.decimals = 0;
  if (!IsValidField(field)) throw DbfError(kInvalidList);
  return field;
}

}  // namespace

bool IsValidField(const FieldDef& field) {
  if (field.name.empty() || field.name.size() > kMaxFieldName) return false;
  for (std::size_t i = 0; i < field.name.size(); ++i)
    if (!IsNameChar(field.name[i], i == 0)) return false;
  if (field.decimals < 0) return false;
  switch (field.type) {
    case 'C':
      return field.width >= 1 && field.width <= 254 && field.decimals == 0;
    case 'N':
      // Room for the digits, the point and at least one integer digit.
      return field.width >= 1 && field.width <= 20 &&
             (field.decimals == 0 || field.decimals <= field.width - 2);
    case 'M':
      return field.width == 10 && field.decimals == 0;
    case 'D':
      return field.width == 8 && field.decimals == 0;
    case 'L':
      return field.width == 1 && field.decimals == 0;
    default:
      return false;
  }
}

namespace {

bool AllDigits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Adds one to a string of decimal digits, growing it on a carry out.
void IncrementDigits(std::string& digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

}  // namespace

std::optional<std::string> EncodeNumeric(std::string_view text, const FieldDef& field) {
  text = TrimBlanks(text);
  if (text.empty()) return std::string(static_cast<std::size_t>(field.width), ' ');
  bool negative = text[0] == '-';
  if (text[0] == '-' || text[0] == '+') text.remove_prefix(1);
  std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if ((whole.empty() && fraction.empty()) || !AllDigits(whole) || !AllDigits(fraction))
    return std::nullopt;

  std::size_t decimals = static_cast<std::size_t>(field.decimals);
  std::string digits = std::string(whole) + std::string(fraction.substr(0, decimals));
  digits.append(decimals - std::min(decimals, fraction.size()), '0');
  if (fraction.size() > decimals && fraction[decimals] >= '5') IncrementDigits(digits);
  std::size_t wholeLength = digits.size() - decimals;
  std::size_t leadingZeros = 0;
  while (leadingZeros + 1 < wholeLength && digits[leadingZeros] == '0') ++leadingZeros;
  digits.erase(0, leadingZeros);
  wholeLength -= leadingZeros;
  if (wholeLength == 0) digits.insert(digits.begin(), '0'), wholeLength = 1;

  std::string number = digits.substr(0, wholeLength);
  if (decimals > 0) number += "." + digits.substr(wholeLength);
  if (negative && digits.find_first_not_of('0') != std::string::npos) number.insert(0, "-");
  if (number.size() > static_cast<std::size_t>(field.width)) return std::nullopt;
  return std::string(static_cast<std::size_t>(field.width) - number.size(), ' ') + number;
}

std::vector<FieldDef> ParseFieldList(const std::vector<std::string>& specs) {
  if (specs.empty()) throw DbfError(kInvalidList);
  std::vector<FieldDef> fields;
  std::set<std::string> names;
  for (const std::string& spec : specs) {
    fields.push_back(ParseSpec(spec));
    if (!names.insert(fields.back().name).second) throw DbfError(kInvalidList);
  }
  return fields;
}

}  // namespace zafirel::dbf
