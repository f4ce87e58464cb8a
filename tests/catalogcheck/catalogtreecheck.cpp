#include "catalogtreecheck.h"

#include "catalogrows.h"
#include "dbdatamodule.h"
#include "tagtreeview.h"

#include <QTreeWidgetItemIterator>

namespace {

QString describe(const TagTreeItem *item)
{
    const TagRecord &r = item->record;
    return QStringLiteral("%1 \"%2\" deep %3 path \"%4\" parent %5 count %6 icon %7 caption \"%8\"")
        .arg(r.tagid)
        .arg(r.name)
        .arg(r.deep)
        .arg(r.path)
        .arg(r.parentid)
        .arg(r.childcount)
        .arg(r.icoid)
        .arg(item->text(0));
}

struct Expected
{
    TagRecord record;
    int parent = 0;
};

QString idList(const QList<int> &ids)
{
    QStringList texts;
    for (int id : ids)
        texts << QString::number(id);
    return texts.join(QLatin1Char(','));
}

QList<int> childIds(const QTreeWidgetItem *parent)
{
    QList<int> ids;
    for (int i = 0; i < parent->childCount(); ++i)
        ids << static_cast<const TagTreeItem *>(parent->child(i))->record.tagid;
    return ids;
}

} // namespace

QString compareWithFullReload(const TagTreeView &tree, TDBDataModule &database, const QString &searchText,
                              SiblingOrder order)
{
    // What a full load shows, worked out here from one read of the rows: a row is shown
    // at the top, or below a shown parent on a higher level; levels load in order, each
    // in tagid order.
    QList<TagRecord> rows;
    // Sorted here: the engine sorts these wide rows slowly.
    QSqlQuery &query = database.runQuery(QStringLiteral("select * from tags where deep >= 1"));
    while (query.next()) {
        rows.append(TagRecord{.tagid = fieldInt(query, "tagid"),
                              .name = fieldText(query, "tagname"),
                              .deep = fieldInt(query, "deep"),
                              .path = fieldText(query, "path"),
                              .parentid = fieldInt(query, "parentid"),
                              .childcount = fieldInt(query, "childcount"),
                              .icoid = fieldInt(query, "icoid")});
    }
    query.finish();
    std::sort(rows.begin(), rows.end(), [](const TagRecord &a, const TagRecord &b) {
        return a.deep != b.deep ? a.deep < b.deep : a.tagid < b.tagid;
    });
    QHash<int, Expected> expected;
    QHash<int, QList<int>> children; // parent tagid (0: the top) -> child tagids in load order
    for (const TagRecord &row : std::as_const(rows)) {
        const auto parent = expected.constFind(row.parentid);
        if (row.parentid != 0 && (parent == expected.cend() || parent->record.deep >= row.deep))
            continue;
        // A recount keeps the tree's nodes: nodes made during a search wait for the next full load.
        if (!searchText.isEmpty() && !tree.findTag(row.tagid))
            continue;
        expected.insert(row.tagid, {row, row.parentid});
        children[row.parentid].append(row.tagid);
    }
    if (!searchText.isEmpty()) {
        const QHash<int, int> matches = countMatchingNotes(database, searchText);
        for (auto it = matches.cbegin(); it != matches.cend(); ++it) {
            for (int id = it.key(); expected.contains(id); id = expected.value(id).parent)
                expected[id].record.count += it.value();
        }
    }

    const QList<TagTreeItem *> shown = tree.allTags();
    if (shown.size() != expected.size())
        return QStringLiteral("the tree shows %1 nodes, a full reload %2").arg(shown.size()).arg(expected.size());
    for (TagTreeItem *item : shown) {
        const auto wanted = expected.constFind(item->record.tagid);
        if (wanted == expected.cend())
            return QStringLiteral("the tree shows a node a full reload does not: %1").arg(describe(item));
        const int parent = item->parentTag() ? item->parentTag()->record.tagid : 0;
        const TagRecord &w = wanted->record;
        const int number = searchText.isEmpty() ? w.childcount : w.count;
        const TagRecord &r = item->record;
        const bool same = parent == wanted->parent && r.name == w.name && r.deep == w.deep && r.path == w.path &&
                          r.parentid == w.parentid && r.childcount == w.childcount && r.icoid == w.icoid &&
                          (searchText.isEmpty() || r.count == w.count) && item->text(0) == tagCaption(w.name, number);
        if (!same)
            return QStringLiteral("node shown as %1 (under %2), a full reload shows \"%3\" deep %4 path \"%5\" "
                                  "parent %6 count %7 icon %8 caption \"%9\" (under %10)")
                .arg(describe(item))
                .arg(parent)
                .arg(w.name)
                .arg(w.deep)
                .arg(w.path)
                .arg(w.parentid)
                .arg(w.childcount)
                .arg(w.icoid)
                .arg(tagCaption(w.name, number))
                .arg(wanted->parent);
    }
    // Sibling order, parent by parent.
    QList<std::pair<int, const QTreeWidgetItem *>> parents{{0, tree.invisibleRootItem()}};
    for (const TagTreeItem *item : shown)
        parents.append({item->record.tagid, item});
    for (const auto &[parent, item] : std::as_const(parents)) {
        QList<int> ids = childIds(item);
        QList<int> wantedIds = children.value(parent);
        if (order == SiblingOrder::Any) {
            std::sort(ids.begin(), ids.end());
            std::sort(wantedIds.begin(), wantedIds.end());
        }
        if (ids != wantedIds)
            return QStringLiteral("the children of %1 are %2, a full reload shows %3")
                .arg(parent)
                .arg(idList(ids), idList(wantedIds));
    }
    return QString();
}
