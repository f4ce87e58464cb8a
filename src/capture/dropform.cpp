#include "dropform.h"

#include "appcontext.h"
#include "mainform.h"
#include "menuentry.h"
#include "settings.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWindow>

namespace {

QImage dropBoxMask()
{
    // White pixels lie outside the window.
    QImage mask(48, 48, QImage::Format_RGB32);
    mask.fill(Qt::black);
    for (int y = 43; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            mask.setPixel(x, y, qRgb(255, 255, 255));
    for (const QPoint corner : {QPoint(0, 0), QPoint(0, 41), QPoint(0, 42), QPoint(1, 42), QPoint(47, 42)})
        mask.setPixel(corner, qRgb(255, 255, 255));
    return mask;
}

QIcon trayPicture(const QPixmap &logo)
{
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(0, 2, 32, 29), logo, QRect(0, 0, 48, 43));
    return QIcon(icon);
}

} // namespace

QRegion TDropForm::windowShape()
{
    const QImage mask = dropBoxMask();
    const QRgb outside = mask.pixel(0, 0);
    QRegion shape;
    for (int y = 0; y < mask.height(); ++y) {
        int runStart = -1;
        for (int x = 0; x <= mask.width(); ++x) {
            const bool inside = x < mask.width() && mask.pixel(x, y) != outside;
            if (inside && runStart < 0)
                runStart = x;
            if (!inside && runStart >= 0) {
                shape += QRect(runStart, y, x - runStart, 1);
                runStart = -1;
            }
        }
    }
    return shape;
}

TDropForm::TDropForm(AppContext &context, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_context(context)
{
    setObjectName(QStringLiteral("DropForm"));
    setWindowTitle(QLatin1String(ApplicationTitle));
    setFixedSize(48, 48);
    setWindowOpacity(230.0 / 255.0);
    setMask(windowShape());
    move(351, 186);

    LogoImage = new QLabel(this);
    LogoImage->setObjectName(QStringLiteral("LogoImage"));
    LogoImage->setGeometry(0, 0, 48, 48);
    LogoImage->setAttribute(Qt::WA_TranslucentBackground);
    const QPixmap logo(m_context.programFolder + QStringLiteral("logo"), "PNG");
    LogoImage->setPixmap(logo);
    LogoImage->setToolTip(tr("Drag & Drop anything to here!"));
    LogoImage->installEventFilter(this);

    AddNoteAct = new QAction(tr("Add note"), this);
    AddNoteAct->setObjectName(QStringLiteral("AddNoteAct"));
    AddNoteAct->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    AddNoteAct->setEnabled(false); // the note editor is not wired yet
    ShowMainAct = new QAction(tr("Show notes explorer"), this);
    ShowMainAct->setObjectName(QStringLiteral("ShowMainAct"));
    ShowMainAct->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    connect(ShowMainAct, &QAction::triggered, this, &TDropForm::ShowMainActExecute);
    addAction(AddNoteAct);
    addAction(ShowMainAct);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(menuEntryFor(AddNoteAct, QStringLiteral("Addnewnote1"), PopupMenu1));
    PopupMenu1->addAction(menuEntryFor(ShowMainAct, QStringLiteral("Showmainwindows1"), PopupMenu1));
    QAction *viewHide = PopupMenu1->addAction(tr("View/Hide drag&drop box"));
    viewHide->setObjectName(QStringLiteral("ViewHidedragdropbox1"));
    connect(viewHide, &QAction::triggered, this, &TDropForm::ViewHidedragdropbox1Click);

    QMenu *doubleClick = PopupMenu1->addMenu(tr("Default double click action"));
    doubleClick->menuAction()->setObjectName(QStringLiteral("Defaultdoubleclickaction1"));
    AddnoteCheck = doubleClick->addAction(tr("Add note"));
    AddnoteCheck->setObjectName(QStringLiteral("AddnoteCheck"));
    AddnoteCheck->setCheckable(true);
    AddnoteCheck->setChecked(true);
    ShownotesexplorerCheck = doubleClick->addAction(tr("Show notes explorer"));
    ShownotesexplorerCheck->setObjectName(QStringLiteral("ShownotesexplorerCheck"));
    ShownotesexplorerCheck->setCheckable(true);
    connect(AddnoteCheck, &QAction::triggered, this, &TDropForm::AddnoteCheckClick);
    connect(ShownotesexplorerCheck, &QAction::triggered, this, &TDropForm::ShownotesexplorerCheckClick);

    PopupMenu1->addAction(namedSeparator(QStringLiteral("N1"), PopupMenu1));
    QAction *exit = PopupMenu1->addAction(tr("Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &TDropForm::Exit1Click);

    TrayIcon1 = new QSystemTrayIcon(trayPicture(logo), this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setToolTip(QStringLiteral("Orvane Clipnest"));
    TrayIcon1->setContextMenu(PopupMenu1);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        TrayIcon1->show();

    // FormCreate: the settings file appears on the first start.
    Settings(m_context.programFolder).writeDefaultSettings();
}

TDropForm::~TDropForm() = default;

void TDropForm::setDoubleClickChoice(int defaultClick)
{
    const bool addNote = defaultClick == Settings::AddNoteClick;
    AddnoteCheck->setChecked(addNote);
    ShownotesexplorerCheck->setChecked(!addNote);
}

bool TDropForm::addsNoteOnDoubleClick() const
{
    return AddnoteCheck->isChecked();
}

bool TDropForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == LogoImage) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto *press = static_cast<QMouseEvent *>(event);
            if (press->button() == Qt::LeftButton) {
                if (QWindow *window = windowHandle())
                    window->startSystemMove();
            } else {
                PopupMenu1->popup(press->globalPosition().toPoint());
            }
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            LogoImageDblClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TDropForm::LogoImageDblClick()
{
    if (AddnoteCheck->isChecked())
        AddNoteAct->trigger();
    else if (ShownotesexplorerCheck->isChecked())
        ShowMainActExecute();
}

void TDropForm::ShowMainActExecute()
{
    if (!m_explorer)
        return;
    if (m_explorer->isMinimized())
        m_explorer->showMaximized();
    else
        m_explorer->show();
    m_explorer->raise();
    m_explorer->activateWindow();
}

void TDropForm::ViewHidedragdropbox1Click()
{
    setVisible(!isVisible());
}

void TDropForm::AddnoteCheckClick()
{
    ShownotesexplorerCheck->setChecked(false);
    AddnoteCheck->setChecked(true);
    Settings(m_context.programFolder).saveDoubleClickAction(Settings::AddNoteClick);
}

void TDropForm::ShownotesexplorerCheckClick()
{
    ShownotesexplorerCheck->setChecked(true);
    AddnoteCheck->setChecked(false);
    Settings(m_context.programFolder).saveDoubleClickAction(Settings::ShowExplorerClick);
}

void TDropForm::Exit1Click()
{
    emit exitRequested();
}
