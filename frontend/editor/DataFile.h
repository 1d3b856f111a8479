// The data file of the editor ("<project>.dat", copied to "inp.dat"): its writer, the item reader
// that opens it again, and the checks the editor runs before a save.
//
// Layout of the file, in order (every line ends in CR LF, text in CP932):
//   version line, empty line, "TITLE OF THE PROJECT", title, empty, report-name caption, report
//   name, empty, counts caption, "<layers>   <sensors>", empty, data-count caption, <data sets>,
//   empty, two layer captions, one zoned line per layer (5 items; 3 for the last layer), empty,
//   positions caption, the positions separated by four blanks, empty, load caption, zoned load
//   line (2 items), empty, output captions, "1  1  1", empty, flag caption, "0", empty, two
//   parameter captions, the parameter, empty, deflection caption, then per data set a header
//   line, one deflection per line, and a trailer line.
// Zoned lines start every item after the first at the next 14-column print zone (columns 1, 15,
// 29, ...), always after at least one blank.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace DataFile {

// The cell texts of one layer, as typed (the last layer has no thickness and slip rate).
struct LayerTexts {
  QString fix;
  QString modulus;
  QString poisson;
  QString thickness;
  QString slip;
};

// One data set (drop): the load cell and one deflection per sensor, as typed.
struct DropTexts {
  QString load;
  QStringList deflections;
};

// Header and trailer fields of a data set read from a file, kept so that a save writes them back:
// id and code as read, tag and note in quotes (a quote inside doubled), auxValue with one decimal
// place.
struct KeptDropFields {
  QString id;
  QString code;
  QString tag;
  QString auxValue;
  QString note;
};

// The editor's data set: everything the data file holds. layers, positions and drops hold
// layerCount, sensorCount and dataCount entries. Data sets 1 .. kept.size() count as loaded from
// a file (their kept fields are written back); the others are new.
struct DataSetTexts {
  QString title;
  QString iterationFileName;
  int layerCount = 0;
  int sensorCount = 0;
  int dataCount = 0;
  QVector<LayerTexts> layers;
  QStringList positions;
  QVector<DropTexts> drops;
  QString standardLoad;
  QString plateRadius;
  QString regularization;  // the parameter: as read from a file, or as written by a save
  QVector<KeptDropFields> kept;
};

// Spin ranges of the three counts.
constexpr int kMaxLayers = 5;
constexpr int kMaxSensors = 10;
constexpr int kMaxDataSets = 10;

// ---- Writing ----

// The caption lines, indices 0 .. 19 (index 0 and 16 empty; index 3 is never written).
QStringList inputLabelTable();

// The regularisation parameter for the file: the leading number of text (the hidden box), or,
// when text is empty, 0.001 below 4 layers and 0.03 from 4 layers on.
double regularizationValue(const QString& text, int layerCount);

// A number in general form ("0.001", "0.03", "1e-05"), C locale.
QString generalNumberText(double value);

// The file's bytes: CP932, CR LF on every line. The texts are written as they are, except the
// counts (integers), the parameter (regularization, taken as a number) and the drop loads in the
// headers (their value, in plain decimal form). *ok is false when a text has no CP932 form.
QByteArray writeDataFile(const DataSetTexts& data, bool* ok = nullptr);

// The handshake file "SESF.LAB": the launch code "2958" on one line.
QByteArray handshakeFileBytes();

// ---- Reading ----

// Reads the items of a data file line by line. An unquoted item ends at a blank, a tab, a comma
// or the end of the line; a quoted item keeps blanks and commas; an empty line holds one empty
// item. A record read takes its items from one whole line (what is left on it is passed over);
// a skip passes over whole lines.
class ItemReader {
 public:
  explicit ItemReader(const QString& text);
  // The next line, or false at the end of the file.
  bool readLine(QString* line);
  // Passes over n lines; false when the file ends first.
  bool skip(int n);
  // The first n items of the next line; false when the file ends, the line holds fewer, or the
  // line is malformed (see splitItems).
  bool readRecord(int n, QStringList* items);
  // True when the last record read was malformed.
  bool malformed() const { return malformed_; }
  // 1-based number of the line read last.
  int lineNumber() const { return next_; }

  // The items of one line. A text quoted with " or ' may hold blanks and commas, and its quote
  // doubled stands for one. *malformed is set when a quoted text is followed by anything other
  // than a blank, a comma or a slash (the engine refuses to read it); that item is the last.
  static QStringList splitItems(const QString& line,
                                QVector<bool>* quoted = nullptr,
                                bool* malformed = nullptr);

 private:
  QStringList lines_;
  int next_ = 0;
  bool malformed_ = false;
};

enum class DataFileError {
  kNone,
  kBadVersion,       // the first line is not "ORVA for Windows" with "Ver2" at column 18
  kCutShort,         // the file ends early or a record holds too few items
  kBadCount,         // a count is not a whole number
  kCountOutOfRange,  // layers outside 1..5, sensors or data sets outside 1..10
  kBadQuote          // a quoted text is followed by something other than a separator
};

struct DataFileReadResult {
  DataFileError error = DataFileError::kNone;
  int line = 0;  // the line where reading stopped
};

// True when the version line is accepted: "ORVA for Windows" at column 1, "Ver2" first found at
// column 18.
bool isVersionLine(const QString& line);

// Reads a data file's bytes (CP932; CR LF or LF) into data: every cell and box text exactly as
// read, the counts as integers, every data set's header and trailer fields kept (data.kept has
// dataCount entries). data is changed only on success.
DataFileReadResult readDataFile(const QByteArray& bytes, DataSetTexts* data);

// ---- Checks ----

// A cell's text is a number only when the whole text is one: an optional leading minus, digits
// and at most one decimal point, with at least one digit ("1.2.3", ".", "-" and "" are not), and
// within the range of a double.
bool isNumberText(const QString& text, double* value = nullptr);

// The fix flag passes only as "0" or "1".
bool isFlagText(const QString& text);

// A count box: a whole number from 1 to max, else 0.
int countValue(const QString& text, int max);

// The leading number of a text (leading blanks skipped; "" or a text that begins with no number
// gives 0).
double leadingNumber(const QString& text);

// The project name can name the data file and the report and survives the engine's read: not
// empty, no blank, tab, comma, slash, backslash, quote or other character that a file name cannot
// hold, CP932 without loss, at most 76 bytes, and not a work file's name ("inp", "out1").
bool isValidProjectTitle(const QString& title);

// The checks of a save, in order. boxes receives the text of every error box (all with the
// critical icon and the title "Error"); passed is true when nothing failed and the save goes on.
// Besides the cells and boxes, every field that the file carries to the engine is checked with the
// engine's rules: the layers' total depth (the model's sublayers), the kept drop ids and codes
// (integers), trailer values (numbers) and the regularisation parameter (0 <= p < 1).
struct CheckResult {
  QStringList boxes;
  bool passed = false;
};
CheckResult checkDataSet(const DataSetTexts& data);

}  // namespace DataFile
