#include "notesearcher.h"

#include "indexterms.h"
#include "searchindex.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>

struct NoteSearcher::Private
{
    QString folder;
    std::unique_ptr<Xapian::Database> database;
    Xapian::MSet lastHits;
    ino_t folderInode = 0;
};

namespace {

// Upper-case operators stay operators; every other word is folded, so that a
// capitalised word is stemmed like any other ("Captures" finds "captured").
QString foldQuery(const QString &query)
{
    static const QRegularExpression operators(QStringLiteral("\\b(AND|OR|NOT|XOR|NEAR|ADJ)\\b"));
    QString folded;
    qsizetype last = 0;
    for (QRegularExpressionMatchIterator it = operators.globalMatch(query); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        folded += query.mid(last, match.capturedStart() - last).toLower() + match.captured();
        last = match.capturedEnd();
    }
    return folded + query.mid(last).toLower();
}

Xapian::Query parse(const Xapian::Database &database, const QString &text)
{
    Xapian::QueryParser parser;
    parser.set_database(database);
    parser.set_stemmer(IndexTerms::stemmer());
    parser.set_stemming_strategy(Xapian::QueryParser::STEM_SOME);
    parser.set_default_op(Xapian::Query::OP_AND);
    parser.add_prefix("", "");
    parser.add_prefix("", IndexTerms::CatalogPrefix);
    parser.add_prefix("title", IndexTerms::TitlePrefix);
    parser.add_prefix("catalog", IndexTerms::CatalogPrefix);
    parser.add_prefix("attachment", IndexTerms::AttachmentPrefix);
    const std::string query = IndexTerms::utf8(foldQuery(text));
    const unsigned cjk = Xapian::QueryParser::FLAG_CJK_NGRAM;
    try {
        return parser.parse_query(query, Xapian::QueryParser::FLAG_DEFAULT | Xapian::QueryParser::FLAG_WILDCARD | cjk);
    } catch (const Xapian::QueryParserError &) {
        // Stray quotes or brackets: the words alone.
        return parser.parse_query(query, cjk);
    }
}

} // namespace

NoteSearcher::NoteSearcher(QString folder)
    : d(std::make_unique<Private>())
{
    d->folder = std::move(folder);
}

NoteSearcher::~NoteSearcher() = default;

bool NoteSearcher::refresh()
{
    // An index replaced by its compacted copy is opened anew.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (open())
            return true;
    }
    return false;
}

bool NoteSearcher::open()
{
    try {
        // The folder itself is replaced when the index is compacted.
        struct stat folder;
        if (::stat(QFile::encodeName(d->folder).constData(), &folder) != 0) {
            d->database.reset();
            return false;
        }
        if (d->database && folder.st_ino == d->folderInode) {
            d->database->reopen();
        } else {
            d->database = std::make_unique<Xapian::Database>(IndexTerms::utf8(d->folder));
            d->folderInode = folder.st_ino;
        }
        if (d->database->get_metadata(IndexTerms::FormatKey) != std::to_string(IndexTerms::FormatVersion)) {
            d->database.reset();
            return false;
        }
        return true;
    } catch (const Xapian::Error &error) {
        // An index that cannot even be opened may be damaged: the writer builds it anew.
        if (searchIndexError(error).kind() == SearchIndexError::Damaged)
            SearchIndex::markForRebuild(d->folder);
        d->database.reset();
        return false;
    }
}

bool NoteSearcher::isComplete() const
{
    try {
        return d->database && d->database->get_metadata(IndexTerms::CompleteKey) == "1";
    } catch (const Xapian::Error &) {
        return false;
    }
}

QList<SearchHit> NoteSearcher::search(const QString &query, int maxHits, int *estimatedTotal)
{
    if (estimatedTotal)
        *estimatedTotal = 0;
    d->lastHits = Xapian::MSet();
    if (query.trimmed().isEmpty() || !d->database)
        return {};
    // A writer that commits twice while we read outdates what we hold: read again.
    for (int attempt = 0;; ++attempt) {
        try {
            Xapian::Enquire enquire(*d->database);
            enquire.set_query(parse(*d->database, query));
            const Xapian::doccount limit = maxHits > 0 ? Xapian::doccount(maxHits) : d->database->get_doccount();
            d->lastHits = enquire.get_mset(0, limit);
            QList<SearchHit> hits;
            hits.reserve(qsizetype(d->lastHits.size()));
            for (Xapian::MSetIterator hit = d->lastHits.begin(); hit != d->lastHits.end(); ++hit) {
                const std::string data = hit.get_document().get_data();
                hits.append(
                    {IndexedNote::fromData(QByteArray(data.data(), qsizetype(data.size()))), hit.get_percent()});
            }
            if (estimatedTotal)
                *estimatedTotal = int(d->lastHits.get_matches_estimated());
            return hits;
        } catch (const Xapian::DatabaseModifiedError &error) {
            if (attempt >= 3)
                throw SearchIndexError(QString::fromStdString(error.get_description()));
            d->database->reopen();
        } catch (const Xapian::Error &error) {
            const SearchIndexError failure = searchIndexError(error);
            // Whoever finds the damage marks it: the writer builds the index anew.
            if (failure.kind() == SearchIndexError::Damaged)
                SearchIndex::markForRebuild(d->folder);
            throw failure;
        }
    }
}

QString NoteSearcher::snippet(const QString &text, int length) const
{
    if (text.isEmpty() || d->lastHits.empty())
        return QString();
    const std::string utf8 = IndexTerms::utf8(text);
    // Long texts are looked through until a good passage turns up, not to the end.
    unsigned flags = Xapian::MSet::SNIPPET_CJK_NGRAM | Xapian::MSet::SNIPPET_EMPTY_WITHOUT_MATCH;
    if (utf8.size() < 100000)
        flags |= Xapian::MSet::SNIPPET_EXHAUSTIVE;
    try {
        std::string passage =
            d->lastHits.snippet(utf8, size_t(length), IndexTerms::stemmer(),
                                flags | Xapian::MSet::SNIPPET_BACKGROUND_MODEL, "<b>", "</b>", "\u2026");
        if (passage.empty())
            passage = d->lastHits.snippet(utf8, size_t(length), IndexTerms::stemmer(), 0, "<b>", "</b>", "\u2026");
        // Chinese is matched a character at a time: "苹果" comes marked as two.
        return QString::fromStdString(passage).replace(QLatin1String("</b><b>"), QString());
    } catch (const Xapian::Error &) {
        return QString();
    }
}

QString NoteSearcher::firstMarkedWord(const QString &snippetHtml)
{
    const qsizetype start = snippetHtml.indexOf(QLatin1String("<b>"));
    if (start < 0)
        return QString();
    const qsizetype end = snippetHtml.indexOf(QLatin1String("</b>"), start);
    if (end < 0)
        return QString();
    // The passage escapes only these.
    return snippetHtml.mid(start + 3, end - start - 3)
        .replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&#39;"), QLatin1String("'"))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
}
