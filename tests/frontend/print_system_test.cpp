// The print system asked with bounded waits, on the real seam: when a print system counts as set
// up; a stand-in scheduler that takes the connection and never answers (named through
// CUPS_SERVER), given up after the seam's timeout; a stopped one; none at all; and the results
// window's word to the user before it offers the PDF file. No test times anything: a short
// timeout is passed in, and a hang fails the test at a deadline instead of holding it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "AppWindows.h"
#include "FakePlatform.h"
#include "Form3.h"
#include "Module1.h"
#include "PrintSystem.h"
#include "QtPlatform.h"
#include "ResultsFolder.h"

namespace {

using PrintSystem::DefaultPrinter;

// Short, so that a test that gives up waits little; the bound is this value, not a measured time.
constexpr int kShortTimeoutMs = 200;

// Environment variables set for one test and restored after it.
class Environment {
 public:
  ~Environment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        qputenv(it->first.constData(), *it->second);
      } else {
        qunsetenv(it->first.constData());
      }
    }
  }
  void set(const char* name, const QByteArray& value) {
    remember(name);
    qputenv(name, value);
  }
  void unset(const char* name) {
    remember(name);
    qunsetenv(name);
  }

 private:
  void remember(const char* name) {
    saved_.emplace_back(
        name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
  }
  std::vector<std::pair<QByteArray, std::optional<QByteArray>>> saved_;
};

// No print system configured for this process: an empty configuration folder and home.
struct NoConfiguration {
  NoConfiguration() {
    env.unset("CUPS_SERVER");
    env.set("CUPS_SERVERROOT", QFile::encodeName(root.path()));
    env.set("HOME", QFile::encodeName(home.path()));
  }
  QTemporaryDir root;
  QTemporaryDir home;
  Environment env;
};

// A stand-in scheduler: a local TCP listener that takes connections (the system completes them)
// and never answers.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "no listener: " << std::strerror(errno);
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  QByteArray name() const { return "127.0.0.1:" + QByteArray::number(port_); }
  // What the next connection made to it has sent so far (empty when none was made).
  QByteArray nextRequest() {
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) return QByteArray();
    QByteArray bytes(4096, '\0');
    const ssize_t n = ::recv(client, bytes.data(), bytes.size(), 0);
    ::close(client);
    return n > 0 ? bytes.left(n) : QByteArray();
  }
  bool hasPendingConnection() {
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) return false;
    ::close(client);
    return true;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A wait that does not end fails the test program at this deadline (SIGALRM ends it) instead of
// holding it.
struct HangDeadline {
  HangDeadline() { ::alarm(60); }
  ~HangDeadline() { ::alarm(0); }
};

bool drawPage(QPagedPaintDevice* device, bool* drawn) {
  *drawn = true;
  QPainter painter(device);
  painter.drawText(100, 100, "page");
  return painter.end();
}

TEST(PrintSystem, IsConfiguredWhenASchedulerIsNamedOrHasQueues) {
  struct Case {
    const char* name;
    const char* server;  // CUPS_SERVER, or nullptr
    const char* file;    // a file made in the configuration folder ("~/" in the home)
    const char* contents;
    bool configured;
  };
  // clang-format off
  const Case cases[] = {
      {"nothing",                      nullptr,       nullptr,              "",                  false},
      {"CUPS_SERVER",                  "print:631",   nullptr,              "",                  true},
      {"client.conf with ServerName",  nullptr,       "client.conf",        "ServerName print\n", true},
      {"client.conf without one",      nullptr,       "client.conf",        "Encryption Never\n", false},
      {"the user's client.conf",       nullptr,       "~/.cups/client.conf", "servername print\n", true},
      {"a commented ServerName",       nullptr,       "client.conf",        "# ServerName x\n",   false},
      {"printers.conf",                nullptr,       "printers.conf",      "",                  true},
      {"classes.conf",                 nullptr,       "classes.conf",       "",                  true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NoConfiguration none;
    if (c.server) none.env.set("CUPS_SERVER", c.server);
    if (c.file) {
      QString path = QString::fromUtf8(c.file);
      path = path.startsWith("~/") ? none.home.filePath(path.mid(2)) : none.root.filePath(path);
      ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(c.contents);
    }
    EXPECT_EQ(PrintSystem::isConfigured(), c.configured);
  }
}

// Regression: a hung scheduler held the window for 62 s (Qt's question for the default printer,
// on the GUI thread), then offered a PDF file without a word. Asked with the seam's timeout, a
// scheduler that takes the request and never answers is given up: no printer, "no answer". The job
// is submitted over such a connection too, and given up the same way. The printer seam gives no
// printer, and print() draws nothing.
TEST(PrintSystem, ASchedulerThatDoesNotAnswerIsGivenUpAfterTheTimeout) {
  const HangDeadline deadline;
  SilentServer server;
  Environment env;
  env.set("CUPS_SERVER", server.name());

  EXPECT_EQ(PrintSystem::findDefaultPrinter(kShortTimeoutMs).state,
            DefaultPrinter::State::kNoAnswer);
  // The question was asked, and left unanswered.
  EXPECT_TRUE(server.nextRequest().startsWith("POST / HTTP/1.1\r\n"));

  DefaultPrinter printer;
  printer.queue = QStringLiteral("queue");
  QString error;
  EXPECT_FALSE(PrintSystem::submitPdf(
      printer, "Title", QPageSize(QPageSize::A4), "%PDF-", &error, kShortTimeoutMs));
  EXPECT_TRUE(server.nextRequest().startsWith("POST /printers/queue HTTP/1.1\r\n"));

  QtPlatform platform(kShortTimeoutMs);
  bool drawn = false;
  EXPECT_EQ(platform.print("Title", "Creator", [&](auto* d) { return drawPage(d, &drawn); }),
            PrintResult::kNoAnswer);
  EXPECT_FALSE(drawn);
  EXPECT_EQ(platform.printer(), nullptr);
}

// A scheduler that is named but stopped (its socket is not there) does not answer either; with no
// print system at all there is simply no printer. That case cannot be shown where a real scheduler
// answers on this machine.
TEST(PrintSystem, AStoppedSchedulerDoesNotAnswerAndNoneAtAllGivesNoPrinter) {
  const HangDeadline deadline;
  NoConfiguration none;
  none.env.set("CUPS_SERVER", QFile::encodeName(none.root.filePath("cups.sock")));
  EXPECT_EQ(PrintSystem::findDefaultPrinter(kShortTimeoutMs).state,
            DefaultPrinter::State::kNoAnswer);
  QtPlatform platform(kShortTimeoutMs);
  bool drawn = false;
  EXPECT_EQ(platform.print("Title", "Creator", [&](auto* d) { return drawPage(d, &drawn); }),
            PrintResult::kNoAnswer);

  none.env.unset("CUPS_SERVER");
  // A local scheduler would answer on its usual socket or on port 631.
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in ipp{};
  ipp.sin_family = AF_INET;
  ipp.sin_port = htons(631);
  ipp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool listening = ::connect(s, reinterpret_cast<sockaddr*>(&ipp), sizeof ipp) == 0;
  ::close(s);
  if (listening || QFileInfo::exists("/run/cups/cups.sock")) {
    GTEST_SKIP() << "a print scheduler runs on this machine: no print system cannot be shown";
  }
  EXPECT_EQ(PrintSystem::findDefaultPrinter(kShortTimeoutMs).state, DefaultPrinter::State::kNone);
  EXPECT_EQ(platform.print("Title", "Creator", [&](auto* d) { return drawPage(d, &drawn); }),
            PrintResult::kNoPrinter);
  EXPECT_FALSE(drawn);
}

// The scripted platform, printing through the real seam.
class RealPrintSeam : public FakePlatform {
 public:
  using FakePlatform::FakePlatform;
  PrintResult print(const QString& title,
                    const QString& creator,
                    const std::function<bool(QPagedPaintDevice*)>& draw) override {
    return real_.print(title, creator, draw);
  }

 private:
  QtPlatform real_{kShortTimeoutMs};
};

// Regression: a stopped or hung scheduler with a queue sent Print straight to the PDF dialog with
// no word. The results window says that the printer cannot be reached, then offers the page as a
// PDF file, as it does without a printer.
TEST(PrintSystem, TheResultsWindowSaysThePrinterCannotBeReachedThenOffersThePdfFile) {
  const HangDeadline deadline;
  SilentServer server;
  Environment env;
  env.set("CUPS_SERVER", server.name());
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  for (const char* name : {"inp.dat", "out1.dat", "MODULI.OUT", "DEF.OUT"})
    ASSERT_TRUE(QFile::copy(kResultFixtures + name, folder.filePath(name))) << name;
  Module1::AppTitle = "ORVA for Windows v2.2";
  RealPrintSeam platform(folder.path());
  AppWindows windows{platform};
  Form3 form(windows);
  form.Form_Load();
  ASSERT_TRUE(form.resultsLoaded());

  const QString pdf = folder.filePath("saved.pdf");
  platform.answerMessage(MsgAnswer::kOk);
  platform.answerSaveFile(pdf);
  form.Command5_Click();
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(
      platform.boxes[0].text,
      QStringLiteral("プリンターに接続できません。印刷のページをPDFファイルとして保存します。"));
  EXPECT_EQ(platform.boxes[0].style, MsgStyle::kExclamation);
  EXPECT_EQ(platform.boxes[0].title, "Error");
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].kind, "saveFile");
  QFile saved(pdf);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_TRUE(saved.readAll().startsWith("%PDF-"));
  EXPECT_TRUE(server.hasPendingConnection());
}

}  // namespace
