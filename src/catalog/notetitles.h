#pragma once

#include "pagearray.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QSqlQuery;
class TDBDataModule;

// A title upper-cased as the database engine's UPPER does it on this file's
// UTF-8 texts: one code point for one, accented and non-Latin letters
// included (é to É, ς to Σ), nothing expanded (ß stays ß), as UTF-8.
QByteArray foldTitle(const QString &title);

// The title of every note with its node, folded, so that a title search is
// counted in memory instead of by reading every title from the engine. The
// matching rule is the engine's title search (titleHoldsSearchText): the
// note's folded title holds the folded search text, every character of it
// taken as itself.
class NoteTitles
{
public:
    // Reads every note row from a query that gives noteid, tagid and title;
    // answers false, with nothing kept, when keepGoing said to stop early.
    bool load(QSqlQuery &query, const std::function<bool()> &keepGoing = {});
    qsizetype size() const { return qsizetype(m_byId.size()); }

    // Files or refiles a note under its node with its title (none: NULL).
    void set(int noteid, int tagid, const std::optional<QString> &title);
    void remove(int noteid);
    // Brings the given notes up to date with their rows; a note without a row leaves.
    void refresh(TDBDataModule &database, const QList<int> &noteids);

    // For every node with matching notes, how many of its own notes match the
    // search text. Nothing when the text is longer than the engine takes for a
    // search, so that the caller asks the engine and meets its error.
    std::optional<QHash<int, int>> countMatching(const QString &searchText) const;

    // The longest search text the engine's statement accepts, in characters.
    static constexpr int LongestSearchText = 2000;

private:
    // A note's title runs from its offset to the next entry's (or the buffer's end).
    struct Entry
    {
        int noteid;
        int tagid;
        quint32 offset; // into m_folded
    };
    enum class Kept : quint8 { Title, NullTitle, Gone };

    qsizetype lengthOf(size_t index) const;
    // Where noteid is, or would go, in m_byId.
    std::vector<quint32>::iterator findId(int noteid);
    void append(int noteid, int tagid, const std::optional<QString> &title);
    void compactWhenWasteful();
    template <typename Counted> void forEachPlainMatch(const QByteArray &needle, Counted counted) const;

    // At a million notes each byte per note is a megabyte, hence the twelve-byte
    // entries and the state kept beside them rather than in them.
    PageArray<char> m_folded;   // every folded title, one after the other
    PageArray<Entry> m_entries; // in the order of m_folded
    PageArray<Kept> m_kept;     // one for each entry
    // Indexes into m_entries, in noteid order; a replaced or removed entry has none.
    std::vector<quint32> m_byId;
    qsizetype m_wasted = 0; // bytes of titles that were replaced or removed
};
