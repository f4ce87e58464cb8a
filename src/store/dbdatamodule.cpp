#include "dbdatamodule.h"

#include "dberror.h"
#include "enginefolders.h"
#include "pagecache.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlRecord>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <utility>

namespace {

QString engineMessage(const QSqlError &error)
{
    const QString engine = error.databaseText().trimmed();
    return engine.isEmpty() ? error.text().trimmed() : engine;
}

const QString UserName = QStringLiteral("admin");
const QString Password = QStringLiteral("quillharbour");

QString uniqueConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("notes-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

TDBDataModule::TDBDataModule(const QString &databasePath, Use use)
    : m_connectionName(uniqueConnectionName())
{
    EngineFolders::useOwn();
    m_database = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), m_connectionName);
    if (!m_database.isValid())
        throw DbError(QStringLiteral("The Firebird database driver (QIBASE) is not installed."));
    // The embedded engine opens the file by its local path; without a host name
    // no server is involved.
    const QString absolutePath = QFileInfo(databasePath).absoluteFilePath();
    const PageCacheSizer pageCache(absolutePath, UserName, Password);
    m_database.setDatabaseName(absolutePath);
    m_database.setUserName(UserName);
    m_database.setPassword(Password);
    m_database.setConnectOptions(QStringLiteral("ISC_DPB_LC_CTYPE=UTF8"));
    if (!m_database.open()) {
        const QString message = engineMessage(m_database.lastError());
        m_database = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw DbError(message.contains(databasePath) ? message : message + QStringLiteral("\n") + databasePath);
    }
    m_query = QSqlQuery(m_database);
    m_query.setForwardOnly(true);
    if (use == Use::Working) {
        addMissingColumns();
        addMissingTables();
        addMissingIndexes();
    }
    m_hasTrashTables = tableExists("TRASHEDNOTE") && tableExists("TRASHEDATTACHMENT");
}

bool TDBDataModule::tableExists(const char *name)
{
    return queryInteger(QStringLiteral("select count(*) from rdb$relations where rdb$relation_name=?"),
                        {QLatin1String(name)}) > 0;
}

void TDBDataModule::addMissingTables()
{
    // Files made before the trash, sync or the Evernote import get their
    // tables here; a file that refuses them works on, deleting notes for good
    // as before, not syncing, and unable to tell a second import of an export.
    static const char *const Tables[][2] = {
        {"TRASHEDNOTE", "create table trashednote (noteid integer not null primary key, title varchar(2000), "
                        "tagid integer, createdate timestamp, filename varchar(1000), source varchar(4000), "
                        "catalogpath varchar(4000), trashdate timestamp)"},
        {"TRASHEDATTACHMENT", "create table trashedattachment (attid integer not null primary key, noteid integer, "
                              "attname varchar(1000), path varchar(1000))"},
        // Sync: each synced object's global id and last synced state, the journal
        // entries read of each computer, and the sync's own settings.
        {"SYNCOBJECT", "create table syncobject (gid varchar(64) not null primary key, kind smallint, localid integer, "
                       "head varchar(64), fingerprint varchar(64), waiting varchar(64))"},
        {"SYNCSEEN", "create table syncseen (computer varchar(64) not null primary key, seq integer)"},
        {"SYNCSETTING", "create table syncsetting (name varchar(64) not null primary key, val varchar(1000))"},
        {"IMPORTEDNOTE", "create table importednote (enexfile varchar(1000), notekey varchar(64), noteid integer)"},
    };
    try {
        for (const auto &[name, statement] : Tables) {
            if (tableExists(name))
                continue;
            Transaction transaction(*this);
            runStatement(QLatin1String(statement));
            transaction.commit();
        }
    } catch (const DbError &) {
        rollback();
    }
}

void TDBDataModule::addMissingColumns()
{
    // Files made before notes kept their source address get the column here, at
    // the end of the row. A file that refuses it (read-only, or in use elsewhere)
    // works on without sources.
    try {
        if (noteSourceLength() > 0)
            return;
        Transaction transaction(*this);
        runStatement(QStringLiteral("alter table note add source varchar(4000)"));
        transaction.commit();
    } catch (const DbError &) {
        rollback();
    }
    m_noteSourceLength = -1; // read again: the column may be there now
}

void TDBDataModule::addMissingIndexes()
{
    // Files made before these indexes get them here. Without them everything still
    // works, only slower, so a file that refuses them (read-only, or in use
    // elsewhere) is no failure. Walks below a node go by parent; new ids read the
    // maximum of an id column from a descending index instead of every row.
    static const char *const Indexes[][2] = {
        {"TAGS_PARENTID", "create index tags_parentid on tags (parentid)"},
        {"TAGS_TAGID_DESC", "create descending index tags_tagid_desc on tags (tagid)"},
        {"NOTE_NOTEID_DESC", "create descending index note_noteid_desc on note (noteid)"},
        {"ATTACHMENT_ATTID_DESC", "create descending index attachment_attid_desc on attachment (attid)"},
    };
    try {
        QStringList present;
        QSqlQuery &query = runQuery(QStringLiteral("select trim(rdb$index_name) from rdb$indices"));
        while (query.next())
            present << query.value(0).toString();
        query.finish();
        for (const auto &[name, statement] : Indexes) {
            if (present.contains(QLatin1String(name)))
                continue;
            Transaction transaction(*this);
            runStatement(QLatin1String(statement));
            transaction.commit();
        }
    } catch (const DbError &) {
        rollback();
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
    const QSet<int> changedTags = std::exchange(m_changedInTransaction, {});
    const QSet<int> changedNotes = std::exchange(m_notesChangedInTransaction, {});
    if (!m_database.commit()) {
        const QString message = engineMessage(m_database.lastError());
        m_database.rollback();
        throw DbError(message);
    }
    m_changedTags.unite(changedTags);
    m_changedNotes.unite(changedNotes);
}

void TDBDataModule::rollback() noexcept
{
    if (!m_inTransaction)
        return;
    m_query.finish();
    m_inTransaction = false;
    m_changedInTransaction.clear();
    m_notesChangedInTransaction.clear();
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
    const int stored = queryInteger(QStringLiteral("select max(noteid) as nid from note"));
    if (!m_hasTrashTables)
        return stored + 1;
    return std::max(stored, queryInteger(QStringLiteral("select max(noteid) from trashednote"))) + 1;
}

int TDBDataModule::nextAttachmentId()
{
    const int stored = queryInteger(QStringLiteral("select max(attid) as aid from attachment"));
    if (!m_hasTrashTables)
        return stored + 1;
    return std::max(stored, queryInteger(QStringLiteral("select max(attid) from trashedattachment"))) + 1;
}

QStringList TDBDataModule::loadCatalogPaths()
{
    QStringList paths;
    QSqlQuery &query = runQuery(QStringLiteral("select path from tags"));
    while (query.next())
        paths << query.value(0).toString(); // by position: by name costs a record per row
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

void TDBDataModule::markNoteChanged(int noteid)
{
    if (m_inTransaction)
        m_notesChangedInTransaction.insert(noteid);
    else
        m_changedNotes.insert(noteid);
}

QSet<int> TDBDataModule::takeChangedNotes()
{
    return std::exchange(m_changedNotes, {});
}

int TDBDataModule::noteColumnLength(const char *column)
{
    return queryInteger(QStringLiteral("select f.rdb$character_length from rdb$relation_fields r join rdb$fields f on "
                                       "f.rdb$field_name = r.rdb$field_source where r.rdb$relation_name = 'NOTE' and "
                                       "r.rdb$field_name = ?"),
                        {QLatin1String(column)});
}

int TDBDataModule::noteTitleLength()
{
    if (m_noteTitleLength <= 0) {
        // Databases made by older copies may declare another size than today's schema.
        m_noteTitleLength = noteColumnLength("TITLE");
        if (m_noteTitleLength <= 0)
            m_noteTitleLength = 2000;
    }
    return m_noteTitleLength;
}

int TDBDataModule::noteSourceLength()
{
    if (m_noteSourceLength < 0)
        m_noteSourceLength = std::max(0, noteColumnLength("SOURCE"));
    return m_noteSourceLength;
}

QString TDBDataModule::noteSource(int noteid)
{
    if (noteSourceLength() == 0)
        return QString();
    QSqlQuery &query = runQuery(QStringLiteral("select source from note where noteid=?"), {noteid});
    const QString source = query.next() ? query.value(0).toString() : QString();
    query.finish();
    return source;
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
