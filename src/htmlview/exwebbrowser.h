#pragma once

#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>
#include <QWebEngineView>

#include <functional>

class FindBar;
class QPageLayout;
class QPrinter;

// The HTML view that shows and edits notes. Scripts of the loaded pages never
// run; the program's own document operations run in the application's script
// world. The view takes no drops itself, so drops reach the window around it,
// and links open in the user's browser.
class TExWebBrowser : public QWebEngineView
{
    Q_OBJECT

public:
    static constexpr int DefaultWaitMs = 15000;
    // Laying out a long note for printing takes much longer than a script.
    static constexpr int PrintWaitMs = 120000;

    explicit TExWebBrowser(QWidget *parent = nullptr);

    // Loads a local HTML file by its full path, or "about:blank".
    void Navigate(const QString &address);
    bool Busy() const { return m_busy; }
    // 4 (complete) once the document has loaded, 1 while loading.
    int ReadyState() const { return m_busy ? 1 : 4; }
    // Processes events until the view is no longer busy or the time is up;
    // answers whether the load finished.
    bool WaitWhileBusy(int timeoutMs = DefaultWaitMs);

    // The address of the loaded document ("about:blank" when empty).
    QString DocumentUrl() const;
    // Whether the view shows, loaded and whole, the document of the last
    // Navigate: not an error page, not anything a page moved the view to.
    bool ShowsNavigatedDocument();

    void SetDesignMode(bool on);
    bool DesignMode();

    // Runs a script in the application's world and waits for its result,
    // processing events; the wait ends after timeoutMs. Throws std::runtime_error
    // when the view is gone or the script gives no answer in time.
    QVariant RunScript(const QString &script, int timeoutMs = DefaultWaitMs);

    // Document operations. Each throws std::runtime_error when the view gives no
    // answer or holds no document.
    QString BodyInnerHtml();
    // Whether the body's HTML is empty or only white space, as
    // BodyInnerHtml().trimmed().isEmpty() would say, without reading it out.
    bool BodyIsBlank();
    bool HasBody();
    void InsertAtEndOfBody(const QString &html);
    // The editing commands of the editor's toolbar on the current selection:
    // "Bold", "Italic", "Underline", "Subscript", "Superscript",
    // "InsertUnorderedList", "FontName" (a font name), "FontSize" (1 to 7),
    // "ForeColor" and "BackColor" (a colour as 0x00BBGGRR), "Cut", "Copy" and
    // "Paste". Whether the command changed anything is not reported.
    void ExecCommand(const QString &command, const QVariant &value = QVariant());
    QString SelectionText();
    // Replaces the selection with the HTML, or inserts it at the caret; without
    // any selection it goes to the end of the body.
    void PasteHtml(const QString &html);
    // The element holding the selection (or the one element the selection
    // spans, such as a picture): "tagName" as the document spells it,
    // "innerText", and "attributes" (name to value, as written). The element is
    // remembered for SetElementAttribute and SetElementText.
    QVariantMap SelectedElement();
    void SetElementAttribute(const QString &name, const QString &value);
    void SetElementText(const QString &text);

    // Writes the document as UTF-8, declaring that charset, to the file; the
    // file is replaced only once the whole text is written, and an existing file
    // stays whole when writing fails. Only the document of the last Navigate is
    // ever written. Throws std::runtime_error naming the file when it is not
    // written.
    void SaveDocument(const QString &path);
    // The text SaveDocument writes to the file, for a caller that writes it
    // itself; throws as SaveDocument does when the document cannot be saved.
    QByteArray SavedText(const QString &path);

    // Shows the print dialog and prints the document with the header text at the
    // top of each page and "page/pages" centred at the bottom. A cancel or any
    // failure is silent.
    void Print(const QString &headerText);
    // Prints on an already set-up printer; answers whether pages were printed.
    // Printed to a PDF file, the note's text stays text.
    bool PrintTo(QPrinter &printer, const QString &headerText);

    // Opens the find bar over the top-right corner of the view (also Ctrl+F).
    void ShowFindBar();
    FindBar *Finder() const { return m_findBar; }

    // The right-click hook: called with the screen position instead of any menu.
    // Without it the view shows no context menu at all.
    std::function<void(const QPoint &globalPos)> OnShowContextMenu;

signals:
    void documentLoaded(bool ok);

private:
    QVariant RunDocumentScript(const QString &script, const char *operation);
    QByteArray RenderPdf(const QPageLayout &layout);
    bool SavePdf(const QPrinter &printer, const QByteArray &pdf, const QString &headerText);
    bool DrawPdfPages(QPrinter &printer, QByteArray &pdf, const QString &headerText);

    bool m_busy = false;
    QUrl m_navigated; // what the program last asked the view to show
    FindBar *m_findBar = nullptr;
};
