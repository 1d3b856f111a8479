// A spin button with a buddy text box: the arrows step Value by Increment between Min and Max
// (no wrap), and the buddy box always shows Value. Before an arrow steps, a buddy text that is a
// whole number inside the range is taken as the current value, so a count written into the box by
// code is where the next step starts. The Up and Down keys in the buddy box act as the arrows.
// change() is raised whenever Value changes, by the arrows or by code; setting the value it already
// holds raises nothing.
#pragma once

#include <QPointer>
#include <QWidget>

class QToolButton;
class TextBox;

class UpDown : public QWidget {
  Q_OBJECT

 public:
  explicit UpDown(QWidget* parent = nullptr);

  int value() const { return value_; }
  void setValue(int value);
  int min() const { return min_; }
  int max() const { return max_; }
  void setMin(int min) { min_ = min; }
  void setMax(int max) { max_ = max; }
  int increment() const { return increment_; }
  void setIncrement(int increment) { increment_ = increment; }

  TextBox* buddy() const { return buddy_; }
  void setBuddy(TextBox* box);

  // The arrows, as a click on them does it.
  void stepUp() { step(+1); }
  void stepDown() { step(-1); }

  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

 signals:
  void change();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void step(int direction);

  int value_ = 0;
  int min_ = 0;
  int max_ = 10;
  int increment_ = 1;
  QPointer<TextBox> buddy_;
  QToolButton* up_;
  QToolButton* down_;
};
