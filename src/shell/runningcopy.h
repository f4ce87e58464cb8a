#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>
#include <optional>

class QLocalServer;

// The copy of the program that holds the instance guard listens on a local
// socket in the user's runtime folder; a later start asks it there to show its
// windows, so the program is never running out of reach (without a tray, a
// hidden drop box and a closed explorer leave no window).
class RunningCopy : public QObject
{
    Q_OBJECT

public:
    explicit RunningCopy(QObject *parent = nullptr);
    ~RunningCopy() override;

    // Listens in the folder (the runtime folder); call only while holding the
    // instance guard, as a socket left by an ended copy is replaced.
    bool listen(const QString &folder);

    // From a later start: asks the running copy to show itself and answers
    // whether it confirmed in time.
    static bool askToShow(const QString &folder, int timeoutMs = 3000);

    // From a later start: hands the running copy a sync request (a line of
    // JSON, see the sync command) and answers its answer once that sync has
    // ended, or nothing when no copy answered in time.
    static std::optional<QByteArray> askToSync(const QString &folder, const QByteArray &request, int timeoutMs);
    // The same for an import request (a line of JSON, see the import command).
    static std::optional<QByteArray> askToImport(const QString &folder, const QByteArray &request, int timeoutMs);

    static QString socketPath(const QString &folder);

    // Runs a sync request of a later start and calls answer with the answer;
    // without it such requests are refused.
    using Handler = std::function<void(const QByteArray &request, std::function<void(const QByteArray &answer)> answer)>;
    Handler syncHandler;
    // Runs an import request of a later start in the same way.
    Handler importHandler;

signals:
    void showRequested();

private:
    static std::optional<QByteArray> askAndWait(const QString &folder, const QByteArray &line, int timeoutMs);

    QLocalServer *m_server = nullptr;
};
