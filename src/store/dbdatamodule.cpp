#include "dbdatamodule.h"

#include "dberror.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlRecord>
#include <QTextBoundaryFinder>

#include <utility>

namespace {

QString engineMessage(const QSqlError &error)
{
    const QString engine = error.databaseText().trimmed();
    return engine.isEmpty() ? error.text().trimmed() : engine;
}

QString uniqueConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("notes-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

TDBDataModule::TDBDataModule(const QString &databasePath)
    : m_connectionName(uniqueConnectionName())
{
    m_database = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), m_connectionName);
    if (!m_database.isValid())
        throw DbError(QStringLiteral("The Firebird database driver (QIBASE) is not installed."));
    // The embedded engine opens the file by its local path; without a host name
    // no server is involved.
    m_database.setDatabaseName(QFileInfo(databasePath).absoluteFilePath());
    m_database.setUserName(QStringLiteral("admin"));
    m_database.setPassword(QStringLiteral("quillharbour"));
    m_database.setConnectOptions(QStringLiteral("ISC_DPB_LC_CTYPE=UTF8"));
    if (!m_database.open()) {
        const QString message = engineMessage(m_database.lastError());
        m_database = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw DbError(message.contains(databasePath) ? message : message + QStringLiteral("\n") + databasePath);
    }
    m_query = QSqlQuery(m_database);
    m_query.setForwardOnly(true);
    addMissingIndexes();
}

void TDBDataModule::addMissingIndexes()
{
    // Walks below a node go by parent; databases made before that index existed get it
    // here. Without it everything still works, only slower, so a refusal is no failure.
    try {
        const int present =
            queryInteger(QStringLiteral("select count(*) from rdb$indices where rdb$index_name = 'TAGS_PARENTID'"));
        if (present > 0)
            return;
        Transaction transaction(*this);
        runStatement(QStringLiteral("create index tags_parentid on tags (parentid)"));
        transaction.commit();
    } catch (const DbError &) {
    }
}

TDBDataModule::~TDBDataModule()
{
    m_query.finish();
    m_query = QSqlQuery();
    rollback();
    m_database.close();
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void TDBDataModule::startTransaction()
{
    if (m_inTransaction)
        return;
    m_query.finish();
    if (!m_database.transaction())
        throw DbError(engineMessage(m_database.lastError()));
    m_inTransaction = true;
}

void TDBDataModule::commit()
{
    if (!m_inTransaction)
        return;
    m_query.finish();
    m_inTransaction = false;
    const QSet<int> changed = std::exchange(m_changedInTransaction, {});
    if (!m_database.commit()) {
        const QString message = engineMessage(m_database.lastError());
        m_database.rollback();
        throw DbError(message);
    }
    m_changedTags.unite(changed);
}

void TDBDataModule::rollback() noexcept
{
    if (!m_inTransaction)
        return;
    m_query.finish();
    m_inTransaction = false;
    m_changedInTransaction.clear();
    m_database.rollback();
}

void TDBDataModule::prepareAndRun(const QString &sql, const QVariantList &values)
{
    m_query.finish();
    if (!m_query.prepare(sql))
        throw DbError(engineMessage(m_query.lastError()));
    for (const QVariant &value : values)
        m_query.addBindValue(value);
    if (!m_query.exec())
        throw DbError(engineMessage(m_query.lastError()));
}

QSqlQuery &TDBDataModule::runQuery(const QString &sql, const QVariantList &values)
{
    prepareAndRun(sql, values);
    return m_query;
}

void TDBDataModule::runStatement(const QString &sql, const QVariantList &values)
{
    prepareAndRun(sql, values);
    m_query.finish();
}

int TDBDataModule::queryInteger(const QString &sql, const QVariantList &values)
{
    QSqlQuery &query = runQuery(sql, values);
    const int result = query.next() ? query.value(0).toInt() : 0;
    query.finish();
    return result;
}

int TDBDataModule::nextTagId()
{
    return queryInteger(QStringLiteral("select max(tagid) as tid from tags")) + 1;
}

int TDBDataModule::nextNoteId()
{
    return queryInteger(QStringLiteral("select max(noteid) as nid from note")) + 1;
}

int TDBDataModule::nextAttachmentId()
{
    return queryInteger(QStringLiteral("select max(attid) as aid from attachment")) + 1;
}

QStringList TDBDataModule::loadCatalogPaths()
{
    QStringList paths;
    QSqlQuery &query = runQuery(QStringLiteral("select * from tags"));
    while (query.next())
        paths << fieldText(query, "path");
    query.finish();
    return paths;
}

void TDBDataModule::markTagChanged(int tagid)
{
    if (m_inTransaction)
        m_changedInTransaction.insert(tagid);
    else
        m_changedTags.insert(tagid);
}

QSet<int> TDBDataModule::takeChangedTags()
{
    return std::exchange(m_changedTags, {});
}

int TDBDataModule::noteTitleLength()
{
    if (m_noteTitleLength <= 0) {
        // Databases made by older copies may declare another size than today's schema.
        m_noteTitleLength = queryInteger(QStringLiteral(
            "select f.rdb$character_length from rdb$relation_fields r join rdb$fields f on "
            "f.rdb$field_name = r.rdb$field_source where r.rdb$relation_name = 'NOTE' and r.rdb$field_name = 'TITLE'"));
        if (m_noteTitleLength <= 0)
            m_noteTitleLength = 2000;
    }
    return m_noteTitleLength;
}

QString cutToCharacters(const QString &text, int maxCharacters)
{
    qsizetype characters = 0;
    for (const QChar c : text) {
        if (!c.isLowSurrogate())
            ++characters;
    }
    if (characters <= maxCharacters)
        return text;
    // Walks the clusters a reader sees as one character and keeps the whole ones that fit.
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    qsizetype kept = 0;
    characters = 0;
    for (qsizetype end = clusters.toNextBoundary(); end > 0; end = clusters.toNextBoundary()) {
        qsizetype inCluster = 0;
        for (qsizetype i = kept; i < end; ++i) {
            if (!text.at(i).isLowSurrogate())
                ++inCluster;
        }
        if (characters + inCluster > maxCharacters)
            break;
        characters += inCluster;
        kept = end;
    }
    return text.left(kept);
}

Transaction::Transaction(TDBDataModule &database)
    : m_database(database)
{
    m_database.startTransaction();
}

Transaction::~Transaction()
{
    if (!m_finished)
        m_database.rollback();
}

void Transaction::commit()
{
    m_finished = true;
    m_database.commit();
}

int fieldInt(const QSqlQuery &query, const char *name)
{
    return query.value(QLatin1String(name)).toInt();
}

QString fieldText(const QSqlQuery &query, const char *name)
{
    return query.value(QLatin1String(name)).toString();
}

QString fieldPath(const QSqlQuery &query, const char *name)
{
    return fieldText(query, name).replace(QLatin1Char('\\'), QLatin1Char('/'));
}
