#pragma once

#include "indexednote.h"

#include <QList>
#include <QString>

#include <memory>

struct SearchHit
{
    IndexedNote note;
    int percent = 0; // relevance of the hit, 1 to 100
};

// Searches the full-text index read-only, so it works beside the program that
// writes it, in this process or in another.
class NoteSearcher
{
public:
    // folder: the index folder given to SearchIndex.
    explicit NoteSearcher(QString folder);
    ~NoteSearcher();
    NoteSearcher(const NoteSearcher &) = delete;
    NoteSearcher &operator=(const NoteSearcher &) = delete;

    // Opens the index, or catches up with what was committed since; false when
    // there is no readable index of the current format.
    bool refresh();
    bool isComplete() const;

    // The best hits first, at most maxHits (all when 0). Words are all required;
    // "quoted words" are a phrase, word* a prefix, title:, catalog: and
    // attachment: search one field. Case does not matter. estimatedTotal
    // receives how many notes match in all. Throws SearchIndexError when the
    // index cannot be read.
    QList<SearchHit> search(const QString &query, int maxHits, int *estimatedTotal = nullptr);

    // A passage of the note's text around what the last search matched, escaped
    // for HTML, the matched words between <b> and </b>; the beginning of the text
    // when nothing in it matched.
    QString snippet(const QString &text, int length = 200) const;
    // The first matched word of a passage made by snippet(), as plain text.
    static QString firstMarkedWord(const QString &snippetHtml);

private:
    bool open();

    struct Private;
    std::unique_ptr<Private> d;
};
