#include "savingdriver.h"

#include "attachlistitem.h"
#include "editorform.h"
#include "notelistpane.h"
#include "notetrash.h"
#include "tagtreeview.h"
#include "trashcommands.h"
#include "trashview.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QTreeWidget>

#include <csignal>
#include <cstdio>

namespace {

const QStringList Catalogs{
    QStringLiteral("Work"), QStringLiteral("Work,Projects"), QStringLiteral("work,projects,Alpha"),
    QStringLiteral("Home"), QStringLiteral("Home , Garden"), QStringLiteral("")};

// Source files for attachments, named after their size so that a cut copy shows.
QStringList attachmentSources(const QString &folder)
{
    QDir().mkpath(folder);
    QStringList sources;
    for (int size : {3, 4096, 300000}) {
        const QString path = folder + QStringLiteral("blob%1.bin").arg(size);
        QFile file(path);
        if (!file.exists() && file.open(QIODevice::WriteOnly))
            file.write(QByteArray(size, 'b'));
        sources << path;
    }
    return sources;
}

void tell(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

SavingDriver::SavingDriver(const QString &programFolder, const QString &logPath, quint32 seed, int killAt,
                           QString killIn)
    : m_context(programFolder)
    , m_database(m_context.databasePath())
    , m_log(logPath.isEmpty() ? nullptr : std::make_unique<SaveLog>(logPath))
    , m_random(seed)
    , m_killAt(killAt)
    , m_killIn(std::move(killIn))
    , m_runName(QStringLiteral("%1-%2-%3")
                    .arg(seed)
                    .arg(QCoreApplication::applicationPid())
                    .arg(QDateTime::currentMSecsSinceEpoch()))
    , m_sources(attachmentSources(programFolder + QStringLiteral("outside/")))
{
    m_explorer.askYesNo = [](const QString &) { return true; };
    m_explorer.showMessage = [](const QString &message) { tell(QStringLiteral("explorer: ") + message); };
    m_explorer.LoadTagTree(QString());
    m_context.catalogPaths = m_database.loadCatalogPaths();
    m_explorer.noteTrash().observer = [this](NoteTrash::Step step) { killAtStep(m_trashWork, int(step)); };
}

void SavingDriver::killAtStep(const QString &kind, int step)
{
    if (m_save >= 2 && step == m_killAt && kind == m_killIn) {
        tell(QStringLiteral("killed at step %1 of %2 %3").arg(m_killAt).arg(kind).arg(m_save));
        std::raise(SIGKILL);
    }
}

void SavingDriver::run(int saves)
{
    tell(QStringLiteral("ready"));
    for (int i = 1; i <= saves; ++i) {
        m_save = i;
        // Runs that are to be killed in the trash's work do more of it.
        const bool trashWork = m_killIn == QLatin1String("trash") || m_killIn == QLatin1String("restore") ||
                               m_killIn == QLatin1String("empty");
        const int choice = int(m_random.bounded(20));
        std::optional<bool> done;
        if (choice < (trashWork ? 6 : 12)) {
            tell(QStringLiteral("%1 %2").arg(saveNewNote() ? "saved" : "not saved").arg(i));
            continue;
        }
        if (choice < (trashWork ? 8 : 17)) {
            tell(QStringLiteral("%1 %2 again").arg(saveAgain() ? "saved" : "not saved").arg(i));
            continue;
        }
        if (choice < (trashWork ? 14 : 19)) {
            if ((done = deleteNote())) {
                tell(QStringLiteral("%1 %2").arg(*done ? "deleted" : "not deleted").arg(i));
                continue;
            }
        } else if (m_random.bounded(trashWork && m_killIn == QLatin1String("empty") ? 2 : 6) == 0) {
            if ((done = emptyTrash())) {
                tell(QStringLiteral("%1 %2").arg(*done ? "emptied" : "not emptied").arg(i));
                continue;
            }
        } else if ((done = restoreNote())) {
            tell(QStringLiteral("%1 %2").arg(*done ? "restored" : "not restored").arg(i));
            continue;
        }
        tell(QStringLiteral("%1 %2").arg(saveNewNote() ? "saved" : "not saved").arg(i));
    }
}

TEditorForm *SavingDriver::newEditor(bool savedAgain)
{
    auto *editor = new TEditorForm(m_context, m_database);
    editor->setExplorerWindow(&m_explorer);
    editor->askYesNo = [](const QString &) { return true; };
    editor->showMessage = [](const QString &message) { tell(QStringLiteral("editor: ") + message); };
    editor->filingObserver = [this, savedAgain](NoteFiling::Step step) {
        killAtStep(savedAgain ? QStringLiteral("again") : QStringLiteral("new"), int(step));
    };
    editor->show();
    return editor;
}

// A small picture of its own, taken in as a screen capture is: a file in the
// note's images folder that the note shows.
void SavingDriver::addPicture(TEditorForm *editor)
{
    const QColor colour = QColor::fromRgb(m_random.generate());
    const int stripe = int(m_random.bounded(40));
    editor->grabScreenRegion = [colour, stripe] {
        QImage picture(48, 32, QImage::Format_RGB32);
        picture.fill(colour);
        QPainter(&picture).fillRect(stripe, 0, 8, 32, Qt::black);
        return picture;
    };
    editor->snapClick();
}

NoteState SavingDriver::stateAfterSave(TEditorForm *editor, const QString &title) const
{
    NoteState state;
    state.noteId = editor->noteId();
    state.title = title;
    state.catalog = editor->tagsEdit()->text();
    state.file = editor->noteFolder() + QLatin1Char('/') + editor->noteFileName();
    state.file.remove(m_context.dataFolder);
    readNoteFiles(state, m_context.dataFolder);
    QTreeWidget *list = editor->attachList();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const AttachListRecord &record = static_cast<AttachListItem *>(list->topLevelItem(i))->record;
        const QString file = QString(record.path).replace(QLatin1Char('\\'), QLatin1Char('/')) + record.attname;
        state.attachments.append(
            {record.attid, file, QFileInfo(m_context.dataFolder + file).size(), fileHash(m_context.dataFolder + file)});
    }
    return state;
}

QString SavingDriver::nextWork()
{
    return QStringLiteral("%1-%2").arg(m_runName).arg(m_save);
}

void SavingDriver::begin(const BegunWork &work)
{
    if (m_log)
        m_log->begun(work);
}

bool SavingDriver::saveNewNote()
{
    BegunWork work;
    work.work = nextWork();
    work.kind = BegunWork::New;
    work.marker = QStringLiteral("marker %1.").arg(work.work);
    TEditorForm *editor = newEditor(false);
    const int paragraphs = 1 + int(m_random.bounded(200));
    QString body = QStringLiteral("<p>New note, %1</p>").arg(work.marker);
    for (int p = 0; p < paragraphs; ++p)
        body += QStringLiteral("<p>Paragraph %1 of save %2, with some words to make it longer.</p>").arg(p).arg(m_save);
    const QString title =
        m_random.bounded(10) == 0 ? QString(2100, QLatin1Char('t')) : QStringLiteral("Note of save %1").arg(m_save);
    editor->PrefillFromCapture(body, title);
    const QString catalog = Catalogs.at(m_random.bounded(Catalogs.size()));
    editor->tagsEdit()->setText(catalog);
    work.title = cutToCharacters(title.trimmed(), m_database.noteTitleLength());
    work.catalog = catalog.isEmpty() ? QStringLiteral("untagged") : catalog;
    begin(work);
    if (m_random.bounded(4) == 0)
        addPicture(editor);
    const int attachments = m_random.bounded(3) == 0 ? 1 + int(m_random.bounded(3)) : 0;
    for (int a = 0; a < attachments; ++a)
        editor->AddAttachment(m_sources.at(m_random.bounded(m_sources.size())));

    QPointer<TEditorForm> guard(editor);
    const bool saved = editor->SaveNote();
    if (saved && m_log)
        m_log->saved(work.work, stateAfterSave(editor, work.title));
    delete guard.data();
    return saved;
}

// A stored note opened again, given more text (sometimes a picture or an
// attachment), retitled or refiled, and saved.
bool SavingDriver::saveAgain()
{
    QSqlQuery &query = m_database.runQuery(QStringLiteral("select noteid, tagid, title, filename from note"));
    QList<std::tuple<int, int, QString, QString>> notes;
    while (query.next())
        notes.append(
            {query.value(0).toInt(), query.value(1).toInt(), query.value(2).toString(), fieldPath(query, "filename")});
    query.finish();
    if (notes.isEmpty())
        return saveNewNote();
    const auto &[noteId, tagId, title, file] = notes.at(m_random.bounded(notes.size()));
    BegunWork work;
    work.work = nextWork();
    work.kind = BegunWork::Again;
    work.noteId = noteId;
    work.marker = QStringLiteral("marker %1.").arg(work.work);
    TEditorForm *editor = newEditor(true);
    editor->LoadNote(noteId, m_context.dataFolder + file, tagId, title, QStringLiteral("(opened)"));
    if (m_random.bounded(2) == 0)
        editor->titleEdit()->setText(title.left(40) + QStringLiteral(" again"));
    const QString catalog = Catalogs.at(m_random.bounded(Catalogs.size()));
    editor->tagsEdit()->setText(catalog);
    work.title = cutToCharacters(editor->titleEdit()->text(), m_database.noteTitleLength());
    work.catalog = catalog.isEmpty() ? QStringLiteral("untagged") : catalog;
    begin(work);
    editor->AppendToBody(QStringLiteral("<p>Saved again, %1</p>").arg(work.marker));
    if (m_random.bounded(6) == 0)
        addPicture(editor);
    if (m_random.bounded(5) == 0)
        editor->AddAttachment(m_sources.at(m_random.bounded(m_sources.size())));

    QPointer<TEditorForm> guard(editor);
    const bool saved = editor->SaveNote();
    if (saved && m_log)
        m_log->saved(work.work, stateAfterSave(editor, work.title));
    delete guard.data();
    return saved;
}

std::optional<bool> SavingDriver::deleteNote()
{
    const QList<TagTreeItem *> nodes = m_explorer.TagTreeView_()->allTags();
    if (nodes.isEmpty())
        return std::nullopt;
    m_explorer.TagTreeView_()->setCurrentItem(nodes.at(m_random.bounded(nodes.size())));
    m_explorer.ShowTagNotes();
    QTreeWidget *list = m_explorer.noteList();
    if (list->topLevelItemCount() == 0)
        return std::nullopt;
    QTreeWidgetItem *item = list->topLevelItem(m_random.bounded(list->topLevelItemCount()));
    const int noteId = NoteListPane::noteRecord(item)->noteid;
    item->setSelected(true);
    list->setCurrentItem(item);
    BegunWork work;
    work.work = nextWork();
    work.kind = BegunWork::Delete;
    work.noteId = noteId;
    begin(work);
    m_trashWork = QStringLiteral("trash");
    m_explorer.DelNoteActExecute();
    const bool deleted =
        m_database.queryInteger(QStringLiteral("select count(*) from note where noteid=?"), {noteId}) == 0;
    if (deleted && m_log)
        m_log->deleted(work.work, noteId);
    return deleted;
}

std::optional<bool> SavingDriver::restoreNote()
{
    const QList<TrashedNote> trashed = m_explorer.noteTrash().notes();
    if (trashed.isEmpty())
        return std::nullopt;
    const int noteId = trashed.at(m_random.bounded(trashed.size())).noteId;
    BegunWork work;
    work.work = nextWork();
    work.kind = BegunWork::Restore;
    work.noteId = noteId;
    begin(work);
    m_trashWork = QStringLiteral("restore");
    m_explorer.ShowTrash();
    m_explorer.trashView()->selectNote(noteId);
    m_explorer.trashCommands().RestoreExecute();
    m_explorer.trashCommands().leaveTrash();
    const std::optional<NoteState> state = StoredNotes(m_database, m_context.dataFolder).note(noteId);
    if (state && m_log)
        m_log->saved(work.work, *state);
    return state.has_value();
}

std::optional<bool> SavingDriver::emptyTrash()
{
    if (m_explorer.noteTrash().count() == 0)
        return std::nullopt;
    BegunWork work;
    work.work = nextWork();
    work.kind = BegunWork::Empty;
    begin(work);
    m_trashWork = QStringLiteral("empty");
    m_explorer.trashCommands().EmptyExecute();
    const bool emptied = m_explorer.noteTrash().count() == 0;
    if (emptied && m_log)
        m_log->undone(work.work);
    return emptied;
}
