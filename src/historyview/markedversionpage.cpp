#include "markedversionpage.h"

#include "worddiff.h"

#include <QRegularExpression>
#include <QUrl>

QString markedVersionPage(const QString &versionHtml, const QString &currentHtml, const QString &noteFolder)
{
    QString page = markedDifferences(versionHtml, currentHtml);
    // The page is shown from elsewhere; the base keeps the note's relative
    // pictures and attachments found where the note is.
    const QString base = QUrl::fromLocalFile(noteFolder + QLatin1Char('/')).toString(QUrl::FullyEncoded);
    const QString head = QStringLiteral("<base href=\"%1\"><style>"
                                        "ins{color:#1a7f37;background:#dafbe1;text-decoration:underline;}"
                                        "del{color:#cf222e;background:#ffebe9;text-decoration:line-through;}"
                                        "</style>")
                             .arg(base.toHtmlEscaped());
    static const QRegularExpression headTag(QStringLiteral("<head(\\s[^>]*)?>"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch found = headTag.match(page);
    // Without a head of its own the parser puts these into the one it makes.
    page.insert(found.hasMatch() ? found.capturedEnd() : 0, head);
    return page;
}
