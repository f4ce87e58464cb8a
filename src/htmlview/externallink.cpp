#include "externallink.h"

#include <QUrl>

bool isSafeExternalLink(const QUrl &url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme();
    for (const char *allowed : {"http", "https", "ftp", "mailto"}) {
        if (scheme.compare(QLatin1String(allowed), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
