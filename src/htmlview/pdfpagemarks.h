#pragma once

#include <QByteArray>
#include <QString>

// Where the header and the footer go on a printed page, in millimetres from the
// paper's edges.
struct PageMarkPlaces
{
    qreal sideMarginMm = 15; // left and right of the header and footer text
    qreal edgeOffsetMm = 7;  // from the top edge to the header, and from the bottom edge to the footer
    qreal textHeightMm = 8;  // the band the text is centred in
    qreal fontPointSize = 9;
};

// Lays the header text (left, elided to fit) and "page/pages" (centred) over
// the pages firstPage to lastPage (1-based) of a PDF made by the web engine, as
// text, and drops the other pages; the page count is the whole document's.
// The engine's own text stays text. Answers the new PDF, or nothing when the
// PDF cannot be read or written.
QByteArray MarkPdfPages(const QByteArray &pdf, const QString &headerText, int firstPage, int lastPage,
                        const PageMarkPlaces &places = {});

// The number of pages of a PDF; 0 when it cannot be read.
int PdfPageCount(const QByteArray &pdf);
