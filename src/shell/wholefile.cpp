#include "wholefile.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>

namespace {

constexpr qint64 CopyBlockSize = 256 * 1024;

// QSaveFile reports a short write without an error of its own; the system's
// reason is still in errno right after the call.
QString shortWriteReason(const QFileDevice &file, int systemError)
{
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    if (systemError != 0)
        return qt_error_string(systemError);
    return QStringLiteral("the file could not be written completely");
}

bool writeChecked(QSaveFile &file, const char *data, qint64 size, QString *reason)
{
    errno = 0;
    const qint64 written = file.write(data, size);
    if (written != size) {
        *reason = shortWriteReason(file, errno);
        return false;
    }
    return true;
}

} // namespace

QString writeToWholeFile(QSaveFile &file, const char *data, qint64 size)
{
    QString reason;
    if (!writeChecked(file, data, size, &reason)) {
        file.cancelWriting();
        return reason;
    }
    return QString();
}

QString finishWholeFile(QSaveFile &file)
{
    // The flush is checked on its own: the commit that follows a failed flush
    // may still rename the cut-off file into place and report nothing.
    errno = 0;
    if (!file.flush()) {
        const QString reason = shortWriteReason(file, errno);
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

QString writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QString reason;
    if (!writeChecked(file, bytes.constData(), bytes.size(), &reason)) {
        file.cancelWriting();
        return reason;
    }
    return finishWholeFile(file);
}

QString copyWholeFile(const QString &sourcePath, const QString &targetPath)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return source.errorString();
    QSaveFile target(targetPath);
    if (!target.open(QIODevice::WriteOnly))
        return target.errorString();
    QString reason;
    while (!source.atEnd()) {
        const QByteArray block = source.read(CopyBlockSize);
        if (block.isEmpty() && source.error() != QFileDevice::NoError) {
            target.cancelWriting();
            return source.errorString();
        }
        if (!writeChecked(target, block.constData(), block.size(), &reason)) {
            target.cancelWriting();
            return reason;
        }
    }
    return finishWholeFile(target);
}
