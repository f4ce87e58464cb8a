#pragma once

#include <QString>

#include <optional>

// The sync password and passphrase, kept in the desktop's secret store (the
// Secret Service of GNOME Keyring or KWallet, through QtKeychain), under the
// target they belong to. Nothing is written to a file of the program's. Each
// call waits for the store's answer, turning the event loop.
class SyncSecrets
{
public:
    enum class Kind { Password, Passphrase };

    // The secret kept for the target, or nothing; why the store could not be
    // asked goes to error when one is given.
    static std::optional<QString> read(Kind kind, const QString &target, QString *error = nullptr);
    // Keeps the secret for the target; an empty one removes it. Answers false,
    // with the store's reason in error, when the desktop has no store or it
    // refused.
    static bool write(Kind kind, const QString &target, const QString &secret, QString *error = nullptr);

private:
    static QString keyOf(Kind kind, const QString &target);
};
