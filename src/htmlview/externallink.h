#pragma once

class QUrl;

// Whether a link clicked in a note may be handed to another program: web, ftp
// and mail addresses only. Script, data, file and any other links stay in the
// note but are never opened, so a captured page cannot make the program run or
// show anything through them.
bool isSafeExternalLink(const QUrl &url);
