// Which serves a large catalog faster: the explorer's tree of one widget item
// per node, or a model over the nodes in memory behind a plain tree view? Both
// are built from the same rows of a seeded database, set up alike (icons,
// captions, the column sized to its contents) and fully expanded; then every
// caption changes, as at the start or end of a title search.
//
//   tree_view_bench SEEDED_FOLDER [REPEATS]
#include "catalogrows.h"
#include "clipnestapplication.h"
#include "dbdatamodule.h"
#include "tagtreeview.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// The least a model over the catalog in memory needs to show it.
class CatalogModel : public QAbstractItemModel
{
public:
    void reset(const QList<CatalogNode> &forest)
    {
        beginResetModel();
        m_nodes.clear();
        m_top.clear();
        m_nodes.reserve(size_t(forest.size()));
        for (const CatalogNode &node : forest) {
            const int index = int(m_nodes.size());
            m_nodes.push_back(Node{node.record, node.parentIndex, 0, {}, node.record.childcount});
            std::vector<int> &siblings = node.parentIndex < 0 ? m_top : m_nodes[size_t(node.parentIndex)].children;
            m_nodes.back().row = int(siblings.size());
            siblings.push_back(index);
        }
        endResetModel();
    }

    // Every caption shows another number; the view is told once.
    void showNumbers(int offset)
    {
        for (Node &node : m_nodes)
            node.shown = node.record.childcount + offset;
        if (!m_top.empty())
            emit dataChanged(index(0, 0), index(int(m_top.size()) - 1, 0), {Qt::DisplayRole});
    }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override
    {
        const std::vector<int> &siblings = parent.isValid() ? m_nodes[size_t(parent.internalId())].children : m_top;
        if (row < 0 || row >= int(siblings.size()) || column != 0)
            return {};
        return createIndex(row, column, quintptr(siblings[size_t(row)]));
    }
    QModelIndex parent(const QModelIndex &child) const override
    {
        if (!child.isValid())
            return {};
        const int parentIndex = m_nodes[size_t(child.internalId())].parent;
        if (parentIndex < 0)
            return {};
        return createIndex(m_nodes[size_t(parentIndex)].row, 0, quintptr(parentIndex));
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        if (parent.column() > 0)
            return 0;
        return int(parent.isValid() ? m_nodes[size_t(parent.internalId())].children.size() : m_top.size());
    }
    int columnCount(const QModelIndex & = {}) const override { return 1; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const Node &node = m_nodes[size_t(index.internalId())];
        if (role == Qt::DisplayRole)
            return tagCaption(node.record.name, node.shown);
        if (role == Qt::DecorationRole)
            return TagTreeView::catalogIcon(node.record.icoid);
        return {};
    }

private:
    struct Node
    {
        TagRecord record;
        int parent;
        int row;
        std::vector<int> children;
        int shown;
    };
    std::vector<Node> m_nodes;
    std::vector<int> m_top;
};

void setUpLikeTheExplorer(QTreeView &view)
{
    view.setHeaderHidden(true);
    view.setIndentation(27);
    view.setIconSize(QSize(16, 16));
    view.setUniformRowHeights(true);
    view.header()->setStretchLastSection(false);
    view.header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    view.resize(300, 800);
}

double medianMs(int repeats, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    ClipnestApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tree_view_bench SEEDED_FOLDER [REPEATS]\n");
        return 2;
    }
    const int repeats = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    QList<TagRecord> rows;
    {
        TDBDataModule database(QString::fromLocal8Bit(argv[1]) + QStringLiteral("/notes.fdb"),
                               TDBDataModule::Use::Reading);
        QSqlQuery &query = database.runQuery(allTagRowsStatement());
        rows = readTagRows(query);
        query.finish();
    }

    TagTreeView widgets;
    widgets.resize(300, 800);
    widgets.show();
    CatalogModel model;
    QTreeView view;
    view.setModel(&model);
    setUpLikeTheExplorer(view); // the column exists once the model is set
    view.show();
    QCoreApplication::processEvents();

    // Built from the rows, forest included, until painted.
    const double widgetLoad = medianMs(repeats, [&] {
        widgets.loadFull(rows);
        widgets.viewport()->repaint();
    });
    const double modelLoad = medianMs(repeats, [&] {
        view.setUpdatesEnabled(false);
        model.reset(catalogForest(rows));
        view.expandAll();
        view.setUpdatesEnabled(true);
        view.viewport()->repaint();
    });
    QCoreApplication::processEvents();

    // Every caption changed, the column fitted again and the tree painted.
    int offset = 0;
    const double widgetCaptions = medianMs(repeats, [&] {
        ++offset;
        const QList<TagTreeItem *> tags = widgets.allTags();
        const QSignalBlocker quiet(widgets.model());
        for (TagTreeItem *tag : tags)
            tag->showCount(tag->record.childcount + offset);
        widgets.header()->resizeSections(QHeaderView::ResizeToContents);
        widgets.expandAll();
        widgets.viewport()->repaint();
    });
    const double modelCaptions = medianMs(repeats, [&] {
        ++offset;
        model.showNumbers(offset);
        view.expandAll();
        view.viewport()->repaint();
    });

    std::printf("%lld nodes, medians of %d\n", qlonglong(rows.size()), repeats);
    std::printf("%-40s %10s %10s %8s\n", "", "widgets", "model", "ratio");
    std::printf("%-40s %7.1f ms %7.1f ms %8.2f\n", "load from the rows, expanded", widgetLoad, modelLoad,
                modelLoad / widgetLoad);
    std::printf("%-40s %7.1f ms %7.1f ms %8.2f\n", "every caption changed", widgetCaptions, modelCaptions,
                modelCaptions / widgetCaptions);
    return 0;
}
