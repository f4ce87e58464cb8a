#pragma once

#include <QCoreApplication>

// The program's own texts that no named control carries go through one
// translation context, so that a language file can give them (section Texts)
// and no text of Qt's own is ever taken for one of them.
inline constexpr char ProgramTextContext[] = "Clipnest";

inline QString programText(const char *english)
{
    return QCoreApplication::translate(ProgramTextContext, english);
}
