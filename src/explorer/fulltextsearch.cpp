#include "fulltextsearch.h"

#include "appcontext.h"
#include "catalogrows.h"
#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "exwebbrowser.h"
#include "findbar.h"
#include "freedmemory.h"
#include "indexpass.h"
#include "indexupdatequeue.h"
#include "mainform.h"
#include "notelistwidget.h"
#include "noterows.h"
#include "notesearcher.h"
#include "notetext.h"
#include "searchhitdelegate.h"
#include "searchindex.h"
#include "settings.h"
#include "storedpath.h"
#include "tagtreeview.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

namespace {

// Hits shown in the note list; the status line tells how many there are in all.
constexpr int MaxHits = 200;
// Passages made per turn of the event loop, so a long list never stalls it.
constexpr int SnippetsPerTurn = 10;
// Fewer notes to index than this go without a progress line.
constexpr int QuietPass = 200;

QString messageText(const AppContext &context, const char *key)
{
    return context.messages.shown(QLatin1String(key)).replace(QLatin1String("\\n"), QLatin1String("\n"));
}

} // namespace

FullTextSearch::FullTextSearch(TMainForm *explorer, AppContext &context, TDBDataModule &database)
    : QObject(explorer)
    , m_explorer(explorer)
    , m_context(context)
    , m_database(database)
    , m_searcher(std::make_unique<NoteSearcher>(context.programFolder + QStringLiteral("index")))
{
    auto *bar = explorer->findChild<QToolBar *>(QStringLiteral("topBar"));
    QLineEdit *titleEdit = explorer->titleFilterEdit();
    for (QAction *action : bar->actions()) {
        if (bar->widgetForAction(action) == titleEdit)
            m_titleEditAction = action;
    }

    m_edit = new QLineEdit(bar);
    m_edit->setObjectName(QStringLiteral("FullTextEdit"));
    m_edit->setPlaceholderText(tr("Type words and press Enter to search the notes' text"));
    m_edit->setFixedWidth(titleEdit->width());
    m_edit->setClearButtonEnabled(true);
    m_edit->addAction(QIcon::fromTheme(QStringLiteral("edit-find")), QLineEdit::LeadingPosition);
    m_scopeBox = new QComboBox(bar);
    m_scopeBox->setObjectName(QStringLiteral("SearchScopeBox"));
    m_scopeBox->addItems({tr("Titles"), tr("Full text")});
    m_scopeBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // The two boxes take turns in one place, the choice beside them.
    m_editAction = bar->addWidget(m_edit);
    bar->addWidget(m_scopeBox);

    m_statusLabel = new QLabel(explorer);
    m_statusLabel->setObjectName(QStringLiteral("SearchStatusLabel"));
    m_progress = new QProgressBar(explorer);
    m_progress->setObjectName(QStringLiteral("IndexProgressBar"));
    m_progress->setMaximumWidth(160);
    m_progress->setTextVisible(false);
    m_progress->hide();
    explorer->statusBar()->addWidget(m_statusLabel, 1);
    explorer->statusBar()->addPermanentWidget(m_progress);

    QTreeWidget *list = explorer->noteList();
    list->setItemDelegateForColumn(0, new SearchHitDelegate(list));

    m_snippetTimer = new QTimer(this);
    m_snippetTimer->setInterval(0);
    connect(m_snippetTimer, &QTimer::timeout, this, &FullTextSearch::fillSnippets);
    m_retryTimer = new QTimer(this);
    m_retryTimer->setInterval(10000);
    connect(m_retryTimer, &QTimer::timeout, this, &FullTextSearch::tryOpen);

    setFullText(Settings(context.programFolder).searchScope() == Settings::SearchScope::FullText);
    connect(m_scopeBox, &QComboBox::activated, this, [this](int choice) {
        const bool fullText = choice == 1;
        Settings(m_context.programFolder)
            .saveSearchScope(fullText ? Settings::SearchScope::FullText : Settings::SearchScope::Titles);
        setFullText(fullText);
        (fullText ? m_edit : m_explorer->titleFilterEdit())->setFocus();
    });
    connect(m_edit, &QLineEdit::returnPressed, this, [this] { search(m_edit->text()); });
    // Ctrl+Shift+F: straight into the full-text box from anywhere in the explorer.
    auto *focusSearch = new QAction(explorer);
    focusSearch->setObjectName(QStringLiteral("FullTextSearchAct"));
    focusSearch->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    focusSearch->setShortcutContext(Qt::WindowShortcut);
    explorer->addAction(focusSearch);
    connect(focusSearch, &QAction::triggered, this, [this] {
        if (!isFullText()) {
            Settings(m_context.programFolder).saveSearchScope(Settings::SearchScope::FullText);
            setFullText(true);
        }
        m_edit->setFocus(Qt::ShortcutFocusReason);
        m_edit->selectAll();
    });
    // After the explorer's own handlers, which show the note.
    connect(list, &QTreeWidget::itemClicked, this, &FullTextSearch::markFirstMatch);
    connect(list, &QTreeWidget::currentItemChanged, this, [this, list](QTreeWidgetItem *current) {
        if (current && list->hasFocus())
            markFirstMatch();
    });
}

FullTextSearch::~FullTextSearch()
{
    if (m_pass) {
        m_cancelPass = true;
        m_pass->wait();
        delete m_pass;
    }
    // What the user changed last is indexed before the program ends.
    m_updates.reset();
}

void FullTextSearch::waitForUpdates()
{
    if (m_updates)
        m_updates->waitForDone();
}

bool FullTextSearch::isFullText() const
{
    return m_scopeBox->currentIndex() == 1;
}

void FullTextSearch::setFullText(bool fullText)
{
    m_scopeBox->setCurrentIndex(fullText ? 1 : 0);
    // Both boxes keep their texts; the one of the chosen search is shown.
    m_titleEditAction->setVisible(!fullText);
    m_editAction->setVisible(fullText);
}

void FullTextSearch::start()
{
    tryOpen();
}

bool FullTextSearch::isIdle() const
{
    return m_index && m_index->isOpen() && !m_pass;
}

void FullTextSearch::tryOpen()
{
    if (m_index && m_index->isOpen())
        return;
    m_index = std::make_unique<SearchIndex>(indexFolder());
    try {
        m_index->open();
    } catch (const SearchIndexError &error) {
        m_index.reset();
        // Another process (clipnest --search) builds it: try again shortly.
        if (error.locked())
            m_retryTimer->start();
        else
            showStatus(messageText(m_context, "IndexOpenFail").arg(error.message()));
        return;
    }
    m_retryTimer->stop();
    m_updates = std::make_unique<IndexUpdateQueue>(*m_index, m_context.dataFolder);
    m_updates->failed = [this](const QString &message) {
        QMetaObject::invokeMethod(
            this, [this, message] { reportUpdateFailure(message); }, Qt::QueuedConnection);
    };
    startPass();
}

void FullTextSearch::startPass()
{
    m_cancelPass = false;
    SearchIndex *index = m_index.get();
    const QString databasePath = m_context.databasePath();
    const QString dataFolder = m_context.dataFolder;
    m_pass = QThread::create([this, index, databasePath, dataFolder] {
        QString failure;
        int failureKind = SearchIndexError::Failed;
        try {
            IndexPass pass(*index, databasePath, dataFolder);
            pass.run(
                [this](int done, int total) {
                    QMetaObject::invokeMethod(
                        this, [this, done, total] { passProgress(done, total); }, Qt::QueuedConnection);
                },
                m_cancelPass);
        } catch (const DbError &error) {
            failure = error.message();
        } catch (const SearchIndexError &error) {
            failure = error.message();
            failureKind = error.kind();
        }
        // Every note passed through this thread's heap.
        releaseFreedMemory();
        QMetaObject::invokeMethod(
            this, [this, failure, failureKind] { passEnded(failure, failureKind); }, Qt::QueuedConnection);
    });
    m_pass->setObjectName(QStringLiteral("IndexPass"));
    m_pass->start(QThread::LowPriority);
}

void FullTextSearch::passProgress(int done, int total)
{
    if (total < QuietPass)
        return;
    m_progress->setRange(0, total);
    m_progress->setValue(done);
    m_progress->show();
    const QLocale locale;
    showStatus(messageText(m_context, "IndexProgress").arg(locale.toString(done), locale.toString(total)));
    m_showingProgress = true;
}

void FullTextSearch::passEnded(const QString &failure, int failureKind)
{
    if (m_pass) {
        m_pass->wait();
        delete m_pass;
        m_pass = nullptr;
    }
    m_progress->hide();
    if (failureKind == SearchIndexError::Damaged) {
        rebuildIndex();
        return;
    }
    if (failureKind == SearchIndexError::NoRoom) {
        // The index gave its space back; it is built again at the next start.
        m_updates.reset();
        m_index.reset();
        showStatus(messageText(m_context, "IndexNoRoom"));
    } else if (!failure.isEmpty()) {
        showStatus(messageText(m_context, "IndexOpenFail").arg(failure));
    } else if (m_showingProgress) {
        showStatus(QString());
    }
    m_showingProgress = false;
    emit idle();
}

QString FullTextSearch::indexFolder() const
{
    return m_context.programFolder + QStringLiteral("index");
}

void FullTextSearch::rebuildIndex()
{
    if (m_rebuilt) {
        showStatus(messageText(m_context, "IndexOpenFail").arg(messageText(m_context, "IndexRebuilding")));
        return;
    }
    m_rebuilt = true;
    if (m_pass) {
        m_cancelPass = true;
        m_pass->wait();
        delete m_pass;
        m_pass = nullptr;
    }
    m_updates.reset();
    m_index.reset();
    m_searcher = std::make_unique<NoteSearcher>(indexFolder());
    // The open finds the mark and starts from an empty index; the pass fills it.
    tryOpen();
    if (m_index)
        showStatus(messageText(m_context, "IndexRebuilding"));
}

void FullTextSearch::showStatus(const QString &text)
{
    m_showingProgress = false;
    m_hitQuery.clear();
    m_statusLabel->setText(text);
}

void FullTextSearch::showHitCount()
{
    const QString query = m_hitQuery;
    const QLocale locale;
    if (m_hitTotal <= 0)
        showStatus(messageText(m_context, "FullTextNoHits").arg(query));
    else if (!m_hitsComplete)
        showStatus(m_context.messages.counted(QStringLiteral("FullTextIncomplete"), m_hitTotal)
                       .arg(locale.toString(m_hitTotal), query));
    else
        showStatus(m_context.messages.counted(QStringLiteral("FullTextHits"), m_hitTotal)
                       .arg(locale.toString(m_hitTotal), query));
    // Kept while the hits stay listed, for a deletion among them.
    m_hitQuery = query;
}

void FullTextSearch::nodeListed()
{
    m_snippetTimer->stop();
    if (!m_hitQuery.isEmpty())
        showStatus(QString());
}

void FullTextSearch::search(const QString &query)
{
    m_snippetTimer->stop();
    QTreeWidget *list = m_explorer->noteList();
    if (query.trimmed().isEmpty()) {
        // Back to the catalog as it is without a search.
        m_explorer->SearchTitles(QString());
        m_explorer->notes().clearListing();
        showStatus(QString());
        return;
    }
    waitForUpdates();
    // Damage found by another process (clipnest --search) is mended here too.
    if (SearchIndex::isMarkedForRebuild(indexFolder()) && m_index)
        rebuildIndex();
    QList<SearchHit> hits;
    int total = 0;
    try {
        if (m_searcher->refresh())
            hits = m_searcher->search(query, MaxHits, &total);
    } catch (const SearchIndexError &error) {
        if (error.kind() == SearchIndexError::Damaged)
            rebuildIndex();
        else
            showStatus(messageText(m_context, "IndexOpenFail").arg(error.message()));
        return;
    }
    // An index too damaged to open was marked by the reader.
    if (hits.isEmpty() && SearchIndex::isMarkedForRebuild(indexFolder()) && m_index) {
        rebuildIndex();
        return;
    }

    // The rows are read again: the index may lag behind a change it missed.
    QHash<int, NoteListRecord> rows;
    for (qsizetype first = 0; first < hits.size(); first += 100) {
        const QList<SearchHit> part = hits.mid(first, 100);
        QStringList marks;
        QVariantList ids;
        for (const SearchHit &hit : part) {
            marks << QStringLiteral("?");
            ids << hit.note.noteId;
        }
        QSqlQuery &found =
            m_database.runQuery(QStringLiteral("select * from note where noteid in (%1)").arg(marks.join(',')), ids);
        while (found.next()) {
            NoteListRecord record{fieldInt(found, "noteid"), fieldInt(found, "tagid"), fieldText(found, "title"),
                                  found.value(QStringLiteral("createdate")).toDateTime(), fieldPath(found, "filename")};
            rows.insert(record.noteid, record);
        }
        found.finish();
    }

    const QIcon noteIcon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    QList<QTreeWidgetItem *> items;
    for (const SearchHit &hit : std::as_const(hits)) {
        const auto row = rows.constFind(hit.note.noteId);
        if (row == rows.constEnd())
            continue;
        auto *item = new NoteListItem(*row);
        item->setText(0, row->title);
        item->setText(1, formatCreateDate(row->createdate));
        item->setIcon(0, noteIcon);
        item->setData(0, SearchHitDelegate::CatalogPathRole, shownCatalogPath(row->tagid, hit.note.catalogPath));
        items << item;
    }
    // The hits come from any node: none stays selected beside them, and choosing
    // any node lists that node's notes again.
    m_explorer->notes().forgetListing();
    m_explorer->changeTreeQuietly([this] {
        m_explorer->TagTreeView_()->setCurrentItem(nullptr);
        m_explorer->TagTreeView_()->clearSelection();
    });
    list->clear();
    m_explorer->attachList()->clear();
    m_explorer->content()->Navigate(QStringLiteral("about:blank"));
    list->addTopLevelItems(items);
    if (!items.isEmpty()) {
        list->setCurrentItem(items.first(), 0, QItemSelectionModel::NoUpdate);
        m_snippetTimer->start();
    }
    m_hitQuery = query.trimmed();
    m_hitTotal = items.isEmpty() ? 0 : total;
    m_hitsComplete = m_searcher->isComplete();
    showHitCount();
}

QString FullTextSearch::shownCatalogPath(int tagId, const QString &indexedPath)
{
    // The stored path of a node keeps the letters its last filing gave it, which
    // may be lower case; the tree writes each name as it was given.
    if (const TagTreeItem *tag = m_explorer->TagTreeView_()->findTag(tagId))
        return tag->writtenPath();
    // A node the tree does not show (yet): its names from the rows.
    try {
        const QList<int> chain = ancestorChain(m_database, tagId);
        const QHash<int, TagRecord> rows = readTagRows(m_database, chain);
        QStringList names;
        for (const int id : chain)
            names.prepend(rows.value(id).name);
        if (!names.isEmpty())
            return names.join(QLatin1Char(','));
    } catch (const DbError &) {
        // The index's copy serves.
    }
    return indexedPath;
}

QString FullTextSearch::snippetOf(QTreeWidgetItem *item)
{
    const QVariant made = item->data(0, SearchHitDelegate::SnippetRole);
    if (made.isValid())
        return made.toString();
    const NoteListRecord *note = NoteListPane::noteRecord(item);
    const QString file = StoredPath::resolve(m_context.dataFolder, note->filename);
    const QString snippet = m_searcher->snippet(file.isEmpty() ? QString() : visibleTextOfFile(file));
    item->setData(0, SearchHitDelegate::SnippetRole, snippet);
    return snippet;
}

void FullTextSearch::fillSnippets()
{
    QTreeWidget *list = m_explorer->noteList();
    int made = 0;
    for (int i = 0; i < list->topLevelItemCount() && made < SnippetsPerTurn; ++i) {
        QTreeWidgetItem *item = list->topLevelItem(i);
        if (!item->data(0, SearchHitDelegate::CatalogPathRole).isValid())
            break; // the list shows a node's notes now
        if (item->data(0, SearchHitDelegate::SnippetRole).isValid())
            continue;
        snippetOf(item);
        ++made;
    }
    if (made == 0)
        m_snippetTimer->stop();
}

void FullTextSearch::markFirstMatch()
{
    QTreeWidget *list = m_explorer->noteList();
    QTreeWidgetItem *item = list->currentItem();
    if (!item || !item->isSelected() || !item->data(0, SearchHitDelegate::CatalogPathRole).isValid())
        return;
    const NoteListRecord *note = NoteListPane::noteRecord(item);
    TExWebBrowser *view = m_explorer->content();
    // Only when the view shows this hit: another may have been chosen meanwhile.
    if (view->url() != QUrl::fromLocalFile(m_context.dataFolder + note->filename))
        return;
    const QString word = NoteSearcher::firstMarkedWord(snippetOf(item));
    if (word.isEmpty())
        return;
    QWidget *focus = QApplication::focusWidget();
    view->Finder()->SetText(word);
    view->ShowFindBar();
    view->Finder()->FindNext();
    // Moving on through the hits with the keyboard goes on working.
    if (focus == list)
        list->setFocus();
}

void FullTextSearch::reportUpdateFailure(const QString &message)
{
    if (m_failureReported)
        return;
    m_failureReported = true;
    if (m_explorer->showMessage)
        m_explorer->showMessage(messageText(m_context, "IndexUpdateFail").arg(message));
}

void FullTextSearch::noteChanged(int noteId)
{
    if (!m_updates)
        return;
    try {
        const std::optional<IndexedNote> note = readIndexedNote(m_database, m_context.dataFolder, noteId);
        if (note)
            m_updates->storeNote(*note);
        else
            m_updates->removeNote(noteId);
    } catch (const DbError &error) {
        reportUpdateFailure(error.message());
    }
}

void FullTextSearch::noteDeleted(int noteId)
{
    if (m_updates)
        m_updates->removeNote(noteId);
    if (m_hitQuery.isEmpty())
        return;
    QTreeWidget *list = m_explorer->noteList();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (NoteListPane::noteRecord(list->topLevelItem(i))->noteid == noteId) {
            // One hit fewer.
            --m_hitTotal;
            showHitCount();
            return;
        }
    }
}

void FullTextSearch::catalogChangedBelow(int tagId)
{
    if (!m_updates)
        return;
    try {
        m_updates->changeCatalogPaths(readNoteCatalogPathsBelow(m_database, tagId));
    } catch (const DbError &error) {
        reportUpdateFailure(error.message());
    }
}
