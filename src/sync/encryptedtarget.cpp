#include "encryptedtarget.h"

#include <sodium.h>

#include <cstring>

namespace {

const QByteArray magic = "CNE1";
constexpr qsizetype chunkSize = 64 * 1024;
constexpr qsizetype nameTagSize = 16;
const char kdfContext[crypto_kdf_CONTEXTBYTES + 1] = "clipnest";

void initialiseSodium()
{
    if (sodium_init() < 0)
        throw SyncTargetError(SyncFault::Other, QStringLiteral("The encryption library cannot start"));
}

QByteArray subkey(const QByteArray &key, quint64 id)
{
    QByteArray sub(crypto_kdf_KEYBYTES, Qt::Uninitialized);
    crypto_kdf_derive_from_key(reinterpret_cast<unsigned char *>(sub.data()), size_t(sub.size()), id, kdfContext,
                               reinterpret_cast<const unsigned char *>(key.constData()));
    return sub;
}

const unsigned char *bytesOf(const QByteArray &bytes)
{
    return reinterpret_cast<const unsigned char *>(bytes.constData());
}

unsigned char *bytesOf(QByteArray &bytes)
{
    return reinterpret_cast<unsigned char *>(bytes.data());
}

[[noreturn]] void damaged(const QString &path)
{
    throw SyncTargetError(
        SyncFault::Damaged,
        QStringLiteral("%1 cannot be decrypted: it was changed, or the passphrase is wrong").arg(path));
}

bool isJournalEntry(const QString &path)
{
    return path.startsWith(QLatin1String("journal/")) && path.count(QLatin1Char('/')) == 1;
}

} // namespace

EncryptedTarget::EncryptedTarget(SyncTarget &inner, const QByteArray &key)
    : m_inner(inner)
{
    initialiseSodium();
    if (key.size() != keySize)
        throw SyncTargetError(SyncFault::Other, QStringLiteral("Not an encryption key"));
    m_contentKey = subkey(key, 1);
    m_nameTagKey = subkey(key, 2);
    m_nameKey = subkey(key, 3);
}

EncryptedTarget::~EncryptedTarget()
{
    for (QByteArray *key : {&m_contentKey, &m_nameTagKey, &m_nameKey})
        sodium_memzero(key->data(), size_t(key->size()));
}

QByteArray EncryptedTarget::deriveKey(const QString &passphrase, const QByteArray &salt, quint64 opsLimit,
                                      quint64 memLimit)
{
    initialiseSodium();
    // The settings come from the target: changed ones must not make this
    // computer work for hours or run out of memory.
    if (salt.size() != saltSize || opsLimit < crypto_pwhash_OPSLIMIT_MIN || opsLimit > 16 ||
        memLimit < crypto_pwhash_MEMLIMIT_MIN || memLimit > 1024ull * 1024 * 1024)
        throw SyncTargetError(SyncFault::Damaged,
                              QStringLiteral("The encryption settings of the target cannot be used"));
    QByteArray key(keySize, Qt::Uninitialized);
    QByteArray secret = passphrase.toUtf8();
    const int result = crypto_pwhash(bytesOf(key), size_t(key.size()), secret.constData(), size_t(secret.size()),
                                     bytesOf(salt), opsLimit, size_t(memLimit), crypto_pwhash_ALG_ARGON2ID13);
    sodium_memzero(secret.data(), size_t(secret.size()));
    if (result != 0)
        throw SyncTargetError(SyncFault::Other,
                              QStringLiteral("Not enough memory to derive the key of the passphrase"));
    return key;
}

QByteArray EncryptedTarget::randomSalt()
{
    initialiseSodium();
    QByteArray salt(saltSize, Qt::Uninitialized);
    randombytes_buf(salt.data(), size_t(salt.size()));
    return salt;
}

// Items may be megabytes: they go in chunks, the last one marked final, so
// that a cut item is refused like a changed one. The name is bound to every
// chunk: an item moved to another name does not open.
QByteArray EncryptedTarget::encrypt(const QString &path, const QByteArray &plain) const
{
    const QByteArray name = path.toUtf8();
    crypto_secretstream_xchacha20poly1305_state state;
    QByteArray sealed = magic;
    sealed.resize(magic.size() + crypto_secretstream_xchacha20poly1305_HEADERBYTES);
    crypto_secretstream_xchacha20poly1305_init_push(&state, bytesOf(sealed) + magic.size(), bytesOf(m_contentKey));
    qsizetype offset = 0;
    do {
        const qsizetype step = std::min(chunkSize, plain.size() - offset);
        const bool last = offset + step == plain.size();
        const qsizetype at = sealed.size();
        sealed.resize(at + step + crypto_secretstream_xchacha20poly1305_ABYTES);
        crypto_secretstream_xchacha20poly1305_push(&state, bytesOf(sealed) + at, nullptr, bytesOf(plain) + offset,
                                                   size_t(step), bytesOf(name), size_t(name.size()),
                                                   last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        offset += step;
    } while (offset < plain.size());
    return sealed;
}

QByteArray EncryptedTarget::decrypt(const QString &path, const QByteArray &sealed) const
{
    const QByteArray name = path.toUtf8();
    const qsizetype start = magic.size() + crypto_secretstream_xchacha20poly1305_HEADERBYTES;
    crypto_secretstream_xchacha20poly1305_state state;
    if (!sealed.startsWith(magic) || sealed.size() < start + crypto_secretstream_xchacha20poly1305_ABYTES ||
        crypto_secretstream_xchacha20poly1305_init_pull(&state, bytesOf(sealed) + magic.size(),
                                                        bytesOf(m_contentKey)) != 0)
        damaged(path);
    QByteArray plain;
    plain.reserve(sealed.size() - start);
    qsizetype offset = start;
    unsigned char tag = 0;
    while (offset < sealed.size()) {
        const qsizetype step =
            std::min(chunkSize + qsizetype(crypto_secretstream_xchacha20poly1305_ABYTES), sealed.size() - offset);
        if (step < qsizetype(crypto_secretstream_xchacha20poly1305_ABYTES) ||
            tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL)
            damaged(path);
        const qsizetype at = plain.size();
        plain.resize(at + step - crypto_secretstream_xchacha20poly1305_ABYTES);
        if (crypto_secretstream_xchacha20poly1305_pull(&state, bytesOf(plain) + at, nullptr, &tag,
                                                       bytesOf(sealed) + offset, size_t(step), bytesOf(name),
                                                       size_t(name.size())) != 0)
            damaged(path);
        offset += step;
    }
    if (tag != crypto_secretstream_xchacha20poly1305_TAG_FINAL)
        damaged(path);
    return plain;
}

// The last part of the path becomes a keyed hash of it (which also serves as
// the nonce) followed by the name encrypted with it, in hex, so that names
// survive folders that ignore case.
QString EncryptedTarget::storedPath(const QString &path) const
{
    if (isJournalEntry(path))
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    QByteArray name = path.mid(slash + 1).toUtf8();
    if (name.isEmpty())
        throw SyncTargetError(SyncFault::Other, QStringLiteral("Not an item name: %1").arg(path));
    QByteArray stored(nameTagSize + name.size(), Qt::Uninitialized);
    crypto_generichash(bytesOf(stored), nameTagSize, bytesOf(name), size_t(name.size()), bytesOf(m_nameTagKey),
                       size_t(m_nameTagKey.size()));
    unsigned char nonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    std::memcpy(nonce, stored.constData(), nameTagSize);
    crypto_stream_xchacha20_xor(bytesOf(stored) + nameTagSize, bytesOf(name), size_t(name.size()), nonce,
                                bytesOf(m_nameKey));
    return path.left(slash + 1) + QString::fromLatin1(stored.toHex());
}

std::optional<QString> EncryptedTarget::plainName(const QString &storedName) const
{
    const QByteArray stored = QByteArray::fromHex(storedName.toLatin1());
    if (stored.size() <= nameTagSize || stored.toHex() != storedName.toLatin1())
        return std::nullopt;
    unsigned char nonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    std::memcpy(nonce, stored.constData(), nameTagSize);
    QByteArray name(stored.size() - nameTagSize, Qt::Uninitialized);
    crypto_stream_xchacha20_xor(bytesOf(name), bytesOf(stored) + nameTagSize, size_t(name.size()), nonce,
                                bytesOf(m_nameKey));
    unsigned char tag[nameTagSize];
    crypto_generichash(tag, nameTagSize, bytesOf(name), size_t(name.size()), bytesOf(m_nameTagKey),
                       size_t(m_nameTagKey.size()));
    // A name made with another key, or by someone else: not one of ours.
    if (sodium_memcmp(tag, stored.constData(), nameTagSize) != 0)
        return std::nullopt;
    return QString::fromUtf8(name);
}

std::optional<QByteArray> EncryptedTarget::read(const QString &path)
{
    const std::optional<QByteArray> sealed = m_inner.read(storedPath(path));
    if (!sealed)
        return std::nullopt;
    return decrypt(path, *sealed);
}

void EncryptedTarget::write(const QString &path, const QByteArray &bytes)
{
    m_inner.write(storedPath(path), encrypt(path, bytes));
}

bool EncryptedTarget::writeNew(const QString &path, const QByteArray &bytes)
{
    return m_inner.writeNew(storedPath(path), encrypt(path, bytes));
}

QStringList EncryptedTarget::list(const QString &folder)
{
    const QStringList stored = m_inner.list(folder);
    if (folder == QLatin1String("journal"))
        return stored;
    QStringList names;
    for (const QString &name : stored) {
        if (const std::optional<QString> plain = plainName(name))
            names.append(*plain);
    }
    names.sort();
    return names;
}

void EncryptedTarget::remove(const QString &path)
{
    m_inner.remove(storedPath(path));
}
