#include "FormWindow.h"

#include <QCloseEvent>

FormWindow::FormWindow(QWidget* parent) : QWidget(parent) {}

void FormWindow::removeCloseCommand() {
  const bool shown = isVisible();
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowMinimizeButtonHint);
  if (shown) show();
}

void FormWindow::closeEvent(QCloseEvent* event) { event->ignore(); }
