// The editor window on a scripted platform, with its own program folder and data folder, and a
// valid data set to type into it. Shared by the tests of opening, checking and saving, and running.
#pragma once

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include "AppWindows.h"
#include "ExecFolder.h"
#include "FakePlatform.h"
#include "FlexGrid.h"
#include "Form2.h"
#include "Module1.h"
#include "TextBox.h"
#include "UpDown.h"

namespace harness {

inline QByteArray readBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QByteArray();
  return f.readAll();
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

inline QString fixturePath(const char* name) {
  return QStringLiteral(ORVA_TEST_DATA_DIR "/frontend/") + QLatin1String(name);
}

// Sets the rows of a grid from a table of texts (row 1 first); nullptr leaves a cell alone.
inline void setCells(FlexGrid* grid, int firstCol, const std::vector<QStringList>& rows) {
  for (size_t i = 0; i < rows.size(); ++i)
    for (qsizetype c = 0; c < rows[i].size(); ++c)
      grid->setTextMatrix(static_cast<int>(i) + 1, firstCol + static_cast<int>(c), rows[i][c]);
}

struct Editor {
  Editor() {
    platform.setProgramFolder(program.path());
    Module1::AppTitle = QStringLiteral("ORVA for Windows v2.2");
    form = windows.loadForm2();
    form->show();
  }

  QString programFile(const QString& name) const { return program.filePath(name); }
  QString dataFile(const QString& name) const { return data.filePath(name); }
  // The names of the files in the program folder, sorted.
  QStringList programFiles() const { return QDir(program.path()).entryList(QDir::Files); }

  // New-data mode with a valid data set: 2 layers, 3 sensors, 2 data sets, project "Route7".
  void typeValidDataSet() {
    form->Option2->click();
    form->UpDown1->setValue(2);
    form->UpDown2->setValue(3);
    form->UpDown3->setValue(2);
    form->Text4->setText(QStringLiteral("Route7"));
    setCells(form->FG1, 1, {{"0", "3000", "0.35", "10", "0"}, {"1", "100", "0.4"}});
    setCells(form->FG2, 1, {{"0", "30", "60"}});
    setCells(form->FG3, 1, {{"49", "400", "200", "100"}, {"50", "410", "205", "101"}});
    setCells(form->FG4, 0, {{"49", "15"}});
  }

  // Saves into the data folder through the folder dialog; true when the run button is enabled.
  bool saveIntoDataFolder() {
    platform.answerFolder(data.path());
    form->Command2_Click();
    return form->Command5->isEnabled();
  }

  ExecFolder program;  // the engine or its stand-in runs from here
  QTemporaryDir data;
  FakePlatform platform;
  AppWindows windows{platform};
  Form2* form = nullptr;
};

// A stand-in engine in the editor's program folder: a shell script of the commands.
inline void installEngine(const Editor& e, const QByteArray& commands) {
  const QString path = e.programFile("ORVA-V4");
  writeBytes(path, "#!/bin/sh\n" + commands + "\n");
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace harness
