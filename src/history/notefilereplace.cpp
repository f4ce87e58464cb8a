#include "notefilereplace.h"

#include "wholefile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <stdexcept>

namespace {

// The linked text becomes a version, and the versions are pruned, once the
// save has returned to the event loop; whatever reads the versions earlier
// settles them itself, and so does the next start.
void settleAfterTheSave(const QString &dataFolder, int noteId, const HistoryKeeping &keeping, const QDateTime &now)
{
    auto settle = [dataFolder, noteId, keeping, now] { NoteHistory(dataFolder, noteId).prune(keeping, now); };
    if (QCoreApplication::instance())
        QTimer::singleShot(0, QCoreApplication::instance(), settle);
    else
        settle();
}

} // namespace

QString replaceNoteFile(const QString &dataFolder, int noteId, const QString &path, const QByteArray &text,
                        const HistoryKeeping &keeping, const QDateTime &now)
{
    QFile current(path);
    const bool kept = keeping.enabled && noteId > 0 && current.open(QIODevice::ReadOnly);
    if (current.isOpen()) {
        const QByteArray old = current.readAll();
        if (current.error() != QFileDevice::NoError)
            return QStringLiteral("cannot read its text to keep it: %1").arg(current.errorString());
        if (old == text)
            return QString();
        // Named by when it was saved: a save cut short after the version was
        // kept finds it already there when it is tried again.
        QDateTime savedAt = QFileInfo(current).lastModified();
        if (!savedAt.isValid())
            savedAt = now;
        // A second name keeps the text at once; only where the file cannot
        // have one is it copied inside the save.
        NoteHistory history(dataFolder, noteId);
        if (!history.keepByLink(path, savedAt)) {
            const QString problem = history.keep(old, savedAt);
            if (!problem.isEmpty())
                return problem;
        }
    }
    const QString problem = writeWholeFile(path, text);
    if (!problem.isEmpty())
        return problem;
    if (kept)
        settleAfterTheSave(dataFolder, noteId, keeping, now);
    return QString();
}

QString restoreNoteVersion(const QString &dataFolder, int noteId, const QString &path, const NoteVersion &version,
                           const HistoryKeeping &keeping, const QDateTime &now)
{
    QByteArray text;
    try {
        text = NoteHistory(dataFolder, noteId).text(version);
    } catch (const std::runtime_error &error) {
        return QString::fromUtf8(error.what());
    }
    return replaceNoteFile(dataFolder, noteId, path, text, keeping, now);
}
