// The print system (CUPS) asked directly, on connections of the front end's own with bounded
// waits: a scheduler that is stopped or hung never holds the window for long, and its answer to a
// job is known.
#pragma once

#include <QByteArray>
#include <QMarginsF>
#include <QPageSize>
#include <QString>

namespace PrintSystem {

// The longest wait for the print system: for a connection to it, and for each answer or each
// step of a job's transfer that does not move on. A request that gets no answer within it is given
// up, so one question costs a few seconds at most.
constexpr int kAnswerTimeoutMs = 3000;

// True when a print system is set up on this machine, so that one that does not answer is worth
// telling the user: a scheduler named explicitly (the CUPS_SERVER environment variable, or a
// ServerName line in the user's ~/.cups/client.conf or in client.conf of the print system's
// configuration folder, CUPS_SERVERROOT or /etc/cups), or queues of the local scheduler
// (printers.conf or classes.conf in that folder).
bool isConfigured();

// The default printer, as the print system tells it.
struct DefaultPrinter {
  enum class State {
    kNone,      // no default printer: no print system, or one that answers without one
    kNoAnswer,  // a print system exists (is configured, or took the connection) but does not answer
    kFound,
  };
  State state = State::kNone;
  QString queue;           // the queue's name
  QString instance;        // an instance of it (lpoptions), or empty
  QString uri;             // the queue's printer-uri; empty: ipp://localhost/printers/<queue>
  bool accepting = false;  // the queue accepts jobs
  // The margins the printer keeps on its default paper, in millimetres; unknown when the
  // printer does not tell them.
  bool marginsKnown = false;
  QMarginsF margins;
};

// Asks the print system that libcups is set to use (CUPS_SERVER, client.conf or the local
// scheduler, read afresh on every call) for the default printer, on a connection of its own: the
// connection and every answer are waited for at most timeoutMs.
DefaultPrinter findDefaultPrinter(int timeoutMs = kAnswerTimeoutMs);

// Submits a PDF document to the printer's queue as one job titled title, on paper of the page's
// size, over a connection of its own whose every step waits at most timeoutMs. False when any step
// is refused or not answered (error gives the print system's reason); a job begun is then
// cancelled.
bool submitPdf(const DefaultPrinter& printer,
               const QString& title,
               const QPageSize& paper,
               const QByteArray& pdf,
               QString* error,
               int timeoutMs = kAnswerTimeoutMs);

}  // namespace PrintSystem
