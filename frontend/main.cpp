// orva_win: the windowed front end. The start window comes first.
#include <QApplication>

#include "AppWindows.h"
#include "Form1.h"
#include "Form3.h"
#include "QtPlatform.h"
#include "QtTranslation.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const auto qtTexts = QtTranslation::installJapanese();
  // The windows end the program only through their Exit buttons.
  app.setQuitOnLastWindowClosed(false);
  QtPlatform platform;
  AppWindows windows(platform);
  windows.showForm3 = [&windows] { ShowForm3(windows); };
  windows.form1 = new Form1(windows);
  windows.form1->Form_Load();
  windows.form1->show();
  return app.exec();
}
