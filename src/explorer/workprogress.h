#pragma once

#include <QString>

#include <functional>

class QWidget;

// Reports progress as an amount done of a total; answering false asks the work to stop.
using WorkProgress = std::function<bool(qint64 done, qint64 total)>;

// Runs long work on a worker thread while a modal progress dialog shows how far
// it got; the dialog's cancel button makes the progress answer false. The work
// must not touch windows or the program's database connection. Rethrows what
// the work threw.
void runWithProgressDialog(QWidget *parent, const QString &label, const QString &cancelText,
                           const std::function<void(const WorkProgress &progress)> &work);
