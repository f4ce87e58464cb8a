#include "notetext.h"

#include <QFile>
#include <QRegularExpression>

#include <libxml/HTMLparser.h>

#include <cstring>

namespace {

struct Extraction
{
    std::string text;
    int hiddenDepth = 0; // inside head, script, style or template
};

bool isHidden(const char *name)
{
    for (const char *hidden : {"head", "script", "style", "template", "title"}) {
        if (std::strcmp(name, hidden) == 0)
            return true;
    }
    return false;
}

// Elements that begin a new line on screen: words across them must not merge.
bool breaksLine(const char *name)
{
    static const char *const blocks[] = {
        "address", "article", "aside",    "blockquote", "br",     "caption", "dd",       "details", "div",
        "dl",      "dt",      "fieldset", "figcaption", "figure", "footer",  "form",     "h1",      "h2",
        "h3",      "h4",      "h5",       "h6",         "header", "hr",      "img",      "li",      "main",
        "nav",     "ol",      "option",   "p",          "pre",    "section", "summary",  "table",   "tbody",
        "td",      "tfoot",   "th",       "thead",      "tr",     "ul",      "textarea", "button",  "select"};
    for (const char *block : blocks) {
        if (std::strcmp(name, block) == 0)
            return true;
    }
    return false;
}

void startElement(void *context, const xmlChar *name, const xmlChar **)
{
    auto *extraction = static_cast<Extraction *>(context);
    const char *tag = reinterpret_cast<const char *>(name);
    if (isHidden(tag))
        ++extraction->hiddenDepth;
    else if (breaksLine(tag) && extraction->hiddenDepth == 0)
        extraction->text += '\n';
}

void endElement(void *context, const xmlChar *name)
{
    auto *extraction = static_cast<Extraction *>(context);
    const char *tag = reinterpret_cast<const char *>(name);
    if (isHidden(tag)) {
        if (extraction->hiddenDepth > 0)
            --extraction->hiddenDepth;
    } else if (breaksLine(tag) && extraction->hiddenDepth == 0) {
        extraction->text += '\n';
    }
}

void characters(void *context, const xmlChar *characters, int length)
{
    auto *extraction = static_cast<Extraction *>(context);
    if (extraction->hiddenDepth == 0)
        extraction->text.append(reinterpret_cast<const char *>(characters), size_t(length));
}

// Script and style bodies arrive here; they are never shown.
void rawBlock(void *, const xmlChar *, int)
{
}

} // namespace

QString visibleText(const QByteArray &html)
{
    if (html.isEmpty())
        return QString();
    htmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.startElement = startElement;
    handler.endElement = endElement;
    handler.characters = characters;
    handler.ignorableWhitespace = characters;
    handler.cdataBlock = rawBlock;

    Extraction extraction;
    extraction.text.reserve(size_t(html.size() / 2));
    htmlParserCtxtPtr parser =
        htmlCreatePushParserCtxt(&handler, &extraction, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    if (!parser)
        return QString();
    htmlCtxtUseOptions(parser, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                   HTML_PARSE_COMPACT);
    // Handed over in pieces: libxml2 takes an int length.
    constexpr qsizetype Piece = 1 << 20;
    for (qsizetype offset = 0; offset < html.size(); offset += Piece) {
        const int length = int(std::min(Piece, html.size() - offset));
        htmlParseChunk(parser, html.constData() + offset, length, 0);
    }
    htmlParseChunk(parser, nullptr, 0, 1);
    htmlFreeParserCtxt(parser);
    QString text = QString::fromUtf8(extraction.text.data(), qsizetype(extraction.text.size()));
    // Invisible characters inside words (soft hyphens, zero-width spaces and
    // joiners) would split what a reader sees as one word.
    text.remove(QRegularExpression(QStringLiteral("[\\x{00AD}\\x{200B}-\\x{200D}\\x{2060}\\x{FEFF}]")));
    return text;
}

QString visibleTextOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return visibleText(file.readAll());
}
