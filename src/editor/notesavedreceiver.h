#pragma once

// Told synchronously by an editor after it saved a note, before the save
// returns: the explorer reloads its tree and shows the note.
class NoteSavedReceiver
{
public:
    virtual void NoteSaved(int noteId, int tagId) = 0;

protected:
    ~NoteSavedReceiver() = default;
};
