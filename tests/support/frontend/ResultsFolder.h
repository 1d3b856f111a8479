// A temporary program folder holding the files of a finished run (the fixtures in
// tests/data/results/: 3 layers, 5 sensors, 4 iterations), the scripted platform pointed at it,
// and the windows: the common ground of the results window's tests.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "AppWindows.h"
#include "FakePlatform.h"
#include "Form3.h"
#include "Module1.h"

inline const QString kResultFixtures = QStringLiteral(ORVA_TEST_DATA_DIR "/results/");

class ResultsFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    platform.setProgramFolder(folder.path());
    Module1::AppTitle = "ORVA for Windows v2.2";
    copyResultFixtures();
  }

  // Puts the run's files into the folder, replacing what is there.
  void copyResultFixtures() {
    for (const char* name : {"inp.dat", "out1.dat", "MODULI.OUT", "DEF.OUT"}) {
      QFile::remove(folder.filePath(name));
      ASSERT_TRUE(QFile::copy(kResultFixtures + name, folder.filePath(name))) << name;
    }
  }
  void writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(folder.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  QByteArray readFile(const QString& name) const {
    QFile f(folder.filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  // A results window of its own, loaded from the folder.
  Form3* load() {
    form = std::make_unique<Form3>(windows);
    form->Form_Load();
    return form.get();
  }

  QTemporaryDir folder;
  FakePlatform platform;
  AppWindows windows{platform};
  std::unique_ptr<Form3> form;
};
