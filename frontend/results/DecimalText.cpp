#include "DecimalText.h"

#include <algorithm>
#include <string>

namespace DecimalText {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Exponents beyond this are clamped while reading; no finite value of a result file comes near.
constexpr long kExponentLimit = 100000;

}  // namespace

QString fixed(std::string_view text, int shift, int decimals) {
  decimals = std::max(decimals, 0);
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  // The mantissa's digits without the point; point = number of digits before the point.
  std::string digits;
  while (i < text.size() && isDigit(text[i])) digits += text[i++];
  long point = static_cast<long>(digits.size());
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) digits += text[i++];
  }
  if (digits.empty()) return QString();
  long exponent = 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    if (i >= text.size() || !isDigit(text[i])) return QString();
    while (i < text.size() && isDigit(text[i])) {
      exponent = std::min(exponent * 10 + (text[i++] - '0'), kExponentLimit);
    }
    if (negativeExponent) exponent = -exponent;
  }
  if (i != text.size()) return QString();
  if (digits.find_first_not_of('0') == std::string::npos) {  // zero, whatever its sign
    negative = false;
    digits = "0";
    point = 1;
    exponent = 0;
  }

  // Scaled by 10^(shift + decimals), the digits before position `cut` are the whole result and
  // the digit at `cut` decides the rounding.
  const long cut = point + exponent + shift + decimals;
  std::string whole;
  if (cut > 0) {
    whole = digits.substr(0, static_cast<size_t>(std::min<long>(cut, digits.size())));
    if (cut > static_cast<long>(digits.size())) whole.append(cut - digits.size(), '0');
  }
  const bool roundUp = cut >= 0 && cut < static_cast<long>(digits.size()) && digits[cut] >= '5';
  if (whole.empty()) whole = "0";
  if (roundUp) {
    size_t k = whole.size();
    while (k > 0 && whole[k - 1] == '9') whole[--k] = '0';
    if (k == 0) {
      whole.insert(whole.begin(), '1');
    } else {
      ++whole[k - 1];
    }
  }
  // At least one digit before the point, no leading zeros beyond it.
  if (whole.size() < static_cast<size_t>(decimals) + 1) {
    whole.insert(0, decimals + 1 - whole.size(), '0');
  }
  const size_t lead = std::min(whole.find_first_not_of('0'), whole.size() - decimals - 1);
  whole.erase(0, lead);
  if (decimals > 0) whole.insert(whole.size() - decimals, 1, '.');
  if (negative) whole.insert(whole.begin(), '-');
  return QString::fromLatin1(whole.data(), static_cast<qsizetype>(whole.size()));
}

}  // namespace DecimalText
