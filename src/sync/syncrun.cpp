#include "syncrun.h"

#include "dbdatamodule.h"
#include "syncpass.h"
#include "syncstate.h"

SyncRun::SyncRun(TDBDataModule &database, const AppContext &context, SyncTarget &target, const QString &targetId)
    : m_database(database)
    , m_context(context)
    , m_target(target)
    , m_targetId(targetId)
{
}

SyncOutcome SyncRun::run()
{
    m_database.rollback();
    try {
        return SyncPass(*this, m_database, m_context, m_target).run(m_targetId);
    } catch (...) {
        m_database.rollback(); // what was not committed is done again next time
        throw;
    }
}

QString SyncRun::lastTargetId(TDBDataModule &database)
{
    return SyncState(database).setting(QStringLiteral("target"));
}
