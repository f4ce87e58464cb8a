#pragma once

#include <QApplication>

// The application object. Errors that no handler caught end up here, in one
// place, and are shown to the user with their text; the program carries on.
class ClipnestApplication : public QApplication
{
    Q_OBJECT

public:
    ClipnestApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    static void reportError(const QString &text);
};
