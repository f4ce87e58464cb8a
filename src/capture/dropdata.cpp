#include "dropdata.h"

#include <QMimeData>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>

namespace {

const QString WindowsHtmlFormat = QStringLiteral("application/x-qt-windows-mime;value=\"HTML Format\"");

QString decodeText(const QByteArray &raw)
{
    return QString::fromUtf8(htmlAsUtf8(raw));
}

// The page a selection came from, where the source tells it.
QString sourceAddressOf(const QMimeData &data)
{
    const QString priv = decodeText(data.data(QStringLiteral("text/x-moz-url-priv"))).section(QLatin1Char('\n'), 0, 0);
    if (!priv.trimmed().isEmpty())
        return priv.trimmed();
    // Chromium names only the origin; as a base for relative addresses it is the site root.
    QString origin = decodeText(data.data(QStringLiteral("chromium/x-renderer-taint"))).trimmed();
    origin.remove(QChar(0));
    const QUrl url(origin);
    if (url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))) {
        if (url.path().isEmpty())
            origin += QLatin1Char('/');
        return origin;
    }
    // A page that is a local file itself: its pictures on the disk may be copied.
    if (url.isValid() && url.scheme() == QLatin1String("file"))
        return QStringLiteral("file:///");
    return QString();
}

// Addresses of a uri-list, _NETSCAPE_URL or x-moz-url block: one per line, the
// Mozilla forms alternating address and link text.
QStringList addressesOf(const QString &mimeType, const QByteArray &raw)
{
    const QStringList lines = decodeText(raw).split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    QStringList addresses;
    if (mimeType == QLatin1String("text/uri-list")) {
        for (const QString &line : lines) {
            if (!line.startsWith(QLatin1Char('#')))
                addresses << line.trimmed();
        }
    } else if (!lines.isEmpty()) {
        addresses << lines.first().trimmed();
    }
    addresses.removeAll(QString());
    return addresses;
}

// The title a browser offers with a dragged link: the second line of
// text/x-moz-url, the text of the link in the offered HTML, or the second line
// of _NETSCAPE_URL, in this order; empty when none has one.
QString linkTitleOf(const QMimeData &data)
{
    const auto secondLine = [&data](const char *mimeType) {
        const QStringList lines = decodeText(data.data(QLatin1String(mimeType)))
                                      .split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
        return lines.size() > 1 ? cleanTitle(lines.at(1)) : QString();
    };
    QString title = secondLine("text/x-moz-url");
    if (title.isEmpty() && data.hasFormat(QStringLiteral("text/html")))
        title = cleanTitle(
            QTextDocumentFragment::fromHtml(QString::fromUtf8(htmlAsUtf8(data.data(QStringLiteral("text/html")))))
                .toPlainText());
    if (title.isEmpty())
        title = secondLine("_NETSCAPE_URL");
    return title;
}

} // namespace

QByteArray htmlAsUtf8(const QByteArray &raw)
{
    if (raw.startsWith("\xEF\xBB\xBF"))
        return raw.mid(3);
    const bool littleBom = raw.startsWith("\xFF\xFE");
    const bool bigBom = raw.startsWith("\xFE\xFF");
    const bool zeroAhead = raw.size() >= 2 && (raw[0] == '\0' || raw[1] == '\0');
    if (littleBom || bigBom || zeroAhead) {
        const bool big = bigBom || (!littleBom && raw[0] == '\0');
        QStringDecoder decoder(big ? QStringDecoder::Utf16BE : QStringDecoder::Utf16LE);
        QString text = decoder(littleBom || bigBom ? raw.mid(2) : raw);
        const qsizetype end = text.indexOf(QChar(0));
        if (end >= 0)
            text.truncate(end);
        return text.toUtf8();
    }
    return raw;
}

QList<DroppedItem> readDroppedData(const QMimeData &data)
{
    QList<DroppedItem> items;
    bool haveHtml = false;
    bool haveLink = false;
    bool haveFiles = false;
    for (const QString &format : data.formats()) {
        if (!haveHtml && format == WindowsHtmlFormat) {
            DroppedItem item;
            item.format = DropFormat::Html;
            item.clipText = data.data(format); // already clip text, with its own header
            items << item;
            haveHtml = true;
        } else if (!haveHtml && format == QLatin1String("text/html")) {
            DroppedItem item;
            item.format = DropFormat::Html;
            item.sourceAddress = sourceAddressOf(data);
            item.clipText = buildClipText(htmlAsUtf8(data.data(format)), item.sourceAddress, QString());
            if (data.hasFormat(QStringLiteral("text/_moz_htmlcontext"))) {
                item.fragment = htmlAsUtf8(data.data(format));
                item.htmlContext = decodeText(data.data(QStringLiteral("text/_moz_htmlcontext")));
            }
            items << item;
            haveHtml = true;
        } else if (format == QLatin1String("text/uri-list") || format == QLatin1String("_NETSCAPE_URL") ||
                   format == QLatin1String("text/x-moz-url")) {
            const QStringList addresses = addressesOf(format, data.data(format));
            if (addresses.isEmpty())
                continue;
            if (QUrl(addresses.first()).isLocalFile()) {
                if (haveFiles || format != QLatin1String("text/uri-list"))
                    continue;
                DroppedItem item;
                item.format = DropFormat::Files;
                for (const QString &address : addresses) {
                    const QUrl url(address);
                    if (url.isLocalFile())
                        item.files << url.toLocalFile();
                }
                items << item;
                haveFiles = true;
            } else if (!haveLink) {
                DroppedItem item;
                item.format = DropFormat::Link;
                item.linkText = addresses.first();
                item.linkTitle = linkTitleOf(data);
                items << item;
                haveLink = true;
            }
        }
    }
    return items;
}

QByteArray buildClipText(const QByteArray &fragmentUtf8, const QString &sourceAddress, const QString &title)
{
    QByteArray clip = "Version:0.9\r\n";
    if (!sourceAddress.isEmpty())
        clip += "SourceURL:" + sourceAddress.toUtf8() + "\r\n";
    clip += "<html><head>";
    if (!title.isEmpty())
        clip += "<title>" + title.toUtf8() + "</title>";
    clip += "</head><body>\r\n" + fragmentUtf8 + "\r\n</body></html>";
    return clip;
}

QString bookmarkFragment(const QString &linkText)
{
    // Escaped, so that a quote or an angle bracket in a dropped address cannot
    // break the markup around it; the address itself is unchanged.
    const QString escaped = linkText.toHtmlEscaped();
    return QStringLiteral("<BR/><B>Bookmark:</B><BR/><a target=\"_blank\" href=\"") + escaped + QStringLiteral("\" >") +
           escaped + QStringLiteral("</a>");
}

QString titleFromFragment(const QString &fragmentHtml)
{
    const QString text = QTextDocumentFragment::fromHtml(fragmentHtml).toPlainText();
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString clean = cleanTitle(line);
        if (clean.isEmpty())
            continue;
        QString title = clean.left(80);
        if (title.back().isHighSurrogate()) // never half a character
            title.chop(1);
        return title.trimmed();
    }
    return QString();
}

QString captureTitle(const QString &pageTitle, const QString &fragmentHtml)
{
    const QString page = cleanTitle(pageTitle);
    if (!page.isEmpty())
        return page;
    QTextDocument document;
    document.setHtml(fragmentHtml);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0)
            continue;
        QString heading = cleanTitle(block.text()); // a heading of pictures only has none
        // Documentation pages end each heading with a link to itself: a pilcrow or "#".
        while (heading.endsWith(QChar(0x00B6)) || heading.endsWith(QLatin1Char('#')) || heading.endsWith(QChar(0x00A7)))
            heading = heading.chopped(1).trimmed();
        if (!heading.isEmpty())
            return heading;
    }
    return titleFromFragment(fragmentHtml);
}

QString noteSourceAddress(const QString &address)
{
    const QString trimmed = address.trimmed();
    return trimmed == QLatin1String("file:///") ? QString() : trimmed;
}

QString cleanTitle(const QString &text)
{
    QString clean = text;
    for (QChar &c : clean) {
        if (c == QChar::ObjectReplacementCharacter || c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return clean.simplified();
}
