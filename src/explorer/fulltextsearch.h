#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <memory>

struct AppContext;
class IndexUpdateQueue;
class NoteSearcher;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QThread;
class QTimer;
class QTreeWidgetItem;
class SearchIndex;
class TDBDataModule;
class TMainForm;

// The explorer's full-text search: the choice beside the title search box
// between titles and full text, the full-text box, the hits in the note list,
// the progress line while the index is built, and the index updates that go
// with the explorer's commands and the editors' saves.
class FullTextSearch : public QObject
{
    Q_OBJECT

public:
    // Adds its controls to the explorer's tool bar after the title search box.
    FullTextSearch(TMainForm *explorer, AppContext &context, TDBDataModule &database);
    ~FullTextSearch() override;

    // Opens the index in the program folder and brings it up to date with the
    // notes beside the interface. Until then searches and updates do nothing.
    void start();
    // The index has been opened and is not being brought up to date.
    bool isIdle() const;
    // Waits until the changes made so far are in the index.
    void waitForUpdates();
    SearchIndex *index() const { return m_index.get(); }

    bool isFullText() const;
    void setFullText(bool fullText);
    QComboBox *scopeBox() const { return m_scopeBox; }
    QLineEdit *fullTextEdit() const { return m_edit; }
    QLabel *statusLabel() const { return m_statusLabel; }

    // Lists the notes that match, best first, with no node selected beside
    // them; an empty query returns to the plain catalog.
    void search(const QString &query);
    // The list shows a node's notes now: the count of the hits goes.
    void nodeListed();

    // The index follows what the user did, on a thread of its own: a save never
    // waits for a large note to be indexed, and searches wait for what is queued.
    // A failure never undoes the change: it is reported once and the next start
    // repairs the index.
    void noteChanged(int noteId);
    void noteDeleted(int noteId);
    void catalogChangedBelow(int tagId);

signals:
    void idle();

private:
    void tryOpen();
    void startPass();
    void passProgress(int done, int total);
    void passEnded(const QString &failure, int failureKind);
    // A damaged index is dropped and built anew while the program runs.
    void rebuildIndex();
    QString indexFolder() const;
    void fillSnippets();
    QString snippetOf(QTreeWidgetItem *item);
    void markFirstMatch();
    // The catalog path of a hit's node as the tree writes it.
    QString shownCatalogPath(int tagId, const QString &indexedPath);
    void showHitCount();
    void reportUpdateFailure(const QString &message);
    void showStatus(const QString &text);

    TMainForm *m_explorer;
    AppContext &m_context;
    TDBDataModule &m_database;
    std::unique_ptr<SearchIndex> m_index;
    std::unique_ptr<IndexUpdateQueue> m_updates; // goes before the index it writes
    std::unique_ptr<NoteSearcher> m_searcher;
    bool m_rebuilt = false; // once a run: a rebuild that fails again waits for the next start
    QThread *m_pass = nullptr;
    std::atomic_bool m_cancelPass = false;
    bool m_failureReported = false;
    bool m_showingProgress = false;
    // The hits the list shows: what was searched, how many match in all, and
    // whether the index was complete; an empty query while no hits are listed.
    QString m_hitQuery;
    int m_hitTotal = 0;
    bool m_hitsComplete = true;

    QComboBox *m_scopeBox = nullptr;
    QLineEdit *m_edit = nullptr;
    QAction *m_titleEditAction = nullptr;
    QAction *m_editAction = nullptr;
    QLabel *m_statusLabel = nullptr;
    QProgressBar *m_progress = nullptr;
    QTimer *m_snippetTimer = nullptr;
    QTimer *m_retryTimer = nullptr;
};
