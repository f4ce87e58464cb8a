#include "cssurls.h"

#include "capturetext.h"
#include "htmltext.h"

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsNewline(char c)
{
    return c == '\n' || c == '\r' || c == '\f';
}

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

class CssReader
{
public:
    explicit CssReader(std::string_view css)
        : m_css(css)
    {
    }

    std::vector<CssUrl> read();

private:
    bool at(std::size_t offset, char c) const { return m_at + offset < m_css.size() && m_css[m_at + offset] == c; }
    bool atEnd() const { return m_at >= m_css.size(); }
    // A backslash that starts an escape (not one before a line break or the end).
    bool atEscape() const { return at(0, '\\') && m_at + 1 < m_css.size() && !IsNewline(m_css[m_at + 1]); }
    void readEscape(std::string &out);
    std::string readName();
    bool readString(std::string &out);
    void readUrl(std::size_t begin, std::vector<CssUrl> &urls);
    void skipBadUrl();
    void skipSpaces()
    {
        while (!atEnd() && IsSpace(m_css[m_at]))
            ++m_at;
    }

    std::string_view m_css;
    std::size_t m_at = 0;
};

std::vector<CssUrl> CssReader::read()
{
    std::vector<CssUrl> urls;
    bool inImport = false; // between @import and the end of its rule
    while (!atEnd()) {
        const char c = m_css[m_at];
        if (c == '/' && at(1, '*')) {
            const std::size_t close = m_css.find("*/", m_at + 2);
            m_at = close == std::string_view::npos ? m_css.size() : close + 2;
        } else if (c == '"' || c == '\'') {
            std::string ignored;
            readString(ignored);
        } else if (c == '@') {
            ++m_at;
            inImport = LowerAscii(readName()) == "import";
        } else if (c == ';' || c == '{' || c == '}') {
            inImport = false;
            ++m_at;
        } else if (IsNameCharacter(c) || atEscape()) {
            const std::size_t begin = m_at;
            const std::string name = readName();
            if (at(0, '(') && LowerAscii(name) == "url") {
                ++m_at;
                const std::size_t before = urls.size();
                readUrl(begin, urls);
                if (inImport)
                    urls.resize(before);
            }
        } else {
            ++m_at;
        }
    }
    return urls;
}

void CssReader::readEscape(std::string &out)
{
    ++m_at; // the backslash
    unsigned long codePoint = 0;
    int digits = 0;
    while (digits < 6 && !atEnd() && HexDigitValue(m_css[m_at]) >= 0) {
        codePoint = codePoint * 16 + static_cast<unsigned long>(HexDigitValue(m_css[m_at]));
        ++digits;
        ++m_at;
    }
    if (digits == 0) {
        out += m_css[m_at++];
        return;
    }
    // One white space ends a hexadecimal escape; "\r\n" counts as one.
    if (at(0, '\r') && at(1, '\n'))
        m_at += 2;
    else if (!atEnd() && IsSpace(m_css[m_at]))
        ++m_at;
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    AppendUtf8(out, codePoint == 0 || surrogate || codePoint > 0x10FFFF ? 0xFFFD : codePoint);
}

std::string CssReader::readName()
{
    std::string name;
    while (!atEnd()) {
        if (atEscape())
            readEscape(name);
        else if (IsNameCharacter(m_css[m_at]))
            name += m_css[m_at++];
        else
            break;
    }
    return name;
}

bool CssReader::readString(std::string &out)
{
    const char quote = m_css[m_at++];
    while (!atEnd()) {
        const char c = m_css[m_at];
        if (c == quote) {
            ++m_at;
            return true;
        }
        if (IsNewline(c))
            return false; // a bad string: the line break is read as what follows it
        if (c == '\\') {
            if (m_at + 1 >= m_css.size()) {
                ++m_at;
            } else if (IsNewline(m_css[m_at + 1])) {
                // An escaped line break continues the string.
                m_at += at(1, '\r') && at(2, '\n') ? 3 : 2;
            } else {
                readEscape(out);
            }
            continue;
        }
        out += c;
        ++m_at;
    }
    return false; // unclosed
}

void CssReader::readUrl(std::size_t begin, std::vector<CssUrl> &urls)
{
    skipSpaces();
    std::string address;
    if (!atEnd() && (m_css[m_at] == '"' || m_css[m_at] == '\'')) {
        const bool closed = readString(address);
        skipSpaces();
        if (!closed || !at(0, ')')) {
            skipBadUrl();
            return;
        }
    } else {
        while (!atEnd() && !at(0, ')')) {
            const char c = m_css[m_at];
            const auto byte = static_cast<unsigned char>(c);
            if (IsSpace(c)) {
                skipSpaces();
                if (!at(0, ')')) {
                    skipBadUrl();
                    return;
                }
            } else if (c == '"' || c == '\'' || c == '(' || byte < 0x20 || byte == 0x7F || (c == '\\' && !atEscape())) {
                skipBadUrl();
                return;
            } else if (c == '\\') {
                readEscape(address);
            } else {
                address += c;
                ++m_at;
            }
        }
        if (atEnd())
            return; // unclosed: no address worth storing
    }
    ++m_at; // the ")"
    urls.push_back({begin, m_at, std::move(address)});
}

void CssReader::skipBadUrl()
{
    while (!atEnd() && !at(0, ')')) {
        if (atEscape())
            m_at += 2;
        else
            ++m_at;
    }
    if (!atEnd())
        ++m_at;
}

} // namespace

std::vector<CssUrl> CssUrls(std::string_view css)
{
    return CssReader(css).read();
}

std::string CssUrlText(std::string_view address)
{
    return "url(\"" + std::string(address) + "\")";
}
