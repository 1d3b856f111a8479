#include "PrintSystem.h"

#include <cups/cups.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace PrintSystem {

namespace {

bool fail(QString* error, const QString& reason) {
  if (error) *error = reason;
  return false;
}

// The print system's configuration folder.
QString serverRoot() {
  const QByteArray root = qgetenv("CUPS_SERVERROOT");
  return root.isEmpty() ? QStringLiteral("/etc/cups") : QFile::decodeName(root);
}

// True when the client configuration file at path names a server ("ServerName host").
bool namesAServer(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
  QTextStream in(&file);
  while (!in.atEnd()) {
    const QStringList words = in.readLine().simplified().split(QLatin1Char(' '));
    if (words.size() >= 2 &&
        words[0].compare(QLatin1String("ServerName"), Qt::CaseInsensitive) == 0)
      return true;
  }
  return false;
}

// A connection to the print system whose waits end after a timeout: the connection is given up
// after timeoutMs, and so is any read or write that does not move on within it.
class Connection {
 public:
  explicit Connection(int timeoutMs) {
    // The server as it is configured now (environment and client.conf), not as libcups
    // remembered it from an earlier question.
    cupsSetServer(nullptr);
    http_ = httpConnect2(
        cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, timeoutMs, nullptr);
    if (http_) httpSetTimeout(http_, timeoutMs / 1000.0, &Connection::giveUp, this);
  }
  ~Connection() {
    if (http_) httpClose(http_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  http_t* http() const { return http_; }
  // True when the print system has stopped answering: a wait ran out, or the connection failed.
  bool broken() const { return timedOut_ || (http_ && httpError(http_) != 0); }

 private:
  // libcups asks whether to go on waiting; the answer is no.
  static int giveUp(http_t*, void* self) {
    static_cast<Connection*>(self)->timedOut_ = true;
    return 0;
  }

  http_t* http_ = nullptr;
  bool timedOut_ = false;
};

// The margins (hundredths of a millimetre in IPP) of the printer's default paper, from its
// media-col-default attribute.
bool readMargins(http_t* http, const char* printerUri, QMarginsF* margins) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri);
  ippAddString(request,
               IPP_TAG_OPERATION,
               IPP_TAG_KEYWORD,
               "requested-attributes",
               nullptr,
               "media-col-default");
  ipp_t* response = cupsDoRequest(http, request, "/");
  if (!response) return false;
  bool found = false;
  if (ipp_attribute_t* col =
          ippFindAttribute(response, "media-col-default", IPP_TAG_BEGIN_COLLECTION)) {
    ipp_t* media = ippGetCollection(col, 0);
    const char* names[] = {
        "media-left-margin", "media-top-margin", "media-right-margin", "media-bottom-margin"};
    double mm[4] = {};
    found = true;
    for (int i = 0; i < 4; ++i) {
      ipp_attribute_t* a = ippFindAttribute(media, names[i], IPP_TAG_INTEGER);
      found = found && a;
      if (a) mm[i] = ippGetInteger(a, 0) / 100.0;
    }
    if (found) *margins = QMarginsF(mm[0], mm[1], mm[2], mm[3]);
  }
  ippDelete(response);
  return found;
}

// The printer-uri of the printer's queue on the print system.
QByteArray printerUri(const DefaultPrinter& printer) {
  if (!printer.uri.isEmpty()) return printer.uri.toUtf8();
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL,
                   uri,
                   sizeof uri,
                   "ipp",
                   nullptr,
                   "localhost",
                   ippPort(),
                   "/printers/%s",
                   printer.queue.toUtf8().constData());
  return QByteArray(uri);
}

}  // namespace

bool isConfigured() {
  if (!qEnvironmentVariableIsEmpty("CUPS_SERVER")) return true;
  const QString root = serverRoot();
  if (namesAServer(QDir::homePath() + QStringLiteral("/.cups/client.conf")) ||
      namesAServer(root + QStringLiteral("/client.conf")))
    return true;
  return QFileInfo::exists(root + QStringLiteral("/printers.conf")) ||
         QFileInfo::exists(root + QStringLiteral("/classes.conf"));
}

DefaultPrinter findDefaultPrinter(int timeoutMs) {
  DefaultPrinter printer;
  const Connection connection(timeoutMs);
  if (!connection.http()) {
    // Stopped, or not there: worth a word only where a print system is set up.
    if (isConfigured()) printer.state = DefaultPrinter::State::kNoAnswer;
    return printer;
  }
  // The default of the user (lpoptions, LPDEST, PRINTER) or else of the server. Without a name
  // libcups looks nowhere else (a named printer not found would be searched for on the network).
  cups_dest_t* dest = cupsGetNamedDest(connection.http(), nullptr, nullptr);
  if (!dest) {
    if (connection.broken()) printer.state = DefaultPrinter::State::kNoAnswer;
    return printer;
  }
  printer.queue = QString::fromUtf8(dest->name);
  printer.instance = dest->instance ? QString::fromUtf8(dest->instance) : QString();
  const char* accepting =
      cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
  printer.accepting = !(accepting && qstrcmp(accepting, "false") == 0);
  if (const char* uri = cupsGetOption("printer-uri-supported", dest->num_options, dest->options))
    printer.uri = QString::fromUtf8(uri);
  cupsFreeDests(1, dest);
  printer.state = DefaultPrinter::State::kFound;
  if (printer.accepting) {
    printer.marginsKnown =
        readMargins(connection.http(), printerUri(printer).constData(), &printer.margins);
    // A scheduler that answered once and then stops answering is one that does not answer.
    if (connection.broken()) printer.state = DefaultPrinter::State::kNoAnswer;
  }
  return printer;
}

bool submitPdf(const DefaultPrinter& printer,
               const QString& title,
               const QPageSize& paper,
               const QByteArray& pdf,
               QString* error,
               int timeoutMs) {
  const Connection connection(timeoutMs);
  http_t* http = connection.http();
  if (!http) return fail(error, QString::fromUtf8(cupsLastErrorString()));
  // The job's requests are made here on this connection: libcups' own job calls look the queue up
  // on its default connection, whose waits have no bound.
  const QByteArray uri = printerUri(printer);
  char scheme[32], user[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL,
                      uri.constData(),
                      scheme,
                      sizeof scheme,
                      user,
                      sizeof user,
                      host,
                      sizeof host,
                      &port,
                      resource,
                      sizeof resource) < HTTP_URI_STATUS_OK)
    return fail(error, QStringLiteral("bad printer URI ") + QString::fromUtf8(uri));
  const QByteArray jobTitle = title.toUtf8();
  auto newRequest = [&](ipp_op_t operation) {
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    ippAddString(
        request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
  };

  ipp_t* create = newRequest(IPP_OP_CREATE_JOB);
  ippAddString(create, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, jobTitle.constData());
  // The paper as the page's (as Qt's print engine asks for it), so the queue does not scale it.
  cups_option_t* options = nullptr;
  const int optionCount = cupsAddOption("media", paper.key().toUtf8().constData(), 0, &options);
  cupsEncodeOptions2(create, optionCount, options, IPP_TAG_JOB);
  cupsFreeOptions(optionCount, options);
  ipp_t* created = cupsDoRequest(http, create, resource);
  ipp_attribute_t* id = created ? ippFindAttribute(created, "job-id", IPP_TAG_INTEGER) : nullptr;
  const int job = id && cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE ? ippGetInteger(id, 0) : 0;
  ippDelete(created);
  if (job <= 0) return fail(error, QString::fromUtf8(cupsLastErrorString()));

  ipp_t* send = newRequest(IPP_OP_SEND_DOCUMENT);
  ippAddInteger(send, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
  ippAddString(
      send, IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr, jobTitle.constData());
  ippAddString(
      send, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, CUPS_FORMAT_PDF);
  ippAddBoolean(send, IPP_TAG_OPERATION, "last-document", 1);
  bool sent = cupsSendRequest(http, send, resource, CUPS_LENGTH_VARIABLE) == HTTP_STATUS_CONTINUE;
  sent = sent && cupsWriteRequestData(http, pdf.constData(), static_cast<size_t>(pdf.size())) ==
                     HTTP_STATUS_CONTINUE;
  // The response is read even after a failed write, so that the connection is left clean.
  ippDelete(cupsGetResponse(http, resource));
  ippDelete(send);
  if (sent && cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE && !connection.broken()) return true;
  const QString reason = QString::fromUtf8(cupsLastErrorString());
  ipp_t* cancel = newRequest(IPP_OP_CANCEL_JOB);
  ippAddInteger(cancel, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
  ippDelete(cupsDoRequest(http, cancel, resource));
  return fail(error, reason);
}

}  // namespace PrintSystem
