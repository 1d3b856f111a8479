#include "fortran_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <system_error>

namespace orva {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Ends an unquoted value.
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/'; }

// [+-] digits
bool parse_integer(const std::string& s, int32_t& value) {
  if (s.empty()) return false;
  size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t k = i; k < s.size(); ++k) {
    if (s[k] < '0' || s[k] > '9') return false;
  }
  // from_chars takes no '+'.
  const char* first = s.data() + (s[0] == '+' ? 1 : 0);
  auto [ptr, ec] = std::from_chars(first, s.data() + s.size(), value);
  return ec == std::errc() && ptr == s.data() + s.size();
}

// [+-] (digits [. [digits]] | . digits) [(E|e|D|d) [+-] digits]
bool parse_real(const std::string& s, double& value) {
  std::string t;  // the same number as from_chars reads it: no '+', exponent letter 'e'
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') t += '-';
    ++i;
  }
  size_t int_digits = 0, frac_digits = 0;
  long first_nonzero = 0;  // decimal magnitude of the leading nonzero digit (for range errors)
  bool seen_nonzero = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++int_digits) t += s[i];
  if (i < s.size() && s[i] == '.') {
    t += '.';
    ++i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++frac_digits) t += s[i];
  }
  if (int_digits + frac_digits == 0) return false;
  // Magnitude of the mantissa: position of its first nonzero digit.
  {
    long pos = static_cast<long>(int_digits) - 1;
    for (char c : t) {
      if (c == '-' || c == '.') continue;
      if (c != '0') {
        seen_nonzero = true;
        first_nonzero = pos;
        break;
      }
      --pos;
    }
  }
  long exponent = 0;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
    t += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      if (s[i] == '-') t += '-';
      ++i;
    }
    size_t exp_digits = 0;
    bool negative = !t.empty() && t.back() == '-';
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++exp_digits) {
      t += s[i];
      if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
    }
    if (exp_digits == 0) return false;
    if (negative) exponent = -exponent;
  }
  if (i != s.size()) return false;
  double v = 0.0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec == std::errc::result_out_of_range && seen_nonzero) {
    if (first_nonzero + exponent > 0) return false;  // overflow, e.g. 1E400
    v = (s[0] == '-') ? -0.0 : 0.0;                  // underflow reads as zero
  } else if (ec != std::errc() || ptr != t.data() + t.size()) {
    return false;
  }
  value = v;
  return true;
}

bool has_parenthesis(const std::string& s) {
  return s.find('(') != std::string::npos || s.find(')') != std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// OutputUnit

OutputUnit::~OutputUnit() {
  if (file_ != nullptr) std::fclose(file_);
}

void OutputUnit::open(int unit, const std::string& path) {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  unit_ = unit;
  path_ = path;
  if (path.empty() || path.find('\0') != std::string::npos) {
    throw runtime_failure(kBadFileName, unit, path);
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw runtime_failure(open_failure_number(errno), unit, path);
  file_ = ::fdopen(fd, "wb");
  if (file_ == nullptr) {
    ::close(fd);
    throw runtime_failure(kOpenFailure, unit, path);
  }
}

void OutputUnit::write_record(std::string_view bytes) {
  if (file_ == nullptr) throw runtime_failure(kWriteError, unit_, path_);
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() ||
      std::fwrite("\r\n", 1, 2, file_) != 2) {
    throw runtime_failure(kWriteError, unit_, path_);
  }
}

void OutputUnit::close() {
  if (file_ == nullptr) return;
  std::FILE* f = file_;
  file_ = nullptr;
  const bool failed = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || failed) throw runtime_failure(kWriteError, unit_, path_);
}

// ---------------------------------------------------------------------------------------------
// InputUnit

void InputUnit::open(int unit, const std::string& path) {
  unit_ = unit;
  path_ = path;
  bytes_.clear();
  next_line_ = 0;
  if (path.empty() || path.find('\0') != std::string::npos) {
    throw runtime_failure(kBadFileName, unit, path);
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    // Create-if-missing: the new, empty file is left behind.
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw runtime_failure(open_failure_number(errno), unit, path);
    ::close(fd);
    return;
  }
  if (fd < 0) throw runtime_failure(open_failure_number(errno), unit, path);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw runtime_failure(kAccessDenied, unit, path);
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      throw runtime_failure(kReadError, unit, path);
    }
    bytes_.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
}

// ---------------------------------------------------------------------------------------------
// ListRead

namespace {

// End of the text of the line that starts at `begin`: before its LF, and before a CR that
// precedes the LF (or ends the file).
size_t text_end(const std::string& bytes, size_t begin) {
  size_t end = bytes.find('\n', begin);
  if (end == std::string::npos) end = bytes.size();
  if (end > begin && bytes[end - 1] == '\r') --end;
  return end;
}

}  // namespace

ListRead::ListRead(InputUnit& unit) : unit_(unit), pos_(unit.next_line_) {
  line_end_ = text_end(unit_.bytes_, pos_);
}

ListRead::~ListRead() {
  // On to the line after the last line used.
  const size_t lf = unit_.bytes_.find('\n', line_end_);
  unit_.next_line_ = lf == std::string::npos ? unit_.bytes_.size() : lf + 1;
}

void ListRead::fail(int number) const { throw runtime_failure(number, unit_.unit_, unit_.path_); }

void ListRead::next_line() {
  const std::string& b = unit_.bytes_;
  const size_t lf = b.find('\n', line_end_);
  if (lf == std::string::npos) {
    pos_ = line_end_ = b.size();
    fail(kEndOfFile);
  }
  pos_ = lf + 1;
  line_end_ = text_end(b, pos_);
}

void ListRead::skip_separator() {
  const std::string& b = unit_.bytes_;
  comma_pending_ = true;
  while (pos_ < line_end_ && is_blank(b[pos_])) ++pos_;
  if (pos_ < line_end_ && b[pos_] == ',') {
    comma_pending_ = false;
    ++pos_;
  } else if (pos_ < line_end_ && b[pos_] == '/') {
    ended_ = true;
  }
}

bool ListRead::next_token(Token& token) {
  const std::string& b = unit_.bytes_;
  if (ended_) return false;
  // Blanks and line ends before the value; lines without a value are passed over. A line end
  // counts as a blank, so a comma after it may still be the separator of the previous value.
  for (;;) {
    while (pos_ < line_end_ && is_blank(b[pos_])) ++pos_;
    if (pos_ == line_end_) {
      next_line();
      continue;
    }
    if (b[pos_] != ',' || !comma_pending_) break;
    comma_pending_ = false;
    ++pos_;
  }
  const char c = b[pos_];
  if (c == ',') {  // null value
    ++pos_;
    return false;
  }
  if (c == '/') {
    ended_ = true;
    return false;
  }
  token.text.clear();
  token.quoted = false;
  if (c == '"' || c == '\'') {
    token.quoted = true;
    ++pos_;
    for (;;) {
      if (pos_ >= line_end_) {
        // A quoted text goes on over the line end, which adds nothing to it.
        next_line();
        continue;
      }
      const char q = b[pos_++];
      if (q != c) {
        token.text += q;
      } else if (pos_ < line_end_ && b[pos_] == c) {
        token.text += c;
        ++pos_;
      } else {
        break;
      }
    }
    if (pos_ < line_end_ && !ends_value(b[pos_])) fail(kSyntaxError);
  } else {
    const size_t begin = pos_;
    while (pos_ < line_end_ && !ends_value(b[pos_])) ++pos_;
    token.text.assign(b, begin, pos_ - begin);
  }
  skip_separator();
  return true;
}

void ListRead::read(int32_t& value) {
  Token token;
  if (!next_token(token)) return;
  if (!token.quoted && has_parenthesis(token.text)) fail(kSyntaxError);
  int32_t v = 0;
  if (token.quoted || !parse_integer(token.text, v)) fail(kConversionError);
  value = v;
}

void ListRead::read(double& value) {
  Token token;
  if (!next_token(token)) return;
  if (!token.quoted && has_parenthesis(token.text)) fail(kSyntaxError);
  double v = 0.0;
  if (token.quoted || !parse_real(token.text, v)) fail(kConversionError);
  value = v;
}

void ListRead::read(std::string& value, size_t field_length) {
  Token token;
  if (!next_token(token)) return;
  token.text.resize(field_length, ' ');
  value = std::move(token.text);
}

}  // namespace orva
