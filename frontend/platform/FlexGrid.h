// A grid of text cells in the manner of the windows' grid control: Rows x Cols cells, the first
// FixedRows rows and FixedCols columns drawn as headers, one current cell (Row, Col). Sizes are in
// twips. The grid shows texts and moves its current cell with the arrow keys and the mouse; it does
// not edit: the windows lay their own editor box over the current cell.
//
// Events: keyDown (key code and shift state, KeyCodes.h) and then keyPress (the character) for
// every key typed while the grid has the focus; leaveCell just before the current cell changes (by
// a key, a click or code); gotFocus when the grid receives the focus; cellChanged when setText or
// setTextMatrix gives a cell another text (a text equal to the cell's changes nothing).
#pragma once

#include <QColor>
#include <QString>
#include <QVector>
#include <QWidget>

class FlexGrid : public QWidget {
  Q_OBJECT

 public:
  // Cell alignment codes: left/centre/right x top/centre/bottom, and general (texts left,
  // numbers right, vertically centred).
  enum Alignment {
    kAlignLeftTop = 0,
    kAlignLeftCenter = 1,
    kAlignLeftBottom = 2,
    kAlignCenterTop = 3,
    kAlignCenterCenter = 4,
    kAlignCenterBottom = 5,
    kAlignRightTop = 6,
    kAlignRightCenter = 7,
    kAlignRightBottom = 8,
    kAlignGeneral = 9,
  };

  explicit FlexGrid(QWidget* parent = nullptr);

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  // Changing the size keeps the texts of the cells that stay; added cells start empty. The
  // current cell is moved inside the grid when it falls outside.
  void setRows(int rows);
  void setCols(int cols);
  int fixedRows() const { return fixed_rows_; }
  int fixedCols() const { return fixed_cols_; }
  void setFixedRows(int n);
  void setFixedCols(int n);

  // The current cell. Setting it raises leaveCell first when it changes.
  int row() const { return row_; }
  int col() const { return col_; }
  void setRow(int row);
  void setCol(int col);

  // The current cell's text.
  QString text() const { return textMatrix(row_, col_); }
  void setText(const QString& text) { setTextMatrix(row_, col_, text); }
  QString textMatrix(int row, int col) const;
  void setTextMatrix(int row, int col, const QString& text);
  // Erases every cell's text (fixed cells included); the size stays.
  void clear();

  // Column widths and row heights in twips; -1 restores the default.
  int colWidth(int col) const;
  void setColWidth(int col, int twips);
  int rowHeight(int row) const;
  void setRowHeight(int row, int twips);
  int defaultColWidth() const { return default_col_width_; }
  int defaultRowHeight() const { return default_row_height_; }

  // Alignment and background colour of the current cell.
  int cellAlignment() const;
  void setCellAlignment(int alignment);
  QColor cellBackColor() const;
  void setCellBackColor(const QColor& color);

  // The current cell's rectangle inside the grid, in twips.
  int cellLeft() const;
  int cellTop() const;
  int cellWidth() const;
  int cellHeight() const;
  // The same rectangle in pixels.
  QRect cellRect(int row, int col) const;

  QSize sizeHint() const override;

 signals:
  void keyDown(int keyCode, int shift);
  void keyPress(int keyAscii);
  void leaveCell();
  void gotFocus();
  void cellChanged(int row, int col);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  struct Cell {
    QString text;
    int alignment = kAlignGeneral;
    QColor back;  // invalid: the grid's colour for its kind of cell
  };
  Cell& cell(int row, int col) { return cells_[row * cols_ + col]; }
  const Cell& cell(int row, int col) const { return cells_[row * cols_ + col]; }
  void resize(int rows, int cols);
  void moveCurrent(int row, int col);
  int colLeftPixels(int col) const;
  int rowTopPixels(int row) const;

  int rows_ = 2;
  int cols_ = 2;
  int fixed_rows_ = 1;
  int fixed_cols_ = 1;
  int row_ = 1;
  int col_ = 1;
  int default_col_width_ = 960;
  int default_row_height_ = 270;
  QVector<Cell> cells_;
  QVector<int> col_widths_;   // twips, -1 = default
  QVector<int> row_heights_;  // twips, -1 = default
};
