// The print system (CUPS) asked directly, so that its answer to a job is known.
#pragma once

#include <QByteArray>
#include <QPageSize>
#include <QString>

namespace PrintSystem {

// Submits a PDF document to the queue printer ("name" or "name/instance") as one job titled
// title, on paper of the page's size. False when the queue is unknown or does not accept jobs,
// or when any step of the submission is refused (error gives the print system's reason).
bool submitPdf(const QString& printer,
               const QString& title,
               const QPageSize& paper,
               const QByteArray& pdf,
               QString* error);

}  // namespace PrintSystem
