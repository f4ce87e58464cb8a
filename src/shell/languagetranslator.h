#pragma once

#include <QHash>
#include <QList>
#include <QTranslator>

class ProfileContents;

// One of the program's own texts that no named control carries (find bar, icon
// picker, small dialogs, questions): its key in section Texts of a language
// file and the English text the code passes to programText().
struct ProgramText
{
    const char *key;
    const char *english;
};

// Gives programText() texts the values of section Texts of the current
// language file. A value may hold \n, \r, \t and \\ for a line break, a
// carriage return, a tab and a backslash, since a line of the file cannot.
// Texts without a value in the file stay as the code wrote them.
class LanguageTranslator : public QTranslator
{
    Q_OBJECT

public:
    using QTranslator::QTranslator;

    static const QList<ProgramText> &programTexts();
    // The escapes of a Texts value turned into the characters they stand for.
    static QString unescaped(const QString &value);

    void load(const ProfileContents &file);
    // Qt's own translation for the file's locale (key Locale of section Texts,
    // for example zh_CN), for the standard buttons of message boxes and dialogs;
    // empty when the file names none.
    static QString qtLocale(const ProfileContents &file);

    QString translate(const char *context, const char *sourceText, const char *disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return m_byEnglish.isEmpty(); }

private:
    QHash<QString, QString> m_byEnglish;
};
