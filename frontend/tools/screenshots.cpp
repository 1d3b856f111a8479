// Renders the windows offscreen into PNG files: screenshots OUTPUT_FOLDER [RESULTS_FOLDER].
// The start window and the editor in new-data mode with 3 layers, 5 sensors and 2 data sets.
// With RESULTS_FOLDER (holding inp.dat, out1.dat, MODULI.OUT and DEF.OUT): the engine of the
// build (bin/ORVA-V4 beside tools/) is run on that inp.dat, and the results window shows what it
// wrote (the folder's result files when the engine writes none); the printed page goes to
// OUTPUT_FOLDER/form3_print.pdf.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QPrinter>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <cstdio>
#include <memory>

#include "AppWindows.h"
#include "FlexGrid.h"
#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "QtPlatform.h"
#include "QtTranslation.h"
#include "ResultFiles.h"
#include "TextBox.h"
#include "UpDown.h"

namespace {

// The Qt platform with its own program folder (the work files of build/bin stay untouched) and
// message boxes written to standard error instead of shown.
class ScreenshotPlatform : public QtPlatform {
 public:
  explicit ScreenshotPlatform(const QString& folder) : folder_(folder) {}
  QString programFolder() const override { return folder_; }
  int messageBox(QWidget*, const QString& text, int style, const QString& title) override {
    std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
    return style == MsgStyle::kYesNoInfo ? MsgAnswer::kNo : MsgAnswer::kOk;
  }
  // Printing goes to a PDF file when one is set.
  QPrinter* printer() override {
    if (pdf_.isEmpty()) return QtPlatform::printer();
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setOutputFormat(QPrinter::PdfFormat);
    printer_->setOutputFileName(pdf_);
    return printer_.get();
  }
  PrintResult print(const QString& title,
                    const QString& creator,
                    const std::function<bool(QPagedPaintDevice*)>& draw) override {
    if (pdf_.isEmpty()) return QtPlatform::print(title, creator, draw);
    QPrinter* pdf = printer();
    pdf->setDocName(title);
    pdf->setCreator(creator);
    return draw(pdf) ? PrintResult::kPrinted : PrintResult::kRefused;
  }
  void setPdf(const QString& path) { pdf_ = path; }

 private:
  QString folder_;
  QString pdf_;
  std::unique_ptr<QPrinter> printer_;
};

bool save(QWidget* window, const QString& path) {
  window->show();
  QApplication::processEvents();
  const bool ok = window->grab().save(path);
  std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "cannot write", qPrintable(path));
  return ok;
}

void fill(FlexGrid* grid, int row, const QStringList& values, int first_col = 1) {
  for (int i = 0; i < values.size(); ++i) grid->setTextMatrix(row, first_col + i, values[i]);
}

bool copyReplacing(const QString& from, const QString& to) {
  QFile::remove(to);
  return QFile::copy(from, to);
}

// Runs the build's engine on the results folder's inp.dat, then shows and prints the results.
bool showResults(AppWindows& windows,
                 ScreenshotPlatform& platform,
                 const QString& results,
                 const QString& out) {
  const QString work = platform.programFolder();
  auto file = [&](const QString& name) { return work + "/" + name; };
  copyReplacing(results + "/inp.dat", file("inp.dat"));
  QFile lab(file("SESF.LAB"));
  if (lab.open(QIODevice::WriteOnly)) lab.write("2958\r\n");
  lab.close();
  for (const char* name : {"MODULI.OUT", "DEF.OUT"}) QFile::remove(file(name));

  const QString engine = QCoreApplication::applicationDirPath() + "/../bin/ORVA-V4";
  QString error;
  platform.runProcess(engine, {}, work, nullptr, &error);
  ResultFiles::ModuliResults moduli;
  if (ResultFiles::readModuli(file("MODULI.OUT"), &moduli) && QFile::exists(file("DEF.OUT"))) {
    std::fprintf(stderr, "results of an engine run (%s)\n", qPrintable(engine));
    // The report named after the project title stands in for the copy the editor makes.
    QString title;
    ResultFiles::readProjectName(file("inp.dat"), &title);
    if (!copyReplacing(file(title + ".out"), file("out1.dat"))) {
      copyReplacing(results + "/out1.dat", file("out1.dat"));
    }
  } else {
    std::fprintf(stderr,
                 "the engine wrote no results (%s); showing the files of %s\n",
                 qPrintable(error.isEmpty() ? engine : error),
                 qPrintable(results));
    for (const char* name : {"out1.dat", "MODULI.OUT", "DEF.OUT"}) {
      copyReplacing(results + "/" + name, file(name));
    }
  }

  windows.form2->hide();
  ShowForm3(windows);
  bool ok = save(windows.form3, out + "/form3.png");
  platform.setPdf(out + "/form3_print.pdf");
  windows.form3->Command5_Click();
  ok &= QFile::exists(out + "/form3_print.pdf");
  std::fprintf(
      stderr, "%s %s\n", ok ? "wrote" : "cannot write", qPrintable(out + "/form3_print.pdf"));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const auto qtTexts = QtTranslation::installJapanese();
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: screenshots OUTPUT_FOLDER [RESULTS_FOLDER]\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  QTemporaryDir folder;
  ScreenshotPlatform platform(folder.path());
  AppWindows windows(platform);

  bool ok = true;
  windows.form1 = new Form1(windows);
  windows.form1->Form_Load();
  ok &= save(windows.form1, out + "/form1.png");
  windows.form1->hide();

  Form2* form = windows.loadForm2();
  form->Option2->setChecked(true);
  form->UpDown1->setValue(3);
  form->UpDown2->setValue(5);
  form->UpDown3->setValue(2);
  form->Text4->setText("Sample");
  fill(form->FG1, 1, {"0", "3000", "0.35", "5", "0"});
  fill(form->FG1, 2, {"0", "300", "0.35", "30", "0"});
  fill(form->FG1, 3, {"0", "100", "0.40"});
  fill(form->FG2, 1, {"0", "20", "30", "60", "90"});
  fill(form->FG3, 1, {"49.1", "412.3", "310.5", "260.2", "180.7", "120.4"});
  fill(form->FG3, 2, {"49.0", "410.8", "309.9", "259.4", "181.0", "121.1"});
  fill(form->FG4, 1, {"49", "15"}, 0);
  form->FG1->setRow(2);
  form->FG1->setCol(2);
  ok &= save(form, out + "/form2.png");

  // An edit under way: the light-yellow box over the current cell.
  QApplication::setActiveWindow(form);
  form->FG1->setFocus();
  QTest::keyClick(form->FG1, Qt::Key_F2);
  QTest::keyClicks(form->T1, "0");
  ok &= save(form, out + "/form2_editing.png");
  if (argc == 3) ok &= showResults(windows, platform, QString::fromLocal8Bit(argv[2]), out);
  return ok ? 0 : 1;
}
