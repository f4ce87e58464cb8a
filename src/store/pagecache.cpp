#include "pagecache.h"

#include <QByteArray>
#include <QFile>

#include <ibase.h>

static_assert(sizeof(isc_db_handle) <= sizeof(unsigned int), "an attachment handle is kept as an unsigned int");

namespace {

void appendText(QByteArray &parameters, char item, const QByteArray &text)
{
    parameters.append(item);
    parameters.append(char(text.size()));
    parameters.append(text);
}

} // namespace

PageCacheSizer::PageCacheSizer(const QString &databasePath, const QString &userName, const QString &password)
{
    QByteArray parameters;
    parameters.append(char(isc_dpb_version1));
    appendText(parameters, isc_dpb_user_name, userName.toUtf8());
    appendText(parameters, isc_dpb_password, password.toUtf8());
    // The engine in its shared-cache mode takes no cache size from an attachment
    // (isc_dpb_num_buffers); the database's own setting, given here, it takes.
    appendText(parameters, isc_dpb_config, "DefaultDbCachePages=" + QByteArray::number(CachePages));
    const QByteArray path = QFile::encodeName(databasePath);
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = 0;
    if (isc_attach_database(status, short(path.size()), path.constData(), &handle, short(parameters.size()),
                            parameters.constData()) == 0)
        m_handle = handle;
}

PageCacheSizer::~PageCacheSizer()
{
    if (!m_handle)
        return;
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = m_handle;
    isc_detach_database(status, &handle);
}
