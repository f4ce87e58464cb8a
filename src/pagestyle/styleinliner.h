#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// Lays a selection out inside its ancestors with the page's style sheets, in a
// hidden page of the program's web engine that runs no page scripts and loads
// nothing, and writes each element's computed style inline where it differs
// from the engine's default. Elements the page did not show (display: none)
// are left out. The ancestors' inherited look goes on a wrapping <div>.
struct InlinedStyle
{
    bool ok = false; // false: the layout failed, timed out or was cancelled
    QString html;
};

// document holds the selection between the marker comments
// "clipnest-selection-start" and "clipnest-selection-end". Blocks in a local
// event loop until done, at most timeoutMs; cancelled is asked while it waits.
InlinedStyle InlineComputedStyleOfDocument(const QString &document, const QStringList &sheets, const QUrl &pageAddress,
                                           int timeoutMs, const std::function<bool()> &cancelled = {});

// A selection inside its context as such a document. context: the
// selection's ancestors as start tags followed by their end tags (as Firefox
// offers them); the selection goes where the end tags begin.
QString SelectionInContext(const QString &context, const QString &selection);

// A whole page as such a document: everything inside its body is the selection.
QString PageAsSelection(const QString &page);
