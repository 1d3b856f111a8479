// Cell editing in the editor's four grids. A grid only displays its cells; a floating text box
// laid over the current cell edits it, and every change of the box's text is copied into the cell
// at once, after a filter that keeps numeric cells numeric. The four grid/box families share one
// implementation.
#include <QCoreApplication>
#include <algorithm>

#include "AppWindows.h"
#include "FlexGrid.h"
#include "Form2.h"
#include "KeyCodes.h"
#include "Platform.h"
#include "TextBox.h"
#include "Twips.h"

namespace {

// The fixed rows and columns hold the labels and headers: keys never edit them.
bool isEditableCell(const FlexGrid* grid) {
  return grid->row() >= grid->fixedRows() && grid->col() >= grid->fixedCols();
}

}  // namespace

void Form2::EndCellEdits() {
  for (TextBox* box : {T1, T2, T3, T4}) box->hide();
}

void Form2::toFirstEditableCells() {
  for (FlexGrid* grid : {FG1, FG2, FG3, FG4}) {
    if (isEditableCell(grid) || grid->rows() <= grid->fixedRows() ||
        grid->cols() <= grid->fixedCols())
      continue;
    grid->setRow(std::max(grid->row(), grid->fixedRows()));
    grid->setCol(std::max(grid->col(), grid->fixedCols()));
  }
}

void Form2::beginCellEdit(FlexGrid* grid, TextBox* box, int code) {
  if (!isEditableCell(grid)) return;
  // The box's change handling runs on the text set here, so the cell takes the (filtered) text
  // before the box is shown. The box is emptied first so that it runs even when the new text
  // equals the one left from an earlier edit.
  {
    const QSignalBlocker block(box);
    box->clear();
  }
  if (code > 32 || code < 0) {
    // A printable character replaces the cell's text.
    const char32_t ch = static_cast<char32_t>(code);
    box->setText(QString::fromUcs4(&ch, 1));
    box->setCursorPosition(std::min<int>(1, box->text().size()));
  } else {
    // The blank and the control characters edit the cell's text, caret at its end.
    box->setText(grid->text());
    box->setCursorPosition(box->text().size());
  }
  box->setGeometry(grid->x() + twipsToPixels(grid->cellLeft()),
                   grid->y() + twipsToPixels(grid->cellTop()),
                   twipsToPixels(grid->cellWidth()),
                   twipsToPixels(grid->cellHeight()));
  box->show();
  box->raise();
  box->setFocus();
}

void Form2::gridKeyDown(FlexGrid* grid, TextBox* box, int keyCode) {
  if (keyCode == KeyCode::kF2 || keyCode > 127) {
    beginCellEdit(grid, box, 32);
  } else if (keyCode == KeyCode::kDelete && isEditableCell(grid)) {
    grid->setText(QString());
  }
}

void Form2::editorChange(FlexGrid* grid, TextBox* box) {
  // Column 0 is the label column of FG1..FG3 and the standard-load cell of FG4: not filtered.
  if (grid->col() != 0) FilterNumericText(box);
  grid->setText(box->text());
}

bool Form2::FilterNumericText(TextBox* box) {
  const QString text = box->text();
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar ch = text[i];
    const bool rejected = (ch == QLatin1Char('-') && i > 0) ||
                          (ch >= QLatin1Char(' ') && ch < QLatin1Char('-')) ||
                          ch == QLatin1Char('/') || ch > QLatin1Char('9');
    if (!rejected) continue;
    // One character goes (both halves of a surrogate pair); setting the text runs the change
    // handling again, which removes the next rejected character with its own beep.
    const qsizetype width =
        ch.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate() ? 2 : 1;
    windows_.platform.beep();
    box->setText(text.left(i) + text.mid(i + width));
    box->setCursorPosition(box->text().size());
    return true;
  }
  return false;
}

void Form2::editorKeyDown(FlexGrid* grid, TextBox* box, int keyCode) {
  switch (keyCode) {
    case KeyCode::kEscape:
      // Nothing is undone: the cell already holds what was typed.
      box->hide();
      grid->setFocus();
      return;
    case KeyCode::kReturn:
    case KeyCode::kTab:
    case KeyCode::kUp:
    case KeyCode::kDown:
      break;
    default:
      return;
  }
  // The edit ends on the edited cell before the current cell moves: the grid's focus commit runs
  // first (directly too, for a window that is not active and so gets no focus event).
  grid->setFocus();
  QCoreApplication::processEvents();
  gridFocusCommit(grid, box);
  const int last_row = grid->rows() - 1;
  const int last_col = grid->cols() - 1;
  if (keyCode == KeyCode::kReturn || keyCode == KeyCode::kTab) {
    if (grid->col() == last_col && grid->row() < last_row) {
      grid->setRow(grid->row() + 1);
      grid->setCol(0);
    }
    if (grid->col() < last_col) grid->setCol(grid->col() + 1);
  } else if (keyCode == KeyCode::kUp) {
    if (grid->row() > grid->fixedRows()) grid->setRow(grid->row() - 1);
  } else {
    if (grid->row() < last_row) grid->setRow(grid->row() + 1);
  }
}

void Form2::gridFocusCommit(FlexGrid* grid, TextBox* box) {
  if (!box->isVisible()) return;
  box->hide();
  grid->setText(box->text());
}

void Form2::leaveCell(FlexGrid* grid, TextBox* box) {
  if (!box->isVisible()) return;
  grid->setText(box->text());  // still the cell being left
  box->hide();
}

// The members of the four families. Each key-handling procedure works on its own grid and box.
void Form2::BeginCellEdit1(FlexGrid* grid, TextBox* box, int code) {
  beginCellEdit(grid, box, code);
}
void Form2::BeginCellEdit2(FlexGrid* grid, TextBox* box, int code) {
  beginCellEdit(grid, box, code);
}
void Form2::BeginCellEdit3(FlexGrid* grid, TextBox* box, int code) {
  beginCellEdit(grid, box, code);
}
void Form2::BeginCellEdit4(FlexGrid* grid, TextBox* box, int code) {
  beginCellEdit(grid, box, code);
}
void Form2::EditorKeyDown1(FlexGrid*, TextBox*, int keyCode) { editorKeyDown(FG1, T1, keyCode); }
void Form2::EditorKeyDown2(FlexGrid*, TextBox*, int keyCode) { editorKeyDown(FG2, T2, keyCode); }
void Form2::EditorKeyDown3(FlexGrid*, TextBox*, int keyCode) { editorKeyDown(FG3, T3, keyCode); }
void Form2::EditorKeyDown4(FlexGrid*, TextBox*, int keyCode) { editorKeyDown(FG4, T4, keyCode); }

void Form2::FG1_KeyPress(int keyAscii) { BeginCellEdit1(FG1, T1, keyAscii); }
void Form2::FG2_KeyPress(int keyAscii) { BeginCellEdit2(FG2, T2, keyAscii); }
void Form2::FG3_KeyPress(int keyAscii) { BeginCellEdit3(FG3, T3, keyAscii); }
void Form2::FG4_KeyPress(int keyAscii) { BeginCellEdit4(FG4, T4, keyAscii); }

void Form2::FG1_KeyDown(int keyCode, int) { gridKeyDown(FG1, T1, keyCode); }
void Form2::FG2_KeyDown(int keyCode, int) { gridKeyDown(FG2, T2, keyCode); }
void Form2::FG3_KeyDown(int keyCode, int) { gridKeyDown(FG3, T3, keyCode); }
void Form2::FG4_KeyDown(int keyCode, int) { gridKeyDown(FG4, T4, keyCode); }

void Form2::FG1_LeaveCell() { leaveCell(FG1, T1); }
void Form2::FG2_LeaveCell() { leaveCell(FG2, T2); }
void Form2::FG3_LeaveCell() { leaveCell(FG3, T3); }
void Form2::FG4_LeaveCell() { leaveCell(FG4, T4); }

void Form2::GridFocusCommit1() { gridFocusCommit(FG1, T1); }
void Form2::GridFocusCommit2() { gridFocusCommit(FG2, T2); }
void Form2::GridFocusCommit3() { gridFocusCommit(FG3, T3); }
void Form2::GridFocusCommit4() { gridFocusCommit(FG4, T4); }

void Form2::T1_Change() { editorChange(FG1, T1); }
void Form2::T2_Change() { editorChange(FG2, T2); }
void Form2::T3_Change() { editorChange(FG3, T3); }
void Form2::T4_Change() { editorChange(FG4, T4); }

// Enter types nothing in the box (and gives no beep); its key-down handling ends the edit.
void Form2::T1_KeyPress(int* keyAscii) {
  if (*keyAscii == KeyCode::kReturn) *keyAscii = 0;
}
void Form2::T2_KeyPress(int* keyAscii) {
  if (*keyAscii == KeyCode::kReturn) *keyAscii = 0;
}
void Form2::T3_KeyPress(int* keyAscii) {
  if (*keyAscii == KeyCode::kReturn) *keyAscii = 0;
}
void Form2::T4_KeyPress(int* keyAscii) {
  if (*keyAscii == KeyCode::kReturn) *keyAscii = 0;
}

void Form2::T1_KeyDown(int keyCode, int) { EditorKeyDown1(FG1, T1, keyCode); }
void Form2::T2_KeyDown(int keyCode, int) { EditorKeyDown2(FG2, T2, keyCode); }
void Form2::T3_KeyDown(int keyCode, int) { EditorKeyDown3(FG3, T3, keyCode); }
void Form2::T4_KeyDown(int keyCode, int) { EditorKeyDown4(FG4, T4, keyCode); }
