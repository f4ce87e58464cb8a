#pragma once

#include "synctarget.h"

// A target whose items are encrypted before they leave the computer
// (libsodium's XChaCha20-Poly1305 secretstream, each item bound to its name)
// and whose item names reveal nothing: every name but those in journal/ is
// replaced by a keyed hash of it followed by the name encrypted, so that
// listing still gives the names back. A wrong key or a changed item reads as
// SyncFault::Damaged. The inner target is not owned and outlives this one.
class EncryptedTarget : public SyncTarget
{
public:
    static constexpr int keySize = 32;
    static constexpr int saltSize = 16;

    // key: keySize bytes, from deriveKey.
    EncryptedTarget(SyncTarget &inner, const QByteArray &key);
    ~EncryptedTarget() override;

    // The key of a passphrase (Argon2id).
    static QByteArray deriveKey(const QString &passphrase, const QByteArray &salt, quint64 opsLimit, quint64 memLimit);
    static QByteArray randomSalt();

    // The bytes of an item as stored under path, and back.
    QByteArray encrypt(const QString &path, const QByteArray &plain) const;
    QByteArray decrypt(const QString &path, const QByteArray &sealed) const;

    std::optional<QByteArray> read(const QString &path) override;
    void write(const QString &path, const QByteArray &bytes) override;
    bool writeNew(const QString &path, const QByteArray &bytes) override;
    QStringList list(const QString &folder) override;
    void remove(const QString &path) override;
    void keepWritten() override { m_inner.keepWritten(); }
    bool keepsLater() const override { return m_inner.keepsLater(); }
    QString description() const override { return m_inner.description(); }
    qint64 requestCount() const override { return m_inner.requestCount(); }

private:
    QString storedPath(const QString &path) const;
    std::optional<QString> plainName(const QString &storedName) const;

    SyncTarget &m_inner;
    QByteArray m_contentKey;
    QByteArray m_nameTagKey;
    QByteArray m_nameKey;
};
