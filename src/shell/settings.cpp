#include "settings.h"

#include "profilefile.h"
#include "wholefile.h"

#include <QFile>

#include <algorithm>

#include <stdexcept>

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

bool Settings::writeDefaultSettings(QString *error) const
{
    if (QFile::exists(filePath()))
        return true;
    const QString failure = writeWholeFile(filePath(), defaultContent());
    if (error && !failure.isEmpty())
        *error = writeFailure(failure);
    return failure.isEmpty();
}

QString Settings::writeFailure(const QString &reason) const
{
    return QStringLiteral("Cannot write the settings file \"%1\": %2").arg(filePath(), reason);
}

LoadedSettings Settings::loadSettings() const
{
    ProfileFile profile(filePath());
    LoadedSettings loaded;
    loaded.defaultClick = profile.readInteger(Section, QStringLiteral("defaultClick"), AddNoteClick);
    loaded.dataFolder = dataFolder();
    if (profile.readString(Section, QStringLiteral("datapath"), loaded.dataFolder) != loaded.dataFolder) {
        QString reason;
        if (!profile.writeString(Section, QStringLiteral("datapath"), loaded.dataFolder, &reason))
            loaded.writeError = writeFailure(reason);
    }
    loaded.languageFileName = profile.readString(Section, QStringLiteral("lang"), DefaultLanguage);
    // Keys of their own, which older copies ignore; a count below zero is no count.
    const HistoryKeeping defaults;
    loaded.history.enabled = profile.readInteger(Section, QStringLiteral("history"), 1) != 0;
    loaded.history.allDays =
        std::max(0, profile.readInteger(Section, QStringLiteral("historyAllDays"), defaults.allDays));
    loaded.history.dailyDays =
        std::max(0, profile.readInteger(Section, QStringLiteral("historyDailyDays"), defaults.dailyDays));
    loaded.history.monthlyMonths =
        std::max(0, profile.readInteger(Section, QStringLiteral("historyMonthlyMonths"), defaults.monthlyMonths));
    loaded.trashDays =
        std::max(0, profile.readInteger(Section, QStringLiteral("trashDays"), LoadedSettings{}.trashDays));
    return loaded;
}

void Settings::writeKey(const QString &key, const QString &value) const
{
    QString reason;
    if (!ProfileFile(filePath()).writeString(Section, key, value, &reason))
        throw std::runtime_error(writeFailure(reason).toStdString());
}

void Settings::saveDoubleClickAction(int action) const
{
    writeKey(QStringLiteral("defaultClick"), QString::number(action));
}

void Settings::saveLanguageFileName(const QString &fileName) const
{
    writeKey(QStringLiteral("lang"), fileName);
}

Settings::SearchScope Settings::searchScope() const
{
    const QString value = ProfileFile(filePath()).readString(Section, QStringLiteral("searchScope"), QString());
    return value.compare(QLatin1String("fulltext"), Qt::CaseInsensitive) == 0 ? SearchScope::FullText
                                                                              : SearchScope::Titles;
}

void Settings::saveSearchScope(SearchScope scope) const
{
    writeKey(QStringLiteral("searchScope"),
             scope == SearchScope::FullText ? QStringLiteral("fulltext") : QStringLiteral("titles"));
}

QString Settings::lastFolder(const QString &command) const
{
    return ProfileFile(filePath()).readString(Section, command + QLatin1String("Folder"), QString());
}

bool Settings::saveLastFolder(const QString &command, const QString &folder) const
{
    return ProfileFile(filePath()).writeString(Section, command + QLatin1String("Folder"), folder);
}
