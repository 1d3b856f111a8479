#include "format_writer.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace orva {

namespace {

using Node = RecordFormat::Node;
using Kind = Node::Kind;

std::string stars(int width) {
  return std::string(static_cast<size_t>(width > 0 ? width : 0), '*');
}

// Right-justifies `body` in `width` columns, or fills the field with "*" when it does not fit.
std::string justify(const std::string& body, int width) {
  if (width < 0 || body.size() > static_cast<size_t>(width)) return stars(width);
  return std::string(static_cast<size_t>(width) - body.size(), ' ') + body;
}

std::string non_finite(double value, int width) {
  if (std::isnan(value)) return justify("NaN", width);
  const char* sign = value < 0 ? "-" : "";
  std::string body = std::string(sign) + "Infinity";
  if (body.size() > static_cast<size_t>(width)) body = std::string(sign) + "Inf";
  return justify(body, width);
}

// Magnitude of `value` in fixed notation with `decimals` decimals, correctly rounded.
std::string fixed_digits(double magnitude, int decimals) {
  // 309 integer digits at most, plus the point and the decimals.
  std::string buf(static_cast<size_t>(330 + decimals), '\0');
  auto r = std::to_chars(
      buf.data(), buf.data() + buf.size(), magnitude, std::chars_format::fixed, decimals);
  buf.resize(static_cast<size_t>(r.ptr - buf.data()));
  return buf;
}

// The kinds of item each data descriptor takes.
bool item_fits(Kind kind, const OutputItem& item) {
  switch (kind) {
    case Kind::kInteger:
      return std::holds_alternative<int32_t>(item);
    case Kind::kFixed:
    case Kind::kExponent:
      return std::holds_alternative<double>(item);
    case Kind::kText:
      return std::holds_alternative<std::string_view>(item);
    default:
      return false;
  }
}

// The edit descriptors on their own (the field of one value).
std::string edit_integer(int64_t value, int width) { return justify(std::to_string(value), width); }

std::string edit_fixed(double value, int width, int decimals) {
  if (!std::isfinite(value)) return non_finite(value, width);
  std::string digits = fixed_digits(std::fabs(value), decimals);
  if (decimals == 0) digits += '.';
  std::string sign = value < 0 ? "-" : "";
  // The zero before the point is optional: left out when the field has no room for it.
  if (sign.size() + digits.size() > static_cast<size_t>(width) && digits.rfind("0.", 0) == 0) {
    digits.erase(0, 1);
  }
  return justify(sign + digits, width);
}

std::string edit_exponent(double value, int width, int digits) {
  if (!std::isfinite(value)) return non_finite(value, width);
  std::string mantissa;
  int exponent = 0;
  if (value == 0) {
    mantissa.assign(static_cast<size_t>(digits), '0');
  } else {
    // d.ddd...e+xx with `digits` significant digits, correctly rounded: a carry shows up in the
    // exponent (9.99996 to four digits is 1.000e+01), so the field is built from it afterwards.
    char buf[64];
    auto r = std::to_chars(
        buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, digits - 1);
    std::string_view s(buf, static_cast<size_t>(r.ptr - buf));
    size_t e = s.find('e');
    mantissa.push_back(s[0]);
    if (digits > 1) mantissa.append(s.substr(2, e - 2));
    exponent = std::atoi(std::string(s.substr(e + 1)).c_str()) + 1;
  }
  std::string exp_text;
  int magnitude = std::abs(exponent);
  char exp_sign = exponent < 0 ? '-' : '+';
  if (magnitude <= 99) {
    exp_text = std::string("E") + exp_sign + static_cast<char>('0' + magnitude / 10) +
               static_cast<char>('0' + magnitude % 10);
  } else if (magnitude <= 999) {
    exp_text = std::string(1, exp_sign) + std::to_string(magnitude);
  } else {
    return stars(width);
  }
  std::string sign = value < 0 ? "-" : "";
  std::string body = "0." + mantissa + exp_text;
  if (sign.size() + body.size() > static_cast<size_t>(width)) body.erase(0, 1);
  return justify(sign + body, width);
}

std::string edit_text(std::string_view text, int width) {
  if (width == 0) return std::string(text);
  if (text.size() >= static_cast<size_t>(width)) return std::string(text.substr(0, width));
  return std::string(static_cast<size_t>(width) - text.size(), ' ') + std::string(text);
}

std::string edit_item(const Node& node, const OutputItem& item) {
  switch (node.kind) {
    case Kind::kInteger:
      return edit_integer(std::get<int32_t>(item), node.width);
    case Kind::kFixed:
      return edit_fixed(std::get<double>(item), node.width, node.decimals);
    case Kind::kExponent:
      return edit_exponent(std::get<double>(item), node.width, node.decimals);
    default:
      return edit_text(std::get<std::string_view>(item), node.width);
  }
}

class FormatParser {
 public:
  explicit FormatParser(std::string_view text) : text_(text) {}

  std::vector<Node> parse() {
    skip_blanks();
    expect('(');
    std::vector<Node> nodes = parse_list();
    skip_blanks();
    if (pos_ != text_.size()) fail("text after the closing parenthesis");
    return nodes;
  }

 private:
  [[noreturn]] void fail(const char* what) const {
    throw std::invalid_argument("format \"" + std::string(text_) + "\": " + what);
  }
  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return at_end() ? '\0' : text_[pos_]; }
  void skip_blanks() {
    while (!at_end() && text_[pos_] == ' ') ++pos_;
  }
  void expect(char c) {
    if (peek() != c) fail("unexpected character");
    ++pos_;
  }
  bool digit() const { return peek() >= '0' && peek() <= '9'; }
  int number() {
    if (!digit()) fail("number expected");
    int value = 0;
    while (digit()) {
      value = value * 10 + (peek() - '0');
      if (value > 100000) fail("number too large");
      ++pos_;
    }
    return value;
  }

  // The list after an opening parenthesis, up to and including its closing one.
  std::vector<Node> parse_list() {
    std::vector<Node> nodes;
    bool need_separator = false;
    bool after_slash = false;
    for (;;) {
      skip_blanks();
      if (at_end()) fail("missing closing parenthesis");
      char c = peek();
      if (c == ')') {
        ++pos_;
        if (nodes.empty()) fail("empty list");
        return nodes;
      }
      if (c == ',') {
        if (!need_separator) fail("misplaced comma");
        ++pos_;
        need_separator = false;
        after_slash = false;
        continue;
      }
      // "/" needs no comma on either side.
      bool slash_next = c == '/' || (digit() && slash_follows_count());
      if (need_separator && !slash_next && !after_slash) fail("comma expected");
      nodes.push_back(parse_element());
      need_separator = true;
      after_slash = nodes.back().kind == Kind::kSlash;
    }
  }

  bool slash_follows_count() const {
    size_t p = pos_;
    while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9') ++p;
    return p < text_.size() && text_[p] == '/';
  }

  Node parse_element() {
    Node node;
    char c = peek();
    if (c == '\'' || c == '"') {
      node.kind = Kind::kLiteral;
      node.text = literal(c);
      return node;
    }
    bool negative = false;
    bool counted = false;
    int count = 1;
    if (c == '-' || c == '+') {
      negative = c == '-';
      ++pos_;
      if (!digit()) fail("number expected after sign");
    }
    if (digit()) {
      count = number();
      counted = true;
    }
    skip_blanks();
    char d = static_cast<char>(std::toupper(static_cast<unsigned char>(peek())));
    if (d == 'P') {
      ++pos_;
      if (!counted) fail("scale factor without a count");
      if (count != 0) fail("only the scale factor 0P is supported");
      node.kind = Kind::kScale;
      return node;
    }
    if (negative) fail("sign before a descriptor other than P");
    if (counted && count < 1) fail("repeat count below 1");
    ++pos_;
    switch (d) {
      case 'X':
        node.kind = Kind::kBlanks;
        node.width = count;
        return node;
      case '/':
        node.kind = Kind::kSlash;
        node.repeat = count;
        return node;
      case '(':
        node.kind = Kind::kGroup;
        node.repeat = count;
        node.children = parse_list();
        return node;
      case 'A':
        node.kind = Kind::kText;
        node.repeat = count;
        if (digit()) {
          node.width = number();
          if (node.width < 1) fail("field width below 1");
        }
        return node;
      case 'I':
        node.kind = Kind::kInteger;
        node.repeat = count;
        node.width = number();
        if (node.width < 1) fail("field width below 1");
        return node;
      case 'F':
      case 'E':
        node.kind = d == 'F' ? Kind::kFixed : Kind::kExponent;
        node.repeat = count;
        node.width = number();
        expect('.');
        node.decimals = number();
        if (node.width < 1) fail("field width below 1");
        if (node.kind == Kind::kExponent && node.decimals < 1) fail("E needs at least one digit");
        return node;
      default:
        fail("unknown edit descriptor");
    }
  }

  std::string literal(char quote) {
    ++pos_;
    std::string text;
    for (;;) {
      if (at_end()) fail("unterminated literal");
      char c = text_[pos_++];
      if (c == quote) {
        if (peek() != quote) return text;
        ++pos_;
      }
      text.push_back(c);
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// Runs a format over its items; one instance per write statement.
class FormatRun {
 public:
  FormatRun(std::span<const OutputItem> items, std::vector<std::string>& records)
      : items_(items), records_(records) {}

  // Returns false when the items ran out at a data descriptor (the record ends there).
  bool run(const std::vector<Node>& list, size_t from) {
    for (size_t i = from; i < list.size(); ++i) {
      const Node& node = list[i];
      switch (node.kind) {
        case Kind::kBlanks:
          record_.append(static_cast<size_t>(node.width), ' ');
          break;
        case Kind::kLiteral:
          record_ += node.text;
          break;
        case Kind::kSlash:
          for (int r = 0; r < node.repeat; ++r) end_record();
          break;
        case Kind::kScale:
          break;
        case Kind::kGroup:
          for (int r = 0; r < node.repeat; ++r) {
            if (!run(node.children, 0)) return false;
          }
          break;
        default:
          for (int r = 0; r < node.repeat; ++r) {
            if (next_ == items_.size()) return false;
            const OutputItem& item = items_[next_++];
            if (!item_fits(node.kind, item)) {
              throw std::invalid_argument("item " + std::to_string(next_) +
                                          " does not match its edit descriptor");
            }
            record_ += edit_item(node, item);
          }
          break;
      }
    }
    return true;
  }

  size_t consumed() const { return next_; }
  bool items_left() const { return next_ < items_.size(); }
  void end_record() {
    records_.push_back(std::move(record_));
    record_.clear();
  }

 private:
  std::span<const OutputItem> items_;
  std::vector<std::string>& records_;
  std::string record_;
  size_t next_ = 0;
};

}  // namespace

RecordFormat::RecordFormat(std::string_view text) {
  nodes_ = FormatParser(text).parse();
  for (size_t i = 0; i < nodes_.size(); ++i) {
    if (nodes_[i].kind == Kind::kGroup) reversion_ = i;
  }
}

void RecordFormat::write(std::span<const OutputItem> items,
                         std::vector<std::string>& records) const {
  FormatRun run(items, records);
  size_t from = 0;
  for (;;) {
    size_t before = run.consumed();
    if (!run.run(nodes_, from) || !run.items_left()) break;
    if (run.consumed() == before) {
      throw std::invalid_argument("items left over for a format without data descriptors");
    }
    run.end_record();
    from = reversion_;
  }
  run.end_record();
}

std::vector<std::string> RecordFormat::write(std::span<const OutputItem> items) const {
  std::vector<std::string> records;
  write(items, records);
  return records;
}

std::string free_format_record(std::span<const OutputItem> items) {
  if (items.empty()) return std::string();
  std::string record = " ";
  for (const OutputItem& item : items) {
    if (const auto* text = std::get_if<std::string_view>(&item)) {
      record += *text;
    } else if (const auto* integer = std::get_if<int32_t>(&item)) {
      record += edit_integer(*integer, 12);
    } else {
      record += edit_exponent(std::get<double>(item), 25, 16);
    }
  }
  return record;
}

}  // namespace orva
