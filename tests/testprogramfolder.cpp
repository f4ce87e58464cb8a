#include "testprogramfolder.h"

#include <QDir>
#include <QFile>

TestProgramFolder::TestProgramFolder(const QString &source)
{
    QDir(path()).mkpath(QStringLiteral("data"));
    for (const char *file : {"notes.fdb", "en.ini", "cn.ini", "logo", "data/template.html"}) {
        const QString name = QLatin1String(file);
        QFile::copy(source + name, path() + name);
        QFile::setPermissions(path() + name, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }
}

QString TestProgramFolder::buildProgramFolder()
{
    return QStringLiteral(CLIPNEST_BUILD_PROGRAM_DIR);
}
