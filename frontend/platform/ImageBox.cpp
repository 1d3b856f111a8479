#include "ImageBox.h"

#include <QMouseEvent>

ImageBox::ImageBox(QWidget* parent) : QLabel(parent) { setCursor(Qt::PointingHandCursor); }

void ImageBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked();
  }
  QLabel::mouseReleaseEvent(event);
}
