#pragma once

#include <QString>

// Where and how this collection syncs, kept in keys of their own in the
// settings file (older copies ignore them). The password and the passphrase
// are never kept here: see SyncSecrets.
struct SyncPlace
{
    QString target;         // a WebDAV address (http:// or https://) or a folder; empty: sync is off
    QString user;           // the WebDAV user name
    QString certificatePin; // the accepted public key of a certificate no authority vouches for, "sha256//..."
    int everyMinutes = 5;   // a sync by itself this often while the program runs; 0: only after saves and by hand
};

class SyncSettings
{
public:
    // programFolder ends with "/".
    explicit SyncSettings(QString programFolder);

    SyncPlace load() const;
    // Writes every key; std::runtime_error naming the file when it cannot be written.
    void save(const SyncPlace &place) const;

    // Whether the target names a WebDAV folder rather than a local one.
    static bool isWebDav(const QString &target);

private:
    QString m_programFolder;
};
