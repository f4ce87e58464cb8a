#include "commandline.h"

#include "enexcommand.h"
#include "searchcommand.h"
#include "synccommand.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>

namespace {

// Names that make the program work without a window.
const QStringList WindowlessOptions{QStringLiteral("search"), QStringLiteral("sync"), QStringLiteral("help"),
                                    QStringLiteral("version"), QStringLiteral("import")};

struct Options
{
    QCommandLineOption search{{QStringLiteral("s"), QStringLiteral("search")},
                              QStringLiteral("Print the notes that contain WORDS, best first, one a line: noteid, "
                                             "title, catalog path and note file (relative to the data folder), "
                                             "separated by tabs. Exit status 0 when a note matched, 1 when none "
                                             "did, 2 on trouble. \"Quoted words\" are a phrase, word* a prefix; "
                                             "title:, catalog: and attachment: search one field.")};
    QCommandLineOption maxCount{{QStringLiteral("n"), QStringLiteral("max-count")},
                                QStringLiteral("With --search, print at most NUM notes."),
                                QStringLiteral("NUM")};
    QCommandLineOption sync{QStringLiteral("sync"),
                            QStringLiteral("Sync the collection once with its sync target, without a window, also "
                                           "while Clipnest runs. Exit status 0 when synced, 1 when held back before "
                                           "anything changed (it would trash more than half of the notes, or the "
                                           "target is empty, another collection's, or its certificate untrusted), "
                                           "2 on a usage error or with no target set, 3 when it failed. The user "
                                           "name, password and passphrase may come from CLIPNEST_SYNC_USER, "
                                           "CLIPNEST_SYNC_PASSWORD and CLIPNEST_SYNC_PASSPHRASE.")};
    QCommandLineOption syncTarget{QStringLiteral("sync-target"),
                                  QStringLiteral("With --sync, sync with TARGET, a WebDAV address or a folder; kept as "
                                                 "the collection's target when none is set."),
                                  QStringLiteral("TARGET")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Display this help and exit.")};
    QCommandLineOption version{{QStringLiteral("V"), QStringLiteral("version")},
                               QStringLiteral("Output version information and exit.")};
    QCommandLineOption restore{QStringLiteral("restore"),
                               QStringLiteral("Restore all notes from the backup ARCHIVE, then start. Clipnest must "
                                              "be closed; it shows what the backup holds and asks before replacing "
                                              "anything."),
                               QStringLiteral("ARCHIVE")};
    QCommandLineOption import{QStringLiteral("import"),
                              QStringLiteral("Import the Evernote exports FILE... (.enex), Markdown folders or "
                                             "Zim notebooks under Imported, each one's name, and print a report. While Clipnest runs, its "
                                             "running copy imports them. Notes imported before are skipped. Exit status 0 when every note came in "
                                             "whole, 1 when some had problems, 2 on trouble.")};
};

void prepare(QCommandLineParser &parser, const Options &options)
{
    parser.setApplicationDescription(
        QStringLiteral("Clipnest keeps notes captured from the web. Without options it starts the program."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.addOptions({options.search, options.maxCount, options.sync, options.syncTarget, options.help, options.version,
                       options.restore, options.import});
    parser.addPositionalArgument(QStringLiteral("WORDS"), QStringLiteral("What --search looks for."),
                                 QStringLiteral("[WORDS...]"));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("What --import imports."),
                                 QStringLiteral("[FILE...]"));
}

int usageError(const QString &message)
{
    QTextStream err(stderr);
    err << "clipnest: " << message << Qt::endl << "Try 'clipnest --help' for more information." << Qt::endl;
    return CommandLine::UsageErrorStatus;
}

// The parser's own error, in the words GNU programs use for an unknown option.
int parseError(const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty())
        return usageError(parser.errorText());
    const QString &name = unknown.constFirst();
    if (name.size() == 1)
        return usageError(QStringLiteral("invalid option -- '%1'").arg(name));
    return usageError(QStringLiteral("unrecognized option '--%1'").arg(name));
}

const char HelpEnd[] = "\n"
                       "Without options Clipnest opens its windows. It also takes Qt's own options\n"
                       "(such as -platform NAME or -style NAME), and after --webEngineArgs those of\n"
                       "Qt WebEngine. See clipnest(1).\n"
                       "\n"
                       "Report bugs to: https://clipnest.app/issues\n"
                       "Clipnest home page: <https://clipnest.app>\n";

} // namespace

CommandLine::CommandLine(QStringList arguments)
    : m_arguments(std::move(arguments))
{
}

bool CommandLine::runsWithoutWindow() const
{
    for (const QString &argument : m_arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        for (const QString &name : WindowlessOptions) {
            if (argument == QLatin1String("--") + name || argument.startsWith(QLatin1String("--") + name + '='))
                return true;
        }
        // Only the plain short forms: Qt's own options (-style, -platform ...) start the window.
        if (argument == QLatin1String("-s") || argument == QLatin1String("-h") || argument == QLatin1String("-V"))
            return true;
    }
    return false;
}

bool CommandLine::acceptsWindowStart()
{
    const auto refuse = [](const QString &message) {
        usageError(message);
        return false;
    };
    const QString restore = QStringLiteral("--restore");
    for (qsizetype i = 1; i < m_arguments.size(); ++i) {
        const QString &argument = m_arguments[i];
        // What follows this word (in any case) is for Qt WebEngine, which reads it itself.
        if (argument.compare(QLatin1String("--webEngineArgs"), Qt::CaseInsensitive) == 0)
            break;
        if (argument == QLatin1String("--")) {
            if (i + 1 < m_arguments.size())
                return refuse(QStringLiteral("extra operand '%1'").arg(m_arguments[i + 1]));
            break;
        }
        if (argument == restore || argument.startsWith(restore + QLatin1Char('='))) {
            if (argument != restore)
                m_restoreArchive = argument.mid(restore.size() + 1);
            else if (i + 1 < m_arguments.size())
                m_restoreArchive = m_arguments[++i];
            if (m_restoreArchive.isEmpty())
                return refuse(QStringLiteral("option '--restore' requires an argument"));
            continue;
        }
        if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1)
            return refuse(QStringLiteral("unrecognized option '%1'").arg(argument));
        return refuse(QStringLiteral("extra operand '%1'").arg(argument));
    }
    return true;
}

int CommandLine::run(const QString &programFolder) const
{
    Options options;
    QCommandLineParser parser;
    prepare(parser, options);
    if (!parser.parse(m_arguments))
        return parseError(parser);

    QTextStream out(stdout);
    if (parser.isSet(options.help)) {
        QString help = parser.helpText().replace(QLatin1String("[options]"), QLatin1String("[OPTION]..."));
        help.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: clipnest"));
        out << help << HelpEnd;
        return 0;
    }
    if (parser.isSet(options.version)) {
        out << "clipnest (Clipnest) " << CLIPNEST_VERSION << Qt::endl;
        return 0;
    }
    if (parser.isSet(options.sync)) {
        if (!parser.positionalArguments().isEmpty())
            return usageError(QStringLiteral("extra operand '%1'").arg(parser.positionalArguments().constFirst()));
        QTextStream err(stderr);
        return SyncCommand::run(programFolder, parser.value(options.syncTarget), out, err);
    }
    if (parser.isSet(options.syncTarget))
        return usageError(QStringLiteral("--sync-target goes with --sync."));
    if (parser.isSet(options.import)) {
        const QStringList files = parser.positionalArguments();
        if (files.isEmpty())
            return usageError(QStringLiteral("--import needs the .enex files or folders to import."));
        QTextStream err(stderr);
        return runImportCommand(programFolder, files, out, err);
    }
    if (parser.isSet(options.search)) {
        const QString words = parser.positionalArguments().join(QLatin1Char(' ')).trimmed();
        if (words.isEmpty())
            return usageError(QStringLiteral("--search needs the words to look for."));
        int maxCount = 0;
        if (parser.isSet(options.maxCount)) {
            bool ok = false;
            maxCount = parser.value(options.maxCount).toInt(&ok);
            if (!ok || maxCount < 1)
                return usageError(QStringLiteral("invalid --max-count: '%1'").arg(parser.value(options.maxCount)));
        }
        QTextStream err(stderr);
        return runSearchCommand(programFolder, words, maxCount, out, err);
    }
    return usageError(QStringLiteral("nothing to do."));
}
