// Cell editing in the editor's grids, driven by real key and mouse events: the floating editor
// box, the numeric filter with its beeps, the live copy into the cell, and the keys that end an
// edit and move the current cell.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <functional>

#include "AppWindows.h"
#include "FakePlatform.h"
#include "FlexGrid.h"
#include "Form2.h"
#include "Module1.h"
#include "TextBox.h"
#include "Twips.h"
#include "UpDown.h"

namespace {

// Types text as a user does: each key goes to the widget that has the focus at that moment (the
// grid for the first key, then the editor box it opened).
void typeKeys(const QString& text) {
  for (QChar ch : text) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, ch.toLatin1());
  }
}

// A key that types text with no key of its own (a full-width character, as an input method
// commits it).
void sendText(QWidget* target, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
  QApplication::sendEvent(target, &release);
}

// The editor window in new-data mode, shown and active so that focus changes raise their events.
class CellEditing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    platform.setProgramFolder(folder.path());
    form = windows.loadForm2();
    form->show();
    QApplication::setActiveWindow(form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->Option2->click();
  }

  // Makes (row, col) the current cell of grid with the given text and gives the grid the focus.
  void at(FlexGrid* grid, int row, int col, const QString& text) {
    grid->setFocus();
    grid->setRow(row);
    grid->setCol(col);
    grid->setText(text);
  }

  void threeLayers() {
    form->UpDown1->setValue(3);
    at(form->FG1, 1, 1, "");
  }

  QTemporaryDir folder;
  FakePlatform platform;
  AppWindows windows{platform};
  Form2* form = nullptr;
};

TEST_F(CellEditing, KeysOnANumericCell) {
  struct Case {
    const char* name;
    std::function<void(FlexGrid*, TextBox*)> keys;
    QString cell;  // FG1 (1, 2) afterwards; it held "123"
    bool editing;  // the box still open
    QString box;   // the box's text when open
    int caret;     // the box's caret when open
    int beeps;
  };
  // clang-format off
  const Case cases[] = {
      {"7 typed over 123",   [](FlexGrid* g, TextBox*) { QTest::keyClick(g, Qt::Key_7); },
       "7",     true,  "7",     1, 0},
      {"F2 on 123",          [](FlexGrid* g, TextBox*) { QTest::keyClick(g, Qt::Key_F2); },
       "123",   true,  "123",   3, 0},
      {"Backspace in the grid edits the text",
                             [](FlexGrid* g, TextBox* t) { QTest::keyClick(g, Qt::Key_Backspace);
                                                            QTest::keyClick(t, Qt::Key_Backspace); },
       "12",    true,  "12",    2, 0},
      {"a letter",           [](FlexGrid* g, TextBox*) { QTest::keyClick(g, Qt::Key_A); },
       "",      true,  "",      0, 1},
      {"1, minus, 2",        [](FlexGrid* g, TextBox* t) { QTest::keyClick(g, Qt::Key_1);
                                                            QTest::keyClicks(t, "-2"); },
       "12",    true,  "12",    2, 1},
      {"-1.5",               [](FlexGrid* g, TextBox* t) { QTest::keyClick(g, Qt::Key_Minus);
                                                            QTest::keyClicks(t, "1.5"); },
       "-1.5",  true,  "-1.5",  4, 0},
      {"1.2.3",              [](FlexGrid* g, TextBox* t) { QTest::keyClick(g, Qt::Key_1);
                                                            QTest::keyClicks(t, ".2.3"); },
       "1.2.3", true,  "1.2.3", 5, 0},
      {"+5",                 [](FlexGrid* g, TextBox* t) { QTest::keyClick(g, Qt::Key_Plus);
                                                            QTest::keyClicks(t, "5"); },
       "5",     true,  "5",     1, 1},
      {"1e5",                [](FlexGrid* g, TextBox* t) { QTest::keyClick(g, Qt::Key_1);
                                                            QTest::keyClicks(t, "e5"); },
       "15",    true,  "15",    2, 1},
      {"a leading blank",    [](FlexGrid* g, TextBox* t) { QTest::keyClick(g, Qt::Key_F2);
                                                            QTest::keyClick(t, Qt::Key_Home);
                                                            QTest::keyClick(t, Qt::Key_Space); },
       "123",   true,  "123",   3, 1},
      {"a paste with three rejected characters",
                             [](FlexGrid* g, TextBox* t) { QApplication::clipboard()->setText("4a5/6 ");
                                                            QTest::keyClick(g, Qt::Key_F2);
                                                            QTest::keyClick(t, Qt::Key_A, Qt::ControlModifier);
                                                            QTest::keyClick(t, Qt::Key_V, Qt::ControlModifier); },
       "456",   true,  "456",   3, 3},
      {"a full-width digit", [](FlexGrid* g, TextBox*) { sendText(g, "５"); },
       "",      true,  "",      0, 1},
      {"kana and a character beyond the BMP, one beep each",
                             [](FlexGrid* g, TextBox* t) { QTest::keyClick(g, Qt::Key_1);
                                                            sendText(t, "あ");
                                                            sendText(t, QString::fromUtf8("\U00020BB7"));
                                                            QTest::keyClick(t, Qt::Key_2); },
       "12",    true,  "12",    2, 2},
      {"Delete",             [](FlexGrid* g, TextBox*) { QTest::keyClick(g, Qt::Key_Delete); },
       "",      false, "",      0, 0},
      {"Esc after typing",   [](FlexGrid* g, TextBox* t) { QTest::keyClick(g, Qt::Key_4);
                                                            QTest::keyClicks(t, "2");
                                                            QTest::keyClick(t, Qt::Key_Escape); },
       "42",    false, "",      0, 0},
      {"Enter in the box types nothing",
                             [](FlexGrid* g, TextBox* t) { QTest::keyClick(g, Qt::Key_9);
                                                            QTest::keyClick(t, Qt::Key_Return); },
       "9",     false, "",      0, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform.beeps = 0;
    at(form->FG1, 1, 2, "123");
    ASSERT_FALSE(form->T1->isVisible());
    c.keys(form->FG1, form->T1);
    EXPECT_EQ(form->FG1->textMatrix(1, 2), c.cell);
    EXPECT_EQ(form->T1->isVisible(), c.editing);
    if (c.editing) {
      EXPECT_EQ(form->T1->text(), c.box);
      EXPECT_EQ(form->T1->cursorPosition(), c.caret);
      EXPECT_TRUE(form->T1->hasFocus());
    } else {
      EXPECT_TRUE(form->FG1->hasFocus());
    }
    EXPECT_EQ(platform.beeps, c.beeps);
    if (form->T1->isVisible()) QTest::keyClick(form->T1, Qt::Key_Escape);
  }
}

TEST_F(CellEditing, TheBoxLiesExactlyOverTheCurrentCell) {
  form->UpDown1->setValue(3);
  at(form->FG1, 2, 3, "0.35");
  QTest::keyClick(form->FG1, Qt::Key_F2);
  const QRect cell = form->FG1->cellRect(2, 3);
  EXPECT_EQ(form->T1->geometry(), cell.translated(form->FG1->pos()));
  EXPECT_EQ(form->FG1->cellLeft(), pixelsToTwips(cell.left()));
  EXPECT_EQ(form->FG1->cellWidth(), form->FG1->colWidth(3));
  EXPECT_EQ(form->T1->parentWidget(), form->FG1->parentWidget());
}

TEST_F(CellEditing, EnterAndTabMoveAcrossTheRowsOfThreeLayers) {
  threeLayers();
  // Typing a whole row: each value stays in its own cell, Enter moving one to the right, and from
  // the last column to column 1 of the next row.
  const char* row1[] = {"1", "3000", "0.35", "20", "0.5"};
  for (const char* value : row1) {
    typeKeys(value);
    QTest::keyClick(form->T1, Qt::Key_Return);
  }
  for (int c = 1; c <= 5; ++c) EXPECT_EQ(form->FG1->textMatrix(1, c), row1[c - 1]);
  EXPECT_EQ(form->FG1->row(), 2);
  EXPECT_EQ(form->FG1->col(), 1);
  typeKeys("0");
  QTest::keyClick(form->T1, Qt::Key_Tab);  // Tab acts as Enter
  EXPECT_EQ(form->FG1->textMatrix(2, 1), "0");
  EXPECT_EQ(form->FG1->col(), 2);

  struct Case {
    int row, col;
    int key;
    int row_after, col_after;
  };
  // clang-format off
  const Case moves[] = {
      {1, 5, Qt::Key_Return, 2, 1},
      {3, 5, Qt::Key_Return, 3, 5},  // the last cell of the last row stays
      {3, 4, Qt::Key_Tab,    3, 5},
      {1, 3, Qt::Key_Up,     1, 3},  // Up never enters the header row
      {2, 3, Qt::Key_Up,     1, 3},
      {3, 2, Qt::Key_Down,   3, 2},  // Down stops at the last row
      {1, 2, Qt::Key_Down,   2, 2},
  };
  // clang-format on
  for (const Case& m : moves) {
    SCOPED_TRACE(testing::Message() << m.row << "," << m.col << " key " << m.key);
    for (int r = 1; r <= 3; ++r) {
      for (int c = 1; c <= 5; ++c) form->FG1->setTextMatrix(r, c, "");
    }
    at(form->FG1, m.row, m.col, "");
    QTest::keyClick(form->FG1, Qt::Key_8);
    QTest::keyClick(form->T1, static_cast<Qt::Key>(m.key));
    EXPECT_FALSE(form->T1->isVisible());
    EXPECT_EQ(form->FG1->textMatrix(m.row, m.col), "8");  // committed to the edited cell
    if (m.row_after != m.row || m.col_after != m.col) {
      EXPECT_EQ(form->FG1->textMatrix(m.row_after, m.col_after), "");
    }
    EXPECT_EQ(form->FG1->row(), m.row_after);
    EXPECT_EQ(form->FG1->col(), m.col_after);
  }
}

TEST_F(CellEditing, ClickingAnotherCellCommitsToTheCellBeingLeft) {
  threeLayers();
  at(form->FG1, 1, 2, "");
  typeKeys("55");
  ASSERT_TRUE(form->T1->isVisible());
  QTest::mouseClick(form->FG1, Qt::LeftButton, {}, form->FG1->cellRect(2, 4).center());
  EXPECT_FALSE(form->T1->isVisible());
  EXPECT_EQ(form->FG1->textMatrix(1, 2), "55");
  EXPECT_EQ(form->FG1->textMatrix(2, 4), "");
  EXPECT_EQ(form->FG1->row(), 2);
  EXPECT_EQ(form->FG1->col(), 4);
  // An arrow key in the grid moves the current cell without editing.
  QTest::keyClick(form->FG1, Qt::Key_Left);
  EXPECT_EQ(form->FG1->col(), 3);
  EXPECT_FALSE(form->T1->isVisible());
}

TEST_F(CellEditing, ACountChangeDuringAnEditCommitsToTheEditedCell) {
  at(form->FG3, 1, 1, "");
  typeKeys("49");
  form->UpDown3->stepUp();
  EXPECT_FALSE(form->T3->isVisible());
  EXPECT_EQ(form->FG3->textMatrix(1, 1), "49");
  EXPECT_EQ(form->FG3->textMatrix(2, 0), " 2DATA");
}

TEST_F(CellEditing, ColumnZeroIsNotFiltered) {
  // FG4's column 0 is the standard-load cell; FG1..FG3's is the label column, which is where the
  // count handling leaves the current cell.
  at(form->FG4, 1, 0, "");
  typeKeys("4a9");
  EXPECT_EQ(form->FG4->textMatrix(1, 0), "4a9");
  QTest::keyClick(form->T4, Qt::Key_Return);
  EXPECT_EQ(form->FG4->col(), 1);
  typeKeys("1a5");
  EXPECT_EQ(form->FG4->textMatrix(1, 1), "15");
  EXPECT_EQ(platform.beeps, 1);
  QTest::keyClick(form->T4, Qt::Key_Escape);

  // The count handling leaves FG1's current cell on the label it wrote last; a key there edits
  // nothing.
  form->UpDown1->stepUp();
  EXPECT_EQ(form->FG1->row(), 2);
  EXPECT_EQ(form->FG1->col(), 0);
  form->FG1->setFocus();
  typeKeys("x2");
  EXPECT_EQ(form->FG1->textMatrix(2, 0), QStringLiteral(" 2層"));
  EXPECT_FALSE(form->T1->isVisible());
  EXPECT_EQ(platform.beeps, 1);
}

// Regression: a key on a fixed row or column opened the box there and overwrote the header or
// label ("載荷板半径(cm)" became 5; Delete erased " 3S").
TEST_F(CellEditing, KeysOnFixedCellsDoNothing) {
  form->UpDown1->setValue(2);
  form->UpDown2->setValue(3);
  form->UpDown3->setValue(2);
  struct Case {
    FlexGrid* grid;
    TextBox* box;
    int row, col;
  };
  const Case cells[] = {{form->FG1, form->T1, 0, 2},
                        {form->FG1, form->T1, 1, 0},
                        {form->FG2, form->T2, 0, 3},
                        {form->FG2, form->T2, 1, 0},
                        {form->FG3, form->T3, 0, 1},
                        {form->FG3, form->T3, 1, 0},
                        {form->FG4, form->T4, 0, 0},
                        {form->FG4, form->T4, 0, 1}};
  for (const Case& c : cells) {
    for (const Qt::Key key : {Qt::Key_5, Qt::Key_F2, Qt::Key_Delete, Qt::Key_Comma}) {
      SCOPED_TRACE(testing::Message() << c.row << "," << c.col << " key " << key);
      c.grid->setFocus();
      c.grid->setRow(c.row);
      c.grid->setCol(c.col);
      const QString before = c.grid->text();
      ASSERT_FALSE(before.isEmpty());
      QTest::keyClick(c.grid, key);
      EXPECT_EQ(c.grid->text(), before);
      EXPECT_FALSE(c.box->isVisible());
    }
  }
  EXPECT_EQ(platform.beeps, 0);
}

// Regression: after a mode choice each grid's current cell was its header, so Tab to the load grid
// and 5 turned "載荷板半径(cm)" into 5, and Delete on a sensor grid erased its header.
TEST_F(CellEditing, AfterAModeChoiceKeysEditADataCell) {
  for (QRadioButton* option : {form->Option1, form->Option2}) {
    SCOPED_TRACE(option->text().toStdString());
    option->click();
    for (FlexGrid* grid : {form->FG1, form->FG2, form->FG3, form->FG4}) {
      EXPECT_GE(grid->row(), grid->fixedRows());
      EXPECT_GE(grid->col(), grid->fixedCols());
    }
    // The user's way: to the grid of the standard load and the radius, and type.
    form->FG4->setFocus();
    typeKeys("5");
    QTest::keyClick(form->T4, Qt::Key_Return);
    EXPECT_EQ(form->FG4->textMatrix(0, 0), QStringLiteral("基準荷重(kN)"));
    EXPECT_EQ(form->FG4->textMatrix(0, 1), QStringLiteral("載荷板半径(cm)"));
    EXPECT_EQ(form->FG4->textMatrix(1, 0) + form->FG4->textMatrix(1, 1), "5");
    form->FG3->setFocus();
    QTest::keyClick(form->FG3, Qt::Key_Delete);
    EXPECT_EQ(form->FG3->textMatrix(0, 1), QStringLiteral("荷重"));
  }
}

// Regression: Open during an edit filled the cell from the file, but the box stayed open with
// the typed text, and the next click on the grid wrote it over the file's value, which the save
// then wrote.
TEST_F(CellEditing, OpenDuringAnEditKeepsTheFilesValue) {
  QTemporaryDir data;
  const QString path = data.filePath("007.dat");
  ASSERT_TRUE(QFile::copy(
      QStringLiteral(ORVA_TEST_DATA_DIR "/frontend/opened_1layer_kept_drop_fields.dat"), path));
  form->Option1->click();
  form->FG4->setFocus();
  form->FG4->setRow(1);
  form->FG4->setCol(0);
  typeKeys("77");
  ASSERT_TRUE(form->T4->isVisible());
  ASSERT_EQ(form->FG4->textMatrix(1, 0), "77");

  platform.answerOpenFile(path);
  QTest::mouseClick(form->Command1, Qt::LeftButton);
  EXPECT_EQ(form->FG4->textMatrix(1, 0), "49");
  EXPECT_FALSE(form->T4->isVisible());
  QTest::mouseClick(form->FG4, Qt::LeftButton, {}, form->FG4->cellRect(1, 1).center());
  QTest::mouseClick(form->FG4, Qt::LeftButton, {}, form->FG4->cellRect(1, 0).center());
  EXPECT_EQ(form->FG4->textMatrix(1, 0), "49");

  platform.answerMessage(MsgAnswer::kNo);  // keep the file's folder
  QTest::mouseClick(form->Command2, Qt::LeftButton);
  ASSERT_TRUE(form->Command5->isEnabled()) << platform.boxTexts().join('|').toStdString();
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_TRUE(saved.readAll().contains("PLATE\r\n49            15\r\n"));
}

TEST_F(CellEditing, EveryGridHasItsOwnEditor) {
  form->UpDown2->setValue(2);
  struct Case {
    FlexGrid* grid;
    TextBox* box;
    int row, col;
  };
  for (const Case& c : {Case{form->FG1, form->T1, 1, 1},
                        Case{form->FG2, form->T2, 1, 2},
                        Case{form->FG3, form->T3, 1, 3},
                        Case{form->FG4, form->T4, 1, 1}}) {
    at(c.grid, c.row, c.col, "");
    typeKeys("2x");
    EXPECT_TRUE(c.box->isVisible());
    EXPECT_EQ(c.grid->textMatrix(c.row, c.col), "2");
    QTest::keyClick(c.box, Qt::Key_Return);
    EXPECT_FALSE(c.box->isVisible());
    EXPECT_EQ(c.grid->textMatrix(c.row, c.col), "2");
  }
  EXPECT_EQ(platform.beeps, 4);
}

// Regression: an editor box left open by Clear or a mode choice went on writing into the
// erased grid.
TEST_F(CellEditing, ClearAndModeChoicesCloseAnOpenEditor) {
  at(form->FG2, 1, 1, "");
  typeKeys("30");
  ASSERT_TRUE(form->T2->isVisible());
  platform.answerMessage(MsgAnswer::kYes);
  form->Command4_Click();
  EXPECT_FALSE(form->T2->isVisible());
  EXPECT_EQ(form->FG2->textMatrix(1, 1), "");
  form->Option1->click();
  at(form->FG3, 1, 2, "");
  typeKeys("7");
  ASSERT_TRUE(form->T3->isVisible());
  form->Option2->click();
  EXPECT_FALSE(form->T3->isVisible());
  EXPECT_EQ(form->FG3->textMatrix(1, 2), "");
}

TEST_F(CellEditing, DisabledGridsTakeNoKeys) {
  platform.answerMessage(MsgAnswer::kYes);
  form->Command4_Click();  // Clear disables the grids
  form->FG1->setTextMatrix(1, 1, "1");
  QTest::keyClick(form->FG1, Qt::Key_7);
  QTest::keyClick(form->FG1, Qt::Key_Delete);
  EXPECT_FALSE(form->T1->isVisible());
  EXPECT_EQ(form->FG1->textMatrix(1, 1), "1");
}

}  // namespace
