#include "drivec.h"

#include "error.h"
#include "filenames.h"

#include <QDir>

#ifndef Q_OS_WIN
#include <cerrno>
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#endif

namespace bootvane {

#ifdef Q_OS_WIN

QString driveCLink()
{
    return {};
}

QString driveCPath(const QString& dosPath)
{
    return dosPath;
}

#else

QString driveCLink()
{
    // Taken as bytes: a prefix or home folder whose name is not UTF-8 is still a folder.
    QString prefix = decodeFileName(qgetenv("WINEPREFIX"));
    if (prefix.isEmpty()) {
        const QByteArray home = qgetenv("HOME");
        prefix =
            (home.isEmpty() ? QDir::homePath() : decodeFileName(home)) + QStringLiteral("/.wine");
    }
    return prefix + QStringLiteral("/dosdevices/c:");
}

namespace {

// The spelling of name, as given or in lower or upper case, that is an entry of folder on a
// file system that tells case apart: there a spelling's twin in swapped case is no name of
// the same file. Empty when there is none, or the file system ignores case. This spares
// reading the folder, which applying a set would otherwise do for every file it writes:
// Wine spells its folders in lower case, FAT disks in upper case.
QString spellingThatTellsCase(const QString& folder, const QString& name)
{
    const QByteArray base = encodeFileName(folder) + '/';
    for (const QString& spelling : {name, name.toLower(), name.toUpper()}) {
        QString twin = spelling;
        for (QChar& c : twin)
            c = c.isUpper() ? c.toLower() : c.toUpper();
        struct stat found {
        }, swapped{};
        if (::lstat((base + encodeFileName(spelling)).constData(), &found) != 0)
            continue;
        if (twin == spelling || ::lstat((base + encodeFileName(twin)).constData(), &swapped) != 0 ||
            swapped.st_dev != found.st_dev || swapped.st_ino != found.st_ino)
            return spelling;
        return {}; // the file system ignores case: only its listing knows the spelling
    }
    return {};
}

// The entry of folder that is name in any case, spelt as the folder spells it: the exact
// spelling if there is one, else the first in name order that matches without case, else
// name itself (a file still to be made). The folder is always read, never asked for name:
// on a file system that ignores case (FAT) the name finds LOGO.SYS as well, and a file
// written under it would be renamed to the spelling asked for.
QString entryInAnyCase(const QString& folder, const QString& name)
{
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return name;
    if (const QString spelling = spellingThatTellsCase(folder, name); !spelling.isEmpty())
        return spelling;
    // A folder that cannot be listed is an error, never "no such entry": an absent system
    // file means Windows' built-in screen, and the backup would leave it out.
    DIR* dir = ::opendir(encodeFileName(folder).constData());
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR)
            return name;
        fail(QStringLiteral("list the folder"), folder, systemReason(errno));
    }
    QString found;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        const QString entryName = decodeFileName(QByteArray(entry->d_name));
        if (entryName == name) {
            found = name;
            break;
        }
        if (entryName.compare(name, Qt::CaseInsensitive) == 0 &&
            (found.isEmpty() || entryName < found))
            found = entryName;
    }
    const int error = errno;
    ::closedir(dir);
    if (found.isEmpty() && error != 0)
        fail(QStringLiteral("list the folder"), folder, systemReason(error));
    return found.isEmpty() ? name : found;
}

} // namespace

QString driveCPath(const QString& dosPath)
{
    if (!dosPath.startsWith(QLatin1String("c:"), Qt::CaseInsensitive))
        fail(QStringLiteral("find the file"), dosPath, QStringLiteral("it is not on drive C:"));

    const QString link = driveCLink();
    char* resolved = ::realpath(encodeFileName(link).constData(), nullptr);
    if (!resolved) {
        fail(QStringLiteral("find drive C: at"), link,
             QStringLiteral("drive C: is not mapped (no such link or folder)"));
    }
    QString path = decodeFileName(QByteArray(resolved));
    ::free(resolved);

    const QStringList names = dosPath.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& name : names) {
        const QString entry = entryInAnyCase(path, name);
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += entry;
    }
    return path;
}

#endif

} // namespace bootvane
