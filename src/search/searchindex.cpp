#include "searchindex.h"

#include "indexterms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>

#include <sys/statvfs.h>

struct SearchIndex::Writer
{
    Xapian::WritableDatabase database;
};

namespace {

const QString RebuildMark = QStringLiteral(".rebuild");

// Below this much free space the index stops growing: 100 MB, or 1% of a
// smaller disk.
qint64 roomToKeep(qint64 diskSize)
{
    return std::min<qint64>(100LL * 1024 * 1024, diskSize / 100);
}

bool freeSpace(const QString &path, qint64 *available, qint64 *size)
{
    struct statvfs disk;
    if (::statvfs(QFile::encodeName(path).constData(), &disk) != 0)
        return false;
    *available = qint64(disk.f_bavail) * qint64(disk.f_frsize);
    *size = qint64(disk.f_blocks) * qint64(disk.f_frsize);
    return true;
}

qint64 folderSize(const QString &folder)
{
    qint64 bytes = 0;
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        bytes += file.size();
    return bytes;
}

// Removes what is in the index's place, a folder or a plain file.
void removeIndex(const QString &folder)
{
    const QFileInfo place(folder);
    if (place.isDir() && !place.isSymLink())
        QDir(folder).removeRecursively();
    else if (place.exists() || place.isSymLink())
        QFile::remove(folder);
}

bool hasCurrentFormat(const Xapian::Database &database)
{
    return database.get_metadata(IndexTerms::FormatKey) == std::to_string(IndexTerms::FormatVersion);
}

} // namespace

SearchIndexError searchIndexError(const Xapian::Error &error)
{
    const std::string type = error.get_type();
    const QString description = QString::fromStdString(error.get_description());
    if (type == "DatabaseLockError")
        return SearchIndexError(description, SearchIndexError::Locked);
    if (description.contains(QLatin1String("No space left")))
        return SearchIndexError(description, SearchIndexError::NoRoom);
    if (type == "DatabaseCorruptError" || type == "DatabaseError" || type == "DatabaseVersionError")
        return SearchIndexError(description, SearchIndexError::Damaged);
    return SearchIndexError(description);
}

SearchIndex::SearchIndex(QString folder)
    : m_folder(std::move(folder))
{
}

void SearchIndex::markForRebuild(const QString &folder)
{
    QFile mark(folder + RebuildMark);
    if (mark.open(QIODevice::WriteOnly))
        mark.close();
}

bool SearchIndex::isMarkedForRebuild(const QString &folder)
{
    return QFileInfo::exists(folder + RebuildMark);
}

void SearchIndex::fail(const Xapian::Error &error) const
{
    SearchIndexError failure = searchIndexError(error);
    if (failure.kind() == SearchIndexError::Damaged)
        markForRebuild(m_folder);
    throw failure;
}

SearchIndex::~SearchIndex()
{
    close();
}

void SearchIndex::open()
{
    std::lock_guard lock(m_mutex);
    if (m_writer)
        return;
    const std::string path = IndexTerms::utf8(m_folder);
    try {
        auto writer = std::make_unique<Writer>();
        bool current = false;
        const bool marked = isMarkedForRebuild(m_folder);
        if (QFileInfo(m_folder).isDir() && !marked) {
            try {
                writer->database = Xapian::WritableDatabase(path, Xapian::DB_CREATE_OR_OPEN);
                current = hasCurrentFormat(writer->database);
            } catch (const Xapian::DatabaseLockError &) {
                throw;
            } catch (const Xapian::DatabaseError &) {
                current = false; // unreadable or of an old engine: rebuilt
            }
        }
        if (!current) {
            writer->database = Xapian::WritableDatabase();
            removeIndex(m_folder);
            writer->database = Xapian::WritableDatabase(path, Xapian::DB_CREATE);
            writer->database.set_metadata(IndexTerms::FormatKey, std::to_string(IndexTerms::FormatVersion));
            writer->database.commit();
            QFile::remove(m_folder + RebuildMark);
        }
        m_writer = std::move(writer);
    } catch (const Xapian::Error &error) {
        throw searchIndexError(error);
    }
}

bool SearchIndex::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_writer != nullptr;
}

void SearchIndex::close()
{
    std::lock_guard lock(m_mutex);
    if (!m_writer)
        return;
    try {
        m_writer->database.close();
    } catch (const Xapian::Error &) {
        // Whatever was not committed is found again by the next pass.
    }
    m_writer.reset();
}

void SearchIndex::requireOpen() const
{
    if (!m_writer)
        throw SearchIndexError(QStringLiteral("The search index is not open."));
}

bool SearchIndex::isComplete() const
{
    std::lock_guard lock(m_mutex);
    try {
        return m_writer && m_writer->database.get_metadata(IndexTerms::CompleteKey) == "1";
    } catch (const Xapian::Error &) {
        return false;
    }
}

void SearchIndex::markComplete()
{
    std::lock_guard lock(m_mutex);
    requireOpen();
    try {
        m_writer->database.set_metadata(IndexTerms::CompleteKey, "1");
        m_writer->database.commit();
    } catch (const Xapian::Error &error) {
        fail(error);
    }
}

int SearchIndex::noteCount() const
{
    std::lock_guard lock(m_mutex);
    requireOpen();
    return int(m_writer->database.get_doccount());
}

void SearchIndex::storeNote(const IndexedNote &note, const QString &bodyText)
{
    // Built before taking the lock: a pass in progress keeps indexing meanwhile.
    const Xapian::Document document = IndexTerms::buildDocument(note, bodyText);
    checkRoom();
    std::lock_guard lock(m_mutex);
    requireOpen();
    m_changedDuringPass.insert(note.noteId);
    try {
        m_writer->database.replace_document(IndexTerms::idTerm(note.noteId), document);
        m_writer->database.commit();
    } catch (const Xapian::Error &error) {
        fail(error);
    }
}

void SearchIndex::removeNote(int noteId)
{
    std::lock_guard lock(m_mutex);
    requireOpen();
    m_changedDuringPass.insert(noteId);
    try {
        m_writer->database.delete_document(IndexTerms::idTerm(noteId));
        m_writer->database.commit();
    } catch (const Xapian::Error &error) {
        fail(error);
    }
}

void SearchIndex::changeCatalogPaths(const QList<NoteCatalogPath> &paths)
{
    std::lock_guard lock(m_mutex);
    requireOpen();
    try {
        Xapian::WritableDatabase &database = m_writer->database;
        for (const NoteCatalogPath &path : paths) {
            m_changedDuringPass.insert(path.noteId);
            const std::string id = IndexTerms::idTerm(path.noteId);
            Xapian::PostingIterator posting = database.postlist_begin(id);
            if (posting == database.postlist_end(id))
                continue; // not indexed yet: the pass takes it whole
            Xapian::Document document = database.get_document(*posting);
            IndexTerms::replaceCatalogPath(document, path.catalogPath);
            database.replace_document(*posting, document);
        }
        database.commit();
    } catch (const Xapian::Error &error) {
        fail(error);
    }
}

void SearchIndex::beginPass()
{
    std::lock_guard lock(m_mutex);
    m_changedDuringPass.clear();
}

QHash<int, IndexedNote> SearchIndex::indexedNotes(const QList<int> &noteIds) const
{
    std::lock_guard lock(m_mutex);
    requireOpen();
    QHash<int, IndexedNote> notes;
    try {
        const Xapian::WritableDatabase &database = m_writer->database;
        notes.reserve(noteIds.size());
        for (int noteId : noteIds) {
            const std::string id = IndexTerms::idTerm(noteId);
            const Xapian::PostingIterator posting = database.postlist_begin(id);
            if (posting == database.postlist_end(id))
                continue;
            const std::string data = database.get_document(*posting).get_data();
            notes.insert(noteId, IndexedNote::fromData(QByteArray(data.data(), qsizetype(data.size()))));
        }
    } catch (const Xapian::Error &error) {
        fail(error);
    }
    return notes;
}

QList<int> SearchIndex::indexedNoteIdsExcept(const std::function<bool(int)> &kept) const
{
    std::lock_guard lock(m_mutex);
    requireOpen();
    QList<int> ids;
    try {
        const Xapian::WritableDatabase &database = m_writer->database;
        const std::string prefix = IndexTerms::IdPrefix;
        for (Xapian::TermIterator term = database.allterms_begin(prefix); term != database.allterms_end(prefix);
             ++term) {
            const std::string name = *term;
            int noteId = 0;
            const auto [end, error] = std::from_chars(name.data() + prefix.size(), name.data() + name.size(), noteId);
            if (error == std::errc() && end == name.data() + name.size() && !kept(noteId))
                ids << noteId;
        }
    } catch (const Xapian::Error &error) {
        fail(error);
    }
    return ids;
}

void SearchIndex::storeFromPass(const QList<PassDocument> &documents)
{
    std::vector<Xapian::Document> built;
    built.reserve(size_t(documents.size()));
    for (const PassDocument &document : documents)
        built.push_back(IndexTerms::buildDocument(document.note, document.bodyText));
    std::lock_guard lock(m_mutex);
    requireOpen();
    try {
        for (qsizetype i = 0; i < documents.size(); ++i) {
            const int noteId = documents[i].note.noteId;
            if (m_changedDuringPass.contains(noteId))
                continue;
            if (documents[i].inIndex)
                m_writer->database.replace_document(IndexTerms::idTerm(noteId), built[size_t(i)]);
            else
                m_writer->database.add_document(built[size_t(i)]);
        }
    } catch (const Xapian::Error &error) {
        fail(error);
    }
}

void SearchIndex::removeFromPass(const QList<int> &noteIds)
{
    std::lock_guard lock(m_mutex);
    requireOpen();
    try {
        for (int noteId : noteIds) {
            if (!m_changedDuringPass.contains(noteId))
                m_writer->database.delete_document(IndexTerms::idTerm(noteId));
        }
    } catch (const Xapian::Error &error) {
        fail(error);
    }
}

void SearchIndex::commit()
{
    std::lock_guard lock(m_mutex);
    requireOpen();
    try {
        m_writer->database.commit();
    } catch (const Xapian::Error &error) {
        fail(error);
    }
}

void SearchIndex::compact()
{
    std::lock_guard lock(m_mutex);
    requireOpen();
    const QString compacted = m_folder + QStringLiteral(".compacted");
    const QString old = m_folder + QStringLiteral(".old");
    try {
        m_writer->database.commit();
        QDir(compacted).removeRecursively();
        QDir(old).removeRecursively();
        // The copy needs as much room again as the index; without it the index
        // stays as it is, only larger.
        qint64 available = 0;
        qint64 size = 0;
        if (!freeSpace(QFileInfo(m_folder).absolutePath(), &available, &size) ||
            available - folderSize(m_folder) < roomToKeep(size))
            return;
        m_writer->database.compact(IndexTerms::utf8(compacted), Xapian::DBCOMPACT_NO_RENUMBER);
        m_writer->database.close();
        m_writer.reset();
        // Should anything below fail, the next open finds no index and the next
        // pass builds it anew.
        if (!QDir().rename(m_folder, old) || !QDir().rename(compacted, m_folder))
            throw SearchIndexError(QStringLiteral("Cannot replace %1 by its compacted copy.").arg(m_folder));
        QDir(old).removeRecursively();
        auto writer = std::make_unique<Writer>();
        writer->database = Xapian::WritableDatabase(IndexTerms::utf8(m_folder), Xapian::DB_OPEN);
        m_writer = std::move(writer);
    } catch (const Xapian::Error &error) {
        fail(error);
    }
}

void SearchIndex::checkRoom() const
{
    qint64 available = 0;
    qint64 size = 0;
    if (freeSpace(QFileInfo(m_folder).absolutePath(), &available, &size) && available < roomToKeep(size))
        throw SearchIndexError(QStringLiteral("The disk holding %1 has only %2 KB free.").arg(m_folder).arg(available / 1024),
                               SearchIndexError::NoRoom);
}

void SearchIndex::discard()
{
    close();
    std::lock_guard lock(m_mutex);
    removeIndex(m_folder);
    markForRebuild(m_folder);
}
