#include "DataFile.h"

#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "Cp932.h"

namespace DataFile {

namespace {

const QByteArray kCrLf("\r\n");
constexpr int kZoneWidth = 14;
constexpr int kMaxTitleBytes = 76;  // title + ".out" must fit the engine's 80-byte name field

// Every text of the file goes through one encoder that remembers a failure.
class Encoder {
 public:
  QByteArray operator()(const QString& text) {
    bool ok = false;
    QByteArray bytes = Cp932::encode(text, &ok);
    if (!ok) ok_ = false;
    return bytes;
  }
  bool ok() const { return ok_; }

 private:
  bool ok_ = true;
};

// Items at the 14-column print zones, at least one blank before each item after the first.
QByteArray zonedLine(const QList<QByteArray>& items) {
  QByteArray line;
  for (qsizetype i = 0; i < items.size(); ++i) {
    if (i > 0) {
      const qsizetype next = (line.size() / kZoneWidth + 1) * kZoneWidth;
      line.append(next - line.size(), ' ');
    }
    line += items[i];
  }
  return line;
}

// A text in double quotes; a quote inside it is doubled, which the engine and this reader take as
// one quote, so the text reads back as it was.
QString quoted(QString text) {
  text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + text + QLatin1Char('"');
}

// A number in plain decimal form, shortest text that reads back as the same value.
QString fixedNumberText(double value) {
  char buffer[400];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  return QString::fromLatin1(buffer, r.ptr - buffer);
}

// Reads a text already known to be a number in decimal form with an optional exponent ("e" only)
// and no "+". A value beyond the range of a double is no number (the engine refuses it); one too
// small for a double reads as zero, as in the engine.
bool decimalValue(const QByteArray& bytes, double* value) {
  double v = 0;
  const auto r = std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // Decimal magnitude of the first nonzero digit plus the exponent: above 0 means overflow.
    const qsizetype e = bytes.indexOf('e');
    const QByteArray mantissa = e < 0 ? bytes : bytes.left(e);
    const long exponent = e < 0 ? 0 : std::clamp(bytes.mid(e + 1).toLong(), -100000L, 100000L);
    const qsizetype point = mantissa.contains('.') ? mantissa.indexOf('.') : mantissa.size();
    long magnitude = 0;
    for (qsizetype i = 0; i < mantissa.size(); ++i) {
      if (mantissa[i] >= '1' && mantissa[i] <= '9') {
        magnitude = i < point ? static_cast<long>(point - i - 1) : static_cast<long>(point - i);
        break;
      }
    }
    if (magnitude + exponent > 0) return false;
    v = bytes.startsWith('-') ? -0.0 : 0.0;
  } else if (r.ec != std::errc() || r.ptr != bytes.constData() + bytes.size()) {
    return false;
  }
  if (value) *value = v;
  return true;
}

// A number as a file holds it and the engine reads it: plain decimal or exponent form, the
// exponent letter E or D (no "inf", "nan", hex).
bool parseFileNumber(const QString& text, double* value) {
  static const QRegularExpression kNumber(
      QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eEdD][+-]?\\d+)?$"));
  if (!kNumber.match(text).hasMatch()) return false;
  QByteArray bytes = text.toLatin1().toLower().replace('d', 'e');
  if (bytes.startsWith('+')) bytes.remove(0, 1);
  return decimalValue(bytes, value);
}

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// The engine's model splits the layers above the half-space into sublayers of at most 1 m and
// refuses more than 1000 of them in all: a layer of h metres gives h sublayers when h is a whole
// number in single precision, else h rounded up (and at least 1).
constexpr int kMaxModelSublayers = 1000;
int modelSublayers(double thicknessCm) {
  const double h = thicknessCm * 0.01;
  const double p = std::trunc(h + 0.9999);
  if (!(p <= kMaxModelSublayers)) return kMaxModelSublayers + 1;
  if (p <= 1.0) return 1;
  const double whole = std::trunc(h);
  if (static_cast<double>(static_cast<float>(h)) == whole) return static_cast<int>(whole);
  return static_cast<int>(p);
}

// An integer as the engine reads it: an optional sign and digits, within 32 bits.
bool isFileInteger(const QString& text) {
  static const QRegularExpression kInteger(QStringLiteral("^[+-]?\\d+$"));
  if (!kInteger.match(text).hasMatch()) return false;
  QByteArray bytes = text.toLatin1();
  if (bytes.startsWith('+')) bytes.remove(0, 1);
  int32_t v = 0;
  const auto r = std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), v);
  return r.ec == std::errc() && r.ptr == bytes.constData() + bytes.size();
}

}  // namespace

// ---- Writing ----

QStringList inputLabelTable() {
  QStringList labels(20);
  labels[1] = QStringLiteral("TITLE OF THE PROJECT");
  labels[2] = QStringLiteral("NAME OF FILE FOR ITERATION PROCESS");
  labels[3] = QStringLiteral("NAME OF FILE FOR BACKCALCULATED RESULTS");
  labels[4] = QStringLiteral("NO. OF LAYERS AND MEASUREMENT POINTS");
  labels[5] = QStringLiteral("NUMBERS OF TOTAL DATA");
  labels[6] = QStringLiteral("LAYER PROPERTIES");
  labels[7] = QStringLiteral("IFIX    MODULUS(MPa)      MU       THICKNESS(cm)      SLIP RATE");
  labels[8] = QStringLiteral("SENSOR POSITIONS(cm)");
  labels[9] = QStringLiteral("STD LOAD AND RADIUS of PLATE");
  labels[10] = QStringLiteral("OPTIONS FOR TYPE OF OUTPUT (1--> YES   0--> NO)");
  labels[11] = QStringLiteral("LAYER MODULI,ANALYTICAL DEFLECTIONS,DEFLECTION RATIO");
  labels[12] = QStringLiteral("1  1  1");
  labels[13] = QStringLiteral("REGULARIZATION (1--> YES   0--> NO)");
  labels[14] = QStringLiteral("0");
  labels[15] = QStringLiteral("FWD DEFLECTION DATA(μｍ）");
  labels[16] = QString();
  labels[17] = QStringLiteral("REGULARIZATION PARAMETER");
  labels[18] = QStringLiteral("(RECOMMENDED VALUE : LAYERS#<=3 --> 0.001, LAYERS#=>4 --> 0.03)");
  labels[19] = QStringLiteral("ORVA for Windows Ver2.2");
  return labels;
}

double regularizationValue(const QString& text, int layerCount) {
  if (text.isEmpty()) return layerCount < 4 ? 0.001 : 0.03;
  double v = 0;
  return parseFileNumber(text, &v) ? v : leadingNumber(text);
}

QString generalNumberText(double value) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general);
  return QString::fromLatin1(buffer, r.ptr - buffer);
}

QByteArray writeDataFile(const DataSetTexts& data, bool* ok) {
  const QStringList labels = inputLabelTable();
  Encoder enc;
  QByteArray out;
  auto plain = [&](const QString& text) { out += enc(text) + kCrLf; };
  auto zoned = [&](const QStringList& items) {
    QList<QByteArray> bytes;
    for (const QString& item : items) bytes.append(enc(item));
    out += zonedLine(bytes) + kCrLf;
  };

  plain(labels[19]);
  plain(labels[16]);
  plain(labels[1]);
  plain(data.title);
  plain(labels[16]);
  plain(labels[2]);
  plain(data.iterationFileName);
  plain(labels[16]);
  plain(labels[4]);
  plain(QString::number(data.layerCount) + QStringLiteral("   ") +
        QString::number(data.sensorCount));
  plain(labels[16]);
  plain(labels[5]);
  plain(QString::number(data.dataCount));
  plain(labels[16]);
  plain(labels[6]);
  plain(labels[7]);
  for (int i = 0; i < data.layerCount; ++i) {
    const LayerTexts& l = data.layers.value(i);
    if (i < data.layerCount - 1)
      zoned({l.fix, l.modulus, l.poisson, l.thickness, l.slip});
    else
      zoned({l.fix, l.modulus, l.poisson});
  }
  plain(labels[16]);
  plain(labels[8]);
  plain(data.positions.mid(0, data.sensorCount).join(QStringLiteral("    ")));
  plain(labels[16]);
  plain(labels[9]);
  zoned({data.standardLoad, data.plateRadius});
  plain(labels[16]);
  plain(labels[10]);
  plain(labels[11]);
  plain(labels[12]);
  plain(labels[16]);
  plain(labels[13]);
  plain(labels[14]);
  plain(labels[16]);
  plain(labels[17]);
  plain(labels[18]);
  plain(generalNumberText(regularizationValue(data.regularization, data.layerCount)));
  plain(labels[16]);
  plain(labels[15]);
  for (int i = 0; i < data.dataCount; ++i) {
    const DropTexts& drop = data.drops.value(i);
    const QString load = fixedNumberText(leadingNumber(drop.load));
    const bool loaded = i < data.kept.size();
    if (loaded) {
      const KeptDropFields& k = data.kept[i];
      plain(k.id + QLatin1Char(',') + k.code + QLatin1Char(',') + quoted(k.tag) + QLatin1Char(',') +
            load);
    } else {
      plain(QString::number(i + 1) + QStringLiteral(",0,\"99:99\",") + load);
    }
    for (int j = 0; j < data.sensorCount; ++j) plain(drop.deflections.value(j));
    if (loaded) {
      const KeptDropFields& k = data.kept[i];
      double aux = 0;
      const QString auxText =
          parseFileNumber(k.auxValue, &aux) ? QString::number(aux, 'f', 1) : k.auxValue;
      plain(auxText + QLatin1Char(',') + quoted(k.note));
    } else {
      plain(QStringLiteral("999.9,\"Run") + QString::number(i + 1) + QLatin1Char('"'));
    }
  }
  if (ok) *ok = enc.ok();
  return out;
}

QByteArray handshakeFileBytes() { return QByteArray("2958") + kCrLf; }

// ---- Reading ----

ItemReader::ItemReader(const QString& text) {
  lines_ = text.split(QLatin1Char('\n'));
  // A final line end closes the last line; it does not open another.
  if (!lines_.isEmpty() && lines_.last().isEmpty()) lines_.removeLast();
  for (QString& line : lines_)
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
}

bool ItemReader::readLine(QString* line) {
  if (next_ >= lines_.size()) return false;
  if (line) *line = lines_[next_];
  ++next_;
  return true;
}

bool ItemReader::skip(int n) {
  for (int i = 0; i < n; ++i)
    if (!readLine(nullptr)) return false;
  return true;
}

bool ItemReader::readRecord(int n, QStringList* items) {
  QString line;
  if (!readLine(&line)) return false;
  bool bad = false;
  const QStringList all = splitItems(line, nullptr, &bad);
  // A malformed item fails the record only when it is one of the n read (the engine passes over
  // the rest of the line).
  malformed_ = bad && all.size() <= n;
  if (malformed_ || all.size() < n) return false;
  *items = all.mid(0, n);
  return true;
}

QStringList ItemReader::splitItems(const QString& line, QVector<bool>* quoted, bool* malformed) {
  QStringList items;
  QVector<bool> q;
  bool bad = false;
  const qsizetype n = line.size();
  qsizetype i = 0;
  auto skipBlanks = [&] {
    while (i < n && isBlank(line[i])) ++i;
  };
  auto skipSeparator = [&] {
    skipBlanks();
    if (i < n && line[i] == QLatin1Char(',')) ++i;
  };
  skipBlanks();
  if (i == n) {
    // An empty line (or one of blanks only) holds one empty item.
    items.append(QString());
    q.append(false);
  }
  while (true) {
    skipBlanks();
    if (i >= n) break;
    if (line[i] == QLatin1Char('"') || line[i] == QLatin1Char('\'')) {
      // Quoted with either quote; the quote doubled stands for one, as the engine reads it.
      const QChar mark = line[i];
      QString text;
      for (++i; i < n; ++i) {
        if (line[i] != mark) {
          text += line[i];
        } else if (i + 1 < n && line[i + 1] == mark) {
          text += mark;
          ++i;
        } else {
          ++i;
          break;
        }
      }
      items.append(text);
      q.append(true);
      // The engine refuses a quoted text followed by anything but a separator; the items end
      // there.
      if (i < n && !isBlank(line[i]) && line[i] != QLatin1Char(',') &&
          line[i] != QLatin1Char('/')) {
        bad = true;
        break;
      }
      skipSeparator();
    } else if (line[i] == QLatin1Char(',')) {
      items.append(QString());  // nothing between two commas
      q.append(false);
      ++i;
    } else {
      const qsizetype start = i;
      while (i < n && !isBlank(line[i]) && line[i] != QLatin1Char(',')) ++i;
      items.append(line.mid(start, i - start));
      q.append(false);
      skipSeparator();
    }
  }
  if (quoted) *quoted = q;
  if (malformed) *malformed = bad;
  return items;
}

bool isVersionLine(const QString& line) {
  return line.indexOf(QStringLiteral("Ver2")) == 17 &&
         line.indexOf(QStringLiteral("ORVA for Windows")) == 0;
}

DataFileReadResult readDataFile(const QByteArray& bytes, DataSetTexts* data) {
  ItemReader r(Cp932::decode(bytes));
  DataFileReadResult result;
  auto fail = [&](DataFileError e) {
    result.error = e == DataFileError::kCutShort && r.malformed() ? DataFileError::kBadQuote : e;
    result.line = r.lineNumber();
    return result;
  };
  QString version;
  if (!r.readLine(&version) || !isVersionLine(version)) return fail(DataFileError::kBadVersion);

  DataSetTexts d;
  QStringList items;
  static const QRegularExpression kInteger(QStringLiteral("^[+-]?\\d+$"));
  auto count = [&](const QString& text, int max, int* value) {
    if (!kInteger.match(text).hasMatch()) return DataFileError::kBadCount;
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < 1 || v > max) return DataFileError::kCountOutOfRange;
    *value = v;
    return DataFileError::kNone;
  };

  if (!r.skip(2) || !r.readRecord(1, &items)) return fail(DataFileError::kCutShort);
  d.title = items[0];
  if (!r.skip(2) || !r.readRecord(1, &items)) return fail(DataFileError::kCutShort);
  d.iterationFileName = items[0];
  if (!r.skip(2) || !r.readRecord(2, &items)) return fail(DataFileError::kCutShort);
  const QStringList counts = items;
  if (!r.skip(2) || !r.readRecord(1, &items)) return fail(DataFileError::kCutShort);
  // Counts are checked once all three are read, so that a bad text is told before a range.
  for (DataFileError e : {count(counts[0], kMaxLayers, &d.layerCount),
                          count(counts[1], kMaxSensors, &d.sensorCount),
                          count(items[0], kMaxDataSets, &d.dataCount)}) {
    if (e == DataFileError::kBadCount) return fail(e);
  }
  if (d.layerCount == 0 || d.sensorCount == 0 || d.dataCount == 0)
    return fail(DataFileError::kCountOutOfRange);

  if (!r.skip(3)) return fail(DataFileError::kCutShort);
  for (int i = 1; i <= d.layerCount; ++i) {
    const bool last = i == d.layerCount;
    if (!r.readRecord(last ? 3 : 5, &items)) return fail(DataFileError::kCutShort);
    LayerTexts l{items[0], items[1], items[2], QString(), QString()};
    if (!last) {
      l.thickness = items[3];
      l.slip = items[4];
    }
    d.layers.append(l);
  }
  if (!r.skip(2) || !r.readRecord(d.sensorCount, &items)) return fail(DataFileError::kCutShort);
  d.positions = items;
  if (!r.skip(2) || !r.readRecord(2, &items)) return fail(DataFileError::kCutShort);
  d.standardLoad = items[0];
  d.plateRadius = items[1];
  if (!r.skip(10) || !r.readRecord(1, &items)) return fail(DataFileError::kCutShort);
  d.regularization = items[0];
  if (!r.skip(2)) return fail(DataFileError::kCutShort);
  for (int i = 1; i <= d.dataCount; ++i) {
    KeptDropFields k;
    DropTexts drop;
    if (!r.readRecord(4, &items)) return fail(DataFileError::kCutShort);
    k.id = items[0];
    k.code = items[1];
    k.tag = items[2];
    drop.load = items[3];
    for (int j = 1; j <= d.sensorCount; ++j) {
      if (!r.readRecord(1, &items)) return fail(DataFileError::kCutShort);
      drop.deflections.append(items[0]);
    }
    if (!r.readRecord(2, &items)) return fail(DataFileError::kCutShort);
    k.auxValue = items[0];
    k.note = items[1];
    d.drops.append(drop);
    d.kept.append(k);
  }
  *data = d;
  return result;
}

// ---- Checks ----

bool isNumberText(const QString& text, double* value) {
  static const QRegularExpression kNumber(QStringLiteral("^-?(\\d+\\.?\\d*|\\.\\d+)$"));
  if (!kNumber.match(text).hasMatch()) return false;
  return decimalValue(text.toLatin1(), value);
}

bool isFlagText(const QString& text) {
  return text == QLatin1String("0") || text == QLatin1String("1");
}

int countValue(const QString& text, int max) {
  static const QRegularExpression kDigits(QStringLiteral("^\\d{1,3}$"));
  if (!kDigits.match(text).hasMatch()) return 0;
  const int v = text.toInt();
  return v >= 1 && v <= max ? v : 0;
}

double leadingNumber(const QString& text) {
  static const QRegularExpression kLeading(
      QStringLiteral("^[ \\t]*([+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?)"));
  const QRegularExpressionMatch m = kLeading.match(text);
  if (!m.hasMatch()) return 0;
  double v = 0;
  return parseFileNumber(m.captured(1), &v) && std::isfinite(v) ? v : 0;
}

bool isValidProjectTitle(const QString& title) {
  if (title.isEmpty()) return false;
  bool ok = false;
  const QByteArray bytes = Cp932::encode(title, &ok);
  if (!ok || bytes.size() > kMaxTitleBytes) return false;
  // The blank, tab, comma and slash end a word for the engine's read; the others cannot stand in a
  // file name on one system or another; quotes would start a quoted text.
  static const QString kForbidden = QStringLiteral(" \t,/\\\"':*?<>|");
  for (const QChar c : title) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F || kForbidden.contains(c)) return false;
  }
  // The program deletes and overwrites these files in its folder.
  if (title == QLatin1String("inp") || title == QLatin1String("out1")) return false;
  return true;
}

CheckResult checkDataSet(const DataSetTexts& d) {
  CheckResult result;
  int errors = 0;
  auto counts = [&](const char* text) {
    ++errors;
    result.boxes.append(QString::fromUtf8(text));
  };
  auto ends = [&](const char* text) {
    result.boxes.append(QString::fromUtf8(text));
    return result;
  };
  auto value = [](const QString& text, double* v) { return isNumberText(text, v); };

  if (d.layerCount <= 0) counts("層数を入力して下さい");
  if (d.sensorCount <= 0) counts("測定位置数を入力して下さい");
  if (d.dataCount <= 0) counts("トータルデータ数を入力して下さい");
  if (!isValidProjectTitle(d.title)) counts("プロジェクト名が不正です");
  if (d.layerCount > d.sensorCount) counts("センサー数を層数以上にしてください");

  const char* kLayerBox = "層特性の値が不正です";
  for (int i = 0; i < d.layerCount; ++i) {
    const LayerTexts& l = d.layers.value(i);
    double modulus = 0, poisson = 0;
    if (l.fix.isEmpty() || !value(l.modulus, &modulus) || modulus <= 0 ||
        !value(l.poisson, &poisson) || poisson <= 0 || poisson >= 0.5)
      return ends(kLayerBox);
  }
  for (int i = 0; i < d.layerCount; ++i)
    if (!isFlagText(d.layers.value(i).fix)) return ends(kLayerBox);
  int sublayers = 0;
  for (int i = 0; i < d.layerCount - 1; ++i) {
    const LayerTexts& l = d.layers.value(i);
    double thickness = 0, slip = 0;
    if (!value(l.thickness, &thickness) || thickness <= 0 || !value(l.slip, &slip) || slip < 0 ||
        slip > 0.99)
      return ends(kLayerBox);
    sublayers += modelSublayers(thickness);
    if (sublayers > kMaxModelSublayers) return ends(kLayerBox);
  }

  const char* kPositionBox = "センサー位置の値が不正です";
  QVector<double> positions;
  for (int j = 0; j < d.sensorCount; ++j) {
    double p = 0;
    if (!value(d.positions.value(j), &p) || p < 0) return ends(kPositionBox);
    positions.append(p);
  }
  for (int j = 0; j + 1 < d.sensorCount; ++j)
    if (positions[j + 1] <= positions[j]) return ends(kPositionBox);

  // The header and trailer fields kept from an opened file go to the engine as they are: the id
  // and the code are read as integers, the trailer value as a number.
  auto keptBox = [&](int set, const char* field) {
    result.boxes.append(QStringLiteral("DATA%1の%2の値が不正です（読み込んだデータファイルの値）")
                            .arg(set)
                            .arg(QString::fromUtf8(field)));
    return result;
  };
  for (int i = 0; i < d.dataCount; ++i) {
    const DropTexts& drop = d.drops.value(i);
    double load = 0;
    if (!value(drop.load, &load) || load <= 0) return ends("荷重の値が不正です");
    for (int j = 0; j < d.sensorCount; ++j) {
      double w = 0;
      if (!value(drop.deflections.value(j), &w) || w < 0) return ends("たわみの値が不正です．");
    }
    if (i < d.kept.size()) {
      const KeptDropFields& k = d.kept[i];
      if (!isFileInteger(k.id)) return keptBox(i + 1, "ドロップ番号");
      if (!isFileInteger(k.code)) return keptBox(i + 1, "ドロップコード");
      if (!parseFileNumber(k.auxValue, nullptr)) return keptBox(i + 1, "末尾の数値");
    }
  }

  // The hidden parameter holds the value of an opened file; the engine takes 0 <= p < 1 only.
  double parameter = 0;
  if (!d.regularization.isEmpty() &&
      (!parseFileNumber(d.regularization, &parameter) || parameter < 0 || parameter >= 1)) {
    return ends(
        "正則化パラメータの値が不正です（読み込んだデータファイルの値）．"
        "0以上1未満の数値にしてください");
  }

  double radius = 0, standardLoad = 0;
  if (!value(d.plateRadius, &radius) || radius <= 0)
    counts("載荷板半径の値が不正です．");
  else if (!value(d.standardLoad, &standardLoad) || standardLoad <= 0)
    counts("基準荷重の値が不正です．");

  if (d.title.isEmpty()) result.boxes.append(QStringLiteral("プロジェクト名が不正です．"));
  if (errors > 0) {
    result.boxes.append(QString::number(errors) + QStringLiteral("つのエラーを直して下さい"));
    return result;
  }
  result.passed = true;
  return result;
}

}  // namespace DataFile
