#include "notetitles.h"

#include "dbdatamodule.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace {

// The engine's upper case of one code point: the simple mapping of the Unicode
// tables, which for the Greek letters with a iota below is the title-case form.
char32_t engineUpper(char32_t c)
{
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    const char32_t upper = QChar::toUpper(c);
    if (upper == c && QChar::category(c) == QChar::Letter_Lowercase)
        return QChar::toTitleCase(c);
    return upper;
}

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

qsizetype codePoints(const QString &text)
{
    qsizetype count = 0;
    for (const QChar c : text) {
        if (!c.isLowSurrogate())
            ++count;
    }
    return count;
}

} // namespace

QByteArray foldTitle(const QString &title)
{
    QByteArray folded;
    folded.reserve(title.size());
    for (const char32_t c : title.toUcs4())
        appendUtf8(folded, engineUpper(c));
    return folded;
}

bool NoteTitles::load(QSqlQuery &query, const std::function<bool()> &keepGoing)
{
    *this = NoteTitles();
    while (query.next()) {
        if (keepGoing && m_entries.size() % 4096 == 0 && !keepGoing()) {
            *this = NoteTitles();
            return false;
        }
        const QVariant title = query.value(2);
        append(query.value(0).toInt(), query.value(1).toInt(),
               title.isNull() ? std::nullopt : std::optional<QString>(title.toString()));
    }
    m_byId.resize(m_entries.size());
    for (quint32 i = 0; i < m_byId.size(); ++i)
        m_byId[i] = i;
    const auto byNoteid = [this](quint32 a, quint32 b) { return m_entries[a].noteid < m_entries[b].noteid; };
    // The engine mostly gives the rows in the order they were stored, which is by noteid.
    if (!std::is_sorted(m_byId.begin(), m_byId.end(), byNoteid))
        std::sort(m_byId.begin(), m_byId.end(), byNoteid);
    return true;
}

qsizetype NoteTitles::lengthOf(size_t index) const
{
    const qsizetype end =
        index + 1 < m_entries.size() ? qsizetype(m_entries[index + 1].offset) : qsizetype(m_folded.size());
    return end - qsizetype(m_entries[index].offset);
}

std::vector<quint32>::iterator NoteTitles::findId(int noteid)
{
    return std::lower_bound(m_byId.begin(), m_byId.end(), noteid,
                            [this](quint32 index, int id) { return m_entries[index].noteid < id; });
}

void NoteTitles::append(int noteid, int tagid, const std::optional<QString> &title)
{
    m_entries.push_back(Entry{noteid, tagid, quint32(m_folded.size())});
    m_kept.push_back(title ? Kept::Title : Kept::NullTitle);
    if (title) {
        const QByteArray folded = foldTitle(*title);
        m_folded.append(folded.constData(), size_t(folded.size()));
    }
}

void NoteTitles::set(int noteid, int tagid, const std::optional<QString> &title)
{
    auto found = findId(noteid);
    if (found != m_byId.end() && m_entries[*found].noteid == noteid) {
        const size_t index = *found;
        const QByteArray folded = title ? foldTitle(*title) : QByteArray();
        const qsizetype length = lengthOf(index);
        const bool sameTitle = title ? m_kept[index] == Kept::Title && length == folded.size() &&
                                           (length == 0 || std::memcmp(m_folded.data() + m_entries[index].offset,
                                                                       folded.constData(), size_t(length)) == 0)
                                     : m_kept[index] == Kept::NullTitle;
        if (sameTitle) {
            m_entries[index].tagid = tagid;
            return;
        }
        m_wasted += length;
        m_kept[index] = Kept::Gone;
        *found = quint32(m_entries.size());
    } else {
        m_byId.insert(found, quint32(m_entries.size()));
    }
    append(noteid, tagid, title);
    compactWhenWasteful();
}

void NoteTitles::remove(int noteid)
{
    const auto found = findId(noteid);
    if (found == m_byId.end() || m_entries[*found].noteid != noteid)
        return;
    m_wasted += lengthOf(*found);
    m_kept[*found] = Kept::Gone;
    m_byId.erase(found);
    compactWhenWasteful();
}

void NoteTitles::compactWhenWasteful()
{
    // Replaced titles stay in the buffer until they make up a quarter of it.
    if (m_wasted < 1 << 20 || m_wasted < qsizetype(m_folded.size() / 4))
        return;
    PageArray<char> folded;
    folded.reserve(m_folded.size() - size_t(m_wasted));
    PageArray<Entry> entries;
    entries.reserve(m_byId.size());
    PageArray<Kept> kept;
    kept.reserve(m_byId.size());
    for (quint32 &index : m_byId) {
        Entry entry = m_entries[index];
        entry.offset = quint32(folded.size());
        folded.append(m_folded.data() + m_entries[index].offset, size_t(lengthOf(index)));
        kept.push_back(m_kept[index]);
        index = quint32(entries.size());
        entries.push_back(entry);
    }
    m_folded = std::move(folded);
    m_entries = std::move(entries);
    m_kept = std::move(kept);
    m_wasted = 0;
}

void NoteTitles::refresh(TDBDataModule &database, const QList<int> &noteids)
{
    constexpr qsizetype Slice = 200;
    for (qsizetype start = 0; start < noteids.size(); start += Slice) {
        const QList<int> slice = noteids.mid(start, Slice);
        QVariantList values;
        for (int id : slice)
            values << id;
        QSqlQuery &query =
            database.runQuery(QStringLiteral("select noteid, tagid, title from note where noteid in (%1)")
                                  .arg(QStringList(slice.size(), QStringLiteral("?")).join(',')),
                              values);
        QList<int> missing = slice;
        while (query.next()) {
            const int noteid = query.value(0).toInt();
            const QVariant title = query.value(2);
            set(noteid, query.value(1).toInt(),
                title.isNull() ? std::nullopt : std::optional<QString>(title.toString()));
            missing.removeAll(noteid);
        }
        query.finish();
        for (int noteid : std::as_const(missing))
            remove(noteid);
    }
}

template <typename Counted> void NoteTitles::forEachPlainMatch(const QByteArray &needle, Counted counted) const
{
    const char *begin = m_folded.data();
    const qsizetype size = qsizetype(m_folded.size());
    qsizetype from = 0;
    while (from + needle.size() <= size) {
        const void *hit = memmem(begin + from, size_t(size - from), needle.constData(), size_t(needle.size()));
        if (!hit)
            return;
        const qsizetype at = static_cast<const char *>(hit) - begin;
        // The entry whose bytes hold the hit: the last one beginning at or before it.
        const auto after = std::upper_bound(m_entries.begin(), m_entries.end(), quint32(at),
                                            [](quint32 offset, const Entry &entry) { return offset < entry.offset; });
        const size_t index = size_t(after - m_entries.begin()) - 1;
        const qsizetype end = qsizetype(m_entries[index].offset) + lengthOf(index);
        if (m_kept[index] == Kept::Gone) {
            from = end;
        } else if (at + needle.size() <= end) {
            counted(m_entries[index]);
            from = end; // one count per note
        } else {
            from = at + 1; // the hit runs into the next title
        }
    }
}

std::optional<QHash<int, int>> NoteTitles::countMatching(const QString &searchText) const
{
    if (codePoints(searchText) > LongestSearchText)
        return std::nullopt;
    QHash<int, int> counts;
    const QByteArray needle = foldTitle(searchText);
    if (needle.isEmpty()) {
        for (size_t index = 0; index < m_entries.size(); ++index) {
            if (m_kept[index] == Kept::Title)
                ++counts[m_entries[index].tagid];
        }
    } else {
        forEachPlainMatch(needle, [&counts](const Entry &entry) { ++counts[entry.tagid]; });
    }
    return counts;
}
