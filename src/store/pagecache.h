#pragma once

#include <QString>

// The engine keeps one page cache per open database in the process, sized by
// the attachment that opens it; the default (2,048 pages of 16 KB) is twice
// what the program's reads gain from. Qt's Firebird driver passes no cache
// size, so while one of these lives, an attachment of its own holds the file
// open with the smaller cache, and the driver's attachments made meanwhile
// share it. When the file is open already, the cache stays as it is.
class PageCacheSizer
{
public:
    static constexpr int CachePages = 1024;

    PageCacheSizer(const QString &databasePath, const QString &userName, const QString &password);
    ~PageCacheSizer();
    PageCacheSizer(const PageCacheSizer &) = delete;
    PageCacheSizer &operator=(const PageCacheSizer &) = delete;

private:
    // None when the attachment failed: the driver's own then reports why.
    unsigned int m_handle = 0;
};
