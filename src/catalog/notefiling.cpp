#include "notefiling.h"

#include "catalogwalk.h"
#include "dbdatamodule.h"
#include "tagpaths.h"

#include <optional>

NoteFiling::NoteFiling(TDBDataModule &database)
    : m_database(database)
{
}

void NoteFiling::passed(Step step)
{
    if (observer)
        observer(step);
}

NoteFilingResult NoteFiling::file(const NoteFilingRequest &request)
{
    NoteFilingResult result;
    Transaction transaction(m_database);
    passed(Step::Begun);

    // Where the stored note is filed now, by its row: the catalog the editor opened
    // it with may be stale when the note was moved meanwhile.
    std::optional<int> filedUnder;
    if (request.noteId != 0) {
        QSqlQuery &row = m_database.runQuery(QStringLiteral("select tagid from note where noteid=?"), {request.noteId});
        if (row.next())
            filedUnder = row.value(0).toInt();
        row.finish();
    }
    const bool stored = filedUnder.has_value();

    result.tagId = stored ? *filedUnder : 0;
    if (!stored || request.refile) {
        if (stored)
            shiftNoteCounts(m_database, *filedUnder, -1);
        passed(Step::PreviousFilingReleased);
        result.tagId = fileUnderTagPath(m_database, request.catalogText, 0, QString());
        if (result.tagId == 0)
            throw DbError(QStringLiteral("The catalog \"%1\" names no node.").arg(request.catalogText));
        passed(Step::CatalogResolved);
    }

    const int titleLength = m_database.noteTitleLength();
    if (stored) {
        result.noteId = request.noteId;
        if (request.refile || request.retitle) {
            m_database.runStatement(QStringLiteral("update note set tagid=?, title=? where noteid=?"),
                                    {result.tagId, cutToCharacters(request.title, titleLength), result.noteId});
            m_database.markTagChanged(result.tagId); // its title search counts may change
            m_database.markNoteChanged(result.noteId);
        }
    } else {
        result.noteId = m_database.nextNoteId();
        QVariantList values{result.noteId, cutToCharacters(request.title.trimmed(), titleLength), result.tagId,
                            request.relativeFile};
        QString columns = QStringLiteral("noteid, title, tagid, createdate, filename");
        QString marks = QStringLiteral("?,?,?,'now',?");
        if (request.created.isValid()) {
            marks = QStringLiteral("?,?,?,?,?");
            values.insert(3, request.created);
        }
        if (const int sourceLength = m_database.noteSourceLength(); sourceLength > 0) {
            // A cut address would lead elsewhere: one too long is not kept at all.
            const bool fits = cutToCharacters(request.source, sourceLength) == request.source;
            columns += QStringLiteral(", source");
            marks += QStringLiteral(",?");
            values << (request.source.isEmpty() || !fits ? QVariant(QMetaType(QMetaType::QString)) : request.source);
        }
        m_database.runStatement(QStringLiteral("insert into note (%1) values (%2)").arg(columns, marks), values);
        m_database.markNoteChanged(result.noteId);
    }
    passed(Step::NoteRowWritten);
    if (!request.attachments.isEmpty()) {
        int lastId = m_database.nextAttachmentId() - 1;
        for (const AttachListRecord &attachment : request.attachments) {
            m_database.runStatement(QStringLiteral("insert into attachment values (?,?,?,?)"),
                                    {++lastId, result.noteId, attachment.attname, attachment.path});
            result.attachmentIds << lastId;
        }
        passed(Step::AttachmentRowsWritten);
    }
    if (request.alsoStore)
        request.alsoStore(m_database, result.noteId);
    passed(Step::Committing);
    transaction.commit();
    passed(Step::Committed);
    return result;
}
