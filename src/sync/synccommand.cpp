#include "synccommand.h"

#include "appcontext.h"
#include "instanceguard.h"
#include "runningcopy.h"
#include "syncsecrets.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSysInfo>
#include <QTextStream>

namespace SyncCommand {

namespace {

// A first sync of a large collection may take long; a cron job still ends some time.
constexpr int RunningCopyTimeoutMs = 6 * 60 * 60 * 1000;

} // namespace

Overrides Overrides::fromEnvironment(const QString &target)
{
    Overrides overrides;
    overrides.target = target;
    overrides.hasUser = qEnvironmentVariableIsSet("CLIPNEST_SYNC_USER");
    overrides.user = qEnvironmentVariable("CLIPNEST_SYNC_USER");
    overrides.hasPassword = qEnvironmentVariableIsSet("CLIPNEST_SYNC_PASSWORD");
    overrides.password = qEnvironmentVariable("CLIPNEST_SYNC_PASSWORD");
    overrides.hasPassphrase = qEnvironmentVariableIsSet("CLIPNEST_SYNC_PASSPHRASE");
    overrides.passphrase = qEnvironmentVariable("CLIPNEST_SYNC_PASSPHRASE");
    return overrides;
}

QByteArray Overrides::toJson() const
{
    QJsonObject object;
    if (!target.isEmpty())
        object.insert(QStringLiteral("target"), target);
    if (hasUser)
        object.insert(QStringLiteral("user"), user);
    if (hasPassword)
        object.insert(QStringLiteral("password"), password);
    if (hasPassphrase)
        object.insert(QStringLiteral("passphrase"), passphrase);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

Overrides Overrides::fromJson(const QByteArray &json)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    Overrides overrides;
    overrides.target = object.value(QStringLiteral("target")).toString();
    overrides.hasUser = object.contains(QStringLiteral("user"));
    overrides.user = object.value(QStringLiteral("user")).toString();
    overrides.hasPassword = object.contains(QStringLiteral("password"));
    overrides.password = object.value(QStringLiteral("password")).toString();
    overrides.hasPassphrase = object.contains(QStringLiteral("passphrase"));
    overrides.passphrase = object.value(QStringLiteral("passphrase")).toString();
    return overrides;
}

SyncRequest Overrides::applyTo(SyncRequest request) const
{
    if (!target.isEmpty() && target != request.place.target) {
        // Another target than the one kept: its certificate is not the kept one's.
        request.place.target = target;
        request.place.certificatePin.clear();
    }
    if (hasUser)
        request.place.user = user;
    if (hasPassword)
        request.password = password;
    if (hasPassphrase)
        request.passphrase = passphrase;
    return request;
}

int exitStatusOf(SyncEnd end)
{
    switch (end) {
    case SyncEnd::Synced:
        return Synced;
    case SyncEnd::MassDeleteHeld:
    case SyncEnd::TargetEmpty:
    case SyncEnd::TargetUnknown:
    case SyncEnd::Certificate:
        return Held;
    case SyncEnd::Cancelled:
    case SyncEnd::Passphrase:
    case SyncEnd::Failed:
        break;
    }
    return Failed;
}

QString describe(const SyncReport &report, const QString &target)
{
    switch (report.end) {
    case SyncEnd::Synced:
        return QStringLiteral("synced with %1: %2 received, %3 sent, %4 conflicts")
            .arg(target)
            .arg(report.outcome.received)
            .arg(report.outcome.sent)
            .arg(report.outcome.conflicts);
    case SyncEnd::Cancelled:
        return QStringLiteral("the sync was stopped; the next one goes on from there");
    case SyncEnd::MassDeleteHeld:
        return QStringLiteral("not synced: it would move %1 notes to the trash, more than half of them. Nothing was "
                              "changed; run Sync now in the program to decide.")
            .arg(report.outcome.deletionsHeld);
    case SyncEnd::TargetEmpty:
        return QStringLiteral("not synced: %1 holds no notes, although this collection was synced with it before "
                              "(another folder or server, or a drive not mounted?). Nothing was changed.")
            .arg(target);
    case SyncEnd::TargetUnknown:
        return QStringLiteral("not synced: %1 holds another collection than the one this collection was synced "
                              "with. Nothing was changed.")
            .arg(target);
    case SyncEnd::Certificate:
        return QStringLiteral("not synced: the certificate of %1 is not trusted (its key: %2); accept it in the "
                              "program's sync settings.")
            .arg(target, report.certificatePin);
    case SyncEnd::Passphrase:
        return QStringLiteral("not synced: %1").arg(report.message);
    case SyncEnd::Failed:
        break;
    }
    return QStringLiteral("sync failed: %1").arg(report.message);
}

QByteArray answerJson(const SyncReport &report, const QString &target)
{
    QJsonObject object;
    object.insert(QStringLiteral("status"), exitStatusOf(report.end));
    object.insert(QStringLiteral("message"), describe(report, target));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

int run(const QString &programFolder, const QString &targetOption, QTextStream &out, QTextStream &err)
{
    const Overrides overrides = Overrides::fromEnvironment(targetOption);
    InstanceGuard guard;
    if (!guard.tryAcquire()) {
        const std::optional<QByteArray> answer =
            RunningCopy::askToSync(InstanceGuard::runtimeFolder(), overrides.toJson(), RunningCopyTimeoutMs);
        if (!answer) {
            err << "clipnest: Clipnest is running and did not answer the sync request." << Qt::endl;
            return Failed;
        }
        const QJsonObject object = QJsonDocument::fromJson(*answer).object();
        const int status = object.value(QStringLiteral("status")).toInt(Failed);
        (status == Synced ? out : err) << (status == Synced ? "" : "clipnest: ")
                                       << object.value(QStringLiteral("message")).toString() << Qt::endl;
        return status;
    }

    SyncSettings settings(programFolder);
    SyncRequest request;
    request.place = settings.load();
    const bool firstTarget = request.place.target.isEmpty() && !overrides.target.isEmpty();
    if (!request.place.target.isEmpty() || !overrides.target.isEmpty()) {
        const QString target = overrides.target.isEmpty() ? request.place.target : overrides.target;
        request.password = SyncSecrets::read(SyncSecrets::Kind::Password, target).value_or(QString());
        request.passphrase = SyncSecrets::read(SyncSecrets::Kind::Passphrase, target).value_or(QString());
    }
    request = overrides.applyTo(request);
    if (request.place.target.isEmpty()) {
        err << "clipnest: no sync target is set: choose one in File > Sync settings, or give --sync-target." << Qt::endl;
        return Usage;
    }
    request.computerName = QSysInfo::machineHostName();
    if (firstTarget) {
        try {
            settings.save(request.place);
        } catch (const std::exception &error) {
            err << "clipnest: " << error.what() << Qt::endl;
            return Failed;
        }
    }
    const AppContext context(programFolder);
    qint64 shownAt = -1;
    const SyncReport report = runSync(
        context, request,
        [&err, &shownAt](const SyncProgress &progress) {
            // A line now and then for a long first sync; nothing for a quick one.
            if (progress.total >= 1000 && progress.done / 1000 != shownAt) {
                shownAt = progress.done / 1000;
                err << "clipnest: syncing " << QLocale(QLocale::English).toString(progress.done) << " of "
                    << QLocale(QLocale::English).toString(progress.total) << Qt::endl;
            }
        },
        {});
    const int status = exitStatusOf(report.end);
    (status == Synced ? out : err) << (status == Synced ? "" : "clipnest: ") << describe(report, request.place.target)
                                   << Qt::endl;
    return status;
}

} // namespace SyncCommand
