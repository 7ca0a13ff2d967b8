#include "imagedrive.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace bootvane {

namespace {

// A plain 8.3 name, as DOS writes it: mtools takes it as it is, never as a pattern ("*", "?"
// and "[" match other names) or as a long name.
bool isPlainShortName(const QString& name)
{
    static const QString allowed =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!#$%&'()-@^_`{}~");
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    if (base.isEmpty() || base.size() > 8 || extension.size() > 3 ||
        (dot >= 0 && extension.isEmpty()))
        return false;
    return std::all_of(base.begin(), base.end(), [](QChar c) { return allowed.contains(c); }) &&
           std::all_of(extension.begin(), extension.end(),
                       [](QChar c) { return allowed.contains(c); });
}

// "C:\Windows\logow.sys" as mtools names it on the volume: "::/WINDOWS/LOGOW.SYS". Upper
// case, as DOS writes 8.3 names; mtools finds an existing entry in any case. Every path
// Bootvane gives mtools is made here.
QString volumePath(const QString& dosPath)
{
    if (!dosPath.startsWith(QLatin1String("c:"), Qt::CaseInsensitive))
        fail(QStringLiteral("find the file"), dosPath, QStringLiteral("it is not on drive C:"));
    const QStringList names = dosPath.mid(2).toUpper().split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& name : names) {
        if (!isPlainShortName(name))
            fail(QStringLiteral("find the file"), dosPath,
                 QStringLiteral("\"%1\" is no plain DOS name of 8.3 characters").arg(name));
    }
    if (names.isEmpty())
        fail(QStringLiteral("find the file"), dosPath, QStringLiteral("it names no file"));
    return QStringLiteral("::/") + names.join(QLatin1Char('/'));
}

QString folderOf(const QString& path)
{
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    return path.left(qMax<qsizetype>(cut, 3));
}

QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The temporary names of a file being replaced: NAME.BVW while written, NAME.BVN once whole.
QString temporaryPath(const QString& path, const char* extension)
{
    const QString folder = folderOf(path);
    return folder + (folder.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) +
           nameOf(path).section(QLatin1Char('.'), 0, 0).left(8) + QLatin1Char('.') +
           QLatin1String(extension);
}

const char* const beingWritten = "BVW";
const char* const whole = "BVN";

// Each of paths and the temporary names of each.
QStringList withTemporaryNames(const QStringList& paths)
{
    QStringList names;
    for (const QString& path : paths)
        names << path << temporaryPath(path, beingWritten) << temporaryPath(path, whole);
    return names;
}

using Kind = MtoolsVolume::Kind;

// What the 8.3 entry of its name at path is, as lookUp found it.
Kind kindOf(const ImageDrive::Found& found, const QString& path)
{
    const auto at = found.find(path);
    return at == found.end() ? Kind::Absent : at->second.kind;
}

} // namespace

std::unique_ptr<ImageDrive> ImageDrive::open(const QString& path)
{
    std::unique_ptr<ImageDrive> drive(new ImageDrive(absoluteFileName(path)));
    (void)drive->volume();
    return drive;
}

MtoolsVolume ImageDrive::volume() const
{
    const RawDisk::View disk = m_disk.view();
    QFile image;
    openPlainFile(image, disk.file, QStringLiteral("open the disk image"),
                  QStringLiteral("it is a device, pipe or socket, not a disk image file"));
    m_fat = locateDriveC(image, m_path, disk.offset);
    return MtoolsVolume(disk.file, m_fat.offset);
}

QString ImageDrive::title() const
{
    return displayFileName(QFileInfo(m_path).fileName());
}

QString ImageDrive::identity() const
{
    // A volume with neither serial number nor label shares its name with every other such
    // volume: which of them an image is, the places and screens remembered for each tell.
    (void)volume();
    return fatIdentity(m_fat);
}

QStringList ImageDrive::formerIdentities() const
{
    // Such a volume was known by its image's path.
    (void)volume();
    if (m_fat.serial == 0 && m_fat.label.isEmpty())
        return {QStringLiteral("image:") + place()};
    return {};
}

QString ImageDrive::place() const
{
    return realWriteTarget(m_path);
}

bool ImageDrive::changedByWriting(const QString& path) const
{
    return liesWithin(path, place()) || liesWithin(path, containerExportsFolder());
}

QString ImageDrive::displayPath(const QString& dosPath) const
{
    return QStringLiteral("%1 in %2").arg(dosPath.toUpper(), m_path);
}

std::vector<DriveFile> ImageDrive::readFiles(const QStringList& dosPaths, qint64 maxBytes) const
{
    const MtoolsVolume fat = volume();
    QStringList paths;
    for (const QString& dosPath : dosPaths)
        paths.append(volumePath(dosPath));
    // mcopy copies a folder as the files in it, and every file that answers to the name one
    // after the other: the lookup says first what each name reaches.
    const QString operation = QStringLiteral("read");
    const Found found = fat.lookUp(paths, operation);
    std::vector<DriveFile> files;
    for (const QString& path : paths) {
        DriveFile& file = files.emplace_back();
        file.isFolder = kindOf(found, path) == Kind::Folder;
        if (kindOf(found, path) != Kind::File)
            continue;
        fat.requireAlone(found, path, operation);
        file.bytes = fat.read(path, fat.shown(path), maxBytes);
        if (!file.bytes)
            fail(operation, fat.shown(path),
                 QStringLiteral("its folder lists it, but mtools finds no such file"));
    }
    return files;
}

std::optional<QString> ImageDrive::whyNotWritable() const
{
    return m_disk.holdForWriting();
}

ImageDrive::Found
ImageDrive::checkedFolders(const MtoolsVolume& fat,
                           const std::vector<std::pair<QString, FileChange>>& changes) const
{
    QStringList paths;
    for (const auto& [dosPath, change] : changes)
        paths.append(volumePath(dosPath));
    if (paths.isEmpty())
        return {};
    if (const std::optional<QString> why = whyNotWritable())
        fail(QStringLiteral("write"), displayPath(changes.front().first), *why);
    Found found = fat.lookUp(withTemporaryNames(paths), QStringLiteral("write"));
    for (size_t i = 0; i < changes.size(); ++i) {
        const QString& path = paths[qsizetype(i)];
        const bool replacing = changes[i].second == FileChange::Replace;
        const QString operation = replacing ? QStringLiteral("write") : QStringLiteral("remove");
        if (replacing && folderOf(path).size() > 3 && kindOf(found, folderOf(path)) != Kind::Folder)
            fail(operation, fat.shown(path),
                 QStringLiteral("the image has no folder %1").arg(dosPathOf(folderOf(path))));
        // A folder of the user's where the file or its temporary names would be is never
        // written into, renamed or removed. Removing the file leaves the temporary names alone.
        // Every name that mtools is given reaches the entry of that 8.3 name alone: writing
        // gives it all three, removing those that are files.
        QStringList inTheWay{path};
        if (replacing)
            inTheWay << temporaryPath(path, beingWritten) << temporaryPath(path, whole);
        for (const QString& name : inTheWay) {
            if (kindOf(found, name) == Kind::Folder)
                fail(operation, fat.shown(name),
                     name == path
                         ? QStringLiteral("a folder stands where the file would be; Bootvane "
                                          "never changes a folder, and nothing was changed")
                         : QStringLiteral("a folder of that name is in the way of writing %1; "
                                          "Bootvane never changes a folder, and nothing was "
                                          "changed")
                               .arg(nameOf(path)));
        }
        for (const QString& name : withTemporaryNames({path})) {
            if (replacing || kindOf(found, name) == Kind::File)
                fat.requireAlone(found, name, operation,
                                 name == path ? QString() : dosPathOf(path));
        }
    }
    return found;
}

void ImageDrive::checkChange(const QString& dosPath, FileChange change) const
{
    checkChanges({{dosPath, change}});
}

void ImageDrive::checkChanges(const std::vector<std::pair<QString, FileChange>>& changes) const
{
    (void)checkedFolders(volume(), changes);
}

void ImageDrive::replace(const QString& dosPath, const QByteArray& bytes)
{
    const MtoolsVolume fat = volume();
    const QString path = volumePath(dosPath);
    const QString shownAs = displayPath(dosPath);
    const Found found = checkedFolders(fat, {{dosPath, FileChange::Replace}});
    const QString written = temporaryPath(path, beingWritten);
    const QString ready = temporaryPath(path, whole);

    const std::optional<QString> attributes = kindOf(found, path) == Kind::File
                                                  ? std::optional(fat.attributes(path, shownAs))
                                                  : std::nullopt;
    if (kindOf(found, ready) == Kind::File)
        fat.remove(ready, shownAs);
    try {
        fat.write(written, bytes, shownAs);
        fat.rename(written, ready, shownAs);
        // From here on the new file is whole: a start that finds it finishes the job.
        if (attributes && *attributes != QLatin1String("A"))
            fat.setAttributes(ready, *attributes, shownAs);
        // One command removes the old entry and renames the new one in its place.
        fat.rename(ready, path, shownAs, true);
    } catch (const Error&) {
        cleanUpAfterFailedWrite(fat, path, shownAs);
        throw;
    }
}

void ImageDrive::cleanUpAfterFailedWrite(const MtoolsVolume& fat, const QString& path,
                                         const QString& shownAs) const
{
    // Best effort: the step that failed is reported, whatever this finds. Where the old file
    // is there, what was written of the new one goes. Where it is gone (the last step failed
    // half-way), the whole new file is put in its place, or left for the next start to.
    try {
        const QString operation = QStringLiteral("write");
        const Found found = fat.lookUp(withTemporaryNames({path}), operation);
        const QString written = temporaryPath(path, beingWritten);
        const QString ready = temporaryPath(path, whole);
        for (const QString& name : {path, written, ready})
            fat.requireAlone(found, name, operation);
        if (kindOf(found, written) == Kind::File)
            fat.remove(written, shownAs);
        if (kindOf(found, ready) != Kind::File)
            return;
        if (kindOf(found, path) == Kind::File)
            fat.remove(ready, shownAs);
        else if (kindOf(found, path) == Kind::Absent)
            fat.rename(ready, path, shownAs);
    } catch (const Error&) {
    }
}

void ImageDrive::remove(const QString& dosPath)
{
    const MtoolsVolume fat = volume();
    const QString path = volumePath(dosPath);
    const QString shownAs = displayPath(dosPath);
    const Found found = checkedFolders(fat, {{dosPath, FileChange::Remove}});
    // A dead copy's whole new file would otherwise be put in the removed file's place by the
    // next start.
    for (const QString& name :
         {temporaryPath(path, whole), temporaryPath(path, beingWritten), path}) {
        if (kindOf(found, name) == Kind::File)
            fat.remove(name, shownAs);
    }
}

void ImageDrive::removeAbandonedWork(const QStringList& dosPaths)
{
    const MtoolsVolume fat = volume();
    QStringList paths;
    for (const QString& dosPath : dosPaths)
        paths.append(volumePath(dosPath));
    // Nothing is written to an image in use, and what another copy is writing now is no work
    // left: the next start looks again. The lock is held before anything is looked at.
    if (whyNotWritable())
        return;
    const QString operation = QStringLiteral("finish the work left in");
    const Found found = fat.lookUp(withTemporaryNames(paths), operation);
    for (const QString& path : paths) {
        const QString written = temporaryPath(path, beingWritten);
        const QString ready = temporaryPath(path, whole);
        // Only files that Bootvane wrote: it writes none beside a folder of the system file's
        // name, and a folder of a temporary name is the user's.
        const Kind target = kindOf(found, path);
        const bool left =
            kindOf(found, written) == Kind::File || kindOf(found, ready) == Kind::File;
        // Nor is a name given to mtools that reaches another file too: the next apply says
        // which.
        if (!left || target == Kind::Folder)
            continue;
        try {
            for (const QString& name : {path, written, ready})
                fat.requireAlone(found, name, operation);
        } catch (const Error&) {
            continue;
        }
        if (kindOf(found, written) == Kind::File)
            fat.remove(written, fat.shown(written));
        if (kindOf(found, ready) != Kind::File)
            continue;
        // A whole new file: the old one was removed already, or is about to be.
        if (target == Kind::File)
            fat.remove(ready, fat.shown(ready));
        else
            fat.rename(ready, path, fat.shown(path));
    }
}

} // namespace bootvane
