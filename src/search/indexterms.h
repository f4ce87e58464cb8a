#pragma once

// How notes become Xapian terms; shared by the writer and the searcher, not
// part of the library's interface.

#include "indexednote.h"

#include <xapian.h>

#include <QString>

namespace IndexTerms {

// Raised whenever what the index holds or how it is read changes: an index of
// another format is rebuilt.
inline constexpr int FormatVersion = 1;
inline constexpr const char FormatKey[] = "clipnest.format";
inline constexpr const char CompleteKey[] = "clipnest.complete";

// Body, title and attachment names are plain terms; the title and the
// attachment names also carry a prefix of their own for field searches. The
// catalog path is kept under its own prefix only, so that a renamed node's
// notes can have just those terms replaced.
inline constexpr const char TitlePrefix[] = "S";
inline constexpr const char AttachmentPrefix[] = "XA";
inline constexpr const char CatalogPrefix[] = "XP";
inline constexpr const char StemmedCatalogPrefix[] = "ZXP";
inline constexpr const char IdPrefix[] = "Q";

// Title words count as much as this many body words.
inline constexpr int TitleWeight = 3;

inline std::string utf8(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

inline std::string idTerm(int noteId)
{
    return IdPrefix + std::to_string(noteId);
}

inline Xapian::Stem stemmer()
{
    return Xapian::Stem("english");
}

Xapian::TermGenerator termGenerator();
// The whole document of a note: its words, its id term and its record.
Xapian::Document buildDocument(const IndexedNote &note, const QString &bodyText);
// Replaces the catalog path terms and the stored record of an indexed note.
void replaceCatalogPath(Xapian::Document &document, const QString &catalogPath);

} // namespace IndexTerms
