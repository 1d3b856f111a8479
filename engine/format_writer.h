// The engine's text output: formatted records under a format of edit descriptors, and free-format
// (list-directed) records. Records are returned as byte strings without their line end; the output
// unit adds CR LF.
//
// Format text, e.g. "(4X,I3,8X,E12.4,5X,20E12.4)", items separated by commas:
//   nX        n blanks ("X" alone is one blank)
//   'text'    the literal bytes ("''" inside stands for one apostrophe; "text" works the same)
//   /         ends the record and starts a new one
//   A, Aw     a text item: all of it, or w columns (the first w bytes, or right-justified)
//   Iw        an integer right-justified in w columns
//   Fw.d      a real rounded to d decimals in w columns; the "0" before the point is left out
//             when the field has no room for it
//   Ew.d      a real as 0.ddddE+xx in w columns (exponents of three digits as 0.dddd+xxx);
//             rounding may carry into the exponent (0.99996 under E12.4 is 0.1000E+01)
//   0P        the scale factor 0 (values unscaled; no other factor is supported)
//   r<desc>   a repeat count before a data descriptor, r(...) before a parenthesised group
// A value that does not fit its field fills it with "*". Ties are rounded to even on the value's
// exact binary expansion. Non-finite reals are written as NaN, Infinity or Inf, right-justified.
//
// Items are consumed from left to right. When they run out, output goes on with literals, blanks
// and "/" up to the next data descriptor or the end of the format, and the record ends there. When
// items remain at the end of the format, the record ends and output reverts to the last
// parenthesised group at the outer level (with its repeat count), or to the start of the format
// when it has none, on a new record.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orva {

// One item of a write statement: an integer, a real or a text (bytes, written as they stand).
using OutputItem = std::variant<int32_t, double, std::string_view>;

class RecordFormat {
 public:
  // Throws std::invalid_argument when the text is not a valid format.
  explicit RecordFormat(std::string_view text);

  // Appends to `records` the records that the items give under this format. Throws
  // std::invalid_argument when an item does not match its descriptor's kind (I takes integers,
  // F and E reals, A texts), or when items remain for a format without data descriptors.
  void write(std::span<const OutputItem> items, std::vector<std::string>& records) const;
  std::vector<std::string> write(std::span<const OutputItem> items) const;

  // One element of the parsed format.
  struct Node {
    enum class Kind {
      kBlanks,
      kLiteral,
      kSlash,
      kScale,
      kInteger,
      kFixed,
      kExponent,
      kText,
      kGroup
    };
    Kind kind = Kind::kBlanks;
    int repeat = 1;              // data descriptors and groups
    int width = 0;               // blanks of nX; field width (0 for A: the whole text)
    int decimals = 0;            // d of Fw.d and Ew.d
    std::string text;            // a literal's bytes
    std::vector<Node> children;  // a group's list
  };

 private:
  std::vector<Node> nodes_;  // the outer list of the format
  size_t reversion_ = 0;     // index in nodes_ where output restarts when items remain
};

// One free-format record: a leading blank, then the items. Texts are written as they stand,
// integers right-justified in 12 columns, reals as E-form values right-justified in 25 columns.
// Without items the record is empty.
std::string free_format_record(std::span<const OutputItem> items);

}  // namespace orva
