#pragma once

#include "tagrecord.h"

#include <QList>
#include <QString>

#include <future>
#include <optional>

// Every tags row, read on a thread of its own with a connection of its own, so
// that at start-up the read overlaps the making of the windows.
class CatalogRowsPrefetch
{
public:
    // Starts the read. The program's own connection has opened the file first,
    // so that it is up to date.
    explicit CatalogRowsPrefetch(const QString &databasePath);
    // Waits for a read not taken.
    ~CatalogRowsPrefetch();
    CatalogRowsPrefetch(const CatalogRowsPrefetch &) = delete;
    CatalogRowsPrefetch &operator=(const CatalogRowsPrefetch &) = delete;

    // The rows in the engine's order, waiting for the read if need be; nothing
    // when the read failed or was taken already: the caller reads them itself.
    std::optional<QList<TagRecord>> take();

private:
    std::future<std::optional<QList<TagRecord>>> m_rows;
};
