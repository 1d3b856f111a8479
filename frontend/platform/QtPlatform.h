// The platform seam on Qt: message boxes, file and folder dialogs, the desktop's document opening,
// the engine's process, the default printer and the beep.
#pragma once

#include <memory>

class QMessageBox;

#include "Platform.h"
#include "PrintSystem.h"
#include "ProcessRunner.h"

class QtPlatform : public Platform {
 public:
  // printTimeoutMs: the longest wait for each answer of the print system (printer and print).
  explicit QtPlatform(int printTimeoutMs = PrintSystem::kAnswerTimeoutMs);
  ~QtPlatform() override;

  int messageBox(QWidget* owner, const QString& text, int style, const QString& title) override;
  // The box that messageBox shows for a style code (MsgStyle): its buttons, icon, title and text.
  static std::unique_ptr<QMessageBox> makeMessageBox(QWidget* owner,
                                                     const QString& text,
                                                     int style,
                                                     const QString& title);
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
  void beep() override;
  QString programFolder() const override;
  void quit() override;

 private:
  ProcessRunner runner_;
  std::unique_ptr<QPrinter> printer_;
  int print_timeout_ms_;
};
