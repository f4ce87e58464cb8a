#include "importednotewriter.h"

#include "notefiling.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

NoteLocation locationFor(const QString &dataFolder, const QDateTime &created)
{
    NoteLocation location = NewNoteLocation(dataFolder, created);
    if (!location.problem.isEmpty())
        throw std::runtime_error(location.problem.toStdString());
    return location;
}

} // namespace

ImportedNoteWriter::ImportedNoteWriter(const QString &dataFolder, const QDateTime &created)
    : m_created(created)
    , m_location(locationFor(dataFolder, created))
    , m_resources(m_location.dayFolder)
{
}

ImportedNoteWriter::~ImportedNoteWriter()
{
    if (!m_filed)
        m_resources.discard();
}

ImportedNoteFiled ImportedNoteWriter::file(TDBDataModule &database, const NoteBody &body, const Filing &filing)
{
    const QString dayName = QFileInfo(m_location.dayFolder).fileName();
    const QString filePath = m_location.dayFolder + QLatin1Char('/') + m_location.fileName;
    const QString written = writeNoteDocument(filePath, m_location.dayFolder + QStringLiteral("/template.html"), body);
    if (!written.isEmpty())
        throw std::runtime_error(QStringLiteral("cannot write %1: %2").arg(filePath, written).toStdString());

    NoteFilingRequest request;
    request.title = body.title;
    request.catalogText = filing.catalogPath;
    request.relativeFile = dayName + QLatin1Char('/') + m_location.fileName;
    request.source = filing.source;
    request.created = m_created;
    request.attachments = m_resources.attachments(dayName + QStringLiteral("/attaches/"));
    request.alsoStore = filing.alsoStore;
    NoteFilingResult filed;
    try {
        filed = NoteFiling(database).file(request);
    } catch (...) {
        QFile::remove(filePath);
        throw;
    }
    m_filed = true;
    return {filed.noteId, filed.tagId, request.relativeFile};
}
