#include "parseddrop.h"

#include "clipcapture.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>

#include <atomic>
#include <exception>
#include <memory>
#include <thread>

ParsedDrop parseDroppedClip(const QByteArray &clipText, const QString &dataFolder,
                            const std::function<void(int done, int total)> &progress)
{
    const ClipParts parts = ParseClip(PrepareClipText(std::string_view(clipText.constData(), size_t(clipText.size()))),
                                      dataFolder, FetchOptions{}, progress);
    return {QString::fromStdString(parts.sourceAddress), QString::fromStdString(parts.title),
            QString::fromStdString(parts.body)};
}

ParsedDrop parseDroppedClipResponsively(const QByteArray &clipText, const QString &dataFolder,
                                        const std::function<void(int done, int total)> &progress)
{
    // Shared with the worker, which may report progress after this call returned.
    struct Shared
    {
        std::atomic<bool> finished{false};
        ParsedDrop parsed;
        std::exception_ptr failure;
    };
    auto shared = std::make_shared<Shared>();
    QObject receiver; // progress and the end arrive through this thread's events
    QPointer<QObject> guard(&receiver);
    QEventLoop wait;
    auto reportProgress = [guard, progress](int done, int total) {
        if (!progress || !guard)
            return;
        QMetaObject::invokeMethod(
            guard.data(),
            [guard, progress, done, total] {
                if (guard)
                    progress(done, total);
            },
            Qt::QueuedConnection);
    };
    std::thread worker([shared, clipText, dataFolder, reportProgress, &wait] {
        try {
            shared->parsed = parseDroppedClip(clipText, dataFolder, reportProgress);
        } catch (...) {
            shared->failure = std::current_exception();
        }
        shared->finished = true;
        QMetaObject::invokeMethod(&wait, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // A quit of the whole program also ends nested loops; wait on until the work is done.
    while (!shared->finished)
        wait.exec();
    worker.join();
    QCoreApplication::sendPostedEvents(&receiver);
    if (shared->failure)
        std::rethrow_exception(shared->failure);
    return shared->parsed;
}
