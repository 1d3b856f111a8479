// Printing the results page: through the platform's printer into a PDF, read back with
// pdftotext and rasterised with pdftoppm.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "AppWindows.h"
#include "Cp932.h"
#include "DataFile.h"
#include "FakePlatform.h"
#include "FileSizeLimit.h"
#include "FlexGrid.h"
#include "Form2.h"
#include "Form3.h"
#include "Module1.h"
#include "PictureBox.h"
#include "ResultsFolder.h"

namespace {

// Runs a poppler tool; returns its standard output.
QByteArray run(const QString& program, const QStringList& arguments) {
  QProcess p;
  p.start(program, arguments);
  EXPECT_TRUE(p.waitForFinished(30000)) << program.toStdString();
  EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ": "
                             << p.readAllStandardError().toStdString();
  return p.readAllStandardOutput();
}

class Printing : public ResultsFolderTest {
 protected:
  QString print(const QString& name) {
    const QString pdf = folder.filePath(name);
    platform.setPrinterPdf(pdf);
    form->Command5_Click();
    EXPECT_TRUE(QFile::exists(pdf));
    return pdf;
  }
  // Every name in a folder, hidden ones too.
  static QStringList listing(const QString& path) {
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }
  // The words of the page with their boxes in points, as pdftotext reports them.
  struct Word {
    double x1, y1, x2, y2;
    QString text;
  };
  static std::vector<Word> words(const QString& pdf) {
    const QString xhtml = QString::fromUtf8(run("pdftotext", {"-bbox", pdf, "-"}));
    static const QRegularExpression word(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">"
        "([^<]*)</word>");
    std::vector<Word> found;
    for (auto it = word.globalMatch(xhtml); it.hasNext();) {
      const auto m = it.next();
      found.push_back({m.captured(1).toDouble(),
                       m.captured(2).toDouble(),
                       m.captured(3).toDouble(),
                       m.captured(4).toDouble(),
                       m.captured(5)});
    }
    return found;
  }
  // The page's text lines, rebuilt from the word boxes that pdftotext reports: words on one
  // baseline, left to right, each gap written as the number of blanks that fill it (the width of
  // one character of the line's half-width words, else half the font height). Lines are joined
  // with line ends.
  static QString text(const QString& pdf) {
    std::map<long, std::vector<Word>> lines;  // by top edge in hundredths of a point
    for (const Word& w : words(pdf)) lines[std::lround(w.y1 * 100)].push_back(w);
    QStringList out;
    for (auto& [top, row] : lines) {
      std::sort(row.begin(), row.end(), [](auto& a, auto& b) { return a.x1 < b.x1; });
      double pitch = (row[0].y2 - row[0].y1) / 2;  // a half-width character of the Gothic font
      for (const Word& w : row) {
        bool ascii =
            std::all_of(w.text.begin(), w.text.end(), [](QChar c) { return c.unicode() < 128; });
        if (ascii && !w.text.isEmpty()) pitch = (w.x2 - w.x1) / w.text.size();
      }
      QString line = row[0].text;
      for (size_t i = 1; i < row.size(); ++i) {
        const double gap = row[i].x1 - row[i - 1].x2;
        const int blanks = static_cast<int>(std::lround(gap / pitch));
        line += QString(blanks, ' ') + row[i].text;
      }
      out << line;
    }
    return out.join('\n');
  }
  // The page as an image at dpi dots per inch.
  QImage raster(const QString& pdf, int dpi) {
    const QString stem = folder.filePath(QFileInfo(pdf).completeBaseName() + "_page");
    run("pdftoppm", {"-r", QString::number(dpi), "-png", "-singlefile", pdf, stem});
    QImage image(stem + ".png");
    EXPECT_FALSE(image.isNull());
    return image;
  }
  // The printable area of the A4 page in the given unit (the page's twips start at its top-left
  // corner).
  static QRectF printableArea(QPageLayout::Unit unit) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    return printer.pageLayout().paintRect(unit);
  }
  // The one box of a print that the printer did not take; no file was asked for.
  void expectThePrinterMessage() {
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text,
              QStringLiteral("プリンターが使用できません。印刷を中止しました。"));
    EXPECT_EQ(platform.boxes[0].style, MsgStyle::kExclamation);
    EXPECT_EQ(platform.boxes[0].title, "Error");
    EXPECT_TRUE(platform.dialogs.empty());
  }
  // Puts name in inp.dat in place of the fixture's project name.
  void setProjectName(const QString& name) {
    QByteArray inp = readFile("inp.dat");
    inp.replace(Cp932::encode(QStringLiteral("国道１号試験区間")), Cp932::encode(name));
    writeFile("inp.dat", inp);
  }
  // Saves the page as a PDF file through the save dialog (no printer) at path.
  void save(const QString& path) {
    platform.setPrinterPdf(QString());
    platform.answerSaveFile(path);
    form->Command5_Click();
  }
  // Pixels of a twip rectangle on a page rasterised at dpi.
  static QRect pagePixels(int x1, int y1, int x2, int y2, int dpi) {
    const QPointF o = printableArea(QPageLayout::Inch).topLeft();
    auto px = [&](double inch, int tw) { return static_cast<int>((inch + tw / 1440.0) * dpi); };
    return QRect(QPoint(px(o.x(), x1), px(o.y(), y1)), QPoint(px(o.x(), x2), px(o.y(), y2)));
  }
  // Pixels darker than the threshold (the default counts black ink, not the grey grid).
  static int inkPixels(const QImage& image, const QRect& r, int threshold = 160) {
    int ink = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if (qGray(image.pixel(x, y)) < threshold) ++ink;
    return ink;
  }
};

TEST_F(Printing, ThePageHoldsTheResultLines) {
  load();
  const QString page = text(print("page.pdf"));
  EXPECT_TRUE(platform.boxes.empty());
  for (const char* line : {"プロジェクト名：国道１号試験区間",
                           "・グラフ",
                           "解析たわみと測定たわみの比",
                           "解析たわみと測定たわみ(μｍ)",
                           "・解析結果",
                           "評価関数(cm)：0.1234E-03",
                           "計算回数：4",
                           "E1      E2      E3",
                           "弾性係数(MPa): 3456    234.5    78.91"}) {
    EXPECT_TRUE(page.contains(QString::fromUtf8(line))) << line << "\n" << page.toStdString();
  }
}

TEST_F(Printing, BothGraphsPrintInsideTheirFramesAsVectorDrawing) {
  load();
  const QString pdf = print("page.pdf");
  const int dpi = 100;
  const QImage page = raster(pdf, dpi);
  // Frame outlines: ink along each frame's top edge.
  const QRect frame1 = pagePixels(2850, 1320, 8410, 5920, dpi);
  const QRect frame2 = pagePixels(2800, 6820, 8490, 11390, dpi);
  for (const QRect& frame : {frame1, frame2}) {
    const QRect top(frame.left() + 5, frame.top() - 1, frame.width() - 10, 3);
    EXPECT_GT(inkPixels(page, top), top.width() * 0.9);
    // Inside: the graph (grid lines, labels and curves).
    const QRect inside = frame.adjusted(5, 5, -5, -5);
    EXPECT_GT(inkPixels(page, inside), 500);
  }
  // Nothing right of the frames.
  EXPECT_EQ(inkPixels(page, pagePixels(8700, 1320, 11000, 11390, dpi)), 0);
  // The graphs are drawn as lines and text, not pasted as screen pixels: the page holds no image.
  const QString images = QString::fromUtf8(run("pdfimages", {"-list", pdf}));
  EXPECT_EQ(images.trimmed().split('\n').size(), 2) << images.toStdString();  // header lines only
}

// Regression: each picture was drawn over the picture box's whole size, border included, so the
// printed graphs ran 15 to 25 twips past the right and bottom of their frames. Each graph ends
// inside its frame: on a 300-dpi raster, nothing (not even the grey grid) lies in the band right of
// or below a frame, beyond the half of its line that falls outside.
TEST_F(Printing, TheGraphsEndInsideTheirFrames) {
  load();
  const int dpi = 300;
  const QImage page = raster(print("frames.pdf"), dpi);
  struct Frame {
    int x1, y1, x2, y2;
  };
  for (const Frame& f : {Frame{2850, 1320, 8410, 5920}, Frame{2800, 6820, 8490, 11390}}) {
    SCOPED_TRACE(f.x1);
    // The frame's line is one screen pixel (15 twips) wide, centred on the outline.
    const QRect right = pagePixels(f.x2 + 12, f.y1 + 12, f.x2 + 200, f.y2 - 12, dpi);
    const QRect below = pagePixels(f.x1 + 12, f.y2 + 12, f.x2 - 12, f.y2 + 200, dpi);
    EXPECT_EQ(inkPixels(page, right, 250), 0);
    EXPECT_EQ(inkPixels(page, below, 250), 0);
    // The graph reaches its frame: its right and bottom grid lines lie just inside.
    const QRect inside = pagePixels(f.x2 - 60, f.y1 + 300, f.x2 - 12, f.y2 - 300, dpi);
    EXPECT_GT(inkPixels(page, inside, 250), inside.height());
  }
}

TEST_F(Printing, PrintingTwiceGivesTheSamePageAndLeavesTheWindowAsItWas) {
  Form3* f = load();
  const size_t drawn = f->Picture1->commands().size();
  const QImage first = raster(print("first.pdf"), 60);
  const QImage second = raster(print("second.pdf"), 60);
  EXPECT_EQ(first, second);
  EXPECT_EQ(f->Picture1->commands().size(), drawn);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(Printing, FiveLayersGiveFiveNamesAndFiveModuli) {
  QFile moduli(folder.filePath("MODULI.OUT"));
  ASSERT_TRUE(moduli.open(QIODevice::WriteOnly | QIODevice::Truncate));
  moduli.write(
      "   5   5\r\n"
      "  0.0000E+00  0.2000E+02  0.3000E+02  0.6000E+02  0.9000E+02\r\n"
      "  0.5678E+04  0.1234E+04  0.5678E+03  0.2000E+03  0.5120E+02\r\n"
      "  4  0.1234E-03\r\n");
  moduli.close();
  load();
  const QString page = text(print("five.pdf"));
  EXPECT_TRUE(page.contains("E1      E2      E3      E4      E5")) << page.toStdString();
  EXPECT_TRUE(page.contains("弾性係数(MPa): 5678    1234    567.8    200    51.2"))
      << page.toStdString();
}

// A printer that cannot take the page (its output cannot be opened) gives the message; a printer
// exists, so no file is asked for.
TEST_F(Printing, APrinterThatCannotStartThePageGivesTheMessage) {
  load();
  platform.setPrinterPdf(folder.filePath("missing/page.pdf"));
  platform.answerMessage(MsgAnswer::kOk);
  form->Command5_Click();
  expectThePrinterMessage();
}

// Without a printer the page is saved as a PDF file: the save dialog offers the project's name in
// the working folder, and the file holds the page the printer gets, pixel for pixel at 300 dpi,
// on A4 portrait. Nothing else is left in the folder.
TEST_F(Printing, WithoutAPrinterThePrintersPageIsSavedAsAPdfFile) {
  load();
  const QImage printed = raster(print("printer.pdf"), 300);
  const QStringList before = listing(folder.path());
  platform.setPrinterPdf(QString());
  platform.answerSaveFile(folder.filePath("saved.pdf"));
  form->Command5_Click();
  EXPECT_TRUE(platform.boxes.empty()) << platform.boxTexts().join('|').toStdString();
  ASSERT_EQ(platform.dialogs.size(), 1u);
  const FakePlatform::Dialog& dialog = platform.dialogs[0];
  EXPECT_EQ(dialog.kind, "saveFile");
  EXPECT_EQ(dialog.title, QStringLiteral("保存するPDFファイルを指定してください"));
  EXPECT_EQ(dialog.initialFolder, folder.filePath(QStringLiteral("国道１号試験区間.pdf")));
  EXPECT_EQ(dialog.filter, "PDF(*.pdf)");
  EXPECT_EQ(listing(folder.path()), QStringList(before) << "saved.pdf");

  const QString info = QString::fromUtf8(run("pdfinfo", {folder.filePath("saved.pdf")}));
  EXPECT_TRUE(info.contains(QRegularExpression("Pages: +1\n"))) << info.toStdString();
  EXPECT_TRUE(info.contains("595 x 842 pts (A4)")) << info.toStdString();  // portrait
  EXPECT_TRUE(raster(folder.filePath("saved.pdf"), 300) == printed);
}

// The offer follows the data file: the project's name in its folder once it is saved. Cancel writes
// nothing and shows nothing.
TEST_F(Printing, TheSaveDialogOffersTheDataFilesFolderAndCancelWritesNothing) {
  load();
  QTemporaryDir data;
  const QStringList programFiles = listing(folder.path());
  windows.loadForm2()->InputPath = data.filePath(QStringLiteral("国道１号試験区間.dat"));
  platform.answerSaveFile(QString());
  form->Command5_Click();
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].initialFolder,
            data.filePath(QStringLiteral("国道１号試験区間.pdf")));
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(listing(folder.path()), programFiles);
  EXPECT_TRUE(listing(data.path()).isEmpty());
}

// An existing file is replaced only after the question, asked once: No leaves it as it was, Yes
// puts the whole page in its place.
TEST_F(Printing, AnExistingPdfFileIsReplacedOnlyAfterTheQuestion) {
  load();
  const QString name = QStringLiteral("国道１号試験区間.pdf");
  const QString path = folder.filePath(name);
  writeFile(name, "earlier page");
  for (int answer : {MsgAnswer::kNo, MsgAnswer::kYes}) {
    SCOPED_TRACE(answer);
    platform.boxes.clear();
    platform.answerSaveFile(path);
    platform.answerMessage(answer);
    form->Command5_Click();
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text,
              QStringLiteral("同じ名前のPDFファイルが既にあります。上書きしますか？\n") + path);
    EXPECT_EQ(platform.boxes[0].style, MsgStyle::kYesNoInfo);
    EXPECT_EQ(platform.boxes[0].title, "Information");
  }
  const QByteArray pdf = readFile(name);
  EXPECT_TRUE(pdf.startsWith("%PDF-"));
  EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF"));
  EXPECT_TRUE(text(path).contains(QStringLiteral("プロジェクト名：国道１号試験区間")));
}

// A file that cannot be written gets the message and leaves what was there: a folder whose name a
// regular file has taken, and a file whose name leaves no room for a temporary name beside it
// (both fail for root too). Writing in place would have replaced the earlier file.
TEST_F(Printing, AFailedSaveShowsTheMessageAndKeepsTheEarlierFile) {
  load();
  const QString longName = QString(246, QLatin1Char('n')) + ".pdf";  // 250 bytes
  writeFile("taken", "a file, not a folder");
  writeFile(longName, "earlier page");
  const QStringList before = listing(folder.path());
  struct Case {
    const char* name;
    QString path;
    bool exists;
  };
  const Case cases[] = {
      {"folder name taken by a file", folder.filePath("taken/page.pdf"), false},
      {"no room for a temporary name", folder.filePath(longName), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform.boxes.clear();
    platform.answerSaveFile(c.path);
    if (c.exists) platform.answerMessage(MsgAnswer::kYes);
    platform.answerMessage(MsgAnswer::kOk);
    form->Command5_Click();
    ASSERT_EQ(platform.boxes.size(), c.exists ? 2u : 1u);
    const FakePlatform::Box& box = platform.boxes.back();
    EXPECT_TRUE(box.text.startsWith(QStringLiteral("PDFファイルを保存できませんでした。\n") +
                                    c.path + "\n"))
        << box.text.toStdString();
    EXPECT_EQ(box.style, MsgStyle::kCritical);
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(listing(folder.path()), before);
    EXPECT_EQ(readFile("taken"), "a file, not a folder");
    EXPECT_EQ(readFile(longName), "earlier page");
  }
}

// A window whose load stopped at a file check still prints: empty values, blank graphs.
TEST_F(Printing, AnEmptyWindowPrintsAnEmptyPage) {
  QFile::remove(folder.filePath("DEF.OUT"));
  platform.answerMessage(MsgAnswer::kOk);
  load();
  const QString page = text(print("empty.pdf"));
  EXPECT_TRUE(page.contains("計算回数：0")) << page.toStdString();
  EXPECT_TRUE(page.contains("プロジェクト名：")) << page.toStdString();
}

// The engine of the build, run on the fixture inp.dat (one drop at the standard load, so the
// measured deflections are the input's): its files load without a message and print. A missing
// engine, or one that writes no result files, fails the test.
TEST_F(Printing, ARunOfTheBuiltEngineShowsAndPrints) {
  for (const char* name : {"MODULI.OUT", "DEF.OUT"}) QFile::remove(folder.filePath(name));
  QFile lab(folder.filePath("SESF.LAB"));
  ASSERT_TRUE(lab.open(QIODevice::WriteOnly));
  lab.write("2958\r\n");
  lab.close();
  QProcess engine;
  engine.setWorkingDirectory(folder.path());
  engine.setStandardInputFile(QProcess::nullDevice());
  engine.start(QStringLiteral(ORVA_PROGRAM_DIR "/ORVA-V4"), {});
  ASSERT_TRUE(engine.waitForFinished(60000))
      << "the engine did not run: " << engine.errorString().toStdString();
  for (const char* name : {"MODULI.OUT", "DEF.OUT"}) {
    ASSERT_EQ(Module1::FileState(folder.filePath(name)), 1) << "the built engine wrote no " << name;
  }
  Form3* f = load();
  EXPECT_TRUE(platform.boxes.empty());
  ASSERT_TRUE(f->resultsLoaded());
  ASSERT_EQ(f->FG2->cols(), 6);
  const QStringList measured = {"123.4", "98.8", "76.5", "43.2", "24.7"};
  for (int j = 1; j <= 5; ++j) EXPECT_EQ(f->FG2->textMatrix(1, j), measured[j - 1]) << j;
  EXPECT_GE(f->IterationCount, 1);
  EXPECT_EQ(f->FG3->textMatrix(1, 1), QString::number(f->IterationCount));

  const QString page = text(print("engine.pdf"));
  EXPECT_TRUE(page.contains("計算回数：" + QString::number(f->IterationCount)))
      << page.toStdString();
  EXPECT_TRUE(page.contains("評価関数(cm)：" + f->EvaluationText)) << page.toStdString();
  EXPECT_TRUE(page.contains("E1      E2      E3")) << page.toStdString();
}

// The title line holds the whole project name inside the printable width, on the printer's page
// and in the saved file alike. A name that fits keeps 16 points (the line stands to the 14-point
// "・グラフ" line as 16 to 14); the longest names the check accepts, 38 full-width or 76 half-width
// characters, are drawn smaller, as large as fits: the line ends just inside the printable area.
TEST_F(Printing, TheTitleLineHoldsTheWholeNameInsideThePage) {
  struct Case {
    const char* name;
    QString project;
    bool fullSize;
  };
  const Case cases[] = {
      {"short", QStringLiteral("国道１号試験区間"), true},
      {"38 full-width", QString(38, QChar(0x56fd)), false},  // 国
      {"76 half-width", QString(76, QLatin1Char('W')), false},
  };
  const QRectF printable = printableArea(QPageLayout::Point);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(DataFile::isValidProjectTitle(c.project));
    if (!c.fullSize) {
      ASSERT_FALSE(DataFile::isValidProjectTitle(c.project + "W"));  // the longest accepted
    }
    copyResultFixtures();
    setProjectName(c.project);
    load();
    const QString saved = folder.filePath("saved.pdf");
    QFile::remove(saved);
    save(saved);
    for (const QString& pdf : {print("printed.pdf"), saved}) {
      SCOPED_TRACE(pdf.toStdString());
      std::vector<Word> page = words(pdf);
      ASSERT_FALSE(page.empty());
      // The title line: the top line's words, left to right.
      std::sort(page.begin(), page.end(), [](auto& a, auto& b) {
        return std::abs(a.y1 - b.y1) > 0.5 ? a.y1 < b.y1 : a.x1 < b.x1;
      });
      QString title;
      double right = 0;
      for (const Word& w : page) {
        if (std::abs(w.y1 - page[0].y1) > 0.5) break;
        title += w.text;
        right = std::max(right, w.x2);
      }
      EXPECT_EQ(title, QStringLiteral("プロジェクト名：") + c.project);
      EXPECT_LE(right, printable.right() + 0.5);
      const auto graph = std::find_if(page.begin(), page.end(), [](const Word& w) {
        return w.text == QStringLiteral("・グラフ");
      });
      ASSERT_NE(graph, page.end());
      const double ratio = (page[0].y2 - page[0].y1) / (graph->y2 - graph->y1);
      if (c.fullSize) {
        EXPECT_NEAR(ratio, 16.0 / 14.0, 0.01);
      } else {
        EXPECT_LT(ratio, 15.0 / 14.0);
        EXPECT_GT(right, printable.right() - 0.01 * printable.width());
      }
    }
    EXPECT_TRUE(platform.boxes.empty()) << platform.boxTexts().join('|').toStdString();
  }
}

// A printer that does not accept jobs, and a job that the print system refuses, give the message:
// nothing is printed, no file is asked for and none is written. An accepted job gives no message
// and is named after the project.
TEST_F(Printing, ARefusedJobGivesTheMessageAndAnAcceptedOneNone) {
  load();
  const QStringList before = listing(folder.path());
  for (void (FakePlatform::*refusal)() :
       {&FakePlatform::setPrinterRejectingJobs, &FakePlatform::setPrinterRefusingTheJob}) {
    platform.boxes.clear();
    (platform.*refusal)();
    platform.answerMessage(MsgAnswer::kOk);
    form->Command5_Click();
    expectThePrinterMessage();
    EXPECT_EQ(listing(folder.path()), before);
  }
  EXPECT_TRUE(platform.printJobs.isEmpty());
  platform.boxes.clear();
  print("accepted.pdf");
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(platform.printJobs, QStringList{QStringLiteral("国道１号試験区間")});
}

// The PDF is titled with the project's name and made by the program, on the printer's page and in
// the saved file.
TEST_F(Printing, ThePdfIsTitledWithTheProjectsName) {
  load();
  const QString printed = print("printed.pdf");
  save(folder.filePath("saved.pdf"));
  auto field = [](const QString& name, const QString& value) {
    return QRegularExpression("^" + name + ": +" + QRegularExpression::escape(value) + "$",
                              QRegularExpression::MultilineOption);
  };
  for (const QString& pdf : {printed, folder.filePath("saved.pdf")}) {
    const QString info = QString::fromUtf8(run("pdfinfo", {pdf}));
    EXPECT_TRUE(info.contains(field("Title", QStringLiteral("国道１号試験区間"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(field("Creator", "ORVA for Windows v2.2"))) << info.toStdString();
  }
}

// Regression: ".pdf" was added only to a name without a dot, so station names ("R1.5km", "No.3")
// were written without an extension and "kekka.txt" as a PDF file named .txt. Every name that does
// not end in ".pdf", in any case, gets it, and the replace question names the file that is
// written (No keeps it).
TEST_F(Printing, EveryNameNotEndingInPdfGetsPdf) {
  load();
  writeFile("earlier.pdf", "earlier page");
  writeFile("R1.5km", "a file of the typed name");
  struct Case {
    const char* typed;
    const char* written;
    bool exists;
  };
  // clang-format off
  const Case cases[] = {
      {"page",        "page.pdf",        false},
      {"R1.5km",      "R1.5km.pdf",      false},
      {"No.3",        "No.3.pdf",        false},
      {"kekka.txt",   "kekka.txt.pdf",   false},
      {"x.PDF",       "x.PDF",           false},
      {"y.Pdf",       "y.Pdf",           false},
      {"z.pdf.txt",   "z.pdf.txt.pdf",   false},
      {"earlier",     "earlier.pdf",     true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    platform.boxes.clear();
    if (c.exists) platform.answerMessage(MsgAnswer::kNo);
    save(folder.filePath(c.typed));
    if (c.exists) {
      ASSERT_EQ(platform.boxes.size(), 1u);
      EXPECT_EQ(platform.boxes[0].text,
                QStringLiteral("同じ名前のPDFファイルが既にあります。上書きしますか？\n") +
                    folder.filePath(c.written));
      EXPECT_EQ(readFile(c.written), "earlier page");
    } else {
      EXPECT_TRUE(platform.boxes.empty()) << platform.boxTexts().join('|').toStdString();
      EXPECT_TRUE(readFile(c.written).startsWith("%PDF-"));
    }
  }
  EXPECT_EQ(readFile("R1.5km"), "a file of the typed name");
  for (const char* typed : {"page", "No.3", "kekka.txt"})
    EXPECT_FALSE(QFile::exists(folder.filePath(typed))) << typed;
}

// A disk that fills during the write names its reason in the message: a file size limit lets the
// first part in and refuses the rest with EFBIG, as a full disk does with ENOSPC. The earlier file
// stays and nothing else is left.
TEST_F(Printing, AFullDiskNamesItsReasonAndKeepsTheEarlierFile) {
  load();
  writeFile("page.pdf", "earlier page");
  const QStringList before = listing(folder.path());
  platform.answerMessage(MsgAnswer::kYes);
  platform.answerMessage(MsgAnswer::kOk);
  {
    FileSizeLimit limit(1000);
    ASSERT_TRUE(limit.ok());
    save(folder.filePath("page.pdf"));
  }
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[1].text,
            QStringLiteral("PDFファイルを保存できませんでした。\n") + folder.filePath("page.pdf") +
                QLatin1Char('\n') + QString::fromLocal8Bit(std::strerror(EFBIG)));
  EXPECT_EQ(listing(folder.path()), before);
  EXPECT_EQ(readFile("page.pdf"), "earlier page");
}

}  // namespace
