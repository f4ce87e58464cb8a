#pragma once

#include <QString>

// The in-memory copy of a tags row that hangs on each catalog tree node.
struct TagRecord
{
    int tagid = 0;
    QString name;
    int deep = 0;
    QString path;
    int parentid = 0;
    int childcount = 0;
    int count = 0;      // notes here and below whose title holds the search text
    int ownMatches = 0; // of those, the notes filed in this node itself
    int icoid = 0;
};
// Moved in memory as a whole when a list of records grows.
Q_DECLARE_TYPEINFO(TagRecord, Q_RELOCATABLE_TYPE);

// The caption of a catalog node: name, then the number in parentheses.
inline QString tagCaption(const QString &name, int number)
{
    return name + QLatin1Char('(') + QString::number(number) + QLatin1Char(')');
}
