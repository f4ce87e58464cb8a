#include "enginefolders.h"

#include "instanceguard.h"

#include <QFile>

#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A real folder of this user's that no one else may enter, made when missing.
bool ensureOwnFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    ::mkdir(name.constData(), 0700);
    struct stat info;
    return ::lstat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 077) == 0;
}

} // namespace

QString EngineFolders::useOwn()
{
    static std::once_flag once;
    static QString folder;
    std::call_once(once, [] {
        const QString runtime = InstanceGuard::runtimeFolder();
        if (runtime.isEmpty()) {
            qWarning("Clipnest: no private folder for the database engine's locks; it uses its own default");
            return;
        }
        const QString own = runtime + QStringLiteral("/firebird");
        if (!ensureOwnFolder(own)) {
            qWarning("Clipnest: cannot make the database engine's lock folder %s", qPrintable(own));
            return;
        }
        qputenv("FIREBIRD_LOCK", QFile::encodeName(own));
        qputenv("FIREBIRD_TMP", QFile::encodeName(own));
        folder = own;
    });
    return folder;
}
