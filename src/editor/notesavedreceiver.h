#pragma once

// Told synchronously by an editor after it saved a note, before the save
// returns: the explorer reloads its tree and shows the note.
class NoteSavedReceiver
{
public:
    virtual void NoteSaved(int noteId, int tagId) = 0;
    // Whether NoteSaved also brings the context's catalog paths up to date, so
    // that the editor need not read them again.
    virtual bool followsCatalogPaths() const { return false; }

protected:
    ~NoteSavedReceiver() = default;
};
