#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The program's message texts, replaced as a whole by each language file load.
// Until the first load every text is empty.
class MessageTexts
{
public:
    static const QStringList &keys();
    static QString builtInDefault(const QString &key);

    QString text(const QString &key) const { return m_texts.value(key); }
    // The text to show: the loaded one, or the built-in default before any load.
    QString shown(const QString &key) const;
    // The text of a count: for one, the key's singular text (key + "One"),
    // otherwise the key's own. A language without plurals gives both alike; a
    // file that has only its own plural text shows that for one as well.
    QString counted(const QString &key, qint64 count) const;
    void set(const QString &key, const QString &value) { m_texts.insert(key, value); }

private:
    QHash<QString, QString> m_texts;
};
