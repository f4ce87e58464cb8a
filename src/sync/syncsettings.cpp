#include "syncsettings.h"

#include "profilefile.h"
#include "settings.h"

#include <algorithm>
#include <stdexcept>

namespace {

const QString Section = QStringLiteral("Tavlo");

} // namespace

SyncSettings::SyncSettings(QString programFolder)
    : m_programFolder(std::move(programFolder))
{
}

bool SyncSettings::isWebDav(const QString &target)
{
    return target.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
           || target.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

SyncPlace SyncSettings::load() const
{
    const ProfileFile profile(Settings(m_programFolder).filePath());
    SyncPlace place;
    place.target = profile.readString(Section, QStringLiteral("syncTarget"), QString()).trimmed();
    place.user = profile.readString(Section, QStringLiteral("syncUser"), QString());
    place.certificatePin = profile.readString(Section, QStringLiteral("syncCertificate"), QString());
    place.everyMinutes = std::max(0, profile.readInteger(Section, QStringLiteral("syncEveryMinutes"), place.everyMinutes));
    return place;
}

void SyncSettings::save(const SyncPlace &place) const
{
    const Settings settings(m_programFolder);
    ProfileFile profile(settings.filePath());
    const std::pair<QString, QString> keys[] = {
        {QStringLiteral("syncTarget"), place.target},
        {QStringLiteral("syncUser"), place.user},
        {QStringLiteral("syncCertificate"), place.certificatePin},
        {QStringLiteral("syncEveryMinutes"), QString::number(place.everyMinutes)},
    };
    for (const auto &[key, value] : keys) {
        QString reason;
        if (!profile.writeString(Section, key, value, &reason))
            throw std::runtime_error(settings.writeFailure(reason).toStdString());
    }
}
