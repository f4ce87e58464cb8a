#include "parseddrop.h"

#include "clipcapture.h"
#include "clipparser.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPointer>

#include <atomic>
#include <exception>
#include <memory>
#include <thread>

ParsedDrop parseDroppedClip(const QByteArray &clipText, const QString &dataFolder,
                            const std::function<void(int done, int total)> &progress, const QString &noteFolder)
{
    const std::string text = PrepareClipText(std::string_view(clipText.constData(), size_t(clipText.size())));
    ClipParts parts;
    if (noteFolder.isEmpty()) {
        parts = ParseClip(text, dataFolder, FetchOptions{}, progress);
    } else {
        // A note of another day keeps its pictures beside it, where its
        // "images/..." references point.
        CaptureContext context;
        context.dayFolder = [noteFolder] {
            QDir().mkpath(noteFolder + QStringLiteral("/images"));
            return QFile::encodeName(noteFolder).toStdString();
        };
        context.progress = progress;
        parts = ParseClip(text, context);
    }
    return {QString::fromStdString(parts.sourceAddress), QString::fromStdString(parts.title),
            QString::fromStdString(parts.body)};
}

ParsedDrop parseDroppedClipResponsively(const QByteArray &clipText, const QString &dataFolder,
                                        const std::function<void(int done, int total)> &progress,
                                        const QString &noteFolder)
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
    std::thread worker([shared, clipText, dataFolder, noteFolder, reportProgress, &wait] {
        try {
            shared->parsed = parseDroppedClip(clipText, dataFolder, reportProgress, noteFolder);
        } catch (...) {
            shared->failure = std::current_exception();
        }
        shared->finished = true;
        QMetaObject::invokeMethod(&wait, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Events are processed directly rather than through exec(), which returns at
    // once after the program was asked to quit.
    while (!shared->finished)
        wait.processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();
    QCoreApplication::sendPostedEvents(&receiver);
    if (shared->failure)
        std::rethrow_exception(shared->failure);
    return shared->parsed;
}
