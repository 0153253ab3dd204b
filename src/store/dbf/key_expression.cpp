#include "store/dbf/key_expression.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "store/dbf/dbf_error.h"
#include "store/dbf/mdx_format.h"
#include "util/codepage.h"
#include "util/locale.h"
#include "util/text.h"

namespace zafirel::dbf {

struct KeyExpression::Node {
  enum class Kind { kField, kUpper, kLeft, kVal, kStr, kConcat };
  Kind kind = Kind::kField;
  bool number = false;
  int width = 0;                          // of a text
  StoredText stored = StoredText::kAnsi;  // UPPER's rule
  std::string field;
  std::shared_ptr<const Node> a;
  std::shared_ptr<const Node> b;
};

namespace {

using Node = KeyExpression::Node;
using Kind = Node::Kind;
using NodePtr = std::shared_ptr<const Node>;

constexpr int kStrWidth = 10;

[[noreturn]] void Invalid() { throw DbfError("La expresi\xF3n del \xEDndice es inv\xE1lida"); }

class Parser {
 public:
  Parser(std::string_view text, const std::vector<FieldDef>& fields, StoredText stored)
      : text_(text), fields_(fields), stored_(stored) {}

  NodePtr Whole() {
    NodePtr node = Sum();
    Skip();
    if (pos_ != text_.size()) Invalid();
    return node;
  }

 private:
  void Skip() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  bool Take(char c) {
    Skip();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Take(c)) Invalid();
  }
  std::string Word() {
    Skip();
    const std::size_t start = pos_;
    while (pos_ < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
      ++pos_;
    if (pos_ == start) Invalid();
    return UpperAZ(text_.substr(start, pos_ - start));
  }

  NodePtr Sum() {
    NodePtr left = Term();
    while (Take('+')) {
      NodePtr right = Term();
      if (left->number || right->number) Invalid();
      auto node = std::make_shared<Node>();
      node->kind = Kind::kConcat;
      node->width = left->width + right->width;
      node->a = std::move(left);
      node->b = std::move(right);
      left = std::move(node);
    }
    return left;
  }

  NodePtr Term() {
    const std::string name = Word();
    if (!Take('(')) return Field(name);
    auto node = std::make_shared<Node>();
    node->a = Sum();
    if (name == "UPPER" && !node->a->number) {
      node->kind = Kind::kUpper;
      node->width = node->a->width;
      node->stored = stored_;
    } else if (name == "LEFT" && !node->a->number) {
      Expect(',');
      const std::string count = Word();
      if (count.size() > 3 || count.find_first_not_of("0123456789") != std::string::npos) Invalid();
      node->kind = Kind::kLeft;
      node->width = std::stoi(count);
    } else if (name == "VAL" && !node->a->number) {
      node->kind = Kind::kVal;
      node->number = true;
    } else if (name == "STR" && node->a->number) {
      node->kind = Kind::kStr;
      node->width = kStrWidth;
    } else {
      Invalid();
    }
    Expect(')');
    return node;
  }

  NodePtr Field(const std::string& name) {
    for (const FieldDef& f : fields_) {
      if (UpperAZ(f.name) != name) continue;
      if (f.type == 'M') Invalid();
      auto node = std::make_shared<Node>();
      node->field = f.name;
      node->number = f.type == 'N';
      node->width = f.width;
      return node;
    }
    Invalid();
  }

  std::string_view text_;
  const std::vector<FieldDef>& fields_;
  StoredText stored_;
  std::size_t pos_ = 0;
};

// A text node's value is appended to out, so a whole key is built in one
// string; a number node's value is returned.
double Number(const Node& node, const KeyExpression::FieldText& field, char separator);

void AppendText(const Node& node, const KeyExpression::FieldText& field, char separator,
                std::string& out) {
  const std::size_t start = out.size();
  const auto width = static_cast<std::size_t>(node.width);
  switch (node.kind) {
    case Kind::kField:
      out += field(node.field).substr(0, width);
      out.resize(start + width, ' ');
      break;
    case Kind::kUpper:
      AppendText(*node.a, field, separator, out);
      if (node.stored == StoredText::kOem)
        UpperOemInPlace(out, start);
      else
        for (std::size_t i = start; i < out.size(); ++i) out[i] = UpperAnsiChar(out[i]);
      break;
    case Kind::kLeft:
      AppendText(*node.a, field, separator, out);
      if (out.size() > start + width) out.resize(start + width);
      break;
    case Kind::kStr:
      out += DbaseStr(Number(*node.a, field, separator));
      break;
    case Kind::kConcat:
      AppendText(*node.a, field, separator, out);
      AppendText(*node.b, field, separator, out);
      break;
    case Kind::kVal:
      break;  // a number: the parser never puts one where a text goes
  }
}

double Number(const Node& node, const KeyExpression::FieldText& field, char separator) {
  if (node.kind == Kind::kField) return DbaseVal(field(node.field), '.');
  if (node.kind != Kind::kVal) return 0;
  std::string text;
  AppendText(*node.a, field, separator, text);
  return DbaseVal(text, separator);
}

std::string PlainNumber(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

}  // namespace

KeyExpression KeyExpression::Parse(std::string_view text, const std::vector<FieldDef>& fields,
                                   StoredText stored) {
  KeyExpression expression;
  expression.text_ = std::string(text);
  expression.root_ = Parser(text, fields, stored).Whole();
  if (!expression.root_->number && expression.root_->width <= 0) Invalid();
  return expression;
}

char KeyExpression::Type() const { return root_->number ? 'N' : 'C'; }

int KeyExpression::Length() const {
  if (root_->number) return static_cast<int>(mdx::kNumericKey);
  return std::min(root_->width, static_cast<int>(mdx::kMaxCharKey));
}

std::string KeyExpression::Evaluate(const FieldText& field, char decimalSeparator) const {
  if (root_->number) return PlainNumber(Number(*root_, field, decimalSeparator));
  std::string text;
  AppendKey(field, text, decimalSeparator);
  return text;
}

std::string KeyExpression::Key(const FieldText& field, char decimalSeparator) const {
  std::string key;
  AppendKey(field, key, decimalSeparator);
  return key;
}

void KeyExpression::AppendKey(const FieldText& field, std::string& out,
                              char decimalSeparator) const {
  if (root_->number) {
    out += mdx::EncodeNumericKey(Number(*root_, field, decimalSeparator));
    return;
  }
  const std::size_t start = out.size();
  AppendText(*root_, field, decimalSeparator, out);
  out.resize(start + static_cast<std::size_t>(Length()), ' ');
}

std::string DbaseStr(double value) {
  const double rounded = std::round(value);
  if (!std::isfinite(rounded) || std::fabs(rounded) >= 1e10) return std::string(kStrWidth, '*');
  char digits[24];
  const auto [end, error] =
      std::to_chars(digits, digits + sizeof digits, static_cast<long long>(rounded));
  const std::size_t length = static_cast<std::size_t>(end - digits);
  if (error != std::errc() || length > static_cast<std::size_t>(kStrWidth))
    return std::string(kStrWidth, '*');
  std::string result(static_cast<std::size_t>(kStrWidth) - length, ' ');
  result.append(digits, length);
  return result;
}

double DbaseVal(std::string_view text, char decimalSeparator) {
  Locale locale;
  locale.decimalSeparator = decimalSeparator;
  double value = 0;
  if (ParseNumber(text, locale, value)) return value;
  locale.decimalSeparator = '.';
  if (ParseNumber(text, locale, value)) return value;
  return 0;
}

}  // namespace zafirel::dbf
