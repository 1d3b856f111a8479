#include "FakePlatform.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QPdfWriter>

#include "Fonts.h"

FakePlatform::FakePlatform(const QString& programFolder) : program_folder_(programFolder) {
  Fonts::installSubstitutions();
}

FakePlatform::~FakePlatform() {
  EXPECT_EQ(pendingAnswers(), 0) << "scripted answers were never asked for";
}

int FakePlatform::pendingAnswers() const {
  return static_cast<int>(message_answers_.size() + file_answers_.size() + folder_answers_.size() +
                          save_answers_.size());
}

QStringList FakePlatform::boxTexts() const {
  QStringList texts;
  for (const Box& b : boxes) texts << b.text;
  return texts;
}

int FakePlatform::messageBox(QWidget*, const QString& text, int style, const QString& title) {
  boxes.push_back({text, style, title});
  const bool yes_no = style == MsgStyle::kYesNoInfo;
  if (message_answers_.empty()) {
    ADD_FAILURE() << "unscripted message box: \"" << text.toStdString() << "\" (style " << style
                  << ", title \"" << title.toStdString() << "\")";
    return yes_no ? MsgAnswer::kNo : MsgAnswer::kOk;
  }
  const int answer = message_answers_.front();
  message_answers_.pop_front();
  const bool fits =
      yes_no ? (answer == MsgAnswer::kYes || answer == MsgAnswer::kNo) : answer == MsgAnswer::kOk;
  EXPECT_TRUE(fits) << "answer " << answer << " to the box \"" << text.toStdString()
                    << "\" of style " << style;
  return answer;
}

QString FakePlatform::askDialog(std::deque<QString>& answers, const Dialog& dialog) {
  dialogs.push_back(dialog);
  if (answers.empty()) {
    ADD_FAILURE() << "unscripted " << dialog.kind.toStdString() << " dialog \""
                  << dialog.title.toStdString() << "\"";
    return {};
  }
  QString path = answers.front();
  answers.pop_front();
  return path;
}

QString FakePlatform::openFileName(QWidget*,
                                   const QString& title,
                                   const QString& initialFolder,
                                   const QString& filter) {
  return askDialog(file_answers_, {QStringLiteral("openFile"), title, initialFolder, filter});
}

QString FakePlatform::folderName(QWidget*, const QString& title, const QString& initialFolder) {
  return askDialog(folder_answers_, {QStringLiteral("folder"), title, initialFolder, QString()});
}

QString FakePlatform::saveFileName(QWidget*,
                                   const QString& title,
                                   const QString& initialPath,
                                   const QString& filter) {
  return askDialog(save_answers_, {QStringLiteral("saveFile"), title, initialPath, filter});
}

int FakePlatform::openDocument(const QString& path) {
  openedDocuments << path;
  return open_document_result_;
}

bool FakePlatform::runProcess(const QString& program,
                              const QStringList& arguments,
                              const QString& workingFolder,
                              ProcessEnd* end,
                              QString* error) {
  runs.push_back({program, arguments, workingFolder});
  return runner_.run(program, arguments, workingFolder, end, error);
}

void FakePlatform::killProcess() {
  ++kills;
  runner_.stop();
}

QPrinter* FakePlatform::printer() {
  if (pdf_path_.isEmpty() && refusal_ == Refusal::kNone) return nullptr;
  printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setOutputFileName(pdf_path_);
  return printer_.get();
}

PrintResult FakePlatform::print(const QString& title,
                                const QString& creator,
                                const std::function<bool(QPagedPaintDevice*)>& draw) {
  switch (refusal_) {
    case Refusal::kRejectsJobs:
      return PrintResult::kRefused;
    case Refusal::kRefusesTheJob: {
      QBuffer page;
      page.open(QIODevice::WriteOnly);
      QPdfWriter writer(&page);
      draw(&writer);
      return PrintResult::kRefused;
    }
    case Refusal::kNone:
      break;
  }
  QPrinter* printer = this->printer();
  if (!printer) return PrintResult::kNoPrinter;
  printer->setDocName(title);
  printer->setCreator(creator);
  if (!draw(printer)) return PrintResult::kRefused;
  printJobs << title;
  return PrintResult::kPrinted;
}
