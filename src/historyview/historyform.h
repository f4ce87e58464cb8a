#pragma once

#include "notehistory.h"

#include <QDialog>
#include <QTemporaryDir>

#include <functional>

struct AppContext;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class TExWebBrowser;

// The earlier versions of one note, newest first with the time each was saved
// and its size. The chosen one is shown read-only with its differences from the
// current text marked; "Restore this version" makes it the note's text again,
// and the text it replaces becomes a version itself. Up and Down go through the
// versions, Enter restores the chosen one (the replaced text stays a version,
// so nothing is lost), Escape closes.
class THistoryForm : public QDialog
{
    Q_OBJECT

public:
    // notePath is the full path of the note's file.
    THistoryForm(const AppContext &context, int noteId, const QString &notePath, const QString &title,
                 QWidget *parent = nullptr);
    ~THistoryForm() override;

    // Reads the versions and the current text again and shows the chosen version.
    void refresh();
    // Makes the chosen version the note's text; answers whether it did. A
    // failure is told through showMessage, and the note stays as it was.
    bool restoreChosen();

    int noteId() const { return m_noteId; }
    QTreeWidget *versionList() const { return m_list; }
    TExWebBrowser *view() const { return m_view; }
    QPushButton *restoreButton() const { return m_restore; }
    QLabel *statusLabel() const { return m_status; }
    // The page shown for the chosen version, its differences marked; empty when none is shown.
    const QString &shownPage() const { return m_shownPage; }

    // Shows a message; replaced by tests.
    std::function<void(const QString &message)> showMessage;

signals:
    // A version became the note's text: whatever shows or indexes the note reads it again.
    void versionRestored(int noteId);

private:
    void showChosen();
    const NoteVersion *chosenVersion() const;

    const AppContext &m_context;
    const int m_noteId;
    const QString m_notePath;
    QList<NoteVersion> m_versions; // as listed, newest first
    QString m_currentText;
    QString m_shownPage;
    QTemporaryDir m_pageFolder; // the marked page is shown from a file of its own

    QTreeWidget *m_list = nullptr;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_empty = nullptr;
    QLabel *m_legend = nullptr;
    TExWebBrowser *m_view = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_restore = nullptr;
};

// Opens the note's history; every other window waits until it is closed, so
// that nothing else changes the note meanwhile. The window frees itself.
THistoryForm *showNoteHistory(const AppContext &context, int noteId, const QString &notePath, const QString &title,
                              QWidget *parent);
