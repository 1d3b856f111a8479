#include "QtPlatform.h"

#include <QApplication>
#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QUrl>
#include <cstdlib>

#include "Fonts.h"
#include "PrintSystem.h"

QtPlatform::QtPlatform(int printTimeoutMs) : print_timeout_ms_(printTimeoutMs) {
  Fonts::installSubstitutions();
}

QtPlatform::~QtPlatform() = default;

std::unique_ptr<QMessageBox> QtPlatform::makeMessageBox(QWidget* owner,
                                                        const QString& text,
                                                        int style,
                                                        const QString& title) {
  auto box = std::make_unique<QMessageBox>(owner);
  box->setWindowTitle(title);
  box->setText(text);
  switch (style) {
    case MsgStyle::kCritical:
      box->setIcon(QMessageBox::Critical);
      break;
    case MsgStyle::kExclamation:
      box->setIcon(QMessageBox::Warning);
      break;
    case MsgStyle::kYesNoInfo:
      box->setIcon(QMessageBox::Information);
      break;
    default:
      box->setIcon(QMessageBox::NoIcon);
      break;
  }
  if (style == MsgStyle::kYesNoInfo) {
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::Yes);
  } else {
    box->setStandardButtons(QMessageBox::Ok);
  }
  return box;
}

int QtPlatform::messageBox(QWidget* owner, const QString& text, int style, const QString& title) {
  const std::unique_ptr<QMessageBox> box = makeMessageBox(owner, text, style, title);
  const int clicked = box->exec();
  if (style != MsgStyle::kYesNoInfo) return MsgAnswer::kOk;
  return clicked == QMessageBox::Yes ? MsgAnswer::kYes : MsgAnswer::kNo;
}

QString QtPlatform::openFileName(QWidget* owner,
                                 const QString& title,
                                 const QString& initialFolder,
                                 const QString& filter) {
  return QFileDialog::getOpenFileName(owner, title, initialFolder, filter);
}

QString QtPlatform::folderName(QWidget* owner, const QString& title, const QString& initialFolder) {
  return QFileDialog::getExistingDirectory(owner, title, initialFolder);
}

QString QtPlatform::saveFileName(QWidget* owner,
                                 const QString& title,
                                 const QString& initialPath,
                                 const QString& filter) {
  // The caller asks before replacing a file; the dialog's own question would come twice.
  return QFileDialog::getSaveFileName(
      owner, title, initialPath, filter, nullptr, QFileDialog::DontConfirmOverwrite);
}

int QtPlatform::openDocument(const QString& path) {
  const QFileInfo file(path);
  if (!file.dir().exists()) return 3;  // path not found
  if (!file.exists()) return 2;        // file not found
  if (!file.isReadable()) return 5;    // access denied
  // A viewer that cannot be found for the document: no association for its extension.
  return QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath())) ? 42 : 31;
}

bool QtPlatform::runProcess(const QString& program,
                            const QStringList& arguments,
                            const QString& workingFolder,
                            ProcessEnd* end,
                            QString* error) {
  return runner_.run(program, arguments, workingFolder, end, error);
}

void QtPlatform::killProcess() { runner_.stop(); }

QPrinter* QtPlatform::printer() {
  // Qt asks the print system without a bound on its wait: only a print system that has just
  // answered the bounded question is asked.
  const PrintSystem::DefaultPrinter found = PrintSystem::findDefaultPrinter(print_timeout_ms_);
  if (found.state != PrintSystem::DefaultPrinter::State::kFound) return nullptr;
  const QString name =
      found.instance.isEmpty() ? found.queue : found.queue + QLatin1Char('/') + found.instance;
  printer_ = std::make_unique<QPrinter>(QPrinterInfo::printerInfo(name), QPrinter::HighResolution);
  if (!printer_->isValid()) {
    printer_.reset();
    return nullptr;
  }
  return printer_.get();
}

PrintResult QtPlatform::print(const QString& title,
                              const QString& creator,
                              const std::function<bool(QPagedPaintDevice*)>& draw) {
  // The print system is asked on connections of its own with bounded waits, never through Qt's
  // printer support, whose questions to a hung scheduler hold the window for a minute.
  const PrintSystem::DefaultPrinter printer = PrintSystem::findDefaultPrinter(print_timeout_ms_);
  switch (printer.state) {
    case PrintSystem::DefaultPrinter::State::kNone:
      return PrintResult::kNoPrinter;
    case PrintSystem::DefaultPrinter::State::kNoAnswer:
      return PrintResult::kNoAnswer;
    case PrintSystem::DefaultPrinter::State::kFound:
      break;
  }
  if (!printer.accepting) {
    qWarning("printing on %s refused: the printer does not accept jobs", qPrintable(printer.queue));
    return PrintResult::kRefused;
  }

  // The page is drawn as a PDF document on A4 with the printer's margins and handed to the print
  // system here, which says whether it took the job. Without the printer's margins the page is
  // laid out as the saved PDF file is.
  QBuffer pdf;
  pdf.open(QIODevice::WriteOnly);
  bool drawn = false;
  QPageSize paper;
  {
    QPdfWriter writer(&pdf);
    if (printer.marginsKnown) {
      writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                       QPageLayout::Portrait,
                                       printer.margins,
                                       QPageLayout::Millimeter));
    }
    writer.setTitle(title);
    writer.setCreator(creator);
    drawn = draw(&writer);
    paper = writer.pageLayout().pageSize();
  }
  if (!drawn) return PrintResult::kRefused;
  QString error;
  if (!PrintSystem::submitPdf(printer, title, paper, pdf.data(), &error, print_timeout_ms_)) {
    qWarning("printing on %s refused: %s", qPrintable(printer.queue), qPrintable(error));
    return PrintResult::kRefused;
  }
  return PrintResult::kPrinted;
}

void QtPlatform::beep() { QApplication::beep(); }

QString QtPlatform::programFolder() const { return QCoreApplication::applicationDirPath(); }

void QtPlatform::quit() {
  // The program ends at once: no window or handler runs after this.
  runner_.stop();
  std::exit(0);
}
