#pragma once

#include "picturefetcher.h"

#include <QByteArray>
#include <QString>

// A selection dragged out of a browser that gives its markup without the
// page's style (Firefox), given the look it had on the page.
struct StyledSelection
{
    bool styled = false; // false: the page or its layout could not be had; the fragment is as it came
    QByteArray fragment; // UTF-8
    QString pageTitle;   // the page's own title, cleaned, or empty
    QString pageAddress; // the page that was read: the one given, or the one the fragment's links name
};

// Reads the page at pageAddress and its style sheets under the capture's
// limits (on a worker thread, while this thread goes on handling its events),
// then lays the fragment out inside its context and writes its computed style
// inline. Without an http or https address, the page is the one the
// fragment's own links to places on it name (Firefox gives no address with a
// dragged selection), when that page holds the fragment's text. When no page
// can be read, the fragment comes back as it was.
StyledSelection StyleSelection(const QByteArray &fragmentUtf8, const QString &context, const QString &pageAddress,
                               const FetchOptions &limits);

// A whole web page made to read offline: read with its sheets under the
// limits, laid out without its scripts, its computed style written inline.
// fragment is the page's body content, styled; styled is false when the page
// could not be read or laid out.
StyledSelection StylePage(const QString &pageAddress, const FetchOptions &limits);
