#include "syncformat.h"

#include "encryptedtarget.h"

#include <QJsonDocument>
#include <QUuid>

namespace {

constexpr int currentFormat = 1;

// The raw target as it is, for targets without encryption.
class PlainTarget : public SyncTarget
{
public:
    explicit PlainTarget(SyncTarget &inner)
        : m_inner(inner)
    {
    }
    std::optional<QByteArray> read(const QString &path) override { return m_inner.read(path); }
    void write(const QString &path, const QByteArray &bytes) override { m_inner.write(path, bytes); }
    bool writeNew(const QString &path, const QByteArray &bytes) override { return m_inner.writeNew(path, bytes); }
    QStringList list(const QString &folder) override { return m_inner.list(folder); }
    void remove(const QString &path) override { m_inner.remove(path); }
    void keepWritten() override { m_inner.keepWritten(); }
    bool keepsLater() const override { return m_inner.keepsLater(); }
    QString description() const override { return m_inner.description(); }
    qint64 requestCount() const override { return m_inner.requestCount(); }

private:
    SyncTarget &m_inner;
};

[[noreturn]] void unreadable(const SyncTarget &target)
{
    throw SyncTargetError(
        SyncFault::Damaged,
        QStringLiteral("%1 on %2 cannot be read").arg(SyncFormat::identityName, target.description()));
}

QByteArray checkToken(const TargetIdentity &identity)
{
    return identity.targetId.toUtf8();
}

} // namespace

const QString SyncFormat::identityName = QStringLiteral("clipnest-sync.json");

std::optional<TargetIdentity> SyncFormat::readIdentity(SyncTarget &target)
{
    const std::optional<QByteArray> bytes = target.read(identityName);
    if (!bytes)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    const QJsonObject json = document.object();
    const int format = json.value(QLatin1String("format")).toInt();
    if (format > currentFormat)
        throw SyncTargetError(SyncFault::Other,
                              QStringLiteral("%1 is kept by a newer version of Clipnest").arg(target.description()));
    TargetIdentity identity;
    identity.targetId = json.value(QLatin1String("target")).toString();
    identity.encrypted = json.value(QLatin1String("encryption")).isObject();
    identity.json = json;
    if (format != currentFormat || identity.targetId.isEmpty() ||
        !(identity.encrypted || json.value(QLatin1String("encryption")).isNull()))
        unreadable(target);
    return identity;
}

TargetIdentity SyncFormat::create(SyncTarget &target, const QString &passphrase, KeyCost cost)
{
    TargetIdentity identity;
    identity.targetId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    identity.encrypted = !passphrase.isEmpty();
    QJsonObject json{{QLatin1String("format"), currentFormat}, {QLatin1String("target"), identity.targetId}};
    if (identity.encrypted) {
        const QByteArray salt = EncryptedTarget::randomSalt();
        PlainTarget unused(target);
        const EncryptedTarget sealer(unused,
                                     EncryptedTarget::deriveKey(passphrase, salt, cost.opsLimit, cost.memLimit));
        json.insert(QLatin1String("encryption"),
                    QJsonObject{{QLatin1String("salt"), QString::fromLatin1(salt.toBase64())},
                                {QLatin1String("opslimit"), qint64(cost.opsLimit)},
                                {QLatin1String("memlimit"), qint64(cost.memLimit)},
                                {QLatin1String("check"),
                                 QString::fromLatin1(sealer.encrypt(identityName, checkToken(identity)).toBase64())}});
    } else {
        json.insert(QLatin1String("encryption"), QJsonValue::Null);
    }
    identity.json = json;
    if (target.writeNew(identityName, QJsonDocument(json).toJson())) {
        target.keepWritten();
        return identity;
    }
    if (std::optional<TargetIdentity> first = readIdentity(target))
        return *first;
    unreadable(target);
}

std::unique_ptr<SyncTarget> SyncFormat::unlock(SyncTarget &raw, const TargetIdentity &identity,
                                               const QString &passphrase)
{
    if (!identity.encrypted) {
        if (!passphrase.isEmpty())
            throw SyncTargetError(
                SyncFault::Other,
                QStringLiteral("%1 is not encrypted: sync it without a passphrase").arg(raw.description()));
        return std::make_unique<PlainTarget>(raw);
    }
    if (passphrase.isEmpty())
        throw SyncTargetError(SyncFault::Refused,
                              QStringLiteral("%1 is encrypted: its passphrase is needed").arg(raw.description()));
    const QJsonObject encryption = identity.json.value(QLatin1String("encryption")).toObject();
    const QByteArray salt = QByteArray::fromBase64(encryption.value(QLatin1String("salt")).toString().toLatin1());
    const QByteArray check = QByteArray::fromBase64(encryption.value(QLatin1String("check")).toString().toLatin1());
    auto target = std::make_unique<EncryptedTarget>(
        raw,
        EncryptedTarget::deriveKey(passphrase, salt, quint64(encryption.value(QLatin1String("opslimit")).toInteger()),
                                   quint64(encryption.value(QLatin1String("memlimit")).toInteger())));
    try {
        if (target->decrypt(identityName, check) == checkToken(identity))
            return target;
    } catch (const SyncTargetError &) {
        // A check that does not open was sealed with another key.
    }
    throw SyncTargetError(SyncFault::Damaged, QStringLiteral("The passphrase is wrong for %1").arg(raw.description()));
}
