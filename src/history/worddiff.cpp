#include "worddiff.h"

#include <QList>
#include <QStringView>

#include <algorithm>
#include <vector>

namespace {

// Beyond this many word pairs the changed middle is not compared word by word.
constexpr qint64 MaxComparedPairs = 4'000'000;

struct Token
{
    enum Kind { Markup, Space, Word } kind;
    QStringView text;
};

// The end of the raw part that starts at from: a comment, or an element whose
// content is not text to compare (head, script, style), else a single tag.
qsizetype markupEnd(QStringView html, qsizetype from)
{
    auto after = [&](QStringView close) {
        const qsizetype at = html.indexOf(close, from, Qt::CaseInsensitive);
        return at < 0 ? html.size() : at + close.size();
    };
    if (html.mid(from).startsWith(u"<!--"))
        return after(u"-->");
    for (const QStringView element : {QStringView(u"head"), QStringView(u"script"), QStringView(u"style")}) {
        const QStringView name = html.mid(from + 1, element.size());
        const QChar next = from + 1 + element.size() < html.size() ? html.at(from + 1 + element.size()) : QChar();
        if (name.compare(element, Qt::CaseInsensitive) == 0 && (next == u'>' || next.isSpace()))
            return after(QStringLiteral("</%1>").arg(element));
    }
    const qsizetype close = html.indexOf(u'>', from);
    return close < 0 ? html.size() : close + 1;
}

QList<Token> tokens(QStringView html)
{
    QList<Token> list;
    qsizetype i = 0;
    while (i < html.size()) {
        qsizetype end = i;
        Token::Kind kind;
        if (html.at(i) == u'<') {
            kind = Token::Markup;
            end = markupEnd(html, i);
        } else if (html.at(i).isSpace()) {
            kind = Token::Space;
            while (end < html.size() && html.at(end).isSpace())
                ++end;
        } else {
            kind = Token::Word;
            while (end < html.size() && !html.at(end).isSpace() && html.at(end) != u'<')
                ++end;
        }
        list.append({kind, html.mid(i, end - i)});
        i = end;
    }
    return list;
}

QList<QStringView> words(const QList<Token> &list)
{
    QList<QStringView> found;
    for (const Token &token : list) {
        if (token.kind == Token::Word)
            found << token.text;
    }
    return found;
}

// For each word of a, the index of the word of b it stays as, or -1: a longest
// common subsequence, the common start and end taken first.
std::vector<qsizetype> matches(const QList<QStringView> &a, const QList<QStringView> &b)
{
    std::vector<qsizetype> match(a.size(), -1);
    qsizetype start = 0;
    while (start < a.size() && start < b.size() && a[start] == b[start]) {
        match[start] = start;
        ++start;
    }
    qsizetype endA = a.size();
    qsizetype endB = b.size();
    while (endA > start && endB > start && a[endA - 1] == b[endB - 1])
        match[--endA] = --endB;
    const qsizetype n = endA - start;
    const qsizetype m = endB - start;
    if (n == 0 || m == 0 || n * m > MaxComparedPairs)
        return match;
    // lengths[i][j]: the longest common subsequence of a[start+i..] and b[start+j..].
    std::vector<quint32> lengths((n + 1) * (m + 1), 0);
    auto at = [&](qsizetype i, qsizetype j) -> quint32 & { return lengths[i * (m + 1) + j]; };
    for (qsizetype i = n - 1; i >= 0; --i) {
        for (qsizetype j = m - 1; j >= 0; --j)
            at(i, j) = a[start + i] == b[start + j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    }
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < n && j < m) {
        if (a[start + i] == b[start + j]) {
            match[start + i] = start + j;
            ++i;
            ++j;
        } else if (at(i + 1, j) >= at(i, j + 1)) {
            ++i;
        } else {
            ++j;
        }
    }
    return match;
}

QString joined(const QList<QStringView> &list, qsizetype from, qsizetype to)
{
    QString text;
    for (qsizetype k = from; k < to; ++k) {
        if (!text.isEmpty())
            text += u' ';
        text += list[k];
    }
    return text;
}

} // namespace

QString markedDifferences(const QString &versionHtml, const QString &currentHtml)
{
    const QList<Token> versionTokens = tokens(versionHtml);
    const QList<QStringView> versionWords = words(versionTokens);
    const QList<QStringView> currentWords = words(tokens(currentHtml));
    const std::vector<qsizetype> match = matches(versionWords, currentWords);

    QString marked;
    marked.reserve(versionHtml.size() + versionHtml.size() / 8);
    qsizetype word = 0;
    qsizetype nextCurrent = 0; // the first current word not placed yet
    auto insertUpTo = [&](qsizetype end) {
        if (end > nextCurrent)
            marked += QStringLiteral("<ins>%1</ins> ").arg(joined(currentWords, nextCurrent, end));
        nextCurrent = std::max(nextCurrent, end);
    };
    for (const Token &token : versionTokens) {
        if (token.kind != Token::Word) {
            marked += token.text;
            continue;
        }
        const qsizetype stays = match[word++];
        if (stays < 0) {
            marked += QStringLiteral("<del>%1</del>").arg(token.text);
            continue;
        }
        insertUpTo(stays);
        marked += token.text;
        nextCurrent = stays + 1;
    }
    if (nextCurrent < currentWords.size()) {
        const QString rest = QStringLiteral("<ins>%1</ins>").arg(joined(currentWords, nextCurrent, currentWords.size()));
        const qsizetype bodyEnd = marked.lastIndexOf(QStringLiteral("</body>"), -1, Qt::CaseInsensitive);
        marked.insert(bodyEnd < 0 ? marked.size() : bodyEnd, rest);
    }
    return marked;
}
