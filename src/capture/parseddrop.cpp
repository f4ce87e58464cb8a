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
                            const std::function<void(int done, int total)> &progress, const QString &noteFolder,
                            const FetchOptions &limits)
{
    const std::string text = PrepareClipText(std::string_view(clipText.constData(), size_t(clipText.size())));
    std::string pictureFolder;
    CaptureContext context;
    // A note keeps its pictures beside it, where its "images/..." references point.
    context.dayFolder = [&] {
        if (noteFolder.isEmpty()) {
            pictureFolder = DayFolderFromStore(dataFolder)();
        } else {
            QDir().mkpath(noteFolder + QStringLiteral("/images"));
            pictureFolder = QFile::encodeName(noteFolder).toStdString();
        }
        return pictureFolder;
    };
    context.fetch = limits;
    context.progress = progress;
    CaptureOutcome outcome;
    context.outcome = &outcome;
    const ClipParts parts = ParseClip(text, context);
    ParsedDrop parsed;
    parsed.sourceAddress = QString::fromStdString(parts.sourceAddress);
    parsed.title = QString::fromStdString(parts.title);
    parsed.body = QString::fromStdString(parts.body);
    parsed.noteFolder = QFile::decodeName(QByteArray::fromStdString(pictureFolder));
    parsed.pictures = outcome.pictures;
    parsed.stored = outcome.stored;
    return parsed;
}

bool clipHasWebPictures(const QByteArray &clipText)
{
    const std::string text = PrepareClipText(std::string_view(clipText.constData(), size_t(clipText.size())));
    return HasWebPictures(text, PageAddressOf(SourceAddressOf(text), text));
}

ParsedDrop parseDroppedClipResponsively(const QByteArray &clipText, const QString &dataFolder,
                                        const std::function<void(int done, int total)> &progress,
                                        const QString &noteFolder, const FetchOptions &limits)
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
    std::thread worker([shared, clipText, dataFolder, noteFolder, limits, reportProgress, &wait] {
        try {
            shared->parsed = parseDroppedClip(clipText, dataFolder, reportProgress, noteFolder, limits);
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
