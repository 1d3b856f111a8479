#include "UpDown.h"

#include <QKeyEvent>
#include <QLocale>
#include <QToolButton>
#include <algorithm>

#include "TextBox.h"

UpDown::UpDown(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up_, down_}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRepeat(true);
  }
  connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
  setMinimumSize(12, 16);
}

void UpDown::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  up_->setGeometry(0, 0, width(), half);
  down_->setGeometry(0, half, width(), height() - half);
}

void UpDown::setValue(int value) {
  const bool changed = value != value_;
  value_ = value;
  if (buddy_) buddy_->setText(QLocale::c().toString(value_));
  if (changed) emit change();
}

void UpDown::setBuddy(TextBox* box) {
  if (buddy_) buddy_->removeEventFilter(this);
  buddy_ = box;
  if (buddy_) {
    buddy_->installEventFilter(this);
    buddy_->setText(QLocale::c().toString(value_));
  }
}

void UpDown::step(int direction) {
  if (!isEnabled()) return;
  if (buddy_) {
    bool ok = false;
    const int typed = QLocale::c().toInt(buddy_->text().trimmed(), &ok);
    if (ok && typed >= min_ && typed <= max_) value_ = typed;
  }
  const int next = std::clamp(value_ + direction * increment_, min_, max_);
  setValue(next);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == buddy_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      step(key == Qt::Key_Up ? +1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
