// A scripted platform for window tests. Every message box and dialog takes its answer from a
// queue that the test fills beforehand and is recorded (title, text, style); a prompt with no
// scripted answer fails the test, and so do answers left unused when the fake is destroyed.
// runProcess really runs the program; openDocument records the request and returns a scripted
// code; printer() prints to a PDF file at a path the test sets (none set: no printer).
// print() prints on it, or is refused as the test scripts it.
#pragma once

#include <QPrinter>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>

#include "Platform.h"
#include "ProcessRunner.h"
#include "QtPrinters.h"

class FakePlatform : public Platform {
 public:
  struct Box {
    QString text;
    int style;
    QString title;
  };
  struct Dialog {
    QString kind;  // "openFile", "folder" or "saveFile"
    QString title;
    QString initialFolder;  // for "saveFile": the offered file's path
    QString filter;
  };
  struct Run {
    QString program;
    QStringList arguments;
    QString workingFolder;
  };

  explicit FakePlatform(const QString& programFolder = QString());
  ~FakePlatform() override;

  // Scripting.
  void answerMessage(int answer) { message_answers_.push_back(answer); }
  void answerOpenFile(const QString& path) { file_answers_.push_back(path); }
  void answerFolder(const QString& path) { folder_answers_.push_back(path); }
  void answerSaveFile(const QString& path) { save_answers_.push_back(path); }  // "": cancel
  void setProgramFolder(const QString& folder) { program_folder_ = folder; }
  void setOpenDocumentResult(int code) { open_document_result_ = code; }
  // The default printer: one that prints into a PDF file at path ("": no printer); one that does
  // not accept jobs (nothing is drawn); one whose job the print system refuses once drawn.
  void setPrinterPdf(const QString& path) {
    refusal_ = Refusal::kNone;
    pdf_path_ = path;
  }
  void setPrinterRejectingJobs() { refusal_ = Refusal::kRejectsJobs; }
  void setPrinterRefusingTheJob() { refusal_ = Refusal::kRefusesTheJob; }
  // Answers left in the queues (checked again when the fake is destroyed).
  int pendingAnswers() const;

  // What was shown and done.
  std::vector<Box> boxes;
  std::vector<Dialog> dialogs;
  std::vector<Run> runs;
  QStringList openedDocuments;
  QStringList printJobs;  // the titles of the jobs the printer took
  int beeps = 0;
  int quits = 0;
  int kills = 0;
  // The texts of the boxes shown so far, in order.
  QStringList boxTexts() const;

  int messageBox(QWidget* owner, const QString& text, int style, const QString& title) override;
  QString openFileName(QWidget* owner,
                       const QString& title,
                       const QString& initialFolder,
                       const QString& filter) override;
  QString folderName(QWidget* owner, const QString& title, const QString& initialFolder) override;
  QString saveFileName(QWidget* owner,
                       const QString& title,
                       const QString& initialPath,
                       const QString& filter) override;
  int openDocument(const QString& path) override;
  bool runProcess(const QString& program,
                  const QStringList& arguments,
                  const QString& workingFolder,
                  ProcessEnd* end,
                  QString* error) override;
  void killProcess() override;
  QPrinter* printer() override;
  PrintResult print(const QString& title,
                    const QString& creator,
                    const std::function<bool(QPagedPaintDevice*)>& draw) override;
  void beep() override { ++beeps; }
  QString programFolder() const override { return program_folder_; }
  void quit() override { ++quits; }

 private:
  // Records the dialog and takes its answer from the queue.
  QString askDialog(std::deque<QString>& answers, const Dialog& dialog);

  std::deque<int> message_answers_;
  std::deque<QString> file_answers_;
  std::deque<QString> folder_answers_;
  std::deque<QString> save_answers_;
  QString program_folder_;
  int open_document_result_ = 42;
  enum class Refusal { kNone, kRejectsJobs, kRefusesTheJob };
  Refusal refusal_ = Refusal::kNone;
  QString pdf_path_;
  std::unique_ptr<QPrinter> printer_;
  ProcessRunner runner_;
};
