#pragma once

#include <QString>

struct AppContext;
class QWidget;

// Applies a language file (en.ini, cn.ini) to the windows: each control named in
// the window's section takes the text given there, and the message texts are
// read from section String.
class InterfaceLanguage
{
public:
    explicit InterfaceLanguage(AppContext &context);

    // At start-up: the drop box, the explorer (with its actions; not its caption)
    // and the message texts.
    void applyAtStart(QWidget *dropBox, QWidget *explorer);
    // Records the choice in the settings file, then applies the file to the drop
    // box, the explorer's caption and controls (not its actions) and the messages.
    void switchLanguage(const QString &fileName, QWidget *dropBox, QWidget *explorer);
    // A new editor: nothing for en.ini (it keeps its built-in English texts).
    void applyToEditor(QWidget *editor, const QString &fileName);

private:
    QString filePath(const QString &fileName) const;
    void readMessages(const QString &path);

    AppContext &m_context;
};
