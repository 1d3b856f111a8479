#include "FlexGrid.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "KeyCodes.h"
#include "Twips.h"

FlexGrid::FlexGrid(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled, true);
  cells_.resize(rows_ * cols_);
  col_widths_.resize(cols_, -1);
  row_heights_.resize(rows_, -1);
}

void FlexGrid::resize(int rows, int cols) {
  rows = std::max(rows, 0);
  cols = std::max(cols, 0);
  QVector<Cell> cells(rows * cols);
  for (int r = 0; r < std::min(rows, rows_); ++r) {
    for (int c = 0; c < std::min(cols, cols_); ++c) cells[r * cols + c] = cell(r, c);
  }
  cells_ = std::move(cells);
  rows_ = rows;
  cols_ = cols;
  col_widths_.resize(cols_, -1);
  row_heights_.resize(rows_, -1);
  row_ = std::clamp(row_, 0, std::max(rows_ - 1, 0));
  col_ = std::clamp(col_, 0, std::max(cols_ - 1, 0));
  updateGeometry();
  update();
}

void FlexGrid::setRows(int rows) {
  if (rows == rows_) return;
  if (row_ >= rows) emit leaveCell();
  resize(rows, cols_);
}

void FlexGrid::setCols(int cols) {
  if (cols == cols_) return;
  if (col_ >= cols) emit leaveCell();
  resize(rows_, cols);
}

// The fixed counts stay as set through any resizing; a grid with no more rows (columns) than
// fixed ones simply shows no data cells.
void FlexGrid::setFixedRows(int n) {
  fixed_rows_ = std::max(n, 0);
  update();
}

void FlexGrid::setFixedCols(int n) {
  fixed_cols_ = std::max(n, 0);
  update();
}

void FlexGrid::moveCurrent(int row, int col) {
  row = std::clamp(row, 0, std::max(rows_ - 1, 0));
  col = std::clamp(col, 0, std::max(cols_ - 1, 0));
  if (row == row_ && col == col_) return;
  emit leaveCell();
  row_ = row;
  col_ = col;
  update();
}

void FlexGrid::setRow(int row) { moveCurrent(row, col_); }

void FlexGrid::setCol(int col) { moveCurrent(row_, col); }

QString FlexGrid::textMatrix(int row, int col) const {
  if (row < 0 || row >= rows_ || col < 0 || col >= cols_) return {};
  return cell(row, col).text;
}

void FlexGrid::setTextMatrix(int row, int col, const QString& text) {
  if (row < 0 || row >= rows_ || col < 0 || col >= cols_) return;
  if (cell(row, col).text == text) return;
  cell(row, col).text = text;
  update();
  emit cellChanged(row, col);
}

void FlexGrid::clear() {
  for (Cell& c : cells_) c.text.clear();
  update();
}

int FlexGrid::colWidth(int col) const {
  if (col < 0 || col >= cols_) return 0;
  return col_widths_[col] < 0 ? default_col_width_ : col_widths_[col];
}

void FlexGrid::setColWidth(int col, int twips) {
  if (col < 0 || col >= cols_) return;
  col_widths_[col] = twips;
  updateGeometry();
  update();
}

int FlexGrid::rowHeight(int row) const {
  if (row < 0 || row >= rows_) return 0;
  return row_heights_[row] < 0 ? default_row_height_ : row_heights_[row];
}

void FlexGrid::setRowHeight(int row, int twips) {
  if (row < 0 || row >= rows_) return;
  row_heights_[row] = twips;
  updateGeometry();
  update();
}

int FlexGrid::cellAlignment() const {
  if (cells_.isEmpty()) return kAlignGeneral;
  return cell(row_, col_).alignment;
}

void FlexGrid::setCellAlignment(int alignment) {
  if (cells_.isEmpty()) return;
  cell(row_, col_).alignment = alignment;
  update();
}

QColor FlexGrid::cellBackColor() const {
  if (cells_.isEmpty()) return {};
  const QColor& c = cell(row_, col_).back;
  if (c.isValid()) return c;
  return row_ < fixed_rows_ || col_ < fixed_cols_ ? palette().color(QPalette::Button)
                                                  : palette().color(QPalette::Base);
}

void FlexGrid::setCellBackColor(const QColor& color) {
  if (cells_.isEmpty()) return;
  cell(row_, col_).back = color;
  update();
}

int FlexGrid::colLeftPixels(int col) const {
  int x = 0;
  for (int c = 0; c < col; ++c) x += twipsToPixels(colWidth(c));
  return x;
}

int FlexGrid::rowTopPixels(int row) const {
  int y = 0;
  for (int r = 0; r < row; ++r) y += twipsToPixels(rowHeight(r));
  return y;
}

QRect FlexGrid::cellRect(int row, int col) const {
  return QRect(colLeftPixels(col),
               rowTopPixels(row),
               twipsToPixels(colWidth(col)),
               twipsToPixels(rowHeight(row)));
}

int FlexGrid::cellLeft() const { return pixelsToTwips(colLeftPixels(col_)); }
int FlexGrid::cellTop() const { return pixelsToTwips(rowTopPixels(row_)); }
int FlexGrid::cellWidth() const { return colWidth(col_); }
int FlexGrid::cellHeight() const { return rowHeight(row_); }

QSize FlexGrid::sizeHint() const {
  return QSize(colLeftPixels(cols_) + 1, rowTopPixels(rows_) + 1);
}

void FlexGrid::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  p.fillRect(rect(), pal.color(QPalette::Dark).lighter(150));
  const QColor line = pal.color(QPalette::Mid);
  for (int r = 0; r < rows_; ++r) {
    for (int c = 0; c < cols_; ++c) {
      const QRect box = cellRect(r, c);
      if (box.left() > width() || box.top() > height()) continue;
      const bool fixed = r < fixed_rows_ || c < fixed_cols_;
      const Cell& cl = cell(r, c);
      QColor back = cl.back.isValid()
                        ? cl.back
                        : (fixed ? pal.color(QPalette::Button) : pal.color(QPalette::Base));
      p.fillRect(box, back);
      p.setPen(line);
      p.drawLine(box.topRight(), box.bottomRight());
      p.drawLine(box.bottomLeft(), box.bottomRight());
      if (cl.text.isEmpty()) continue;
      int flags = Qt::AlignVCenter | Qt::AlignLeft;
      switch (cl.alignment) {
        case kAlignLeftTop:
          flags = Qt::AlignLeft | Qt::AlignTop;
          break;
        case kAlignLeftCenter:
          flags = Qt::AlignLeft | Qt::AlignVCenter;
          break;
        case kAlignLeftBottom:
          flags = Qt::AlignLeft | Qt::AlignBottom;
          break;
        case kAlignCenterTop:
          flags = Qt::AlignHCenter | Qt::AlignTop;
          break;
        case kAlignCenterCenter:
          flags = Qt::AlignCenter;
          break;
        case kAlignCenterBottom:
          flags = Qt::AlignHCenter | Qt::AlignBottom;
          break;
        case kAlignRightTop:
          flags = Qt::AlignRight | Qt::AlignTop;
          break;
        case kAlignRightCenter:
          flags = Qt::AlignRight | Qt::AlignVCenter;
          break;
        case kAlignRightBottom:
          flags = Qt::AlignRight | Qt::AlignBottom;
          break;
        default: {
          bool number = false;
          QLocale::c().toDouble(cl.text.trimmed(), &number);
          flags = Qt::AlignVCenter | (number && !fixed ? Qt::AlignRight : Qt::AlignLeft);
          break;
        }
      }
      p.setPen(pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
      p.drawText(box.adjusted(2, 0, -3, -1), flags, cl.text);
    }
  }
  if (!cells_.isEmpty() && hasFocus()) {
    QPen pen(pal.color(QPalette::Text));
    pen.setStyle(Qt::DotLine);
    p.setPen(pen);
    p.drawRect(cellRect(row_, col_).adjusted(1, 1, -2, -2));
  } else if (!cells_.isEmpty() && row_ >= fixed_rows_ && col_ >= fixed_cols_) {
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(cellRect(row_, col_).adjusted(1, 1, -2, -2));
  }
}

void FlexGrid::keyPressEvent(QKeyEvent* event) {
  const int code = keyCodeOf(event);
  emit keyDown(code, shiftStateOf(event));
  // The arrow keys move the current cell inside the non-fixed cells.
  int row = row_;
  int col = col_;
  switch (code) {
    case KeyCode::kLeft:
      col = std::max(col_ - 1, fixed_cols_);
      break;
    case KeyCode::kRight:
      col = std::min(col_ + 1, cols_ - 1);
      break;
    case KeyCode::kUp:
      row = std::max(row_ - 1, fixed_rows_);
      break;
    case KeyCode::kDown:
      row = std::min(row_ + 1, rows_ - 1);
      break;
    case KeyCode::kHome:
      col = fixed_cols_;
      break;
    case KeyCode::kEnd:
      col = cols_ - 1;
      break;
    default:
      break;
  }
  if (row != row_ || col != col_) {
    moveCurrent(row, col);
    event->accept();
    return;
  }
  // The typed characters follow (Delete has none).
  const QString typed = event->text();
  for (qsizetype i = 0; i < typed.size(); ++i) {
    char32_t ch = typed[i].unicode();
    if (typed[i].isHighSurrogate() && i + 1 < typed.size()) {
      ch = QChar::surrogateToUcs4(typed[i], typed[i + 1]);
      ++i;
    }
    if (ch == 127) continue;
    emit keyPress(static_cast<int>(ch));
  }
  event->accept();
}

void FlexGrid::inputMethodEvent(QInputMethodEvent* event) {
  // Text committed by an input method arrives as typed characters.
  const QString typed = event->commitString();
  const auto codes = typed.toUcs4();
  for (char32_t ch : codes) emit keyPress(static_cast<int>(ch));
  event->accept();
}

void FlexGrid::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  const QPoint at = event->position().toPoint();
  for (int r = fixed_rows_; r < rows_; ++r) {
    for (int c = fixed_cols_; c < cols_; ++c) {
      if (cellRect(r, c).contains(at)) {
        moveCurrent(r, c);
        return;
      }
    }
  }
}

void FlexGrid::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
  emit gotFocus();
}

void FlexGrid::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}
