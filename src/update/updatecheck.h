#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

// What the version file on the product's web site says: "major.minor|address".
struct PublishedVersion
{
    QString version; // the text before the first "|"
    int major = 0;
    int minor = 0;
    QString address; // everything after the first "|"
};

// Reads the version file; nothing when it has no "|" or its version is not two
// whole numbers.
std::optional<PublishedVersion> parseVersionFile(const QByteArray &text);

// Major and minor are compared each on its own: a larger one of either means a
// newer version (2.0 running, 1.5 published: 5 > 0, so it is offered).
bool isOffered(const PublishedVersion &published, int runningMajor, int runningMinor);

struct UpdateOutcome
{
    enum Kind {
        ConnectFail,     // the site cannot be reached
        UpdateFileError, // the version file cannot be read, also when the site connects and never answers
        NoNeedDownload,
        Offer,  // a newer version: ask whether to download it
        Silent, // the file says nothing usable
    } kind = Silent;
    PublishedVersion published;
};

// One update check, on its own thread from its creation. The outcome is handed
// to report on that thread. Destroying the object waits for the thread; cancel()
// first makes that wait short.
class TTavloUpdateThread
{
public:
    // siteBase is the site's root address without trailing "/".
    TTavloUpdateThread(QString siteBase, int runningMajor, int runningMinor,
                       std::function<void(const UpdateOutcome &)> report);
    ~TTavloUpdateThread();
    TTavloUpdateThread(const TTavloUpdateThread &) = delete;
    TTavloUpdateThread &operator=(const TTavloUpdateThread &) = delete;

    // Ends a transfer still running; the outcome is then not reported.
    void cancel();

    static constexpr int DefaultTimeLimitMs = 30000;
    // The most the version file is read: one read of a 1023-byte buffer.
    static constexpr int ReadLimit = 1023;

    // Reads the first 1023 bytes of the version file (or the whole file when it
    // is shorter) and decides on them; the rest of a longer answer is not
    // waited for. cancelled, when given and set, ends the transfer early;
    // timeLimitMs bounds the whole check.
    static UpdateOutcome check(const QString &siteBase, int runningMajor, int runningMinor,
                               const std::atomic<bool> *cancelled = nullptr, int timeLimitMs = DefaultTimeLimitMs);

private:
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    std::thread m_thread;
};
