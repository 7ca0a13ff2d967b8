#include "folderdrive.h"

#include "error.h"
#include "fatmount.h"
#include "filenames.h"
#include "filesystem.h"
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#endif

namespace bootvane {

namespace {

#ifndef Q_OS_WIN

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

QString wineLink()
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

#endif

} // namespace

std::unique_ptr<FolderDrive> FolderDrive::wine()
{
#ifdef Q_OS_WIN
    return std::unique_ptr<FolderDrive>(new FolderDrive(QString(), true));
#else
    return std::unique_ptr<FolderDrive>(new FolderDrive(wineLink(), true));
#endif
}

std::unique_ptr<FolderDrive> FolderDrive::atFolder(const QString& folder)
{
    return std::unique_ptr<FolderDrive>(new FolderDrive(folder, false));
}

QString FolderDrive::title() const
{
    if (m_isWine)
        return {};
    const QString name = QFileInfo(m_mapping).fileName();
    return displayFileName(name.isEmpty() ? m_mapping : name);
}

#ifdef Q_OS_WIN

QString FolderDrive::root() const
{
    return m_isWine ? QStringLiteral("C:\\") : m_mapping;
}

QString FolderDrive::nativePath(const QString& dosPath) const
{
    if (!dosPath.startsWith(QLatin1String("c:"), Qt::CaseInsensitive))
        fail(QStringLiteral("find the file"), dosPath, QStringLiteral("it is not on drive C:"));
    return m_isWine ? dosPath : m_mapping + dosPath.mid(2);
}

QString FolderDrive::identity() const
{
    return folderIdentity();
}

QString FolderDrive::folderIdentity() const
{
    return QStringLiteral("folder:") + realWriteTarget(root()).toLower();
}

QStringList FolderDrive::formerIdentities() const
{
    return {};
}

#else

QString FolderDrive::root() const
{
    const QByteArray mapping = encodeFileName(m_mapping);
    char* resolved = ::realpath(mapping.constData(), nullptr);
    if (!resolved) {
        const int error = errno;
        if (!m_isWine)
            fail(QStringLiteral("find drive C: at"), m_mapping, systemReason(error));
        // A link whose target is gone is most often a disk no longer mounted: name it.
        QByteArray target(4096, '\0');
        const ssize_t length =
            ::readlink(mapping.constData(), target.data(), size_t(target.size()));
        fail(QStringLiteral("find drive C: at"), m_mapping,
             length > 0 ? QStringLiteral("drive C: is not mapped: it points to \"%1\", which is "
                                         "not there")
                              .arg(QDir::toNativeSeparators(
                                  displayFileName(decodeFileName(target.left(length)))))
                        : QStringLiteral("drive C: is not mapped (no such link or folder)"));
    }
    QString path = decodeFileName(QByteArray(resolved));
    ::free(resolved);
    return path;
}

QString FolderDrive::nativePath(const QString& dosPath) const
{
    if (!dosPath.startsWith(QLatin1String("c:"), Qt::CaseInsensitive))
        fail(QStringLiteral("find the file"), dosPath, QStringLiteral("it is not on drive C:"));

    QString path = root();
    const QStringList names = dosPath.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& name : names) {
        const QString entry = entryInAnyCase(path, name);
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += entry;
    }
    return path;
}

QString FolderDrive::identity() const
{
    if (const std::optional<FatVolume> volume = fatVolumeMountedAt(root()))
        return fatIdentity(*volume);
    return folderIdentity();
}

QStringList FolderDrive::formerIdentities() const
{
    // Until FAT volumes were known by their own names, a card was known by where it was
    // mounted: its originals and history stay its own.
    if (fatVolumeMountedAt(root()))
        return {folderIdentity()};
    return {};
}

QString FolderDrive::folderIdentity() const
{
    // The root's real path, so that two prefixes whose c: lead to one folder are one drive,
    // and its device and inode, so that another disk mounted at the same place is another.
    // The device is the file system's own id where it keeps one (ext4 and btrfs take it from
    // their UUID): a disk image attached to another loop device is still the same disk.
    const QString folder = root();
    const QByteArray encoded = encodeFileName(folder);
    struct stat status {};
    if (::stat(encoded.constData(), &status) != 0)
        fail(QStringLiteral("find drive C: at"), folder, systemReason(errno));
    quint64 device = status.st_dev;
    struct statfs fileSystem {};
    quint64 fileSystemId = 0;
    static_assert(sizeof fileSystem.f_fsid == sizeof fileSystemId);
    if (::statfs(encoded.constData(), &fileSystem) == 0) {
        std::memcpy(&fileSystemId, &fileSystem.f_fsid, sizeof fileSystemId);
        if (fileSystemId != 0 && fileSystemId != device)
            device = fileSystemId;
    }
    return QStringLiteral("folder:%1|%2:%3").arg(folder).arg(device).arg(quint64(status.st_ino));
}

#endif

std::vector<DriveFile> FolderDrive::readFiles(const QStringList& dosPaths, qint64 maxBytes) const
{
    std::vector<DriveFile> files;
    for (const QString& dosPath : dosPaths) {
        const QString path = nativePath(dosPath);
        DriveFile& file = files.emplace_back();
        if (isAbsent(path))
            continue;
        // A folder of that name, or a link to one, is no screen: Windows finds no file there.
        file.isFolder = fileAttributesIfPresent(path).value_or(0) & attributeFolder;
        if (file.isFolder)
            continue;
        // A link that leads nowhere, in a downloaded Wine prefix say, is refused naming where
        // it leads: "no such file" would not tell the user which file to look for.
        if (entryType(path) == EntryType::Link && !QFileInfo::exists(path))
            fail(QStringLiteral("read"), path,
                 QStringLiteral("it is a link to \"%1\", which is not there; the link is kept "
                                "as it is")
                     .arg(QDir::toNativeSeparators(displayFileName(QFile::symLinkTarget(path)))));
        QFile opened;
        openPlainFile(opened, path, QStringLiteral("read"),
                      QStringLiteral("it is a device, pipe or socket, not a file"));
        if (opened.size() > maxBytes)
            fail(QStringLiteral("read"), path, QStringLiteral("it is too large to be a screen"));
        file.bytes = opened.readAll();
        if (opened.error() != QFileDevice::NoError)
            fail(QStringLiteral("read"), path, opened.errorString());
    }
    return files;
}

QString FolderDrive::displayPath(const QString& dosPath) const
{
    return nativePath(dosPath);
}

bool FolderDrive::changedByWriting(const QString& path) const
{
    try {
        return liesWithin(path, root());
    } catch (const Error&) {
        return false; // not mapped, or its folder gone
    }
}

namespace {

// Why changing path, on the drive whose real root is driveRoot, would change something outside
// it: the first link on the way from the root that leads out of it, and where it leads.
QString wayOutOfDrive(const QString& path, const QString& driveRoot, FileChange change)
{
    auto shown = [](const QString& name) {
        return QDir::toNativeSeparators(displayFileName(name));
    };
    const QStringList names =
        path.mid(driveRoot.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString at = driveRoot;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (change == FileChange::Remove && i == names.size() - 1)
            break; // the link itself goes, not what it leads to
        if (!at.endsWith(QLatin1Char('/')))
            at += QLatin1Char('/');
        at += names[i];
        if (entryType(at) != EntryType::Link)
            continue;
        const QString target = realWriteTarget(at);
        if (!liesWithin(target, driveRoot))
            return QStringLiteral("\"%1\" is a link to \"%2\", outside drive C: (\"%3\"), and "
                                  "Bootvane writes nothing outside it; the link is kept as it is")
                .arg(shown(at), shown(target), shown(driveRoot));
    }
    return QStringLiteral("it lies outside drive C: (\"%1\"), and Bootvane writes nothing "
                          "outside it")
        .arg(shown(driveRoot));
}

} // namespace

void FolderDrive::checkChange(const QString& dosPath, FileChange change) const
{
    // A system file may be a link, or drive C a folder, that leads into the working folder:
    // writing through it would change a set, or the only copy of the user's own screens.
    // Removing a link changes only the folder it is in.
    const QString path = nativePath(dosPath);
    // A folder, or a link to one, where the file would be is the user's: never written into
    // or removed.
    if (fileAttributesIfPresent(path).value_or(0) & attributeFolder)
        fail(change == FileChange::Replace ? QStringLiteral("write") : QStringLiteral("remove"),
             path,
             QStringLiteral("a folder stands where the file would be; Bootvane never changes a "
                            "folder, and nothing was changed"));
    const QString changed = change == FileChange::Replace
                                ? realWriteTarget(path)
                                : realWriteTarget(QFileInfo(path).path()) + QLatin1Char('/') +
                                      QFileInfo(path).fileName();
    // A file whose folder is not there (no WINDOWS folder, a file in its place) cannot be
    // written: refused before the first file of an apply changes.
    if (change == FileChange::Replace &&
        !(fileAttributesIfPresent(QFileInfo(changed).path()).value_or(0) & attributeFolder))
        fail(QStringLiteral("write"), path,
             QStringLiteral("the folder it belongs in is not there on drive C:"));
    const QString operation =
        change == FileChange::Replace ? QStringLiteral("write") : QStringLiteral("remove");
    const QString workingFolder = basePath();
    if (changesWorkingFolder(changed, workingFolder)) {
        fail(operation, path,
             QStringLiteral("it leads into \"%1\", the folder where Bootvane keeps your sets and "
                            "originals, which applying never changes")
                 .arg(QDir::toNativeSeparators(displayFileName(workingFolder))));
    }
    // Nor anything outside drive C: a link on the way, in a downloaded Wine prefix say, may
    // lead to any file of the user's.
    const QString driveRoot = root();
    if (!liesWithin(change == FileChange::Replace ? changed : QFileInfo(changed).path(), driveRoot))
        fail(operation, path, wayOutOfDrive(path, driveRoot, change));
}

void FolderDrive::replace(const QString& dosPath, const QByteArray& bytes)
{
    checkChange(dosPath, FileChange::Replace);
    replaceFileAtomically(nativePath(dosPath), bytes);
}

void FolderDrive::remove(const QString& dosPath)
{
    checkChange(dosPath, FileChange::Remove);
    removeFile(nativePath(dosPath));
}

void FolderDrive::removeAbandonedWork(const QStringList& dosPaths)
{
    // Temporary files are made beside the file that is written: for a link, beside its target.
    // Nothing is written outside drive C, so nothing of Bootvane's is left there.
    const QString driveRoot = root();
    QStringList folders;
    for (const QString& dosPath : dosPaths) {
        const QString path = nativePath(dosPath);
        for (const QString& written : {path, realWriteTarget(path)}) {
            const QString folder = QFileInfo(written).path();
            if (!folders.contains(folder) && liesWithin(realWriteTarget(folder), driveRoot))
                folders.append(folder);
        }
    }
    for (const QString& folder : folders)
        bootvane::removeAbandonedWork(folder, AbandonedWork::TemporaryFilesOnly);
}

} // namespace bootvane
