#include "enexreport.h"

void EnexImportReport::add(const EnexImportReport &other)
{
    imported += other.imported;
    skipped += other.skipped;
    withProblems += other.withProblems;
    notStored += other.notStored;
    cancelled = cancelled || other.cancelled;
    problems += other.problems;
    noteIds += other.noteIds;
    for (int tagId : other.tagIds) {
        if (!tagIds.contains(tagId))
            tagIds << tagId;
    }
}
