// The dBase key expressions the catalogue's indexes are built on: field
// names in any letter case, UPPER(x), LEFT(x, n), VAL(x), STR(n) and "+"
// between texts. An expression is parsed once against the table's fields
// and then evaluated on each record, on the fields as stored (character
// fields padded to their width), as dBase does.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf/field.h"

namespace zafirel::dbf {

class KeyExpression {
 public:
  // A field's text as stored, asked for by its name as the table spells it;
  // it must stay readable until the evaluation returns.
  using FieldText = std::function<std::string_view(std::string_view fieldName)>;

  // Throws DbfError for anything outside the forms above, a field the
  // table does not have, or arguments of the wrong kind.
  static KeyExpression Parse(std::string_view text, const std::vector<FieldDef>& fields,
                             StoredText stored = StoredText::kAnsi);

  const std::string& Text() const { return text_; }
  // 'C' for a text, 'N' for a number (such as a bare numeric field).
  char Type() const;
  // The key's length: the text's width from the field widths (at most 100)
  // or 12 for the numeric key form.
  int Length() const;

  // The value as text: a text padded or cut to Length(), a number as its
  // plain decimal form. VAL reads decimalSeparator, and '.' as well.
  std::string Evaluate(const FieldText& field, char decimalSeparator = ',') const;
  // The bytes stored in an index: the text itself, or the numeric key form.
  std::string Key(const FieldText& field, char decimalSeparator = ',') const;
  // The same bytes, appended to out.
  void AppendKey(const FieldText& field, std::string& out, char decimalSeparator = ',') const;

  struct Node;

 private:
  std::string text_;
  std::shared_ptr<const Node> root_;
};

// dBase STR with its default width: right-aligned in 10 characters, rounded
// to a whole number, ten '*' when it does not fit.
std::string DbaseStr(double value);
// dBase VAL: the whole text as a number, 0 when it is not one.
double DbaseVal(std::string_view text, char decimalSeparator = ',');

}  // namespace zafirel::dbf
