// orva_win: the windowed front end. The start window comes first.
#include <QApplication>

#include "AppWindows.h"
#include "Form1.h"
#include "QtPlatform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The windows end the program only through their Exit buttons.
  app.setQuitOnLastWindowClosed(false);
  QtPlatform platform;
  AppWindows windows(platform);
  windows.form1 = new Form1(windows);
  windows.form1->Form_Load();
  windows.form1->show();
  return app.exec();
}
