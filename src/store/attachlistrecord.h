#pragma once

#include <QString>

// The record behind each item of an attachment list. The file is always
// data folder + path + attname.
struct AttachListRecord
{
    int attid = 0;   // 0 while the attachment is not stored
    QString attname; // the stored copy's file name
    QString path;    // its folder relative to the data folder, ending with "/"
    int noteid = 0;  // 0 while the note is not stored
};
