#pragma once

#include <QPointer>
#include <QWidget>

struct AppContext;
class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;
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
    // Ticks the double-click choice read from the settings file.
    void setDoubleClickChoice(int defaultClick);
    bool addsNoteOnDoubleClick() const;

    // The window's shape: the 48x48 mask with the bottom rows and three corners cut.
    static QRegion windowShape();

    QMenu *popupMenu() const { return PopupMenu1; }
    QSystemTrayIcon *trayIcon() const { return TrayIcon1; }
    QLabel *logoImage() const { return LogoImage; }

    void ShowMainActExecute();
    void ViewHidedragdropbox1Click();
    void Exit1Click();

signals:
    void exitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void LogoImageDblClick();
    void AddnoteCheckClick();
    void ShownotesexplorerCheckClick();

    AppContext &m_context;
    QPointer<TMainForm> m_explorer;

    QLabel *LogoImage = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *AddNoteAct = nullptr;
    QAction *ShowMainAct = nullptr;
    QAction *AddnoteCheck = nullptr;
    QAction *ShownotesexplorerCheck = nullptr;
    QSystemTrayIcon *TrayIcon1 = nullptr;
};
