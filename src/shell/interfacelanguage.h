#pragma once

#include <QString>

#include <memory>

struct AppContext;
class LanguageTranslator;
class ProfileContents;
class QTranslator;
class QWidget;

// Applies a language file (en.ini, cn.ini) to the windows: each control named in
// the window's section takes the text given there, the message texts are read
// from section String, and the program's other texts and Qt's own standard
// buttons follow the file too. The file is read once for each application.
class InterfaceLanguage
{
public:
    explicit InterfaceLanguage(AppContext &context);
    ~InterfaceLanguage();

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
    void readMessages(const ProfileContents &file);
    void installTranslations(const ProfileContents &file);

    AppContext &m_context;
    std::unique_ptr<LanguageTranslator> m_programTexts;
    std::unique_ptr<QTranslator> m_qtTexts;
};
