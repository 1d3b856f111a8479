// Procedures shared by the windows: the window title, deleting the work files, probing a file,
// opening a document, the exit confirmation.
#pragma once

#include <QString>

class Platform;
class QWidget;

namespace Module1 {

// The window title, set by the start window before any caption is written.
inline QString AppTitle;

// The five work files, addressed by position in DelFlag's flag string.
inline const char* const kWorkFiles[5] = {
    "inp.dat", "out1.dat", "SESF.LAB", "DEF.OUT", "MODULI.OUT"};

// The manual in the program folder.
inline const QString kManualName = QStringLiteral("orva_win_man.pdf");

// Deletes from folder each work file whose position in flags holds "1" (inp.dat, out1.dat,
// SESF.LAB, DEF.OUT, MODULI.OUT); other characters leave the file alone, a missing file is passed
// over. A flag string that is not 5 characters long deletes nothing: an error box, then the program
// ends (Platform::quit).
void DelFlag(Platform& platform, const QString& folder, const QString& flags);

// -1 when the file cannot be measured (missing, a folder, a bad path), 0 when it is empty, 1 when
// it holds at least one byte.
int FileState(const QString& path);

// Asks the desktop to open the document; a failure is reported in a message box with the failure
// in words ("File not found", "No association for file extension", ...). Always returns.
void OpenDocument(Platform& platform, const QString& path);

// The failure text of a document-opening code <= 32.
QString OpenDocumentErrorText(int code);

// The exit confirmation of every window: "本当に終了しますか？" (Yes/No); on Yes EndProgram. On No
// nothing happens.
void ConfirmExit(Platform& platform, QWidget* owner);

// The end of an Exit answered Yes, and of SIGTERM and SIGHUP: a running engine is asked to stop
// (killed only after a grace period), the work files are deleted and the program ends.
void EndProgram(Platform& platform);

// Joins the program folder and a file name.
QString ProgramFile(Platform& platform, const QString& name);

// True when a file can be created in folder (the work files and the engine's output go there).
bool FolderIsWritable(const QString& folder);

}  // namespace Module1
