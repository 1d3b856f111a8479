#include "PrintSystem.h"

#include <cups/cups.h>

namespace PrintSystem {

namespace {

bool fail(QString* error, const QString& reason) {
  if (error) *error = reason;
  return false;
}

}  // namespace

bool submitPdf(const QString& printer,
               const QString& title,
               const QPageSize& paper,
               const QByteArray& pdf,
               QString* error) {
  const QByteArray name = printer.section(QLatin1Char('/'), 0, 0).toUtf8();
  const QByteArray instance = printer.section(QLatin1Char('/'), 1).toUtf8();
  cups_dest_t* dest = cupsGetNamedDest(
      CUPS_HTTP_DEFAULT, name.constData(), instance.isEmpty() ? nullptr : instance.constData());
  if (!dest) return fail(error, QString::fromUtf8(cupsLastErrorString()));
  const char* accepting =
      cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
  const bool rejecting = accepting && qstrcmp(accepting, "false") == 0;
  cupsFreeDests(1, dest);
  if (rejecting) return fail(error, QStringLiteral("the printer does not accept jobs"));

  // The paper as the page's (as Qt's print engine asks for it), so the queue does not scale it.
  cups_option_t* options = nullptr;
  const int optionCount = cupsAddOption("media", paper.key().toUtf8().constData(), 0, &options);
  const QByteArray jobTitle = title.toUtf8();
  const int job = cupsCreateJob(
      CUPS_HTTP_DEFAULT, name.constData(), jobTitle.constData(), optionCount, options);
  cupsFreeOptions(optionCount, options);
  if (job <= 0) return fail(error, QString::fromUtf8(cupsLastErrorString()));

  bool sent =
      cupsStartDocument(
          CUPS_HTTP_DEFAULT, name.constData(), job, jobTitle.constData(), CUPS_FORMAT_PDF, 1) ==
      HTTP_STATUS_CONTINUE;
  sent = sent && cupsWriteRequestData(CUPS_HTTP_DEFAULT,
                                      pdf.constData(),
                                      static_cast<size_t>(pdf.size())) == HTTP_STATUS_CONTINUE;
  // The document is finished even after a failed write, so the connection is left clean.
  const ipp_status_t finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData());
  if (sent && finished <= IPP_STATUS_OK_EVENTS_COMPLETE) return true;
  const QString reason = QString::fromUtf8(cupsLastErrorString());
  cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
  return fail(error, reason);
}

}  // namespace PrintSystem
