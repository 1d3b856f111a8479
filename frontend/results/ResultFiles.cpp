#include "ResultFiles.h"

#include <QFile>
#include <charconv>
#include <climits>
#include <cmath>
#include <string_view>

#include "Cp932.h"

namespace ResultFiles {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// True when token is a whole number in plain decimal or exponent form:
// [+-] digits [. [digits]] | [+-] . digits, then optionally E|e [+-] digits.
bool isNumberText(std::string_view t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < t.size() && isDigit(t[i])) ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && isDigit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'E' || t[i] == 'e')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < t.size() && isDigit(t[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  return i == t.size();
}

// Converts a number text in the C locale; false unless the whole text is a finite number.
bool toNumber(std::string_view t, double* value) {
  if (!isNumberText(t)) return false;
  if (t.front() == '+') t.remove_prefix(1);  // from_chars takes no plus sign
  double v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
  if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

// Sequential free-format items of a file held as bytes.
class ItemReader {
 public:
  explicit ItemReader(const QByteArray& bytes) : data_(bytes.constData(), bytes.size()) {}

  // A numeric item: leading blanks and line ends skipped; it ends at a blank, a comma or a line
  // end; blanks after it and one comma or line end are consumed. False at the end of the data
  // or when the item is not a whole finite number. text, when given, receives the item's text.
  bool number(double* value, std::string* text = nullptr) {
    while (pos_ < data_.size() && (isBlank(data_[pos_]) || isLineEnd(data_[pos_]))) ++pos_;
    if (pos_ >= data_.size()) return false;
    size_t start = pos_;
    while (pos_ < data_.size() && !isBlank(data_[pos_]) && !isLineEnd(data_[pos_]) &&
           data_[pos_] != ',')
      ++pos_;
    std::string_view token = data_.substr(start, pos_ - start);
    skipBlanks();
    consumeDelimiter();
    if (text) text->assign(token);
    return toNumber(token, value);
  }

  // A count: a number cut to its integer part (toward minus infinity), within [low, high].
  bool count(int low, int high, int* value) {
    double v = 0;
    if (!number(&v)) return false;
    v = std::floor(v);
    if (v < low || v > high) return false;
    *value = static_cast<int>(v);
    return true;
  }

  // A text item: leading blanks skipped; a text in double quotes runs to the closing quote,
  // anything else to the next comma or line end; trailing blanks dropped. An empty line is one
  // empty item. False at the end of the data.
  bool text(std::string_view* item) {
    if (pos_ >= data_.size()) return false;
    skipBlanks();
    if (pos_ < data_.size() && data_[pos_] == '"') {
      size_t start = ++pos_;
      while (pos_ < data_.size() && data_[pos_] != '"' && !isLineEnd(data_[pos_])) ++pos_;
      *item = data_.substr(start, pos_ - start);
      if (pos_ < data_.size() && data_[pos_] == '"') ++pos_;
      while (pos_ < data_.size() && data_[pos_] != ',' && !isLineEnd(data_[pos_])) ++pos_;
    } else {
      size_t start = pos_;
      while (pos_ < data_.size() && data_[pos_] != ',' && !isLineEnd(data_[pos_])) ++pos_;
      size_t end = pos_;
      while (end > start && isBlank(data_[end - 1])) --end;
      *item = data_.substr(start, end - start);
    }
    consumeDelimiter();
    return true;
  }

 private:
  void skipBlanks() {
    while (pos_ < data_.size() && isBlank(data_[pos_])) ++pos_;
  }
  // One comma, or one line end (CR LF, LF or a lone CR).
  void consumeDelimiter() {
    if (pos_ >= data_.size()) return;
    if (data_[pos_] == ',') {
      ++pos_;
    } else if (data_[pos_] == '\r') {
      ++pos_;
      if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
    } else if (data_[pos_] == '\n') {
      ++pos_;
    }
  }

  std::string_view data_;
  size_t pos_ = 0;
};

bool readAll(const QString& path, QByteArray* bytes) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  *bytes = file.readAll();
  return file.error() == QFileDevice::NoError;
}

}  // namespace

bool parseProjectName(const QByteArray& bytes, QString* name) {
  ItemReader reader(bytes);
  std::string_view item;
  for (int i = 0; i < 4; ++i) {
    if (!reader.text(&item)) return false;
  }
  *name = Cp932::decode(QByteArray(item.data(), static_cast<qsizetype>(item.size())));
  return true;
}

bool parseModuli(const QByteArray& bytes, ModuliResults* out) {
  ItemReader reader(bytes);
  ModuliResults r;
  if (!reader.count(1, kMaxLayers, &r.layerCount)) return false;
  if (!reader.count(1, kMaxSensors, &r.sensorCount)) return false;
  r.sensorPositions.assign(r.sensorCount + 1, 0.0);
  r.layerModuli.assign(r.layerCount + 1, 0.0);
  r.layerModuliText.assign(r.layerCount + 1, std::string());
  for (int j = 1; j <= r.sensorCount; ++j) {
    if (!reader.number(&r.sensorPositions[j])) return false;
  }
  for (int i = 1; i <= r.layerCount; ++i) {
    if (!reader.number(&r.layerModuli[i], &r.layerModuliText[i])) return false;
  }
  if (!reader.count(1, INT_MAX - 1, &r.iterationCount)) return false;
  std::string_view evaluation;
  double unused = 0;
  if (!reader.text(&evaluation) || !toNumber(evaluation, &unused)) return false;
  r.evaluationText =
      QString::fromLatin1(evaluation.data(), static_cast<qsizetype>(evaluation.size()));
  *out = std::move(r);
  return true;
}

bool parseDeflections(const QByteArray& bytes,
                      int sensorCount,
                      int iterationCount,
                      DeflectionResults* out) {
  if (sensorCount < 1 || sensorCount > kMaxSensors || iterationCount < 1) return false;
  ItemReader reader(bytes);
  DeflectionResults r;
  // cm in the file, micrometres on the screen.
  auto deflections = [&](std::vector<double>* row, std::vector<std::string>* texts) {
    row->assign(sensorCount + 1, 0.0);
    texts->assign(sensorCount + 1, std::string());
    for (int j = 1; j <= sensorCount; ++j) {
      double v = 0;
      if (!reader.number(&v, &(*texts)[j])) return false;
      (*row)[j] = v * 10000;
      if (!std::isfinite((*row)[j])) return false;
    }
    return true;
  };
  if (!deflections(&r.measured, &r.measuredText) || !deflections(&r.analysed, &r.analysedText))
    return false;
  // Rows are added as they are read, so a count far beyond the file's content fails at its end
  // without a large allocation first.
  r.match.emplace_back(sensorCount + 2, 0.0);
  r.matchText.emplace_back(sensorCount + 2);
  for (int k = 1; k <= iterationCount; ++k) {
    std::vector<double> row(sensorCount + 2, 0.0);
    std::vector<std::string> texts(sensorCount + 2);
    for (int j = 1; j <= sensorCount; ++j) {
      if (!reader.number(&row[j], &texts[j])) return false;
    }
    r.match.push_back(std::move(row));
    r.matchText.push_back(std::move(texts));
  }
  *out = std::move(r);
  return true;
}

bool readProjectName(const QString& path, QString* name) {
  QByteArray bytes;
  return readAll(path, &bytes) && parseProjectName(bytes, name);
}

bool readModuli(const QString& path, ModuliResults* out) {
  QByteArray bytes;
  return readAll(path, &bytes) && parseModuli(bytes, out);
}

bool readDeflections(const QString& path,
                     int sensorCount,
                     int iterationCount,
                     DeflectionResults* out) {
  QByteArray bytes;
  return readAll(path, &bytes) && parseDeflections(bytes, sensorCount, iterationCount, out);
}

}  // namespace ResultFiles
