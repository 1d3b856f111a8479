// The seam between the front end and the platform: every message box, dialog, document opening,
// process run, printer and beep goes through one Platform object. QtPlatform is the real one; the
// tests use a scripted fake that answers prompts from a queue and records what was shown.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QPagedPaintDevice;
class QPrinter;
class QWidget;

// Message box style codes (buttons + icon) and answers, as the windows use them.
namespace MsgStyle {
constexpr int kOk = 0;            // OK
constexpr int kCritical = 16;     // OK with the critical (stop) icon
constexpr int kExclamation = 48;  // OK with the warning icon
constexpr int kYesNoInfo = 68;    // Yes and No with the information icon
}  // namespace MsgStyle
namespace MsgAnswer {
constexpr int kOk = 1;
constexpr int kYes = 6;
constexpr int kNo = 7;
}  // namespace MsgAnswer

// How a process run by Platform::runProcess ended.
struct ProcessEnd {
  int exitCode = 0;      // the exit status; the signal's number when the process crashed
  bool crashed = false;  // ended by a signal
};

// What became of a page sent to the default printer.
enum class PrintResult {
  kNoPrinter,  // there is no default printer (no print system, or none in it): nothing was drawn
  kNoAnswer,   // a print system is set up but does not answer within its bounded wait: nothing
               // was drawn
  kPrinted,    // the print system took the job
  kRefused,    // the page could not be drawn, the printer does not accept jobs, or the print
               // system refused the job: nothing is printed
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Shows a modal message box; returns MsgAnswer::kOk, kYes or kNo.
  virtual int messageBox(QWidget* owner, const QString& text, int style, const QString& title) = 0;

  // Open-file dialog. filter in Qt's form ("Data (*.dat);;All (*.*)"). Empty result: cancelled.
  virtual QString openFileName(QWidget* owner,
                               const QString& title,
                               const QString& initialFolder,
                               const QString& filter) = 0;

  // Folder dialog. Empty result: cancelled.
  virtual QString folderName(QWidget* owner,
                             const QString& title,
                             const QString& initialFolder) = 0;

  // Save-file dialog, offering initialPath (a file name in its folder). It does not ask whether an
  // existing file may be replaced: the caller asks that with a message box, as for its other
  // files. Empty result: cancelled.
  virtual QString saveFileName(QWidget* owner,
                               const QString& title,
                               const QString& initialPath,
                               const QString& filter) = 0;

  // Asks the desktop to open a document. Returns a shell-style code: > 32 on success; 2 when the
  // file is missing, 31 when nothing is associated with it, other codes <= 32 for other failures.
  virtual int openDocument(const QString& path) = 0;

  // Runs program (a full path) with workingFolder as current directory and standard input on the
  // null device, and waits for its end with the event loop running (no time limit). Returns false
  // when the program cannot be started (error says why); otherwise true, with how it ended in
  // `end`.
  virtual bool runProcess(const QString& program,
                          const QStringList& arguments,
                          const QString& workingFolder,
                          ProcessEnd* end,
                          QString* error) = 0;

  // Ends a process started by runProcess that is still running (used when the program exits): it
  // is asked to stop (SIGTERM), and killed only when it has not ended after a grace period.
  virtual void killProcess() = 0;

  // The default printer for one page, or nullptr when there is none (no print system, no printer
  // in it, or a print system that does not answer). The platform keeps ownership.
  virtual QPrinter* printer() = 0;

  // Prints one page on the default printer as one job titled title: draw paints the page on the
  // device it is given (false when it cannot), a document titled title with creator as the program
  // that made it, on the printer's paper margins. The print system is asked with a bounded wait,
  // so a stopped or hung one answers kNoAnswer within seconds. The result is the print system's
  // own answer to the job.
  virtual PrintResult print(const QString& title,
                            const QString& creator,
                            const std::function<bool(QPagedPaintDevice*)>& draw) = 0;

  virtual void beep() = 0;

  // The folder of the program file: the working folder with the engine, the manual and Data/.
  virtual QString programFolder() const = 0;

  // Ends the program at once (after an Exit confirmation or a fatal DelFlag call).
  virtual void quit() = 0;
};
