#include "pdfpagemarks.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <vector>

namespace {

constexpr qreal PointsPerMm = 72.0 / 25.4;

void ReadPdf(QPDF &document, const char *description, const QByteArray &pdf)
{
    // Problems the reader can work around are not the user's concern.
    document.setSuppressWarnings(true);
    document.processMemoryFile(description, pdf.constData(), static_cast<size_t>(pdf.size()));
}

// One page of marks for each printed page, each the size of its page, drawn by
// Qt's PDF writer so that the text is embedded text in any script.
QByteArray DrawMarks(const std::vector<QSizeF> &pageSizes, const QString &headerText, int firstPage, int pageCount,
                     const PageMarkPlaces &places)
{
    QByteArray marks;
    QBuffer output(&marks);
    output.open(QIODevice::WriteOnly);
    QPdfWriter writer(&output);
    writer.setResolution(72); // one unit is one point
    writer.setPageMargins(QMarginsF());
    writer.setPageSize(QPageSize(pageSizes.front(), QPageSize::Point));

    QPainter painter;
    if (!painter.begin(&writer))
        return {};
    QFont font = painter.font();
    font.setPointSizeF(places.fontPointSize);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(font, &writer);

    for (size_t index = 0; index < pageSizes.size(); ++index) {
        const QSizeF page = pageSizes[index];
        if (index > 0) {
            writer.setPageSize(QPageSize(page, QPageSize::Point));
            writer.newPage();
        }
        const qreal left = places.sideMarginMm * PointsPerMm;
        const qreal width = page.width() - 2 * left;
        const qreal height = places.textHeightMm * PointsPerMm;
        const qreal offset = places.edgeOffsetMm * PointsPerMm;
        const QRectF header(left, offset, width, height);
        const QRectF footer(left, page.height() - offset - height, width, height);
        painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(headerText, Qt::ElideRight, width));
        painter.drawText(footer, Qt::AlignHCenter | Qt::AlignVCenter,
                         QStringLiteral("%1/%2").arg(firstPage + static_cast<int>(index)).arg(pageCount));
    }
    return painter.end() ? marks : QByteArray();
}

QSizeF PageSizeInPoints(QPDFPageObjectHelper &page)
{
    const QPDFObjectHandle::Rectangle box = page.getMediaBox().getArrayAsRectangle();
    return QSizeF(box.urx - box.llx, box.ury - box.lly);
}

} // namespace

int PdfPageCount(const QByteArray &pdf)
{
    try {
        QPDF document;
        ReadPdf(document, "note.pdf", pdf);
        return static_cast<int>(QPDFPageDocumentHelper(document).getAllPages().size());
    } catch (const std::exception &) {
        return 0;
    }
}

QByteArray MarkPdfPages(const QByteArray &pdf, const QString &headerText, int firstPage, int lastPage,
                        const PageMarkPlaces &places)
{
    try {
        QPDF document;
        ReadPdf(document, "note.pdf", pdf);
        QPDFPageDocumentHelper pages(document);
        std::vector<QPDFPageObjectHelper> allPages = pages.getAllPages();
        const int pageCount = static_cast<int>(allPages.size());
        if (firstPage < 1 || lastPage > pageCount || firstPage > lastPage)
            return {};

        std::vector<QSizeF> sizes;
        for (int number = firstPage; number <= lastPage; ++number)
            sizes.push_back(PageSizeInPoints(allPages[number - 1]));
        const QByteArray marksPdf = DrawMarks(sizes, headerText, firstPage, pageCount, places);
        if (marksPdf.isEmpty())
            return {};
        QPDF marks;
        ReadPdf(marks, "marks.pdf", marksPdf);
        std::vector<QPDFPageObjectHelper> markPages = QPDFPageDocumentHelper(marks).getAllPages();
        if (markPages.size() != sizes.size())
            return {};

        // Each page draws its marks after its own content, which is wrapped in
        // q/Q so that none of its graphics state reaches the marks.
        for (int number = firstPage; number <= lastPage; ++number) {
            QPDFPageObjectHelper &page = allPages[number - 1];
            QPDFObjectHandle form = document.copyForeignObject(markPages[number - firstPage].getFormXObjectForPage());
            QPDFObjectHandle resources = page.getAttribute("/Resources", true);
            if (!resources.hasKey("/XObject"))
                resources.replaceKey("/XObject", QPDFObjectHandle::newDictionary());
            int suffix = 1;
            const std::string name = resources.getUniqueResourceName("/ClipnestMarks", suffix);
            resources.getKey("/XObject").replaceKey(name, form);
            const std::string placing = page.placeFormXObject(form, name, page.getMediaBox().getArrayAsRectangle());
            page.addPageContents(document.newStream("q\n"), true);
            page.addPageContents(document.newStream("\nQ\n" + placing), false);
        }
        for (int number = 1; number <= pageCount; ++number)
            if (number < firstPage || number > lastPage)
                pages.removePage(allPages[number - 1]);

        QPDFWriter writer(document);
        writer.setOutputMemory();
        writer.setObjectStreamMode(qpdf_o_generate);
        writer.write();
        const std::shared_ptr<Buffer> written = writer.getBufferSharedPointer();
        return QByteArray(reinterpret_cast<const char *>(written->getBuffer()),
                          static_cast<qsizetype>(written->getSize()));
    } catch (const std::exception &) {
        return {};
    }
}
