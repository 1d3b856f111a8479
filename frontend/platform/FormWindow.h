// Base of the program's windows. The windows have no Close command: removeCloseCommand() takes the
// close button off the title bar, and a close request from the window manager is always refused;
// the Exit buttons are the way out.
#pragma once

#include <QWidget>

class FormWindow : public QWidget {
  Q_OBJECT

 public:
  explicit FormWindow(QWidget* parent = nullptr);

  void removeCloseCommand();

 protected:
  void closeEvent(QCloseEvent* event) override;
};
