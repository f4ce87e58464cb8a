#pragma once

#include <string>

// Turns every absolute address of the note's own folder into "./": "file://"
// followed by noteFolder (an absolute path ending with "/"), in any letter case,
// written plainly or percent-escaped as the HTML view writes file addresses.
std::string RelativiseNoteText(const std::string &text, const std::string &noteFolder);

// Rewrites a freshly saved note file so that its references to its own folder
// are relative. The text is read up to the first zero byte and replaced whole;
// returns false when the file cannot be read or written.
bool RelativiseNoteFile(const std::string &noteFilePath);
