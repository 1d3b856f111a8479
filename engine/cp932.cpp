#include "cp932.h"

#include <iconv.h>

#include <cerrno>

namespace orva {

std::optional<std::string> cp932_to_utf8(const std::string& bytes) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in = bytes;
  std::string out(bytes.size() * 4 + 16, '\0');  // a CP932 character is at most 3 UTF-8 bytes
  char* in_ptr = in.data();
  size_t in_left = in.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  const size_t done = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  const bool ok = done != static_cast<size_t>(-1) &&
                  iconv(cd, nullptr, nullptr, &out_ptr, &out_left) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok || in_left != 0) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace orva
