#pragma once

class TMainForm;

// History... on the selected note: its earlier versions in their window. An
// editor open on the note saves what is written there first, and reads the
// note again once a version is restored; the explorer then shows the restored
// text and full-text search indexes it.
void showSelectedNoteHistory(TMainForm &explorer);
