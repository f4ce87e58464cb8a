#pragma once

#include <QObject>

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

    static QString socketPath(const QString &folder);

signals:
    void showRequested();

private:
    QLocalServer *m_server = nullptr;
};
