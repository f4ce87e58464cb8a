#include "findbar.h"

#include "programtext.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>

namespace {

// Distance from the view's top edge, and from its right edge, which keeps the
// page's scroll bar free.
constexpr int TopGap = 4;
constexpr int RightGap = 20;

QToolButton *MakeButton(QWidget *parent, const QString &name, const QString &iconName, QStyle::StandardPixmap fallback)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(QIcon::fromTheme(iconName, parent->style()->standardIcon(fallback)));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

FindBar::FindBar(QWebEngineView *view)
    : QFrame(view)
    , m_view(view)
{
    setObjectName(QStringLiteral("FindBar"));
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);

    m_textEdit = new QLineEdit(this);
    m_textEdit->setObjectName(QStringLiteral("FindTextEdit"));
    m_textEdit->setClearButtonEnabled(true);
    m_textEdit->setMinimumWidth(200);
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("FindStatusLabel"));
    m_previousButton =
        MakeButton(this, QStringLiteral("FindPreviousButton"), QStringLiteral("go-up"), QStyle::SP_ArrowUp);
    m_nextButton = MakeButton(this, QStringLiteral("FindNextButton"), QStringLiteral("go-down"), QStyle::SP_ArrowDown);
    m_closeButton = MakeButton(this, QStringLiteral("FindCloseButton"), QStringLiteral("window-close"),
                               QStyle::SP_TitleBarCloseButton);
    ShowTexts();

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(m_textEdit);
    layout->addWidget(m_statusLabel);
    layout->addWidget(m_previousButton);
    layout->addWidget(m_nextButton);
    layout->addWidget(m_closeButton);

    connect(m_textEdit, &QLineEdit::textEdited, this, [this] { Find(false, true); });
    connect(m_textEdit, &QLineEdit::returnPressed, this,
            [this] { Find(QApplication::keyboardModifiers().testFlag(Qt::ShiftModifier), false); });
    connect(m_previousButton, &QToolButton::clicked, this, &FindBar::FindPrevious);
    connect(m_nextButton, &QToolButton::clicked, this, &FindBar::FindNext);
    connect(m_closeButton, &QToolButton::clicked, this, &FindBar::Close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &FindBar::Close);
    escape->setContext(Qt::WidgetWithChildrenShortcut);

    view->installEventFilter(this);
    // A count of the page before is no count of this one; a blank view has nothing to find.
    connect(view, &QWebEngineView::loadFinished, this, [this] {
        if (!isVisible())
            return;
        if (m_view->url().isEmpty() || m_view->url() == QUrl(QStringLiteral("about:blank")))
            Dismiss();
        else
            Find(false, true);
    });
    hide();
}

void FindBar::Open()
{
    PlaceInView();
    show();
    raise();
    m_textEdit->setFocus(Qt::ShortcutFocusReason);
    m_textEdit->selectAll();
}

void FindBar::Close()
{
    if (!isVisible())
        return;
    Dismiss();
    m_view->setFocus(Qt::OtherFocusReason);
}

void FindBar::Dismiss()
{
    hide();
    ++m_lastRequest;
    m_view->page()->findText(QString());
    ClearResult();
}

void FindBar::FindNext()
{
    Find(false, false);
}

void FindBar::FindPrevious()
{
    Find(true, false);
}

QString FindBar::Text() const
{
    return m_textEdit->text();
}

void FindBar::SetText(const QString &text)
{
    m_textEdit->setText(text);
}

void FindBar::Find(bool backward, bool newText)
{
    // Only the answer to the latest search is shown. The engine keeps the last
    // match highlighted when a changed text finds nothing, so a new text starts
    // from a clean page.
    const int request = ++m_lastRequest;
    const QString text = m_textEdit->text();
    if (newText || text.isEmpty())
        m_view->page()->findText(QString());
    if (text.isEmpty()) {
        ClearResult();
        return;
    }
    QPointer<FindBar> self(this);
    m_view->page()->findText(text, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags(),
                             [self, request](const QWebEngineFindTextResult &result) {
                                 if (self && request == self->m_lastRequest)
                                     self->ShowResult(result);
                             });
}

void FindBar::ShowResult(const QWebEngineFindTextResult &result)
{
    m_matches = result.numberOfMatches();
    m_activeMatch = result.activeMatch();
    m_notFound = m_matches == 0;
    if (m_notFound) {
        m_statusLabel->setText(programText("Not found"));
        // A red tint of the field's own colour keeps its text readable in light and dark palettes.
        QPalette warning = QPalette();
        const QColor base = warning.color(QPalette::Base);
        const QColor red(220, 40, 40);
        warning.setColor(QPalette::Base, QColor::fromRgbF(base.redF() * 0.7f + red.redF() * 0.3f,
                                                          base.greenF() * 0.7f + red.greenF() * 0.3f,
                                                          base.blueF() * 0.7f + red.blueF() * 0.3f));
        m_textEdit->setPalette(warning);
    } else {
        m_statusLabel->setText(QStringLiteral("%1/%2").arg(m_activeMatch).arg(m_matches));
        m_textEdit->setPalette(QPalette());
    }
    PlaceInView();
    emit searched(m_activeMatch, m_matches);
}

void FindBar::ClearResult()
{
    m_matches = 0;
    m_activeMatch = 0;
    m_notFound = false;
    m_statusLabel->clear();
    m_textEdit->setPalette(QPalette());
}

void FindBar::ShowTexts()
{
    m_textEdit->setPlaceholderText(programText("Find in note"));
    // Wide enough for either answer, so the bar does not jump while typing.
    m_statusLabel->setMinimumWidth(std::max(m_statusLabel->fontMetrics().horizontalAdvance(programText("Not found")),
                                            m_statusLabel->fontMetrics().horizontalAdvance(QStringLiteral("000/000"))));
    if (m_notFound)
        m_statusLabel->setText(programText("Not found"));
    m_previousButton->setToolTip(programText("Previous match (Shift+Enter)"));
    m_nextButton->setToolTip(programText("Next match (Enter)"));
    m_closeButton->setToolTip(programText("Close (Escape)"));
}

void FindBar::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        ShowTexts();
    QFrame::changeEvent(event);
}

void FindBar::PlaceInView()
{
    adjustSize();
    const int width = std::min(sizeHint().width(), std::max(m_view->width() - RightGap, minimumSizeHint().width()));
    resize(width, sizeHint().height());
    move(std::max(0, m_view->width() - width - RightGap), TopGap);
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    // The engine puts its drawing surface into the view when a page first shows;
    // the bar stays above it and in the corner when the view changes size.
    if (watched == m_view && (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded)) {
        if (isVisible()) {
            PlaceInView();
            raise();
        }
    }
    return QFrame::eventFilter(watched, event);
}
