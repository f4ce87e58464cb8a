#include "syncsecrets.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>

namespace {

const QString Service = QStringLiteral("Clipnest sync");

// Runs a job to its end and answers its error text, empty on success.
QString finish(QKeychain::Job &job)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    loop.exec();
    return job.error() == QKeychain::NoError ? QString() : job.errorString();
}

} // namespace

QString SyncSecrets::keyOf(Kind kind, const QString &target)
{
    return (kind == Kind::Password ? QStringLiteral("password ") : QStringLiteral("passphrase ")) + target;
}

std::optional<QString> SyncSecrets::read(Kind kind, const QString &target, QString *error)
{
    QKeychain::ReadPasswordJob job(Service);
    job.setKey(keyOf(kind, target));
    const QString failure = finish(job);
    if (job.error() == QKeychain::EntryNotFound)
        return std::nullopt;
    if (!failure.isEmpty()) {
        if (error)
            *error = failure;
        return std::nullopt;
    }
    return job.textData();
}

bool SyncSecrets::write(Kind kind, const QString &target, const QString &secret, QString *error)
{
    QString failure;
    if (secret.isEmpty()) {
        QKeychain::DeletePasswordJob job(Service);
        job.setKey(keyOf(kind, target));
        failure = finish(job);
        if (job.error() == QKeychain::EntryNotFound)
            failure.clear();
    } else {
        QKeychain::WritePasswordJob job(Service);
        job.setKey(keyOf(kind, target));
        job.setTextData(secret);
        failure = finish(job);
    }
    if (!failure.isEmpty() && error)
        *error = failure;
    return failure.isEmpty();
}
