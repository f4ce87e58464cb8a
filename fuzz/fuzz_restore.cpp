// libFuzzer target of a restore's checks: the unpacking of an archive, which
// must write nothing outside its own folder and only the kinds of entry a
// backup holds, and the rows' file names, of which those taken for inside the
// data folder must stay there.
#include "restorecheck.h"
#include "storedpath.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// Every line of the input, read as a stored path, either is refused or names
// a place inside the data folder.
void checkStoredPaths(const QByteArray &input)
{
    const QString data = QStringLiteral("/srv/program/data/");
    for (const QByteArray &line : input.split('\n')) {
        const QString path = QString::fromUtf8(line);
        const QString resolved = StoredPath::resolve(data, path);
        if (!resolved.isEmpty())
            check(QDir::cleanPath(resolved).startsWith(data), "a stored path accepted leads outside the data folder");
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (StoredPath::isInsideAttachment(path.left(slash + 1), path.mid(slash + 1)))
            check(QDir::cleanPath(data + path).startsWith(data), "an attachment accepted leads outside");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    checkStoredPaths(input);

    static QTemporaryDir work;
    const QString root = work.path() + QStringLiteral("/run");
    QDir(root).removeRecursively();
    QDir().mkpath(root + QStringLiteral("/staging"));
    const QString archive = root + QStringLiteral("/archive");
    QFile file(archive);
    if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size())
        return 0;
    file.close();
    try {
        RestoreCheck::unpack(archive, root + QStringLiteral("/staging/"));
    } catch (const std::runtime_error &) {
    }
    QDirIterator walk(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString path = walk.next();
        const QFileInfo entry(path);
        if (path == archive || path == root + QStringLiteral("/staging"))
            continue;
        check(path.startsWith(root + QStringLiteral("/staging/")), "an entry was written outside its folder");
        check(!entry.isSymLink() && (entry.isFile() || entry.isDir()), "an entry of another kind was written");
        const QString relative = path.mid(root.size() + QStringLiteral("/staging/").size());
        check(relative == QLatin1String("notes.fbk") || relative == QLatin1String("tavlo.ini") ||
                  relative == QLatin1String("data") || relative.startsWith(QLatin1String("data/")),
              "an entry a backup never holds was written");
        if (relative == QLatin1String("data"))
            check(entry.isDir(), "the data folder is a file");
        if (relative == QLatin1String("tavlo.ini") || relative == QLatin1String("notes.fbk"))
            check(entry.isFile(), "the settings or database is a folder");
    }
    return 0;
}
