// Cell editing in the editor's grids, driven by real key events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include "AppWindows.h"
#include "FakePlatform.h"
#include "FlexGrid.h"
#include "Form2.h"
#include "Module1.h"
#include "TextBox.h"
#include "UpDown.h"

namespace {

class CellEditing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    platform.setProgramFolder(folder.path());
    form = windows.loadForm2();
    form->show();
    QApplication::setActiveWindow(form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->Option2_Click();
  }

  QTemporaryDir folder;
  FakePlatform platform;
  AppWindows windows{platform};
  Form2* form = nullptr;
};

TEST_F(CellEditing, Smoke) {
  FlexGrid* g = form->FG1;
  g->setFocus();
  g->setRow(1);
  g->setCol(2);
  g->setText("123");
  QTest::keyClick(g, Qt::Key_7);
  EXPECT_TRUE(form->T1->isVisible());
  EXPECT_EQ(g->textMatrix(1, 2), "7");
  QTest::keyClicks(form->T1, "a-.5");
  EXPECT_EQ(g->textMatrix(1, 2), "7.5");
  EXPECT_EQ(platform.beeps, 2);
  QTest::keyClick(form->T1, Qt::Key_Return);
  EXPECT_FALSE(form->T1->isVisible());
  EXPECT_EQ(g->col(), 3);
  EXPECT_EQ(g->textMatrix(1, 2), "7.5");
}

}  // namespace
