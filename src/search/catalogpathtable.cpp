#include "catalogpathtable.h"

#include <algorithm>

void CatalogPathTable::add(int tagid, const QString &path)
{
    const QByteArray text = path.toUtf8();
    m_entries.push_back({tagid, quint32(m_text.size()), quint32(text.size())});
    m_text += text;
}

void CatalogPathTable::sort()
{
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) { return a.tagid < b.tagid; });
    m_entries.shrink_to_fit();
    m_text.squeeze();
}

QString CatalogPathTable::path(int tagid) const
{
    const auto found = std::lower_bound(m_entries.cbegin(), m_entries.cend(), tagid,
                                        [](const Entry &entry, int id) { return entry.tagid < id; });
    if (found == m_entries.cend() || found->tagid != tagid)
        return {};
    return QString::fromUtf8(m_text.constData() + found->offset, qsizetype(found->length));
}
