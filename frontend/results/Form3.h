// Form3: the results window. It shows one finished back-calculation read from the files a run
// leaves in the program folder ("inp.dat", "out1.dat", "MODULI.OUT", "DEF.OUT"): the project
// name, the layer moduli, the measured and analysed deflections with their match, the
// evaluation value and the iteration count, the convergence graph (Picture1) and the deflection
// graph (Picture2). It prints one page, goes back to the editor (Form2), exits, and opens the
// manual. It writes no file but the printed page, saved as a PDF file where there is no printer.
#pragma once

#include <QColor>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "FormWindow.h"

class AppWindows;
class FlexGrid;
class Platform;
class PictureBox;
class QLabel;
class QPagedPaintDevice;
class QPushButton;

class Form3 : public FormWindow {
  Q_OBJECT

 public:
  explicit Form3(AppWindows& windows, QWidget* parent = nullptr);

  // Checks the four files, reads them, fills the grids and draws both graphs. A missing file,
  // or a results file that cannot be read in full, shows that file's message and leaves the
  // window empty (Back, Exit and Manual still work).
  void Form_Load();
  void Command1_Click();  // draws the convergence graph in Picture1
  void Command2_Click();  // draws the deflection graph in Picture2
  void Command3_Click();  // exit, after confirmation
  void Command4_Click();  // back to the editor (unloads this window)
  void Command5_Click();  // print one page (no printer, or one that does not answer: save it as a
                          // PDF file)
  void Command6_Click();  // manual

  // Controls.
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label6;
  QLabel* Label7;
  QLabel* Label8;
  PictureBox* Picture1;
  PictureBox* Picture2;
  FlexGrid* FG1;
  FlexGrid* FG2;
  FlexGrid* FG3;
  QPushButton* Command1;
  QPushButton* Command2;
  QPushButton* Command3;
  QPushButton* Command4;
  QPushButton* Command5;
  QPushButton* Command6;

  // Form-level values filled by Form_Load. Arrays are indexed from 1; index 0 is unused.
  QString ProjectName;
  int ResultLayerCount = 0;                       // NL
  int ResultSensorCount = 0;                      // NS
  std::vector<double> SensorPositions;            // 1..NS, cm
  std::vector<double> LayerModuli;                // 1..NL, MPa
  int IterationCount = 0;                         // NI
  QString EvaluationText;                         // as the file writes it
  std::vector<double> MeasuredDeflections;        // 1..NS, micrometres
  std::vector<double> AnalysedDeflections;        // 1..NS, micrometres
  std::vector<std::vector<double>> MatchHistory;  // [0..NI][0..NS+1], filled 1..NI x 1..NS
  std::array<QColor, 21> CurveColours;            // 1..20
  // The texts of the shown values as the files write them (deflections in cm); the grids show
  // these texts' decimal digits, rounded half up.
  std::vector<std::string> LayerModuliText;                // 1..NL
  std::vector<std::string> MeasuredDeflectionsText;        // 1..NS
  std::vector<std::string> AnalysedDeflectionsText;        // 1..NS
  std::vector<std::vector<std::string>> MatchHistoryText;  // as MatchHistory
  double ConvergenceXMax = 0;
  double DeflectionXMargin = 0;
  double DeflectionYMargin = 0;

  // True once Form_Load has read every file (false after a failed check or read).
  bool resultsLoaded() const { return loaded_; }

 private:
  QString programFile(const QString& name) const;
  void fillGrids();
  // Draws the printed page on device (A4, portrait); false when the page cannot be begun or ended.
  bool printPage(QPagedPaintDevice* device);
  // Asks for a file and writes the printed page into it as a PDF file, whole or not at all.
  void savePageAsPdf();

  AppWindows& windows_;
  Platform& platform_;
  bool loaded_ = false;
};

// Shows the results window, loading it afresh (Form_Load rereads every file) when it is not
// loaded. The program sets it as AppWindows::showForm3.
void ShowForm3(AppWindows& windows);
