#include "exwebbrowser.h"

#include "findbar.h"
#include "notepage.h"
#include "pdfpagemarks.h"
#include "wholefile.h"

#include <QBuffer>
#include <QEventLoop>
#include <QFontMetricsF>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPageLayout>
#include <QPainter>
#include <QPdfDocument>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QWebEngineScript>
#include <QWebEngineSettings>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace {

// An answer that an engine callback delivers while a bounded local event loop
// waits for it. Shared, because the callback may come after the wait gave up.
template <typename T> struct PendingAnswer
{
    bool arrived = false;
    T value{};
    QPointer<QEventLoop> loop;

    void Deliver(const T &answer)
    {
        arrived = true;
        value = answer;
        if (loop)
            loop->quit();
    }
};

// Processes events until the answer arrives, the time is up or the guard object
// is destroyed; answers whether the guard is still alive.
template <typename T> bool AwaitAnswer(PendingAnswer<T> &answer, QObject *guard, int timeoutMs)
{
    QPointer<QObject> alive(guard);
    QEventLoop loop;
    answer.loop = &loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    // Events are processed directly rather than through exec(): once the program
    // has been asked to quit, exec() returns at once and the wait would spin.
    while (!answer.arrived && timeout.isActive() && alive)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    answer.loop = nullptr;
    return !alive.isNull();
}

// A JavaScript string literal holding the text exactly.
QString JsString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// The colour buttons hold red in the lowest byte (0x00BBGGRR); the engine reads
// "#RRGGBB".
QString ColourText(const QVariant &value)
{
    const quint32 colour = static_cast<quint32>(value.toLongLong()) & 0xFFFFFFu;
    const quint32 red = colour & 0xFF;
    const quint32 green = (colour >> 8) & 0xFF;
    const quint32 blue = (colour >> 16) & 0xFF;
    return QStringLiteral("#%1%2%3")
        .arg(red, 2, 16, QLatin1Char('0'))
        .arg(green, 2, 16, QLatin1Char('0'))
        .arg(blue, 2, 16, QLatin1Char('0'));
}

// The toolbar's command names and the DOM's, compared without regard to case.
const QHash<QString, QString> &DocumentCommands()
{
    static const QHash<QString, QString> commands{
        {QStringLiteral("bold"), QStringLiteral("bold")},
        {QStringLiteral("italic"), QStringLiteral("italic")},
        {QStringLiteral("underline"), QStringLiteral("underline")},
        {QStringLiteral("subscript"), QStringLiteral("subscript")},
        {QStringLiteral("superscript"), QStringLiteral("superscript")},
        {QStringLiteral("insertunorderedlist"), QStringLiteral("insertUnorderedList")},
        {QStringLiteral("fontname"), QStringLiteral("fontName")},
        {QStringLiteral("fontsize"), QStringLiteral("fontSize")},
        {QStringLiteral("forecolor"), QStringLiteral("foreColor")},
        {QStringLiteral("backcolor"), QStringLiteral("backColor")},
    };
    return commands;
}

// Room around the printed content; the header and footer sit in the top and
// bottom margins.
constexpr qreal PrintSideMarginMm = 15;
constexpr qreal PrintEndMarginMm = 20;
constexpr qreal HeaderOffsetMm = 7;
constexpr qreal HeaderHeightMm = 8;
// Pages for a printer are re-rendered as pictures; more than this only makes them bigger.
constexpr int MaxRenderDpi = 300;

// The pages the printer asks for, within the document's; false when none is left.
bool PrintedPages(const QPrinter &printer, int pageCount, int &first, int &last)
{
    first = 1;
    last = pageCount;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = std::max(1, printer.fromPage());
        last = std::min(pageCount, std::max(first, printer.toPage()));
    }
    return first <= pageCount;
}

} // namespace

TExWebBrowser::TExWebBrowser(QWidget *parent)
    : QWebEngineView(parent)
{
    setPage(new NotePage(this));
    QWebEngineSettings *options = page()->settings();
    options->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    options->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    options->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    options->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    options->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    options->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    setAcceptDrops(false);

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (OnShowContextMenu)
            OnShowContextMenu(mapToGlobal(pos));
    });
    connect(this, &QWebEngineView::loadStarted, this, [this] { m_busy = true; });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_busy = false;
        emit documentLoaded(ok);
    });

    m_findBar = new FindBar(this);
    auto *findShortcut = new QShortcut(QKeySequence::Find, this, this, &TExWebBrowser::ShowFindBar);
    findShortcut->setContext(Qt::WidgetWithChildrenShortcut);
}

void TExWebBrowser::Navigate(const QString &address)
{
    m_busy = true;
    m_navigated = address == QLatin1String("about:blank") ? QUrl(address) : QUrl::fromLocalFile(address);
    load(m_navigated);
}

bool TExWebBrowser::WaitWhileBusy(int timeoutMs)
{
    if (!m_busy)
        return true;
    // Events run during the wait; one of them may close the window around the view.
    QPointer<TExWebBrowser> self(this);
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &TExWebBrowser::documentLoaded, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    while (self && m_busy && timeout.isActive())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    return self && !m_busy;
}

QString TExWebBrowser::DocumentUrl() const
{
    const QUrl current = url();
    if (current.isEmpty())
        return QStringLiteral("about:blank");
    return current.toString();
}

namespace {

// The document's own address against the one the program navigated to; a jump
// within the document does not make it another one.
bool IsSameDocument(const QString &documentAddress, const QUrl &navigated)
{
    if (navigated.isEmpty())
        return false;
    const QUrl shown(documentAddress);
    if (navigated.isLocalFile())
        return shown.isLocalFile() && QUrl::fromLocalFile(shown.toLocalFile()).adjusted(QUrl::RemoveFragment) ==
                                          navigated.adjusted(QUrl::RemoveFragment);
    return shown.adjusted(QUrl::RemoveFragment) == navigated.adjusted(QUrl::RemoveFragment);
}

} // namespace

bool TExWebBrowser::ShowsNavigatedDocument()
{
    if (m_busy || m_navigated.isEmpty())
        return false;
    // The document itself is asked: an error page keeps the address asked for,
    // but its document is Chromium's own.
    return IsSameDocument(RunScript(QStringLiteral("document.URL")).toString(), m_navigated);
}

void TExWebBrowser::SetDesignMode(bool on)
{
    WaitWhileBusy();
    RunDocumentScript(on ? QStringLiteral("document.designMode = 'on'; true")
                         : QStringLiteral("document.designMode = 'off'; true"),
                      "switch editing");
}

bool TExWebBrowser::DesignMode()
{
    return RunDocumentScript(QStringLiteral("document.designMode"), "read the editing mode").toString() ==
           QLatin1String("on");
}

QVariant TExWebBrowser::RunScript(const QString &script, int timeoutMs)
{
    auto answer = std::make_shared<PendingAnswer<QVariant>>();
    page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                          [answer](const QVariant &value) { answer->Deliver(value); });
    if (!AwaitAnswer(*answer, this, timeoutMs))
        throw std::runtime_error("The HTML view was closed while a document operation ran.");
    if (!answer->arrived)
        throw std::runtime_error("The HTML view did not answer a document operation in time.");
    return answer->value;
}

// The scripts answer null (an invalid variant) when the document or the part
// they work on is missing.
QVariant TExWebBrowser::RunDocumentScript(const QString &script, const char *operation)
{
    const QVariant result = RunScript(script);
    if (!result.isValid())
        throw std::runtime_error(std::string("The HTML view has no document to ") + operation + ".");
    return result;
}

QString TExWebBrowser::BodyInnerHtml()
{
    return RunDocumentScript(QStringLiteral("document.body ? document.body.innerHTML : null"), "read").toString();
}

bool TExWebBrowser::BodyIsBlank()
{
    // Decided in the page from the body's children, so that a long note is
    // neither read out nor written out as HTML for it: the HTML is blank when
    // every child is text of white space as QChar::isSpace() takes it (tab to
    // carriage return, U+0085 and every Unicode separator) other than the
    // no-break space, which is written out as &nbsp;. Any element or comment
    // is written out with a '<'.
    return RunDocumentScript(QStringLiteral("(function () {"
                                            "  if (!document.body) return null;"
                                            "  for (var n = document.body.firstChild; n; n = n.nextSibling) {"
                                            "    if (n.nodeType !== Node.TEXT_NODE || n.data.indexOf('\\u00a0') >= 0 ||"
                                            "        !/^[\\t-\\r\\u0085\\p{Z}]*$/u.test(n.data))"
                                            "      return false;"
                                            "  }"
                                            "  return true;"
                                            "})()"),
                             "read")
        .toBool();
}

bool TExWebBrowser::HasBody()
{
    return RunScript(QStringLiteral("!!document.body")).toBool();
}

void TExWebBrowser::InsertAtEndOfBody(const QString &html)
{
    RunDocumentScript(QStringLiteral("(function (html) {"
                                     "  if (!document.body) return null;"
                                     "  document.body.insertAdjacentHTML('beforeend', html);"
                                     "  return true;"
                                     "})(%1)")
                          .arg(JsString(html)),
                      "append to");
}

void TExWebBrowser::ExecCommand(const QString &command, const QVariant &value)
{
    const QString name = command.toLower();
    // The engine keeps scripts away from the clipboard; its own actions may use it.
    if (name == QLatin1String("cut")) {
        page()->triggerAction(QWebEnginePage::Cut);
        return;
    }
    if (name == QLatin1String("copy")) {
        page()->triggerAction(QWebEnginePage::Copy);
        return;
    }
    if (name == QLatin1String("paste")) {
        page()->triggerAction(QWebEnginePage::Paste);
        return;
    }

    const auto found = DocumentCommands().constFind(name);
    if (found == DocumentCommands().constEnd())
        throw std::runtime_error("Unknown editing command: " + command.toStdString());

    QString argument = QStringLiteral("null");
    if (name == QLatin1String("forecolor") || name == QLatin1String("backcolor"))
        argument = JsString(ColourText(value));
    else if (name == QLatin1String("fontname") || name == QLatin1String("fontsize"))
        argument = JsString(value.toString());

    RunDocumentScript(QStringLiteral("(function (command, value) {"
                                     "  if (!document.body) return null;"
                                     "  document.execCommand(command, false, value);"
                                     "  return true;"
                                     "})(%1, %2)")
                          .arg(JsString(found.value()), argument),
                      "edit");
}

QString TExWebBrowser::SelectionText()
{
    return RunDocumentScript(QStringLiteral("(function () {"
                                            "  var selection = document.body ? window.getSelection() : null;"
                                            "  return selection ? selection.toString() : null;"
                                            "})()"),
                             "read the selection of")
        .toString();
}

void TExWebBrowser::PasteHtml(const QString &html)
{
    // insertHTML keeps the editing history; where the document is not editable
    // the range is changed directly.
    RunDocumentScript(QStringLiteral("(function (html) {"
                                     "  if (!document.body) return null;"
                                     "  var selection = window.getSelection();"
                                     "  if (selection.rangeCount === 0) {"
                                     "    var end = document.createRange();"
                                     "    end.selectNodeContents(document.body);"
                                     "    end.collapse(false);"
                                     "    selection.addRange(end);"
                                     "  }"
                                     "  if (document.execCommand('insertHTML', false, html)) return true;"
                                     "  var range = selection.getRangeAt(0);"
                                     "  range.deleteContents();"
                                     "  var fragment = range.createContextualFragment(html);"
                                     "  var last = fragment.lastChild;"
                                     "  range.insertNode(fragment);"
                                     "  if (last) {"
                                     "    range.setStartAfter(last);"
                                     "    range.collapse(true);"
                                     "    selection.removeAllRanges();"
                                     "    selection.addRange(range);"
                                     "  }"
                                     "  return true;"
                                     "})(%1)")
                          .arg(JsString(html)),
                      "paste into");
}

QVariantMap TExWebBrowser::SelectedElement()
{
    // The element is kept in the application's script world, which lives as long
    // as the document and is invisible to it.
    const QVariant element = RunDocumentScript(
        QStringLiteral("(function () {"
                       "  var selection = window.getSelection();"
                       "  if (!document.body || !selection || selection.rangeCount === 0) return null;"
                       "  var range = selection.getRangeAt(0);"
                       "  var node = range.commonAncestorContainer;"
                       "  if (range.startContainer === range.endContainer"
                       "      && range.endOffset - range.startOffset === 1) {"
                       "    var only = range.startContainer.childNodes[range.startOffset];"
                       "    if (only && only.nodeType === 1) node = only;"
                       "  }"
                       "  var element = node.nodeType === 1 ? node : node.parentElement;"
                       "  if (!element) return null;"
                       "  window.clipnestSelectedElement = element;"
                       "  var attributes = {};"
                       "  for (var i = 0; i < element.attributes.length; ++i)"
                       "    attributes[element.attributes[i].name] = element.attributes[i].value;"
                       "  return { tagName: element.tagName, innerText: element.innerText, attributes: attributes };"
                       "})()"),
        "take the selection of");
    return element.toMap();
}

void TExWebBrowser::SetElementAttribute(const QString &name, const QString &value)
{
    RunDocumentScript(QStringLiteral("(function (name, value) {"
                                     "  var element = window.clipnestSelectedElement;"
                                     "  if (!element || !element.isConnected) return null;"
                                     "  element.setAttribute(name, value);"
                                     "  return true;"
                                     "})(%1, %2)")
                          .arg(JsString(name), JsString(value)),
                      "change the selected element of");
}

void TExWebBrowser::SetElementText(const QString &text)
{
    RunDocumentScript(QStringLiteral("(function (text) {"
                                     "  var element = window.clipnestSelectedElement;"
                                     "  if (!element || !element.isConnected) return null;"
                                     "  element.innerText = text;"
                                     "  return true;"
                                     "})(%1)")
                          .arg(JsString(text)),
                      "change the selected element of");
}

void TExWebBrowser::SaveDocument(const QString &path)
{
    auto refuse = [&path](const QString &reason) {
        return std::runtime_error(
            QStringLiteral("Cannot write the note file \"%1\": %2").arg(path, reason).toStdString());
    };
    if (m_busy)
        throw refuse(QStringLiteral("the note is still loading."));
    // The copy, not the shown document, gets the charset declaration: the file
    // is UTF-8 whatever the captured page declared. The address is read in the
    // same script, so that the text written is the text of that document.
    const QVariantMap saved =
        RunDocumentScript(QStringLiteral("(function () {"
                                         "  var root = document.documentElement;"
                                         "  if (!root) return null;"
                                         "  var copy = root.cloneNode(true);"
                                         "  copy.querySelectorAll('meta').forEach(function (meta) {"
                                         "    var equiv = (meta.getAttribute('http-equiv') || '').toLowerCase();"
                                         "    if (meta.hasAttribute('charset') || equiv === 'content-type')"
                                         "      meta.remove();"
                                         "  });"
                                         "  var head = copy.querySelector('head');"
                                         "  if (!head) {"
                                         "    head = document.createElement('head');"
                                         "    copy.insertBefore(head, copy.firstChild);"
                                         "  }"
                                         "  var charset = document.createElement('meta');"
                                         "  charset.setAttribute('charset', 'utf-8');"
                                         "  head.insertBefore(charset, head.firstChild);"
                                         "  var doctype = document.doctype"
                                         "      ? new XMLSerializer().serializeToString(document.doctype) + '\\n' : '';"
                                         "  return { address: document.URL, html: doctype + copy.outerHTML + '\\n' };"
                                         "})()"),
                          "save")
            .toMap();
    const QString shown = saved.value(QStringLiteral("address")).toString();
    if (!IsSameDocument(shown, m_navigated))
        throw refuse(QStringLiteral("the view no longer shows the note but %1, which is not written over it.")
                         .arg(shown.left(200)));

    const QString failure = writeWholeFile(path, saved.value(QStringLiteral("html")).toString().toUtf8());
    if (!failure.isEmpty())
        throw refuse(failure);
}

void TExWebBrowser::Print(const QString &headerText)
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (dialog.exec() != QDialog::Accepted)
        return;
    try {
        PrintTo(printer, headerText);
    } catch (...) {
        // Printing failures are not reported.
    }
}

QByteArray TExWebBrowser::RenderPdf(const QPageLayout &layout)
{
    auto answer = std::make_shared<PendingAnswer<QByteArray>>();
    page()->printToPdf([answer](const QByteArray &pdf) { answer->Deliver(pdf); }, layout);
    if (!AwaitAnswer(*answer, this, PrintWaitMs))
        return {};
    return answer->value;
}

bool TExWebBrowser::PrintTo(QPrinter &printer, const QString &headerText)
{
    // The engine lays the document out as a PDF with room for the header and
    // footer.
    const QPageLayout paperLayout = printer.pageLayout();
    const QPageLayout contentLayout(paperLayout.pageSize(), paperLayout.orientation(),
                                    QMarginsF(PrintSideMarginMm, PrintEndMarginMm, PrintSideMarginMm, PrintEndMarginMm),
                                    QPageLayout::Millimeter);
    QByteArray pdf = RenderPdf(contentLayout);
    if (pdf.isEmpty())
        return false;
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return SavePdf(printer, pdf, headerText);
    return DrawPdfPages(printer, pdf, headerText);
}

bool TExWebBrowser::SavePdf(const QPrinter &printer, const QByteArray &pdf, const QString &headerText)
{
    // Saved as a PDF, the engine's pages are kept as they are, text and all; the
    // header and footer are laid over them.
    const int pageCount = PdfPageCount(pdf);
    if (pageCount <= 0)
        return false;
    int first = 0;
    int last = 0;
    if (!PrintedPages(printer, pageCount, first, last))
        return false;
    PageMarkPlaces places;
    places.sideMarginMm = PrintSideMarginMm;
    places.edgeOffsetMm = HeaderOffsetMm;
    places.textHeightMm = HeaderHeightMm;
    const QByteArray marked = MarkPdfPages(pdf, headerText, first, last, places);
    if (marked.isEmpty())
        return false;
    return writeWholeFile(printer.outputFileName(), marked).isEmpty();
}

bool TExWebBrowser::DrawPdfPages(QPrinter &printer, QByteArray &pdf, const QString &headerText)
{
    // A printer gets the engine's pages drawn as pictures, with the header and
    // footer drawn over them.
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    auto loaded = std::make_shared<PendingAnswer<bool>>();
    connect(&document, &QPdfDocument::statusChanged, &document, [loaded](QPdfDocument::Status status) {
        if (status == QPdfDocument::Status::Ready || status == QPdfDocument::Status::Error)
            loaded->Deliver(true);
    });
    document.load(&buffer);
    if (document.status() == QPdfDocument::Status::Loading && !AwaitAnswer(*loaded, this, DefaultWaitMs))
        return false;
    const int pageCount = document.pageCount();
    if (document.status() != QPdfDocument::Status::Ready || pageCount <= 0)
        return false;

    int first = 0;
    int last = 0;
    if (!PrintedPages(printer, pageCount, first, last))
        return false;

    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    // The painter starts at the printable area; the paper reaches beyond it.
    const QRectF printable = printer.pageRect(QPrinter::DevicePixel);
    QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    paper.translate(-printable.topLeft());
    const qreal pixelsPerMm = printer.resolution() / 25.4;
    const int renderDpi = std::min(printer.resolution(), MaxRenderDpi);

    QFont font = painter.font();
    font.setPointSizeF(9);
    painter.setFont(font);
    const QFontMetricsF metrics(font, &printer);

    const qreal textLeft = paper.left() + PrintSideMarginMm * pixelsPerMm;
    const qreal textWidth = paper.width() - 2 * PrintSideMarginMm * pixelsPerMm;
    const qreal textHeight = HeaderHeightMm * pixelsPerMm;
    const qreal headerTop = std::max(paper.top() + HeaderOffsetMm * pixelsPerMm, 0.0);
    const qreal footerBottom = std::min(paper.bottom() - HeaderOffsetMm * pixelsPerMm, printable.height());
    const QRectF headerRect(textLeft, headerTop, textWidth, textHeight);
    const QRectF footerRect(textLeft, footerBottom - textHeight, textWidth, textHeight);
    const QString header = metrics.elidedText(headerText, Qt::ElideRight, textWidth);

    for (int pageNumber = first; pageNumber <= last; ++pageNumber) {
        if (pageNumber != first && !printer.newPage()) {
            painter.end();
            return false;
        }
        const QSizeF points = document.pagePointSize(pageNumber - 1);
        const QSize pixels(qRound(points.width() * renderDpi / 72.0), qRound(points.height() * renderDpi / 72.0));
        const QImage picture = document.render(pageNumber - 1, pixels);
        if (picture.isNull()) {
            painter.end();
            return false;
        }
        // The engine leaves the margins transparent; an opaque page prints
        // without seams at the edge of the content.
        QImage opaquePage(picture.size(), QImage::Format_RGB32);
        opaquePage.fill(Qt::white);
        QPainter(&opaquePage).drawImage(0, 0, picture);
        painter.drawImage(paper, opaquePage);
        painter.drawText(headerRect, Qt::AlignLeft | Qt::AlignVCenter, header);
        painter.drawText(footerRect, Qt::AlignHCenter | Qt::AlignVCenter,
                         QStringLiteral("%1/%2").arg(pageNumber).arg(pageCount));
    }
    return painter.end();
}

void TExWebBrowser::ShowFindBar()
{
    m_findBar->Open();
}
