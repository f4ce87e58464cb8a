#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QMimeData;

// What a drop carries, in the three forms the program understands.
enum class DropFormat {
    Html,  // a selection of a page: clip text for the parser
    Link,  // a link: its address becomes a bookmark
    Files, // local files: they become attachments
};

struct DroppedItem
{
    DropFormat format = DropFormat::Html;
    QByteArray clipText; // Html: header with "SourceURL:" when known, then the wrapped fragment (UTF-8)
    QString linkText;    // Link: the address
    QString linkTitle;   // Link: the title the browser offers with it, or empty
    QStringList files;   // Files: local paths in list order
    // Html from a browser that offers the selection's ancestors apart (Firefox):
    // the fragment (UTF-8), those ancestors and the page's address, so that the
    // page's look can be given back to it.
    QByteArray fragment;
    QString htmlContext;
    QString sourceAddress;
};

// Reads everything a drop offers at once (the source may end the transfer as soon
// as the drop handler returns). Formats are taken in the order the source offers
// its MIME types, each of the three at most once.
QList<DroppedItem> readDroppedData(const QMimeData &data);

// Text/html arrives as UTF-8, or as UTF-16 (with or without a byte-order mark)
// from some sources; answers UTF-8.
QByteArray htmlAsUtf8(const QByteArray &raw);

// The clip text for a fragment: a header naming the page address when one is
// known, and the fragment wrapped into a document with its title.
QByteArray buildClipText(const QByteArray &fragmentUtf8, const QString &sourceAddress, const QString &title);

// The HTML of a bookmark note for a dropped link.
QString bookmarkFragment(const QString &linkText);

// A title for a capture that came without one: the first line of the
// fragment's text that has any, cleaned, at most 80 characters.
QString titleFromFragment(const QString &fragmentHtml);

// The title of a captured selection: the page's own title when the drop gave
// one; else the text of the selection's first heading (h1 to h6, in document
// order) that has any; else its first line (titleFromFragment).
QString captureTitle(const QString &pageTitle, const QString &fragmentHtml);

// The address a note keeps as its source: the dropped page's or link's, trimmed;
// empty for none and for the bare "file:///" that stands for an unnamed local page.
QString noteSourceAddress(const QString &address);

// A title as a person reads it: no control characters, no object replacement
// characters (one stands for each picture), every run of white space a single
// space, nothing around it.
QString cleanTitle(const QString &text);
