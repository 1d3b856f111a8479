// orva_win: the windowed front end. The start window comes first.
#include <QApplication>
#include <QByteArray>
#include <QString>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "AppWindows.h"
#include "ExitSignals.h"
#include "Form1.h"
#include "Form3.h"
#include "InstanceLock.h"
#include "Module1.h"
#include "QtPlatform.h"
#include "QtTranslation.h"

namespace {

// Qt's messages while the QApplication is built are held back. When no window system can be
// reached (a display that does not answer, no usable platform plugin), Qt's fatal message would
// abort the program; it ends instead with one line of its own and status 2, which the scripts
// that start it take for "no display". Otherwise the messages held back are passed on.
constexpr int kNoWindowSystemStatus = 2;

struct HeldMessage {
  QtMsgType type;
  QByteArray category;
  QString text;
};
std::vector<HeldMessage> heldMessages;

void holdStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    heldMessages.push_back({type, QByteArray(context.category), text});
    return;
  }
  bool displayRefused = false;
  for (const HeldMessage& m : heldMessages)
    displayRefused = displayRefused || m.text.contains(QLatin1String("connect to display"));
  if (displayRefused) {
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
      std::fprintf(stderr, "orva_win: cannot open the display (DISPLAY is not set)\n");
    else
      std::fprintf(stderr, "orva_win: cannot open the display %s\n", display.constData());
  } else {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    std::fprintf(stderr,
                 "orva_win: no window system can be used (Qt platform plugin %s)\n",
                 platform.isEmpty() ? "by default" : platform.constData());
  }
  std::fflush(stderr);
  std::_Exit(kNoWindowSystemStatus);
}

void passOnStartMessages() {
  qInstallMessageHandler(nullptr);
  for (const HeldMessage& m : heldMessages) {
    const QMessageLogContext context(nullptr, 0, nullptr, m.category.constData());
    qt_message_output(m.type, context, m.text);
  }
  heldMessages.clear();
}

}  // namespace

int main(int argc, char** argv) {
  // A write past a file-size limit then fails with EFBIG and is reported like any failed write,
  // instead of SIGXFSZ ending the program with its unsaved edits.
  std::signal(SIGXFSZ, SIG_IGN);

  qInstallMessageHandler(holdStartMessage);
  QApplication app(argc, argv);
  passOnStartMessages();

  const auto qtTexts = QtTranslation::installJapanese();
  // The windows end the program only through their Exit buttons.
  app.setQuitOnLastWindowClosed(false);
  QtPlatform platform;
  // Taken before the start window deletes the work files. Static, so that the exit() that ends
  // the program removes the lock file.
  static const InstanceLock lock(platform.programFolder());
  if (!StartsAlone(platform, lock, platform.programFolder())) return 1;
  const ExitSignals exitSignals([&platform] { Module1::EndProgram(platform); });

  AppWindows windows(platform);
  windows.showForm3 = [&windows] { ShowForm3(windows); };
  windows.form1 = new Form1(windows);
  windows.form1->Form_Load();
  windows.form1->show();
  return app.exec();
}
