#include "settings.h"

#include "profilefile.h"

#include <QFile>

namespace {
const QString Section = QStringLiteral("Tavlo");
const QString DefaultLanguage = QStringLiteral("en.ini");
} // namespace

Settings::Settings(QString programFolder)
    : m_programFolder(std::move(programFolder))
{
}

QString Settings::filePath() const
{
    return m_programFolder + QStringLiteral("tavlo.ini");
}

QString Settings::dataFolder() const
{
    return m_programFolder + QStringLiteral("data/");
}

QByteArray Settings::defaultContent() const
{
    return QStringLiteral("[Tavlo]\r\nlang=en.ini\r\ndefaultClick=1\r\ndatapath=%1\r\n").arg(dataFolder()).toUtf8();
}

void Settings::writeDefaultSettings() const
{
    QFile file(filePath());
    if (file.exists())
        return;
    if (file.open(QIODevice::NewOnly))
        file.write(defaultContent());
}

LoadedSettings Settings::loadSettings() const
{
    ProfileFile profile(filePath());
    LoadedSettings loaded;
    loaded.defaultClick = profile.readInteger(Section, QStringLiteral("defaultClick"), AddNoteClick);
    loaded.dataFolder = dataFolder();
    if (profile.readString(Section, QStringLiteral("datapath"), loaded.dataFolder) != loaded.dataFolder)
        profile.writeString(Section, QStringLiteral("datapath"), loaded.dataFolder);
    loaded.languageFileName = profile.readString(Section, QStringLiteral("lang"), DefaultLanguage);
    return loaded;
}

void Settings::saveDoubleClickAction(int action) const
{
    ProfileFile(filePath()).writeString(Section, QStringLiteral("defaultClick"), QString::number(action));
}

void Settings::saveLanguageFileName(const QString &fileName) const
{
    ProfileFile(filePath()).writeString(Section, QStringLiteral("lang"), fileName);
}

Settings::SearchScope Settings::searchScope() const
{
    const QString value = ProfileFile(filePath()).readString(Section, QStringLiteral("searchScope"), QString());
    return value.compare(QLatin1String("fulltext"), Qt::CaseInsensitive) == 0 ? SearchScope::FullText
                                                                              : SearchScope::Titles;
}

void Settings::saveSearchScope(SearchScope scope) const
{
    ProfileFile(filePath())
        .writeString(Section, QStringLiteral("searchScope"),
                     scope == SearchScope::FullText ? QStringLiteral("fulltext") : QStringLiteral("titles"));
}
