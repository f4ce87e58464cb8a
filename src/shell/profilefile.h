#pragma once

#include <QString>

// A small INI file: [Section] headers and key=value lines. Section and key names
// are compared without regard to case; a missing file reads as a file without
// keys. Every call reads or writes the file afresh; nothing is held open.
class ProfileFile
{
public:
    explicit ProfileFile(QString path);

    const QString &path() const { return m_path; }
    bool exists() const;

    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;
    // A value that is not a decimal whole number gives the default.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;

    // Writes the key in place, keeping the rest of the file and its line ends; a
    // missing key is added at the end of its section, a missing section at the end
    // of the file. The file is replaced only once written whole. Returns false
    // when it cannot be written, with the reason in error when one is given.
    bool writeString(const QString &section, const QString &key, const QString &value, QString *error = nullptr);

private:
    QString m_path;
};
