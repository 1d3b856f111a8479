// Fixed-decimal texts made from the decimal text of a number, as the result files write it.
//
// The results show the file's digits: a value is rounded on its decimal digits, never on the
// binary double that the text converts to (0.1235E-02 cm is 12.35 micrometres and shows 12.4;
// the double nearest 12.35 lies below it and would show 12.3).
#pragma once

#include <QString>
#include <string_view>

namespace DecimalText {

// The number text (plain decimal or exponent form: "12", "-0.5", "0.1235E-02") times 10^shift,
// with `decimals` fixed decimals (at least one digit before the point), rounded half up on the
// magnitude: a dropped part of exactly one half goes away from zero. Zero shows without
// a sign. A text that is not a number gives an empty string.
QString fixed(std::string_view text, int shift, int decimals);

}  // namespace DecimalText
