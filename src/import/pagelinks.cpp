#include "pagelinks.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

#include <stdexcept>

namespace {

const char PageScheme[] = "import-page:";

} // namespace

std::string PageLinkAddress(const QString &pageKey)
{
    // Percent-encoded, so that it passes any HTML escaping unchanged.
    return PageScheme + QUrl::toPercentEncoding(pageKey).toStdString();
}

void RelinkPages(const QString &dataFolder, const QStringList &relativeFiles, const QHash<QString, QString> &fileOfPage)
{
    static const QRegularExpression Link(QStringLiteral(" href=\"import-page:([^\"]*)\""));
    for (const QString &relativeFile : relativeFiles) {
        const QString path = dataFolder + relativeFile;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString html = QString::fromUtf8(file.readAll());
        file.close();
        QString relinked;
        qsizetype from = 0;
        for (const QRegularExpressionMatch &match : Link.globalMatch(html)) {
            relinked += html.mid(from, match.capturedStart() - from);
            const QString target = fileOfPage.value(QUrl::fromPercentEncoding(match.captured(1).toLatin1()));
            if (!target.isEmpty())
                relinked += QStringLiteral(" href=\"../%1\"").arg(target.toHtmlEscaped());
            from = match.capturedEnd();
        }
        if (from == 0)
            continue;
        relinked += html.mid(from);
        QSaveFile save(path);
        const QByteArray bytes = relinked.toUtf8();
        if (save.open(QIODevice::WriteOnly) && save.write(bytes) == bytes.size())
            save.commit();
    }
}

ImportedPages::ImportedPages(EnexImportReport &report, const QString &dataFolder)
    : m_report(report)
    , m_dataFolder(dataFolder)
{
}

void ImportedPages::store(const QString &pageKey, const QString &file, QString title,
                          const std::function<StoredPage(QString &title, QStringList &problems)> &storePage)
{
    QStringList problems;
    try {
        const StoredPage stored = storePage(title, problems);
        m_fileOfPage.insert(pageKey, stored.filed.relativeFile);
        if (stored.linksPages)
            m_linking << stored.filed.relativeFile;
        ++m_report.imported;
        m_report.noteIds << stored.filed.noteId;
        if (!m_report.tagIds.contains(stored.filed.tagId))
            m_report.tagIds << stored.filed.tagId;
    } catch (const std::exception &error) {
        ++m_report.notStored;
        problems << QString::fromUtf8(error.what());
    }
    if (!problems.isEmpty()) {
        ++m_report.withProblems;
        m_report.problems.append({file, title, problems.join(QStringLiteral("; "))});
    }
}

void ImportedPages::relink()
{
    RelinkPages(m_dataFolder, m_linking, m_fileOfPage);
}
