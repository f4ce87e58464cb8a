#include "programfolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <unistd.h>

namespace {

const QString DatabaseFile = QStringLiteral("notes.fdb");
// The user's own from the first start on: never replaced.
const QStringList KeptFiles{DatabaseFile, QStringLiteral("data/template.html")};

bool holdsDatabase(const QString &folder)
{
    return !folder.isEmpty() && QFileInfo(folder + DatabaseFile).isFile();
}

[[noreturn]] void fail(const QString &what, const QString &path, const QString &reason)
{
    throw std::runtime_error(QStringLiteral("Cannot %1 \"%2\": %3").arg(what, path, reason).toStdString());
}

void copyOver(const QString &source, const QString &target)
{
    const QString partial =
        QFileInfo(target).absolutePath() + QStringLiteral("/.") + QFileInfo(target).fileName() + QStringLiteral(".new");
    QFile::remove(partial);
    QFile input(source);
    if (!input.copy(partial))
        fail(QStringLiteral("copy the shipped file"), source, input.errorString());
    // The package's copies are read-only for the user; the user's copies are not.
    QFile::setPermissions(partial, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    QFile copied(partial);
    const QDateTime shippedTime = QFileInfo(source).lastModified();
    if (copied.open(QIODevice::ReadWrite)) {
        copied.setFileTime(shippedTime, QFileDevice::FileModificationTime);
        copied.close();
    }
    // rename(2) replaces the old copy in one step; there is never a moment without one.
    if (::rename(QFile::encodeName(partial).constData(), QFile::encodeName(target).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(partial);
        fail(QStringLiteral("write"), target, reason);
    }
}

} // namespace

const QStringList &ProgramFolder::shippedFiles()
{
    static const QStringList files{DatabaseFile, QStringLiteral("en.ini"), QStringLiteral("cn.ini"),
                                   QStringLiteral("logo"), QStringLiteral("data/template.html")};
    return files;
}

QString ProgramFolder::settle(const QString &executableFolder, const QString &shippedFilesFolder,
                              const QString &userFolder)
{
    if (holdsDatabase(executableFolder)) {
        // Notes beside the executable are the user's: another folder would show
        // the catalog without its files, and what is saved there would be lost
        // to this one.
        if (::access(QFile::encodeName(executableFolder).constData(), W_OK) != 0) {
            const int error = errno;
            throw std::runtime_error(
                QStringLiteral("The program folder \"%1\" holds the notes but cannot be written: %2. Make it "
                               "writable for your account, then start Clipnest again.")
                    .arg(executableFolder, QString::fromLocal8Bit(std::strerror(error)))
                    .toStdString());
        }
        return executableFolder;
    }
    if (!holdsDatabase(shippedFilesFolder))
        return executableFolder;
    const QString &source = shippedFilesFolder;

    if (!QDir().mkpath(userFolder + QStringLiteral("data")))
        fail(QStringLiteral("create the folder"), userFolder + QStringLiteral("data"),
             QStringLiteral("permission denied or no space left"));
    for (const QString &name : shippedFiles()) {
        const QFileInfo shipped(source + name);
        const QFileInfo copy(userFolder + name);
        if (!shipped.isFile())
            continue;
        if (!copy.exists() || (!KeptFiles.contains(name) && shipped.lastModified() > copy.lastModified()))
            copyOver(shipped.filePath(), copy.filePath());
    }
    return userFolder;
}

QString ProgramFolder::settleForThisProgram()
{
    const QString executableFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QString shippedFolder =
        QDir::cleanPath(executableFolder + QStringLiteral(CLIPNEST_SHIPPED_FILES_FROM_EXECUTABLE)) + QLatin1Char('/');
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    // The base directory specification ignores relative paths.
    if (home.isEmpty() || QDir::isRelativePath(home))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    return settle(executableFolder, shippedFolder, home + QStringLiteral("/Clipnest/"));
}
