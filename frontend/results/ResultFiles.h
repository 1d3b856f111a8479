// Reading the files that a run leaves in the program folder: the project name from "inp.dat" and
// the engine's result files "MODULI.OUT" and "DEF.OUT".
//
// The result files are read item by item: items are separated by blanks, a comma or a line end,
// and counted, not matched to records. Every item where a number is expected must be a whole
// finite number in plain decimal or exponent form ("12", "-0.5", "0.1234E-01"); "inf", "nan",
// "Infinity", "****" or any other text fails the file. A file that ends before the counts are
// satisfied fails too. Every read returns false on failure and leaves *out unspecified.
// Beside each value the reader keeps its text as the file writes it, so that the values can be
// shown with the file's decimal digits (DecimalText).
#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

namespace ResultFiles {

// The limits of the result files' records (at most 20 values a record).
constexpr int kMaxLayers = 20;
constexpr int kMaxSensors = 20;

// "MODULI.OUT". Arrays are indexed from 1; index 0 is present and unused.
struct ModuliResults {
  int layerCount = 0;                        // NL, 1..20 (last layer = subgrade)
  int sensorCount = 0;                       // NS, 1..20
  std::vector<double> sensorPositions;       // 0..NS, cm
  std::vector<double> layerModuli;           // 0..NL, MPa
  std::vector<std::string> layerModuliText;  // 0..NL, the moduli's texts in the file
  int iterationCount = 0;                    // NI >= 1
  QString evaluationText;                    // the final error as the file writes it (cm^2)
};

// "DEF.OUT" for NS sensors and NI iterations.
struct DeflectionResults {
  std::vector<double> measured;  // 0..NS, micrometres (the file's cm x 10000)
  std::vector<double> analysed;  // 0..NS, micrometres
  // match[k][j]: match value of sensor j after iteration k, as read (0..1); rows 0..NI, columns
  // 0..NS+1, filled for k = 1..NI, j = 1..NS.
  std::vector<std::vector<double>> match;
  // The same values' texts in the file (deflections in cm), shaped as the values.
  std::vector<std::string> measuredText;
  std::vector<std::string> analysedText;
  std::vector<std::vector<std::string>> matchText;
};

// The fourth free-format item of "inp.dat" (the project title line), decoded from CP932. Items
// end at a comma or a line end, blanks round them dropped; an empty line is one empty item; a
// text in double quotes runs to the closing quote. Fails when the file has fewer than four items.
bool parseProjectName(const QByteArray& bytes, QString* name);

// Counts (each cut to its integer part), NS offsets, NL moduli, NI and the evaluation value,
// kept as text up to the next comma or line end. Fails on counts below 1, more than 20 layers
// or sensors, an iteration count beyond the integer range, and a non-numeric evaluation value.
bool parseModuli(const QByteArray& bytes, ModuliResults* out);

// NS measured, NS analysed deflections (cm, returned in micrometres), then NI x NS match values.
bool parseDeflections(const QByteArray& bytes,
                      int sensorCount,
                      int iterationCount,
                      DeflectionResults* out);

// The same, reading the file at path; a file that cannot be read fails.
bool readProjectName(const QString& path, QString* name);
bool readModuli(const QString& path, ModuliResults* out);
bool readDeflections(const QString& path,
                     int sensorCount,
                     int iterationCount,
                     DeflectionResults* out);

}  // namespace ResultFiles
