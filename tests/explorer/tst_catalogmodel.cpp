// A model-based test of catalog integrity: random operations through the real
// explorer and editor windows on the real database, and after every one a check
// of the rows, the files, the tree against a full reload, and the listed node.
//
// The seed and the number of operations come from CLIPNEST_MODEL_SEED and
// CLIPNEST_MODEL_OPERATIONS (a fixed seed and 1,000 operations by default).
#include "appcontext.h"
#include "attachlistitem.h"
#include "catalogrowcheck.h"
#include "catalogrows.h"
#include "catalogtreecheck.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "fulltextsearch.h"
#include "mainform.h"
#include "notelistpane.h"
#include "notesearcher.h"
#include "notetrash.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"
#include "trashedcheck.h"
#include "trashview.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

const QStringList Names{QStringLiteral("Work"),  QStringLiteral("work"),    QStringLiteral("Alpha"),
                        QStringLiteral("ALPHA"), QStringLiteral("Beta"),    QStringLiteral("Home"),
                        QStringLiteral("home"),  QStringLiteral("Plans"),   QStringLiteral("Caf\u00e9"),
                        QStringLiteral("Tom's"), QStringLiteral("untagged")};
const QStringList TitleWords{QStringLiteral("Plan"),     QStringLiteral("report"), QStringLiteral("Alpha"),
                             QStringLiteral("notes"),    QStringLiteral("PLAN B"), QStringLiteral("Tom's list"),
                             QStringLiteral("Caf\u00e9")};
const QStringList SearchWords{QStringLiteral("plan"), QStringLiteral("ALPHA"), QStringLiteral("o"),
                              QStringLiteral("tom's"), QStringLiteral("zz")};

int environmentNumber(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariable(name).toInt(&ok);
    return ok ? value : fallback;
}

class CatalogModel
{
public:
    CatalogModel(quint32 seed)
        : m_random(seed)
        , m_seed(seed)
    {
        m_explorer.askYesNo = [](const QString &) { return true; };
        m_explorer.askText = [this](const QString &, const QString &, bool *ok) {
            *ok = true;
            return m_answer;
        };
        m_explorer.chooseIcon = [this] { return int(m_random.bounded(TagTreeView::IconCount)); };
        m_explorer.showMessage = [this](const QString &message) { m_messages << message; };
        m_explorer.createEditor = [this] {
            auto *editor = new TEditorForm(m_context, m_database);
            editor->setExplorerWindow(&m_explorer);
            editor->askYesNo = [](const QString &) { return true; };
            editor->showMessage = [this](const QString &message) { m_messages << message; };
            m_editor = editor;
            return editor;
        };
        m_explorer.show();
        m_explorer.LoadTagTree(QString());
        // Trashed notes must leave the full-text index too.
        m_explorer.fullTextSearch()->start();
        QDir().mkpath(m_folder.path() + QStringLiteral("outside"));
        QFile source(m_folder.path() + QStringLiteral("outside/attached.txt"));
        source.open(QIODevice::WriteOnly);
        source.write("attached");
    }

    // Runs one random operation; answers its description.
    QString step()
    {
        m_messages.clear();
        const int choice = int(m_random.bounded(100));
        // Saves go through a whole editor and cost the most: they are fewer.
        if (choice < 10)
            return addNode();
        if (choice < 18)
            return addNote();
        if (choice < 22)
            return saveAgain();
        if (choice < 30)
            return trashNote();
        if (choice < 38)
            return renameNode();
        if (choice < 45)
            return deleteNode();
        if (choice < 55)
            return moveNode();
        if (choice < 64)
            return moveNote();
        if (choice < 71)
            return search();
        if (choice < 80)
            return keys();
        if (choice < 86)
            return locator();
        if (choice < 89)
            return click();
        if (choice < 94)
            return restoreNote();
        if (choice < 97)
            return retitle();
        return setIcon();
    }

    // Every rule, from the rows; an empty text when all hold. The reads share one
    // transaction: each read in a transaction of its own would cost a commit.
    QString check()
    {
        m_database.startTransaction();
        const QString problem = checkRules();
        m_database.rollback();
        return problem;
    }

    quint32 seed() const { return m_seed; }

private:
    QString checkRules()
    {
        const QStringList problems =
            checkCatalogRows(m_database, m_context.dataFolder, RowCheckOptions{false, m_context.programFolder});
        if (!problems.isEmpty())
            return problems.join(QLatin1Char('\n'));
        const QString tree = compareWithFullReload(*m_explorer.TagTreeView_(), m_database, m_explorer.searchText(),
                                                   m_orderAsLoaded ? SiblingOrder::AsFullLoad : SiblingOrder::Any);
        if (!tree.isEmpty())
            return tree;
        // The catalog field's suggestions follow the rows without reading them all again.
        QStringList suggested = m_context.catalogPaths;
        QStringList stored = m_database.loadCatalogPaths();
        suggested.sort();
        stored.sort();
        if (suggested != stored)
            return QStringLiteral("suggested paths %1, stored %2")
                .arg(suggested.join(QLatin1Char('|')), stored.join(QLatin1Char('|')));
        if (const QString trashed = checkTrashedNotesAreGone(m_explorer, m_database, m_searcher, m_markerOf);
            !trashed.isEmpty())
            return trashed;
        return checkListing();
    }

    TagTreeView *tree() { return m_explorer.TagTreeView_(); }

    QString randomPath(int maxNames)
    {
        QStringList names;
        const int count = 1 + int(m_random.bounded(maxNames));
        for (int i = 0; i < count; ++i)
            names << Names.at(m_random.bounded(Names.size()));
        // Blanks around commas are the user's; the catalog trims them.
        return names.join(m_random.bounded(4) == 0 ? QStringLiteral(" , ") : QStringLiteral(","));
    }

    TagTreeItem *randomNode()
    {
        const QList<TagTreeItem *> all = tree()->allTags();
        return all.isEmpty() ? nullptr : all.at(m_random.bounded(all.size()));
    }

    QString nodeName(const TagTreeItem *node) const
    {
        return node ? QStringLiteral("%1 %2").arg(node->record.tagid).arg(node->record.name) : QStringLiteral("none");
    }

    // Selects a node as a click does, and lists it.
    TagTreeItem *selectRandomNode()
    {
        TagTreeItem *node = randomNode();
        if (node) {
            tree()->setCurrentItem(node);
            m_explorer.ShowTagNotes();
        }
        return node;
    }

    // Selects and lists a node that has notes filed in it, when there is one.
    TagTreeItem *selectRandomNodeWithNotes()
    {
        QList<int> filed;
        QSqlQuery &query = m_database.runQuery(QStringLiteral("select distinct tagid from note"));
        while (query.next())
            filed << query.value(0).toInt();
        query.finish();
        m_database.rollback();
        TagTreeItem *node = filed.isEmpty() ? nullptr : tree()->findTag(filed.at(m_random.bounded(filed.size())));
        if (!node)
            return selectRandomNode();
        tree()->setCurrentItem(node);
        m_explorer.ShowTagNotes();
        return node;
    }

    // A note of the listed node, selected in the list; null when it has none.
    QTreeWidgetItem *selectRandomNote()
    {
        QTreeWidget *list = m_explorer.noteList();
        if (list->topLevelItemCount() == 0)
            return nullptr;
        QTreeWidgetItem *item = list->topLevelItem(m_random.bounded(list->topLevelItemCount()));
        list->setCurrentItem(item);
        item->setSelected(true);
        return item;
    }

    QString closeEditor(TEditorForm *editor, const QString &what)
    {
        QPointer<TEditorForm> guard(editor);
        editor->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // Outside a search a save shows the tree as a full reload does, siblings in id order.
        if (m_explorer.searchText().isEmpty())
            m_orderAsLoaded = true;
        if (guard) {
            const QString messages = m_messages.join(QStringLiteral(" | "));
            delete guard.data();
            return what + QStringLiteral(" FAILED TO SAVE: ") + messages;
        }
        return what;
    }

    QString addNode()
    {
        TagTreeItem *parent = m_random.bounded(3) == 0 ? nullptr : selectRandomNode();
        if (!parent)
            tree()->clearSelection();
        m_answer = randomPath(2);
        m_explorer.AddTagActExecute();
        return QStringLiteral("add node \"%1\" below %2").arg(m_answer, nodeName(parent));
    }

    QString addNote()
    {
        QString catalog;
        TEditorForm *editor = nullptr;
        if (m_random.bounded(3) == 0) {
            TagTreeItem *node = selectRandomNode();
            m_explorer.AddNoteInTagActExecute();
            editor = m_editor;
            catalog = node ? node->record.path : QString();
        } else {
            m_explorer.AddNoteActExecute();
            editor = m_editor;
            catalog = m_random.bounded(6) == 0 ? QString() : randomPath(3);
            editor->tagsEdit()->setText(catalog);
        }
        const QString title =
            TitleWords.at(m_random.bounded(TitleWords.size())) + QLatin1Char(' ') + QString::number(++m_notesMade);
        const QString marker = QStringLiteral("marker%1x").arg(m_notesMade);
        editor->PrefillFromCapture(QStringLiteral("<p>Body of note %1 %2</p>").arg(m_notesMade).arg(marker), title);
        const bool attach = m_random.bounded(4) == 0;
        if (attach)
            editor->AddAttachment(m_folder.path() + QStringLiteral("outside/attached.txt"));
        const QString what =
            closeEditor(editor, QStringLiteral("add note \"%1\" under \"%2\"%3")
                                    .arg(title, catalog, attach ? QStringLiteral(" with a file") : QString()));
        if (!what.contains(QLatin1String("FAILED TO SAVE"))) {
            m_markerOf.insert(m_database.queryInteger(QStringLiteral("select max(noteid) from note")), marker);
            m_database.rollback();
        }
        return what;
    }

    QString saveAgain()
    {
        selectRandomNode();
        QTreeWidgetItem *note = selectRandomNote();
        if (!note)
            return QStringLiteral("save again: no note listed");
        const QString title = note->text(0);
        m_explorer.OpenNoteForEditing();
        TEditorForm *editor = m_editor;
        QString change = QStringLiteral("unchanged");
        switch (m_random.bounded(3)) {
        case 0:
            editor->titleEdit()->setText(title + QStringLiteral(" v2"));
            change = QStringLiteral("retitled");
            break;
        case 1:
            editor->tagsEdit()->setText(randomPath(3));
            change = QStringLiteral("refiled under \"%1\"").arg(editor->tagsEdit()->text());
            break;
        default:
            break;
        }
        return closeEditor(editor, QStringLiteral("save \"%1\" again, %2").arg(title, change));
    }

    // Deleting moves the note to the trash; now and then Ctrl+Z brings it back.
    QString trashNote()
    {
        TagTreeItem *node = selectRandomNodeWithNotes();
        QTreeWidgetItem *note = selectRandomNote();
        if (!note)
            return QStringLiteral("trash note: none listed in %1").arg(nodeName(node));
        const QString title = note->text(0);
        m_explorer.DelNoteActExecute();
        if (m_random.bounded(5) == 0) {
            m_explorer.UndoTrashExecute();
            return QStringLiteral("trash note \"%1\" of %2, then undo").arg(title, nodeName(node));
        }
        return QStringLiteral("trash note \"%1\" of %2").arg(title, nodeName(node));
    }

    // A trashed note goes back under its old path (its nodes may be gone), or
    // now and then is deleted for good, or the trash is emptied.
    QString restoreNote()
    {
        m_explorer.ShowTrash();
        QTreeWidget *list = m_explorer.trashView()->list();
        if (list->topLevelItemCount() == 0) {
            m_explorer.trashCommands().leaveTrash();
            return QStringLiteral("restore: the trash is empty");
        }
        QTreeWidgetItem *item = list->topLevelItem(m_random.bounded(list->topLevelItemCount()));
        list->setCurrentItem(item);
        item->setSelected(true);
        const QString title = item->text(0);
        const QString path = item->text(2);
        const int choice = int(m_random.bounded(10));
        QString what;
        if (choice == 0) {
            QTest::keyClick(list, Qt::Key_Delete);
            what = QStringLiteral("delete trashed note \"%1\" for good").arg(title);
        } else if (choice == 1) {
            m_explorer.trashView()->emptyButton()->click();
            what = QStringLiteral("empty the trash");
        } else {
            QTest::keyClick(list, Qt::Key_Return);
            what = QStringLiteral("restore \"%1\" under \"%2\"").arg(title, path);
        }
        m_explorer.trashCommands().leaveTrash();
        // Nodes made again are their parent's last children.
        m_orderAsLoaded = false;
        return what;
    }

    QString renameNode()
    {
        TagTreeItem *node = selectRandomNode();
        m_answer = Names.at(m_random.bounded(Names.size()));
        if (m_random.bounded(4) == 0)
            m_answer += QStringLiteral(" 2");
        const QString before = nodeName(node);
        m_explorer.RenameTagActExecute();
        return QStringLiteral("rename %1 to \"%2\"").arg(before, m_answer);
    }

    QString deleteNode()
    {
        TagTreeItem *node = selectRandomNode();
        const QString name = nodeName(node);
        m_explorer.DeleteTagActExecute();
        return QStringLiteral("delete node %1%2")
            .arg(name, m_messages.isEmpty() ? QString() : QStringLiteral(" (refused)"));
    }

    QString moveNode()
    {
        TagTreeItem *moved = selectRandomNode();
        TagTreeItem *target = randomNode();
        if (!moved || !target || !m_explorer.TagTreeViewDragOver(tree(), target))
            return QStringLiteral("move node %1 onto %2: refused").arg(nodeName(moved), nodeName(target));
        const QString what = QStringLiteral("move node %1 onto %2").arg(nodeName(moved), nodeName(target));
        m_explorer.TagTreeViewDragDrop(tree(), target);
        m_orderAsLoaded = false; // the moved node is its new parent's last child
        return what;
    }

    QString moveNote()
    {
        TagTreeItem *node = selectRandomNode();
        QTreeWidgetItem *note = selectRandomNote();
        TagTreeItem *target = randomNode();
        if (!note || !target)
            return QStringLiteral("move note: none listed in %1").arg(nodeName(node));
        const QString what = QStringLiteral("move note \"%1\" onto %2").arg(note->text(0), nodeName(target));
        m_explorer.TagTreeViewDragDrop(m_explorer.noteList(), target);
        return what;
    }

    QString search()
    {
        QLineEdit *box = m_explorer.titleFilterEdit();
        if (m_explorer.searchText().isEmpty() || m_random.bounded(3) == 0) {
            box->setText(SearchWords.at(m_random.bounded(SearchWords.size())));
            QTest::keyClick(box, Qt::Key_Return);
            return QStringLiteral("search for \"%1\"").arg(box->text());
        }
        m_orderAsLoaded = true; // ending a search reloads the tree in full
        if (m_random.bounded(2) == 0) {
            box->clear();
            QTest::keyClick(box, Qt::Key_Return);
            return QStringLiteral("end the search with Enter");
        }
        for (QToolButton *button : box->findChildren<QToolButton *>()) {
            if (button->isVisible())
                button->click();
        }
        return QStringLiteral("end the search with the clear button");
    }

    QString keys()
    {
        static const Qt::Key Moves[] = {Qt::Key_Down, Qt::Key_Up, Qt::Key_Home, Qt::Key_End, Qt::Key_PageDown};
        const Qt::Key key = Moves[m_random.bounded(int(std::size(Moves)))];
        tree()->setFocus();
        QTest::keyClick(tree(), key);
        return QStringLiteral("key %1 in the tree, now on %2").arg(int(key)).arg(nodeName(tree()->selectedTag()));
    }

    QString locator()
    {
        TagTreeItem *node = randomNode();
        if (!node)
            return QStringLiteral("locator: empty tree");
        const QString name = node->record.name.toLower();
        const QString typed = name.left(1 + m_random.bounded(std::max<qsizetype>(1, name.size())));
        QLineEdit *locator = m_explorer.quickLocator();
        locator->clear();
        // Key by key; letters outside ASCII go in as an input method would put them.
        for (const QChar c : typed) {
            if (c.unicode() < 128)
                QTest::keyClick(locator, c.toLatin1());
            else
                locator->insert(QString(c));
        }
        return QStringLiteral("locator \"%1\", now on %2").arg(typed, nodeName(tree()->selectedTag()));
    }

    QString click()
    {
        TagTreeItem *node = randomNode();
        if (!node)
            return QStringLiteral("click: empty tree");
        tree()->scrollToItem(node);
        const QPoint where = tree()->visualItemRect(node).center();
        const bool right = m_random.bounded(3) == 0;
        QTest::mouseClick(tree()->viewport(), right ? Qt::RightButton : Qt::LeftButton, {}, where);
        if (right) {
            for (QMenu *menu : m_explorer.findChildren<QMenu *>())
                menu->hide();
        }
        return QStringLiteral("%1 click on %2")
            .arg(right ? QStringLiteral("right") : QStringLiteral("left"), nodeName(node));
    }

    QString retitle()
    {
        selectRandomNode();
        QTreeWidgetItem *note = selectRandomNote();
        if (!note)
            return QStringLiteral("retitle: none listed");
        m_answer = TitleWords.at(m_random.bounded(TitleWords.size())) + QStringLiteral(" renamed");
        m_explorer.RenTitleMenuClick();
        return QStringLiteral("retitle a note to \"%1\"").arg(m_answer);
    }

    QString setIcon()
    {
        TagTreeItem *node = selectRandomNode();
        m_explorer.SetIconMenuClick();
        return QStringLiteral("set the icon of %1").arg(nodeName(node));
    }

    // The selected node is the listed one, and the list holds its notes once each.
    QString checkListing()
    {
        TagTreeItem *selected = tree()->selectedTag();
        const NoteListPane &notes = m_explorer.notes();
        if (!selected)
            return QString();
        if (notes.listedTagId() != selected->record.tagid)
            return QStringLiteral("node %1 is selected but node %2 is listed")
                .arg(selected->record.tagid)
                .arg(notes.listedTagId());
        QList<int> shown;
        for (int i = 0; i < m_explorer.noteList()->topLevelItemCount(); ++i)
            shown << NoteListPane::noteRecord(m_explorer.noteList()->topLevelItem(i))->noteid;
        // Every note of the node that the filter of the listing takes, and only notes of
        // the node (a note retitled since may no longer match the filter), each once.
        auto noteIds = [this, selected](const QString &filter) {
            QList<int> ids;
            QSqlQuery &query = filter.trimmed().isEmpty()
                                   ? m_database.runQuery(QStringLiteral("select noteid from note where tagid=?"),
                                                         {selected->record.tagid})
                                   : m_database.runQuery(QStringLiteral("select noteid from note where tagid=? and ") +
                                                             titleHoldsSearchText(),
                                                         {selected->record.tagid, titleSearchPattern(filter)});
            while (query.next())
                ids << query.value(0).toInt();
            query.finish();
            return ids;
        };
        const QList<int> matching = noteIds(notes.listedFilter());
        const QList<int> filed = noteIds(QString());
        const QSet<int> unique(shown.cbegin(), shown.cend());
        if (unique.size() != shown.size())
            return QStringLiteral("node %1 lists a note twice").arg(selected->record.tagid);
        for (int id : matching) {
            if (!unique.contains(id))
                return QStringLiteral("node %1 does not list its note %2").arg(selected->record.tagid).arg(id);
        }
        for (int id : shown) {
            if (!filed.contains(id))
                return QStringLiteral("node %1 lists note %2 of another node").arg(selected->record.tagid).arg(id);
        }
        return QString();
    }

    QRandomGenerator m_random;
    quint32 m_seed;
    TestProgramFolder m_folder;
    AppContext m_context{m_folder.path()};
    TDBDataModule m_database{m_folder.databasePath()};
    TMainForm m_explorer{m_context, m_database};
    QPointer<TEditorForm> m_editor;
    NoteSearcher m_searcher{m_context.programFolder + QStringLiteral("index")};
    QHash<int, QString> m_markerOf; // a word only the note's text holds
    QString m_answer;
    QStringList m_messages;
    int m_notesMade = 0;
    bool m_orderAsLoaded = true;
};

} // namespace

class CatalogModelTest : public QObject
{
    Q_OBJECT

private slots:
    void randomOperationsKeepTheCatalogWhole();
};

void CatalogModelTest::randomOperationsKeepTheCatalogWhole()
{
    const quint32 seed = quint32(environmentNumber("CLIPNEST_MODEL_SEED", 20260811));
    const int operations = environmentNumber("CLIPNEST_MODEL_OPERATIONS", 1000);
    CatalogModel model(seed);
    QStringList done;
    for (int i = 1; i <= operations; ++i) {
        done << model.step();
        const QString problem = model.check();
        if (!problem.isEmpty()) {
            const QStringList last = done.mid(std::max<qsizetype>(0, done.size() - 15));
            QFAIL(qPrintable(QStringLiteral("seed %1, operation %2: %3\nafter:\n  %4")
                                 .arg(seed)
                                 .arg(i)
                                 .arg(problem, last.join(QStringLiteral("\n  ")))));
        }
    }
    qInfo("seed %u: %d operations, the catalog stayed whole", seed, operations);
}

CLIPNEST_TEST_MAIN(CatalogModelTest)
#include "tst_catalogmodel.moc"
