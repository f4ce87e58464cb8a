#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// The catalog path of every node by its tagid, for readers of many notes at
// once. The paths sit as UTF-8 in one buffer: at 50,000 nodes, kept as a
// string each in a hash, they took about 8 MB for the whole of an index pass.
class CatalogPathTable
{
public:
    void add(int tagid, const QString &path);
    // Call once every path is added, before looking any up.
    void sort();
    // Empty for a tagid without a node.
    QString path(int tagid) const;
    qsizetype size() const { return qsizetype(m_entries.size()); }

private:
    struct Entry
    {
        int tagid;
        quint32 offset; // into m_text
        quint32 length;
    };
    std::vector<Entry> m_entries; // by tagid, once sorted
    QByteArray m_text;
};
