#include "workprogress.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <exception>
#include <memory>

void runWithProgressDialog(QWidget *parent, const QString &label, const QString &cancelText,
                           const std::function<void(const WorkProgress &progress)> &work)
{
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{0};
    std::atomic<bool> cancelled{false};
    std::exception_ptr failure;
    const WorkProgress progress = [&](qint64 doneNow, qint64 totalNow) {
        done = doneNow;
        total = totalNow;
        return !cancelled.load();
    };
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
    }));

    constexpr int Steps = 1000;
    QProgressDialog dialog(label, cancelText, 0, Steps, parent);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(400);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] { cancelled = true; });
    QTimer update;
    QObject::connect(&update, &QTimer::timeout, &dialog, [&] {
        const qint64 all = total.load();
        dialog.setValue(all > 0 ? static_cast<int>(std::min<qint64>(Steps, done.load() * Steps / all)) : 0);
    });

    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    update.start(100);
    // Events are processed directly: once the program is quitting, exec() would
    // return at once and the wait would spin.
    while (!worker->isFinished())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    worker->wait();
    if (failure)
        std::rethrow_exception(failure);
}
