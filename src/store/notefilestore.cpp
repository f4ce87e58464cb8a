#include "notefilestore.h"

#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

NoteLocation NewNoteLocation(const QString &dataFolder)
{
    return NewNoteLocation(dataFolder, QDateTime::currentDateTime());
}

NoteLocation NewNoteLocation(const QString &dataFolder, const QDateTime &now)
{
    const QDate date = now.date();

    // Month first, as the folders of existing notes are named.
    const QString dayFolder = dataFolder + QString::asprintf("%.2d-%.2d-%.4d", date.month(), date.day(), date.year());

    // One level at a time: a missing data folder stays missing and nothing below it is made.
    if (!QFileInfo(dayFolder).isDir())
        QDir().mkdir(dayFolder);
    // A day folder that lost a subfolder gets it back.
    for (const QString &subfolder : {QStringLiteral("images"), QStringLiteral("attaches")}) {
        if (!QFileInfo(dayFolder + QLatin1Char('/') + subfolder).isDir())
            QDir().mkdir(dayFolder + QLatin1Char('/') + subfolder);
    }

    // A day folder keeps the template it started with; a copy appears only whole.
    const QString templateCopy = dayFolder + QStringLiteral("/template.html");
    QString problem;
    if (!QFileInfo(dayFolder).isDir()) {
        problem = QStringLiteral("Cannot create the folder \"%1\".").arg(dayFolder);
    } else if (!QFileInfo::exists(templateCopy)) {
        const QString reason = copyWholeFile(dataFolder + QStringLiteral("template.html"), templateCopy);
        if (!reason.isEmpty())
            problem = QStringLiteral("Cannot copy the note template to \"%1\": %2").arg(templateCopy, reason);
    }
    return {NewNoteFileName(dayFolder, now), dayFolder, problem};
}

QString NewNoteFileName(const QString &dayFolder, const QDateTime &now)
{
    const QDate date = now.date();
    const QTime time = now.time();
    QString name = QString::asprintf("%.2d%.2d%.4d%.2d%.2d%.2d%.4d", date.month(), date.day(), date.year(), time.hour(),
                                     time.minute(), time.second(), time.msec());
    while (QFileInfo::exists(dayFolder + QLatin1Char('/') + name + QStringLiteral(".html")))
        name += QString::number(QRandomGenerator::global()->bounded(1000));
    return name + QStringLiteral(".html");
}
