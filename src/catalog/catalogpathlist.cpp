#include "catalogpathlist.h"

void CatalogPathList::reset(const QList<TagRecord> &rows)
{
    m_paths.clear();
    m_tagids.clear();
    m_positions.clear();
    m_paths.reserve(rows.size());
    m_tagids.reserve(rows.size());
    m_positions.reserve(rows.size());
    for (const TagRecord &row : rows)
        update(row);
}

void CatalogPathList::update(const TagRecord &row)
{
    const auto found = m_positions.constFind(row.tagid);
    if (found != m_positions.constEnd()) {
        if (m_paths.at(*found) != row.path)
            m_paths[*found] = row.path;
        return;
    }
    m_positions.insert(row.tagid, m_paths.size());
    m_paths.append(row.path);
    m_tagids.append(row.tagid);
}

void CatalogPathList::remove(int tagid)
{
    const auto found = m_positions.constFind(tagid);
    if (found == m_positions.constEnd())
        return;
    const qsizetype position = *found;
    m_positions.erase(found);
    m_paths.removeAt(position);
    m_tagids.removeAt(position);
    for (qsizetype i = position; i < m_tagids.size(); ++i)
        m_positions[m_tagids.at(i)] = i;
}
