#pragma once

#include <QString>

#include <atomic>
#include <functional>

class SearchIndex;

// Brings the search index up to date with the database and the note files:
// notes that are new, changed (title, catalog path, attachments, or a file of
// another size or time) or missing from the index are indexed, notes that are
// gone are removed. On an empty index this is the full build; after a crash,
// a failed update or an index deleted by hand it is the repair.
class IndexPass
{
public:
    // dataFolder ends with "/". The pass opens its own database connection, so
    // it may run on a thread of its own.
    IndexPass(SearchIndex &index, QString databasePath, QString dataFolder);

    // How many notes are read and compared at a time; small ones test the
    // seams between the slices.
    void setSliceSize(int notes) { m_sliceSize = notes; }

    // How many notes the last run found to index.
    int notesToIndex() const { return m_toIndex; }

    // Throws DbError or SearchIndexError. progress(done, total) is called from
    // this thread after each batch; a set cancel flag ends the run early, with
    // what was indexed so far committed. When the disk grows nearly full the
    // index is discarded (SearchIndexError of kind NoRoom).
    void run(const std::function<void(int done, int total)> &progress, const std::atomic_bool &cancelled);

private:
    void runPass(const std::function<void(int done, int total)> &progress, const std::atomic_bool &cancelled);

    SearchIndex &m_index;
    QString m_databasePath;
    QString m_dataFolder;
    int m_sliceSize;
    int m_toIndex = 0;
};
