#include "dropform.h"

#include "appcontext.h"
#include "appicon.h"
#include "dropdata.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "infoform.h"
#include "logopicture.h"
#include "mainform.h"
#include "menuentry.h"
#include "notefilestore.h"
#include "parseddrop.h"
#include "settings.h"
#include "styledselection.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScopeGuard>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

#include <algorithm>

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

constexpr int BoxSize = 48;
// The box's visible part: the rows above the ones the shape cuts away.
constexpr int VisibleHeight = 43;
// From the available area's right edge: room for a title bar's buttons.
constexpr int FirstRightGap = 160;
constexpr int FirstTopGap = 8;

} // namespace

QPoint TDropForm::firstPosition(const QRect &available)
{
    return QPoint(std::max(available.left(), available.right() + 1 - FirstRightGap - BoxSize),
                  available.top() + FirstTopGap);
}

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
    // Only as high as the shape shows: under a bare X server the rows a shape
    // cuts away below a window stay black.
    setFixedSize(BoxSize, VisibleHeight);
    setWindowOpacity(230.0 / 255.0);
    setMask(windowShape());
    // Clear of the explorer's rows, which fill the screen below its tool bar.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(firstPosition(screen->availableGeometry()));

    LogoImage = new QLabel(this);
    LogoImage->setObjectName(QStringLiteral("LogoImage"));
    LogoImage->setGeometry(0, 0, BoxSize, BoxSize);
    LogoImage->setAttribute(Qt::WA_TranslucentBackground);
    m_logo = QImage(m_context.programFolder + QStringLiteral("logo"), "PNG");
    showLogoAtPixelRatio();
    LogoImage->setToolTip(tr("Drag & Drop anything to here!"));
    LogoImage->installEventFilter(this);

    AddNoteAct = new QAction(tr("Add note"), this);
    AddNoteAct->setObjectName(QStringLiteral("AddNoteAct"));
    AddNoteAct->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(AddNoteAct, &QAction::triggered, this, &TDropForm::AddNoteActExecute);
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
    QAction *viewHide = PopupMenu1->addAction(literalCaption(tr("View/Hide drag&drop box")));
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

    TrayIcon1 = new QSystemTrayIcon(applicationIcon(), this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setToolTip(QStringLiteral("Orvane Clipnest"));
    TrayIcon1->setContextMenu(PopupMenu1);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        TrayIcon1->show();

    showMessage = [this](const QString &message) {
        QMessageBox::information(this, QLatin1String(ApplicationTitle), message);
    };
    captureFolder = [this] { return NewNoteLocation(m_context.dataFolder).dayFolder; };
    setAcceptDrops(true);

    // FormCreate: the settings file appears on the first start.
    Settings(m_context.programFolder).writeDefaultSettings();
}

TDropForm::~TDropForm() = default;

void TDropForm::showLogoAtPixelRatio()
{
    QPixmap shown = logoForBox(m_logo, BoxSize, devicePixelRatioF());
    if (m_dropHighlight) {
        if (shown.isNull()) {
            shown = QPixmap(QSize(BoxSize, BoxSize) * devicePixelRatioF());
            shown.setDevicePixelRatio(devicePixelRatioF());
            shown.fill(palette().color(QPalette::Window));
        }
        // Lighter, in a ring of the highlight colour: clear on the blue logo and on any other.
        QPainter painter(&shown);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF visible(0, 0, BoxSize, VisibleHeight);
        painter.fillRect(visible, QColor(255, 255, 255, 70));
        painter.setPen(QPen(QColor(255, 176, 0), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(visible.adjusted(1.5, 1.5, -1.5, -1.5), 5, 5);
    }
    if (shown.isNull())
        LogoImage->clear();
    else
        LogoImage->setPixmap(shown);
}

void TDropForm::setDropHighlight(bool on)
{
    if (on == m_dropHighlight)
        return;
    m_dropHighlight = on;
    // Fully opaque while marked, so the mark is seen over any background.
    setWindowOpacity(on ? 1.0 : 230.0 / 255.0);
    showLogoAtPixelRatio();
}

void TDropForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_followsScreen && windowHandle()) {
        // Moved to a screen of another pixel ratio, the box draws its picture anew.
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { showLogoAtPixelRatio(); });
        m_followsScreen = true;
    }
    showLogoAtPixelRatio();
}

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
            if (press->button() == Qt::LeftButton)
                m_pressedAt = press->globalPosition().toPoint();
            else
                PopupMenu1->popup(press->globalPosition().toPoint());
            return true;
        }
        if (event->type() == QEvent::MouseMove) {
            // The window system moves the box once the mouse really moves, so that a
            // double-click on the logo still arrives as one.
            auto *move = static_cast<QMouseEvent *>(event);
            if ((move->buttons() & Qt::LeftButton) && !m_pressedAt.isNull() &&
                (move->globalPosition().toPoint() - m_pressedAt).manhattanLength() >=
                    QApplication::startDragDistance()) {
                m_pressedAt = QPoint();
                if (QWindow *window = windowHandle())
                    window->startSystemMove();
            }
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            m_pressedAt = QPoint();
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

void TDropForm::closeForExit()
{
    m_closing = true;
    // The pictures still loading are not waited for.
    if (m_captureCancelled)
        *m_captureCancelled = true;
    close();
}

void TDropForm::Exit1Click()
{
    emit exitRequested();
}

void TDropForm::AddNoteActExecute()
{
    if (!createEditor)
        return;
    TEditorForm *editor = createEditor();
    editor->show();
}

void TDropForm::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void TDropForm::dragMoveEvent(QDragMoveEvent *event)
{
    if (m_busy) {
        setDropHighlight(false);
        event->ignore();
        return;
    }
    // Copy only: a move from a file manager would delete the user's file.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The program's own items are let pass over the box but not taken.
    setDropHighlight(!event->source());
}

void TDropForm::dragLeaveEvent(QDragLeaveEvent *event)
{
    setDropHighlight(false);
    QWidget::dragLeaveEvent(event);
}

void TDropForm::dropEvent(QDropEvent *event)
{
    setDropHighlight(false);
    // Items dragged out of the program's own lists mean nothing here, and one
    // drop is taken at a time.
    if (event->source() || m_busy) {
        event->ignore();
        return;
    }
    // Everything is read here: the source may end the transfer once this returns.
    const QList<DroppedItem> items = readDroppedData(*event->mimeData());
    if (items.isEmpty()) {
        event->ignore();
    } else {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
    // The work itself runs after the drop, so the drag source is not kept waiting.
    QTimer::singleShot(0, this, [this, items] { handleDrop(items); });
}

TEditorForm *TDropForm::openEditorFromDrop()
{
    QPointer<TEditorForm> editor = createEditor();
    editor->show();
    editor->raise();
    editor->activateWindow();
    editor->setNoteId(0);
    editor->content()->WaitWhileBusy();
    return editor; // null when the user closed it meanwhile
}

bool TDropForm::handleDrop(const QList<DroppedItem> &items)
{
    if (items.isEmpty() || m_busy || !createEditor) {
        if (items.isEmpty())
            showMessage(m_context.messages.shown(QStringLiteral("UnSupportedFormat")));
        return false;
    }
    const DroppedItem &item = items.first();
    raise();
    if (item.format == DropFormat::Files) {
        QPointer<TEditorForm> editor = openEditorFromDrop();
        for (const QString &file : item.files) {
            if (editor)
                editor->AddAttachment(file);
        }
        return true;
    }

    QString body;
    QString title;
    QString source;
    QString noteFolder;
    m_busy = true;
    if (m_info) {
        m_info->setTexts(m_context.messages.shown(QStringLiteral("CaptureCancel")),
                         m_context.messages.shown(QStringLiteral("CaptureProgress")));
        m_info->showWaiting();
    }
    try {
        if (item.format == DropFormat::Html) {
            // Parsing and fetching run beside the interface, which stays live,
            // shows how many pictures are done and can give up on the rest.
            QPointer<TInfoForm> info = m_info;
            auto cancelled = std::make_shared<std::atomic<bool>>(false);
            m_captureCancelled = cancelled;
            FetchOptions limits = captureLimits;
            limits.cancelled = [cancelled] { return cancelled->load(); };
            QMetaObject::Connection cancelling;
            if (m_info)
                cancelling = connect(m_info, &TInfoForm::cancelRequested, this, [cancelled] { *cancelled = true; });
            const auto stopCancelling = qScopeGuard([&cancelling] { disconnect(cancelling); });
            // The page's look and the pictures share one deadline.
            limits = WithDeadline(limits);
            QByteArray clipText = item.clipText;
            if (!item.htmlContext.isEmpty()) {
                const StyledSelection styled =
                    StyleSelection(item.fragment, item.htmlContext, item.sourceAddress, limits);
                if (m_closing) {
                    m_busy = false;
                    return false;
                }
                const QString page = item.sourceAddress.isEmpty() ? styled.pageAddress : item.sourceAddress;
                if (styled.styled || !styled.pageTitle.isEmpty())
                    clipText = buildClipText(styled.fragment, page, styled.pageTitle.toHtmlEscaped());
            }
            // The note and its pictures share the folder of the day the capture began.
            const ParsedDrop parsed = parseDroppedClipResponsively(
                clipText, m_context.dataFolder,
                [info](int done, int total) {
                    if (info)
                        info->showProgress(done, total);
                },
                captureFolder ? captureFolder() : QString(), limits);
            if (m_closing) { // the program ended meanwhile: no editor is opened any more
                m_busy = false;
                return false;
            }
            noteFolder = parsed.noteFolder;
            body = parsed.body;
            while (body.contains(QLatin1String("<v:imagedata "))) {
                body.replace(QLatin1String("<v:imagedata "), QLatin1String("<img "));
                body.replace(QLatin1String("</v:imagedata>"), QLatin1String("</img>"));
            }
            title = captureTitle(parsed.title, body);
            source = noteSourceAddress(parsed.sourceAddress);
        } else {
            body = bookmarkFragment(item.linkText);
            title = item.linkTitle.isEmpty() ? item.linkText : item.linkTitle;
            source = noteSourceAddress(item.linkText);
        }
        QPointer<TEditorForm> editor = openEditorFromDrop();
        if (editor)
            editor->useNoteFolder(noteFolder);
        if (editor)
            editor->PrefillFromCapture(body, title, source);
        if (editor)
            editor->titleEdit()->setFocus();
    } catch (...) {
        m_busy = false;
        if (m_info)
            m_info->hide();
        throw;
    }
    m_busy = false;
    if (m_info)
        m_info->hide();
    return true;
}
