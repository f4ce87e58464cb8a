#include "programcomputer.h"

#include "appcontext.h"
#include "dbdatamodule.h"
#include "notefiling.h"
#include "notefilestore.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

ProgramComputer::ProgramComputer()
{
    QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), folder.path() + QStringLiteral("clipnest"));
}

std::unique_ptr<QProcess> ProgramComputer::process(const QStringList &arguments, const QString &runtime,
                                                   const QString &passphrase)
{
    auto program = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("CLIPNEST_SYNC_PASSPHRASE"), passphrase);
    program->setProcessEnvironment(environment);
    program->setProgram(folder.path() + QStringLiteral("clipnest"));
    program->setArguments(arguments);
    return program;
}

ProgramOutcome ProgramComputer::run(const QStringList &arguments, const QString &runtime, const QString &passphrase)
{
    std::unique_ptr<QProcess> program = process(arguments, runtime, passphrase);
    program->start();
    ProgramOutcome outcome;
    if (!program->waitForFinished(120000)) {
        program->kill();
        program->waitForFinished();
        return outcome;
    }
    outcome.exitCode = program->exitStatus() == QProcess::NormalExit ? program->exitCode() : -1;
    outcome.out = QString::fromLocal8Bit(program->readAllStandardOutput());
    outcome.err = QString::fromLocal8Bit(program->readAllStandardError());
    return outcome;
}

void ProgramComputer::addNote(const QString &title, bool withPicture)
{
    TDBDataModule database(folder.databasePath());
    const AppContext context(folder.path());
    const NoteLocation location = NewNoteLocation(context.dataFolder);
    QByteArray html = "<html><body><p>" + title.toUtf8() + " by the sea</p>";
    if (withPicture) {
        const QString picture = QStringLiteral("%1.png").arg(QString::fromLatin1(title.toUtf8().toHex()));
        writeWholeFile(location.dayFolder + QStringLiteral("/images/") + picture, "picture of " + title.toUtf8());
        html += "<img src=\"images/" + picture.toUtf8() + "\">";
    }
    writeWholeFile(location.dayFolder + QLatin1Char('/') + location.fileName, html + "</body></html>\n");
    NoteFilingRequest request;
    request.title = title;
    request.catalogText = QStringLiteral("Travel");
    request.relativeFile = location.dayFolder.mid(context.dataFolder.size()) + QLatin1Char('/') + location.fileName;
    NoteFiling(database).file(request);
}

bool ProgramComputer::appendToNote(const QString &title, const QString &paragraph)
{
    QString file;
    {
        TDBDataModule database(folder.databasePath(), TDBDataModule::Use::Reading);
        QSqlQuery &query = database.runQuery(QStringLiteral("select filename from note where title = ?"), {title});
        if (query.next())
            file = folder.dataFolder() + query.value(0).toString();
    }
    if (file.isEmpty())
        return false;
    QByteArray html = readAll(file);
    html.replace("</body>", "<p>" + paragraph.toUtf8() + "</p></body>");
    return writeWholeFile(file, html).isEmpty();
}

QStringList ProgramComputer::titles()
{
    TDBDataModule database(folder.databasePath(), TDBDataModule::Use::Reading);
    QStringList titles;
    QSqlQuery &query = database.runQuery(QStringLiteral("select title from note order by title"));
    while (query.next())
        titles << query.value(0).toString();
    return titles;
}

QStringList ProgramComputer::contents()
{
    QList<std::pair<QString, QString>> rows;
    {
        TDBDataModule database(folder.databasePath(), TDBDataModule::Use::Reading);
        QSqlQuery &query = database.runQuery(QStringLiteral("select title, filename from note"));
        while (query.next())
            rows.append({query.value(0).toString(), query.value(1).toString()});
    }
    static const QRegularExpression pictures(QStringLiteral("src=\"(images/[^\"]+)\""));
    QStringList lines;
    for (const auto &[title, file] : rows) {
        const QString html = QString::fromUtf8(readAll(folder.dataFolder() + file));
        QStringList parts{title, html};
        const QString day = QFileInfo(folder.dataFolder() + file).path() + QLatin1Char('/');
        for (const QRegularExpressionMatch &match : pictures.globalMatch(html))
            parts << QString::fromUtf8(readAll(day + match.captured(1)));
        lines << parts.join(QLatin1Char('|'));
    }
    lines.sort();
    return lines;
}

QByteArray ProgramComputer::settings() const
{
    return readAll(folder.path() + QStringLiteral("tavlo.ini"));
}
