#include "exwebbrowser.h"

#include "findbar.h"
#include "notepage.h"
#include "pendinganswer.h"
#include "wholefile.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QWebEngineScript>
#include <QWebEngineSettings>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace {

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
        // The engine's own editing history, which every edit made through it joins.
        {QStringLiteral("undo"), QStringLiteral("undo")},
        {QStringLiteral("redo"), QStringLiteral("redo")},
    };
    return commands;
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

QByteArray TExWebBrowser::SavedText(const QString &path)
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

    return saved.value(QStringLiteral("html")).toString().toUtf8();
}

void TExWebBrowser::SaveDocument(const QString &path)
{
    const QString failure = writeWholeFile(path, SavedText(path));
    if (!failure.isEmpty())
        throw std::runtime_error(
            QStringLiteral("Cannot write the note file \"%1\": %2").arg(path, failure).toStdString());
}


void TExWebBrowser::ShowFindBar()
{
    m_findBar->Open();
}
