#pragma once

#include <QString>

// Where a command's file dialog opens: the folder the user last chose with it,
// kept in the settings file under the command's own key. A folder gone since
// gives the nearest folder above it that is still there; with none kept the
// dialog opens in the Documents folder, or at home without one.
class RememberedFolder
{
public:
    // programFolder ends with "/"; command names the key, as "export".
    RememberedFolder(QString programFolder, QString command);

    QString folder() const;
    // Keeps the folder itself, or the folder a chosen file is in. Not being able
    // to keep it loses nothing but the convenience, so a failure is not told.
    void rememberFolder(const QString &folder) const;
    void rememberFileIn(const QString &file) const;

private:
    QString m_programFolder;
    QString m_command;
};
