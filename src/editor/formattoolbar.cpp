#include "formattoolbar.h"

#include "exwebbrowser.h"
#include "fontfamilies.h"
#include "fontsizes.h"
#include "programtext.h"
#include "themeicons.h"

#include <QChildEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QFontComboBox>
#include <QMenu>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <cmath>

namespace {

// A colour as the editing commands take it: red in the lowest byte.
int colourValue(const QColor &colour)
{
    return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

// A square of the colour with an outline in the text colour, so that white
// shows on a light menu and black on a dark one.
QIcon swatch(const QColor &colour, int size, const QColor &outline)
{
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setPen(outline);
    painter.setBrush(colour);
    painter.drawRect(QRectF(0.5, 0.5, size - 1, size - 1));
    return QIcon(picture);
}

struct NamedColour
{
    QColor colour;
    const char *name;
};

const QList<NamedColour> &paletteColours()
{
    static const QList<NamedColour> colours{
        {Qt::black, QT_TRANSLATE_NOOP("Clipnest", "Black")},
        {Qt::darkGray, QT_TRANSLATE_NOOP("Clipnest", "Grey")},
        {Qt::red, QT_TRANSLATE_NOOP("Clipnest", "Red")},
        {Qt::darkRed, QT_TRANSLATE_NOOP("Clipnest", "Dark red")},
        {QColor(255, 128, 0), QT_TRANSLATE_NOOP("Clipnest", "Orange")},
        {Qt::yellow, QT_TRANSLATE_NOOP("Clipnest", "Yellow")},
        {Qt::green, QT_TRANSLATE_NOOP("Clipnest", "Green")},
        {Qt::darkGreen, QT_TRANSLATE_NOOP("Clipnest", "Dark green")},
        {Qt::blue, QT_TRANSLATE_NOOP("Clipnest", "Blue")},
        {Qt::darkBlue, QT_TRANSLATE_NOOP("Clipnest", "Dark blue")},
        {QColor(128, 0, 128), QT_TRANSLATE_NOOP("Clipnest", "Purple")},
        {Qt::white, QT_TRANSLATE_NOOP("Clipnest", "White")},
    };
    return colours;
}

// The document's state of each toggle's command at the caret.
const char CaretStateScript[] = "(function () {"
                                "  if (!document.body) return null;"
                                "  var state = {};"
                                "  ['bold', 'italic', 'underline', 'subscript', 'superscript',"
                                "   'insertUnorderedList'].forEach(function (command) {"
                                "    try { state[command] = document.queryCommandState(command); }"
                                "    catch (e) { state[command] = false; }"
                                "  });"
                                "  return state;"
                                "})()";

} // namespace

QToolButton *makeToolButton(QToolBar *bar, const char *name, const QString &hint, const QIcon &icon,
                            const QString &fallbackText)
{
    auto *button = new QToolButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    button->setFixedSize(28, 28);
    button->setIconSize(QSize(24, 24));
    button->setAutoRaise(true);
    if (icon.isNull())
        button->setText(fallbackText.isEmpty() ? hint.left(2) : fallbackText);
    else
        button->setIcon(icon);
    bar->addWidget(button);
    return button;
}

void showPressedToggles(QToolBar *bar)
{
    bar->setStyleSheet(QStringLiteral("QToolButton:checked {"
                                      "  background-color: palette(midlight);"
                                      "  border: 1px solid palette(highlight);"
                                      "  border-radius: 3px;"
                                      "}"));
}

FormatToolBar::FormatToolBar(TExWebBrowser *content, QWidget *parent)
    : QToolBar(parent)
    , m_content(content)
{
    setObjectName(QStringLiteral("ToolBar2"));
    setFixedHeight(34);
    setIconSize(QSize(24, 24));
    showPressedToggles(this);

    FontComboBox = new QFontComboBox(this);
    FontComboBox->setObjectName(QStringLiteral("FontComboBox"));
    FontComboBox->setFixedWidth(145);
    FontComboBox->setFocusPolicy(Qt::ClickFocus);
    // A list to choose from: an edit field would show the end of a long family name.
    FontComboBox->setEditable(false);
    // The family drawn in place of one that is not installed, so that the list shows what is used.
    FontComboBox->setCurrentFont(QFont(closestInstalledFamily(QStringLiteral("Microsoft JhengHei"))));
    addWidget(FontComboBox);
    connect(FontComboBox, &QFontComboBox::currentFontChanged, this, [this](const QFont &chosen) {
        m_content->ExecCommand(QStringLiteral("FontName"), chosen.family());
        refreshCaretState();
    });

    FontSizeComboBox = new QComboBox(this);
    FontSizeComboBox->setObjectName(QStringLiteral("FontSizeComboBox"));
    FontSizeComboBox->setEditable(true);
    FontSizeComboBox->setFixedWidth(58);
    for (const int points : {8, 9, 10, 12, 14, 16, 18, 24, 28, 32, 36, 48})
        FontSizeComboBox->addItem(QString::number(points));
    FontSizeComboBox->setCurrentText(QStringLiteral("8"));
    addWidget(FontSizeComboBox);
    connect(FontSizeComboBox, &QComboBox::currentTextChanged, this, [this](const QString &text) {
        bool ok = false;
        const int points = text.trimmed().toInt(&ok);
        if (ok) // a half-typed size sends nothing
            m_content->ExecCommand(QStringLiteral("FontSize"), htmlFontSize(points));
    });

    QToolButton *fg = colourButton("FgColorBtn", tr("ForeGround Color"), "ForeColor", Qt::red);
    QToolButton *bg = colourButton("BgColorBtn", tr("Back Ground Color"), "BackColor", Qt::yellow);
    // The text glyphs take the palette's text colour, so they show on dark toolbars too.
    QToolButton *bold =
        commandButton("Bold", tr("Bold"),
                      glyphIcon({QStringLiteral("format-text-bold-symbolic"), QStringLiteral("format-text-bold")}),
                      QString(), "Bold", true);
    QToolButton *italic =
        commandButton("Italic", tr("Italic"),
                      glyphIcon({QStringLiteral("format-text-italic-symbolic"), QStringLiteral("format-text-italic")}),
                      QString(), "Italic", true);
    QToolButton *underline = commandButton(
        "Underline", tr("Underline"),
        glyphIcon({QStringLiteral("format-text-underline-symbolic"), QStringLiteral("format-text-underline")}),
        QString(), "Underline", true);
    QToolButton *bullets =
        commandButton("Bullets", tr("Bullets"),
                      glyphIcon({QStringLiteral("format-list-unordered"), QStringLiteral("view-list-bullet-symbolic")}),
                      QStringLiteral("\u2022"), "InsertUnorderedList", true);
    QToolButton *subscript =
        commandButton("Subscript", tr("Subscript"), QIcon(), QStringLiteral("x\u2082"), "Subscript", true);
    QToolButton *superscript =
        commandButton("Superscript", tr("Superscript"), QIcon(), QStringLiteral("x\u00b2"), "Superscript", true);
    m_toggles = {{bold, QStringLiteral("bold")},           {italic, QStringLiteral("italic")},
                 {underline, QStringLiteral("underline")}, {bullets, QStringLiteral("insertUnorderedList")},
                 {subscript, QStringLiteral("subscript")}, {superscript, QStringLiteral("superscript")}};

    QToolButton *addImage =
        makeToolButton(this, "AddImage", tr("Insert Image"), QIcon::fromTheme(QStringLiteral("insert-image")));
    connect(addImage, &QToolButton::clicked, this, &FormatToolBar::addImageClicked);
    QToolButton *addLink =
        makeToolButton(this, "AddLink", tr("Add HyperLink"), QIcon::fromTheme(QStringLiteral("insert-link")));
    connect(addLink, &QToolButton::clicked, this, &FormatToolBar::addLinkClicked);
    QToolButton *addAttach =
        makeToolButton(this, "AddAttach", tr("Add Attached File"), QIcon::fromTheme(QStringLiteral("mail-attachment")));
    connect(addAttach, &QToolButton::clicked, this, &FormatToolBar::addAttachClicked);
    QToolButton *highlighter = makeToolButton(this, "SyntaxHighlighter", tr("Syntax Highlighter"), QIcon());
    connect(highlighter, &QToolButton::clicked, this, &FormatToolBar::highlighterClicked);
    // Present for the edit-mode switch, but not offered to users.
    for (QAction *action : actions()) {
        if (widgetForAction(action) == highlighter)
            action->setVisible(false);
    }
    QToolButton *cut =
        commandButton("cut", tr("cut"), QIcon::fromTheme(QStringLiteral("edit-cut")), QString(), "Cut", false);
    commandButton("copy", tr("copy"), QIcon::fromTheme(QStringLiteral("edit-copy")), QString(), "Copy", false);
    // Pasted web pictures are stored in the note, so the window does the pasting.
    QToolButton *paste = makeToolButton(this, "paste", tr("paste"), QIcon::fromTheme(QStringLiteral("edit-paste")));
    connect(paste, &QToolButton::clicked, this, &FormatToolBar::pasteClicked);
    QToolButton *properties = makeToolButton(this, "Properties", tr("Properties for HyperLink or image selected"),
                                             QIcon::fromTheme(QStringLiteral("document-properties")));
    connect(properties, &QToolButton::clicked, this, &FormatToolBar::propertiesClicked);
    QToolButton *search = makeToolButton(this, "search", tr("search"), QIcon::fromTheme(QStringLiteral("edit-find")));
    connect(search, &QToolButton::clicked, this, &FormatToolBar::searchClicked);
    QToolButton *print = makeToolButton(this, "print", tr("print"), QIcon::fromTheme(QStringLiteral("document-print")));
    connect(print, &QToolButton::clicked, this, &FormatToolBar::printClicked);

    m_editingControls = {FontComboBox, FontSizeComboBox, fg,        bg,          bold,      italic,
                         underline,    bullets,          subscript, superscript, addImage,  addLink,
                         addAttach,    highlighter,      cut,       paste,       properties};

    // The caret's formatting is read a moment after it moves, once for a burst of moves.
    m_caretTimer = new QTimer(this);
    m_caretTimer->setSingleShot(true);
    m_caretTimer->setInterval(60);
    // The engine draws into a child widget made when the first page shows; keys and clicks go there.
    m_content->installEventFilter(this);
    for (QObject *child : m_content->children()) {
        if (child->isWidgetType())
            child->installEventFilter(this);
    }
    connect(m_caretTimer, &QTimer::timeout, this, &FormatToolBar::readCaretState);
    connect(m_content->page(), &QWebEnginePage::selectionChanged, this, &FormatToolBar::refreshCaretState);
    connect(m_content, &TExWebBrowser::documentLoaded, this, [this] {
        showDocumentFontSize();
        refreshCaretState();
    });
}

QToolButton *FormatToolBar::colourButton(const char *name, const QString &hint, const char *command,
                                         const QColor &initial)
{
    QToolButton *button = makeToolButton(this, name, hint, QIcon());
    button->setProperty("colourButton", true);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    button->setFixedSize(40, 28);
    auto paint = [button](const QColor &colour) {
        button->setIcon(swatch(colour, 20, button->palette().color(QPalette::ButtonText)));
        button->setProperty("colour", colour);
    };
    paint(initial);
    auto apply = [this, paint, command](const QColor &colour) {
        paint(colour);
        m_content->ExecCommand(QLatin1String(command), colourValue(colour));
    };
    auto *palette = new QMenu(button);
    for (const NamedColour &entry : paletteColours()) {
        const QColor colour = entry.colour;
        palette->addAction(swatch(colour, 16, palette->palette().color(QPalette::Text)), programText(entry.name), this,
                           [apply, colour] { apply(colour); });
    }
    palette->addSeparator();
    palette->addAction(programText("&Other..."), this, [this, apply, button] {
        const QColor chosen = QColorDialog::getColor(button->property("colour").value<QColor>(), this);
        if (chosen.isValid())
            apply(chosen);
    });
    button->setMenu(palette);
    connect(button, &QToolButton::clicked, this,
            [apply, button] { apply(button->property("colour").value<QColor>()); });
    return button;
}

QToolButton *FormatToolBar::commandButton(const char *name, const QString &hint, const QIcon &icon,
                                          const QString &fallback, const char *commandName, bool toggle)
{
    QToolButton *button = makeToolButton(this, name, hint, icon, fallback);
    button->setCheckable(toggle);
    connect(button, &QToolButton::clicked, this, [this, commandName] {
        m_content->ExecCommand(QLatin1String(commandName), 0);
        refreshCaretState();
    });
    return button;
}

bool FormatToolBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_content) {
        if (event->type() == QEvent::ChildAdded) {
            QObject *child = static_cast<QChildEvent *>(event)->child();
            if (child->isWidgetType())
                child->installEventFilter(this);
        }
    } else {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
        case QEvent::FocusIn:
            refreshCaretState();
            break;
        default:
            break;
        }
    }
    return QToolBar::eventFilter(watched, event);
}

void FormatToolBar::refreshCaretState()
{
    m_caretTimer->start();
}

void FormatToolBar::readCaretState()
{
    QPointer<FormatToolBar> self(this);
    m_content->page()->runJavaScript(QLatin1String(CaretStateScript), QWebEngineScript::ApplicationWorld,
                                     [self](const QVariant &answer) {
                                         if (!self || !answer.isValid())
                                             return;
                                         const QVariantMap state = answer.toMap();
                                         for (const auto &[button, command] : std::as_const(self->m_toggles)) {
                                             if (button)
                                                 button->setChecked(state.value(command).toBool());
                                         }
                                     });
}

void FormatToolBar::showDocumentFontSize()
{
    // The size list starts at the size of the note's own text, in the nearest listed size.
    QPointer<FormatToolBar> self(this);
    m_content->page()->runJavaScript(
        QStringLiteral("document.body ? parseFloat(getComputedStyle(document.body).fontSize) : null"),
        QWebEngineScript::ApplicationWorld, [self](const QVariant &answer) {
            if (!self || !answer.isValid() || answer.toDouble() <= 0)
                return;
            const double points = answer.toDouble() * 72.0 / 96.0;
            int nearest = 0;
            for (int i = 1; i < self->FontSizeComboBox->count(); ++i) {
                if (std::abs(self->FontSizeComboBox->itemText(i).toDouble() - points) <
                    std::abs(self->FontSizeComboBox->itemText(nearest).toDouble() - points))
                    nearest = i;
            }
            // Only shown: the document keeps its size.
            const QSignalBlocker quiet(self->FontSizeComboBox);
            self->FontSizeComboBox->setCurrentIndex(nearest);
        });
}
