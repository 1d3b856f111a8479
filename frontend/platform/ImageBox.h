// A picture that can be clicked (the start window's picture).
#pragma once

#include <QLabel>

class ImageBox : public QLabel {
  Q_OBJECT

 public:
  explicit ImageBox(QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};
