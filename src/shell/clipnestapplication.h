#pragma once

#include <QApplication>

#include <functional>

// The application object. Errors that no handler caught end up here, in one
// place, and are shown to the user with their text; the program carries on.
class ClipnestApplication : public QApplication
{
    Q_OBJECT

public:
    ClipnestApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Shows an error's text to the user.
    static void reportError(const QString &text);
    // Where reportError sends the text: a message box unless replaced (tests).
    static std::function<void(const QString &text)> errorReporter;

    // Blocks of at least this size are mapped on their own (see the constructor).
    // Above the strings of a 1 MB note (2 MB as UTF-16), which a save makes and
    // drops many of: from fresh pages each time they wrote out measurably slower.
    static constexpr int LargeBlockBytes = 4 * 1024 * 1024;
};
