#pragma once

#include <QHash>
#include <QString>

// The keys and values of an INI file read once, for many look-ups: a language
// file is consulted for every control of several windows.
class ProfileContents
{
public:
    // A missing or unreadable file gives contents without keys.
    static ProfileContents read(const QString &path);
    static ProfileContents parse(const QByteArray &bytes);

    bool isEmpty() const { return m_sections.isEmpty(); }
    bool contains(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;

private:
    // Lower-case section name -> lower-case key -> value; the first of repeated keys wins.
    QHash<QString, QHash<QString, QString>> m_sections;
};

// A small INI file: [Section] headers and key=value lines. Section and key names
// are compared without regard to case; a missing file reads as a file without
// keys. A value loses the blanks around it and then one pair of enclosing quotes
// (" or '), as the Windows profile functions read it, so "text " keeps its edge
// space. Every call reads or writes the file afresh; nothing is held open.
class ProfileFile
{
public:
    explicit ProfileFile(QString path);

    const QString &path() const { return m_path; }
    bool exists() const;

    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;
    // A value that is not a decimal whole number gives the default.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;

    // Writes the key in place: only its own line changes, every other byte of the
    // file stays as it was (also bytes that are not UTF-8). A missing key is added
    // at the end of its section, a missing section at the end of the file. A value
    // that would not read back as itself (edge blanks, enclosing quotes) is
    // written between double quotes. The file is replaced only once written
    // whole. Returns false when it cannot be written, with the reason in error
    // when one is given.
    bool writeString(const QString &section, const QString &key, const QString &value, QString *error = nullptr);

    // The value as stored on a key line: blanks trimmed, one pair of enclosing quotes removed.
    static QString storedValue(const QString &text);

private:
    QString m_path;
};
