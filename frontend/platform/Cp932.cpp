#include "Cp932.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace {

// Converts bytes from one iconv encoding to another. Invalid input is skipped and counted in *bad;
// for decoding the caller substitutes U+FFFD.
std::string convert(const char* to,
                    const char* from,
                    const QByteArray& input,
                    int* bad,
                    const std::string& replacement) {
  *bad = 0;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    *bad = 1;
    return {};
  }
  std::string out;
  char buffer[1024];
  char* in = const_cast<char*>(input.constData());
  size_t in_left = static_cast<size_t>(input.size());
  while (in_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    size_t r = iconv(cd, &in, &in_left, &dst, &dst_left);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: skip one input unit (one byte; for UTF-16 input one code unit).
      ++*bad;
      out += replacement;
      const size_t skip = std::string(from) == "UTF-16LE" ? 2 : 1;
      const size_t n = skip < in_left ? skip : in_left;
      in += n;
      in_left -= n;
    }
  }
  char* dst = buffer;
  size_t dst_left = sizeof buffer;
  iconv(cd, nullptr, nullptr, &dst, &dst_left);
  out.append(buffer, static_cast<size_t>(dst - buffer));
  iconv_close(cd);
  return out;
}

}  // namespace

namespace Cp932 {

QByteArray encode(const QString& text, bool* ok) {
  int bad = 0;
  const QByteArray utf16(reinterpret_cast<const char*>(text.utf16()),
                         static_cast<qsizetype>(text.size()) * 2);
  const std::string bytes = convert("CP932", "UTF-16LE", utf16, &bad, "?");
  QByteArray result(bytes.data(), static_cast<qsizetype>(bytes.size()));
  if (ok) *ok = bad == 0 && decode(result) == text;
  return result;
}

QString decode(const QByteArray& bytes) {
  int bad = 0;
  const std::string utf8 = convert("UTF-8", "CP932", bytes, &bad, "\xEF\xBF\xBD");
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

bool canEncode(const QString& text) {
  bool ok = false;
  encode(text, &ok);
  return ok;
}

}  // namespace Cp932
