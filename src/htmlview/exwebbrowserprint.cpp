// Printing a note, with the title in a header and "page/pages" in a footer.
#include "exwebbrowser.h"

#include "pdfpagemarks.h"
#include "pendinganswer.h"
#include "wholefile.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfDocument>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>
#include <memory>

namespace {

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
