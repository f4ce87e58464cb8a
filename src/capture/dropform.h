#pragma once

#include "picturefetcher.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

struct AppContext;
class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class TEditorForm;
#include "infoform.h"
struct DroppedItem;
#include "mainform.h"

// The drop box: a small frameless window that stays on top of the desktop,
// takes what is dragged out of a web browser, and carries the tray icon. It is
// the program's main window: closing it ends the program.
class TDropForm : public QWidget
{
    Q_OBJECT

public:
    explicit TDropForm(AppContext &context, QWidget *parent = nullptr);
    ~TDropForm() override;

    void setExplorer(TMainForm *explorer) { m_explorer = explorer; }
    void setInfoWindow(TInfoForm *info) { m_info = info; }
    // Creates a new editor with the interface language applied, knowing the
    // explorer and the drop box.
    std::function<TEditorForm *()> createEditor;
    // Plain messages; replaced by tests.
    std::function<void(const QString &message)> showMessage;
    // The folder of a capture's note and pictures, fixed as the capture starts:
    // today's day folder. Replaced by tests.
    std::function<QString()> captureFolder;
    // Limits of a capture's downloads, the deadline of the whole capture among
    // them; tests shorten them.
    FetchOptions captureLimits;

    // Handles what a drop carried: the first recognised form becomes a new note.
    // Answers false when nothing was recognised (the user has been told).
    bool handleDrop(const QList<DroppedItem> &items);
    bool isBusy() const { return m_busy; }
    // Ticks the double-click choice read from the settings file.
    void setDoubleClickChoice(int defaultClick);
    bool addsNoteOnDoubleClick() const;

    // The window's shape: the 48x48 mask with the bottom rows and three corners cut.
    static QRegion windowShape();
    // Where the box appears at start on a screen of that available area: near
    // its top right, over the right ends of the explorer's menu and tool bars,
    // which hold nothing there, and left of a title bar's buttons.
    static QPoint firstPosition(const QRect &available);
    // A drag the box would take is over it.
    bool showsDropHighlight() const { return m_dropHighlight; }

    QMenu *popupMenu() const { return PopupMenu1; }
    QSystemTrayIcon *trayIcon() const { return TrayIcon1; }
    QLabel *logoImage() const { return LogoImage; }

    void AddNoteActExecute();
    void ShowMainActExecute();
    void ViewHidedragdropbox1Click();
    void Exit1Click();
    // The program is ending: closes the box, and a drop still being parsed opens
    // no editor.
    void closeForExit();

signals:
    void exitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void LogoImageDblClick();
    void AddnoteCheckClick();
    void ShownotesexplorerCheckClick();
    TEditorForm *openEditorFromDrop();
    // Shows the logo file's picture sharp at the screen's pixel ratio, marked
    // while a drag the box would take is over it.
    void showLogoAtPixelRatio();
    void setDropHighlight(bool on);

    AppContext &m_context;
    QPointer<TMainForm> m_explorer;
    QPointer<TInfoForm> m_info;
    bool m_busy = false;
    bool m_closing = false;
    // Set to end the capture under way: its Cancel button, or the program's end.
    std::shared_ptr<std::atomic<bool>> m_captureCancelled;
    QPoint m_pressedAt; // where the left button went down on the logo
    QImage m_logo;      // the logo file as read
    bool m_followsScreen = false;
    bool m_dropHighlight = false;

    QLabel *LogoImage = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *AddNoteAct = nullptr;
    QAction *ShowMainAct = nullptr;
    QAction *AddnoteCheck = nullptr;
    QAction *ShownotesexplorerCheck = nullptr;
    QSystemTrayIcon *TrayIcon1 = nullptr;
};
