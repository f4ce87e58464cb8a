#include "syncstate.h"

#include "dbdatamodule.h"

SyncState::SyncState(TDBDataModule &database)
    : m_database(database)
{
}

QString SyncState::setting(const QString &name)
{
    QSqlQuery &query = m_database.runQuery(QStringLiteral("select val from syncsetting where name=?"), {name});
    const QString value = query.next() ? query.value(0).toString() : QString();
    query.finish();
    return value;
}

void SyncState::setSetting(const QString &name, const QString &value)
{
    m_database.runStatement(QStringLiteral("update or insert into syncsetting (name, val) values (?,?) matching (name)"),
                            {name, value});
}

QHash<QString, SyncObjectRow> SyncState::objects()
{
    QHash<QString, SyncObjectRow> rows;
    QSqlQuery &query =
        m_database.runQuery(QStringLiteral("select gid, kind, localid, head, fingerprint, waiting from syncobject"));
    while (query.next()) {
        SyncObjectRow row{query.value(0).toString(),     static_cast<SyncKind>(query.value(1).toInt()),
                          query.value(2).toInt(),        query.value(3).toString(),
                          query.value(4).toString(),     query.value(5).toString()};
        rows.insert(row.gid, row);
    }
    query.finish();
    return rows;
}

void SyncState::put(const SyncObjectRow &row)
{
    m_database.runStatement(QStringLiteral("update or insert into syncobject (gid, kind, localid, head, fingerprint, "
                                           "waiting) values (?,?,?,?,?,?) matching (gid)"),
                            {row.gid, static_cast<int>(row.kind), row.localId, row.head, row.fingerprint, row.waiting});
}

void SyncState::remove(const QString &gid)
{
    m_database.runStatement(QStringLiteral("delete from syncobject where gid=?"), {gid});
}

QHash<QString, int> SyncState::seen()
{
    QHash<QString, int> seen;
    QSqlQuery &query = m_database.runQuery(QStringLiteral("select computer, seq from syncseen"));
    while (query.next())
        seen.insert(query.value(0).toString(), query.value(1).toInt());
    query.finish();
    return seen;
}

void SyncState::setSeen(const QString &computer, int sequence)
{
    m_database.runStatement(QStringLiteral("update or insert into syncseen (computer, seq) values (?,?) matching (computer)"),
                            {computer, sequence});
}

void SyncState::useTarget(const QString &targetId)
{
    if (setting(QStringLiteral("target")) == targetId)
        return;
    Transaction transaction(m_database);
    m_database.runStatement(QStringLiteral("update syncobject set head='', fingerprint='', waiting=''"));
    m_database.runStatement(QStringLiteral("delete from syncseen"));
    setSetting(QStringLiteral("target"), targetId);
    transaction.commit();
}
