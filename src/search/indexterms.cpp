#include "indexterms.h"

#include <QRegularExpression>

namespace IndexTerms {

namespace {

// File names are also indexed with their punctuation as spaces, so that
// "minutes" finds "minutes_2026-03.pdf".
QString splitFileName(const QString &name)
{
    static const QRegularExpression punctuation(QStringLiteral("[._\\-+~()\\[\\]]+"));
    return QString(name).replace(punctuation, QStringLiteral(" "));
}

void indexCatalogPath(Xapian::TermGenerator &generator, const QString &catalogPath)
{
    generator.index_text_without_positions(utf8(QString(catalogPath).replace(QLatin1Char(','), QLatin1Char(' '))), 1,
                                           CatalogPrefix);
}

} // namespace

Xapian::TermGenerator termGenerator()
{
    Xapian::TermGenerator generator;
    generator.set_stemmer(stemmer());
    generator.set_stemming_strategy(Xapian::TermGenerator::STEM_SOME);
    generator.set_flags(Xapian::TermGenerator::FLAG_CJK_NGRAM);
    return generator;
}

Xapian::Document buildDocument(const IndexedNote &note, const QString &bodyText)
{
    Xapian::Document document;
    Xapian::TermGenerator generator = termGenerator();
    generator.set_document(document);

    const std::string title = utf8(note.title);
    generator.index_text(title, TitleWeight);
    generator.index_text(title, 1, TitlePrefix);
    // A gap, so that phrases never run from one part into the next.
    generator.increase_termpos(100);
    generator.index_text(utf8(bodyText));
    generator.increase_termpos(100);
    for (const QString &name : note.attachmentNames) {
        const std::string text = utf8(name + QLatin1Char(' ') + splitFileName(name));
        generator.index_text(text);
        generator.index_text(text, 1, AttachmentPrefix);
        generator.increase_termpos(100);
    }
    indexCatalogPath(generator, note.catalogPath);

    document.add_boolean_term(idTerm(note.noteId));
    document.set_data(note.toData().toStdString());
    return document;
}

void replaceCatalogPath(Xapian::Document &document, const QString &catalogPath)
{
    std::vector<std::string> old;
    for (const char *prefix : {CatalogPrefix, StemmedCatalogPrefix}) {
        Xapian::TermIterator term = document.termlist_begin();
        term.skip_to(prefix);
        for (; term != document.termlist_end() && (*term).rfind(prefix, 0) == 0; ++term)
            old.push_back(*term);
    }
    for (const std::string &term : old)
        document.remove_term(term);

    Xapian::TermGenerator generator = termGenerator();
    generator.set_document(document);
    indexCatalogPath(generator, catalogPath);

    const std::string data = document.get_data();
    IndexedNote note = IndexedNote::fromData(QByteArray(data.data(), qsizetype(data.size())));
    note.catalogPath = catalogPath;
    document.set_data(note.toData().toStdString());
}

} // namespace IndexTerms
