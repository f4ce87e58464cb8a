#pragma once

#include "synctarget.h"

#include <QJsonObject>

#include <memory>

// What the identity item of a target says.
struct TargetIdentity
{
    QString targetId;
    bool encrypted = false;
    QJsonObject json;
};

// How costly the key of a passphrase is to derive (Argon2id): dear enough to
// slow down guessing, cheap enough for a start-up.
struct KeyCost
{
    quint64 opsLimit = 3;
    quint64 memLimit = 64ull * 1024 * 1024;
};

// The identity item "clipnest-sync.json" that makes a folder a sync target:
// {"format": 1, "target": "<uuid>", "encryption": null or {salt, opslimit,
// memlimit, check}}. It is written once and stays readable; with a passphrase
// every other item goes through an EncryptedTarget.
class SyncFormat
{
public:
    static const QString identityName;

    // Nothing when the target has no identity yet; throws when it has one that
    // cannot be read or is of a newer format.
    static std::optional<TargetIdentity> readIdentity(SyncTarget &target);
    // Makes the target's identity, encrypted when a passphrase is given. When
    // another computer made one first, answers that one.
    static TargetIdentity create(SyncTarget &target, const QString &passphrase, KeyCost cost = {});
    // The target to sync through: raw itself, or raw behind an EncryptedTarget
    // with the key of the passphrase. Refuses a wrong passphrase, a missing one
    // and one given for a target without encryption. raw outlives the answer.
    static std::unique_ptr<SyncTarget> unlock(SyncTarget &raw, const TargetIdentity &identity,
                                              const QString &passphrase);
};
