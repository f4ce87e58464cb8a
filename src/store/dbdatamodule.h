#pragma once

#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

// The note database: one connection, one transaction and one primary query
// through which every statement runs, one at a time. Every value is bound.
// Failures throw DbError with the engine's message.
class TDBDataModule
{
public:
    enum class Use {
        Working, // the program's own connection: brings an older file up to date
        Reading, // a connection that only reads, beside the program's own
    };
    // Opens the database file; throws DbError when it cannot be opened.
    explicit TDBDataModule(const QString &databasePath, Use use = Use::Working);
    // Closes the primary query, rolls back an open transaction and disconnects.
    ~TDBDataModule();
    TDBDataModule(const TDBDataModule &) = delete;
    TDBDataModule &operator=(const TDBDataModule &) = delete;

    // Starts the transaction unless one is open already.
    void startTransaction();
    void commit();
    void rollback() noexcept;
    bool inTransaction() const { return m_inTransaction; }

    // Runs a query on the primary query and leaves it positioned before the first
    // row; a new statement closes the previous result.
    QSqlQuery &runQuery(const QString &sql, const QVariantList &values = {});
    void runStatement(const QString &sql, const QVariantList &values = {});
    // Runs a query and answers the first column of its first row as an integer;
    // no row or NULL reads as 0.
    int queryInteger(const QString &sql, const QVariantList &values = {});

    // New ids are the table's current maximum plus one; an empty table gives 1.
    // Note and attachment ids also go past those of trashed notes, whose
    // history and files are kept by id.
    int nextTagId();
    int nextNoteId();
    int nextAttachmentId();

    // The path of every tags row, in the order the database returns them.
    QStringList loadCatalogPaths();

    // The catalog nodes whose rows or notes an operation changed, so that the views
    // showing the catalog can read just those again. Marks made inside a transaction
    // count once it commits and are dropped when it rolls back.
    void markTagChanged(int tagid);
    // The nodes changed since the last call.
    QSet<int> takeChangedTags();

    // The most characters the note table's title column holds.
    int noteTitleLength();
    // The most characters the note table's source column holds; 0 when the file
    // has no such column (an older one that could not be given it).
    int noteSourceLength();
    // The address a note was captured from, or empty.
    QString noteSource(int noteid);

    // The notes whose rows an operation inserted, changed or deleted, so that what
    // is kept of them in memory can be read again. Marks made inside a transaction
    // count once it commits and are dropped when it rolls back.
    void markNoteChanged(int noteid);
    // The notes changed since the last call.
    QSet<int> takeChangedNotes();

    QSqlDatabase &connection() { return m_database; }

    // Whether the file has the tables of trashed notes (an older file that
    // could not be given them has not).
    bool hasTrashTables() const { return m_hasTrashTables; }

private:
    void addMissingColumns();
    void addMissingTables();
    bool tableExists(const char *name);
    void addMissingIndexes();
    int noteColumnLength(const char *column);
    void prepareAndRun(const QString &sql, const QVariantList &values);

    QString m_connectionName;
    QSqlDatabase m_database;
    QSqlQuery m_query;
    bool m_inTransaction = false;
    QSet<int> m_changedTags;
    QSet<int> m_changedInTransaction;
    int m_noteTitleLength = 0;   // read from the database on first use
    int m_noteSourceLength = -1; // likewise; 0 for no column
    QSet<int> m_changedNotes;
    QSet<int> m_notesChangedInTransaction;
    bool m_hasTrashTables = false;
};

// One changing operation: starts the transaction, and rolls it back when the
// operation leaves without committing (an error was thrown).
class Transaction
{
public:
    explicit Transaction(TDBDataModule &database);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit();

private:
    TDBDataModule &m_database;
    bool m_finished = false;
};

// The text cut to at most maxCharacters characters (code points, as the engine
// counts them in a UTF-8 column), never inside a character or a cluster of
// combining marks.
QString cutToCharacters(const QString &text, int maxCharacters);

// Reads a column of the current row by name.
int fieldInt(const QSqlQuery &query, const char *name);
QString fieldText(const QSqlQuery &query, const char *name);
// A stored path relative to the data folder, with "/" also where older copies wrote "\\".
QString fieldPath(const QSqlQuery &query, const char *name);
