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

enum class Kind { Absent, File, Folder };

// What the listing of its folder shows at path. Should one name be listed twice (a damaged
// volume), a folder among them wins: it is never touched.
Kind kindOf(const std::optional<std::vector<MtoolsVolume::Entry>>& entries, const QString& path)
{
    Kind kind = Kind::Absent;
    for (const MtoolsVolume::Entry& entry : entries.value_or(std::vector<MtoolsVolume::Entry>())) {
        if (entry.name.compare(nameOf(path), Qt::CaseInsensitive) == 0)
            kind = entry.isFolder ? Kind::Folder : std::max(kind, Kind::File);
    }
    return kind;
}

QStringList foldersOf(const QStringList& paths)
{
    QStringList folders;
    for (const QString& path : paths) {
        if (!folders.contains(folderOf(path)))
            folders.append(folderOf(path));
    }
    return folders;
}

} // namespace

std::unique_ptr<ImageDrive> ImageDrive::open(const QString& path)
{
    std::unique_ptr<ImageDrive> drive(new ImageDrive(QFileInfo(path).absoluteFilePath()));
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
    const QString real = QFileInfo(m_path).canonicalFilePath();
    return real.isEmpty() ? m_path : real;
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
    // mcopy copies a folder as the files in it: the listing says first what each name is.
    const auto listed = fat.list(foldersOf(paths));
    std::vector<DriveFile> files;
    for (const QString& path : paths) {
        DriveFile& file = files.emplace_back();
        const Kind kind = kindOf(listed.at(folderOf(path)), path);
        file.isFolder = kind == Kind::Folder;
        if (kind != Kind::File)
            continue;
        file.bytes = fat.read(path, fat.shown(path), maxBytes);
        if (!file.bytes)
            fail(QStringLiteral("read"), fat.shown(path),
                 QStringLiteral("its folder lists it, but mtools finds no such file"));
    }
    return files;
}

std::optional<QString> ImageDrive::whyNotWritable() const
{
    return m_disk.whyNotWritable();
}

ImageDrive::Listed
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
    Listed listed = fat.list(foldersOf(paths));
    for (size_t i = 0; i < changes.size(); ++i) {
        const QString& path = paths[qsizetype(i)];
        const bool replacing = changes[i].second == FileChange::Replace;
        const QString operation = replacing ? QStringLiteral("write") : QStringLiteral("remove");
        const std::optional<std::vector<MtoolsVolume::Entry>>& entries = listed.at(folderOf(path));
        if (!entries && replacing)
            fail(operation, fat.shown(path),
                 QStringLiteral("the image has no folder %1").arg(dosPathOf(folderOf(path))));
        // A folder of the user's where the file or its temporary names would be is never
        // written into, renamed or removed. Removing the file leaves the temporary names alone.
        QStringList inTheWay{path};
        if (replacing)
            inTheWay << temporaryPath(path, beingWritten) << temporaryPath(path, whole);
        for (const QString& name : inTheWay) {
            if (kindOf(entries, name) == Kind::Folder)
                fail(operation, fat.shown(name),
                     name == path
                         ? QStringLiteral("a folder stands where the file would be; Bootvane "
                                          "never changes a folder, and nothing was changed")
                         : QStringLiteral("a folder of that name is in the way of writing %1; "
                                          "Bootvane never changes a folder, and nothing was "
                                          "changed")
                               .arg(nameOf(path)));
        }
    }
    return listed;
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
    const Listed listed = checkedFolders(fat, {{dosPath, FileChange::Replace}});
    const std::optional<std::vector<MtoolsVolume::Entry>>& entries = listed.at(folderOf(path));
    const QString written = temporaryPath(path, beingWritten);
    const QString ready = temporaryPath(path, whole);

    const std::optional<QString> attributes = kindOf(entries, path) == Kind::File
                                                  ? std::optional(fat.attributes(path, shownAs))
                                                  : std::nullopt;
    if (kindOf(entries, ready) == Kind::File)
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
        const std::optional<std::vector<MtoolsVolume::Entry>> entries = fat.list(folderOf(path));
        const QString written = temporaryPath(path, beingWritten);
        const QString ready = temporaryPath(path, whole);
        if (kindOf(entries, written) == Kind::File)
            fat.remove(written, shownAs);
        if (kindOf(entries, ready) != Kind::File)
            return;
        if (kindOf(entries, path) == Kind::File)
            fat.remove(ready, shownAs);
        else if (kindOf(entries, path) == Kind::Absent)
            fat.rename(ready, path, shownAs);
    } catch (const Error&) {
    }
}

void ImageDrive::remove(const QString& dosPath)
{
    const MtoolsVolume fat = volume();
    const QString path = volumePath(dosPath);
    const QString shownAs = displayPath(dosPath);
    const Listed listed = checkedFolders(fat, {{dosPath, FileChange::Remove}});
    const std::optional<std::vector<MtoolsVolume::Entry>>& entries = listed.at(folderOf(path));
    // A dead copy's whole new file would otherwise be put in the removed file's place by the
    // next start.
    for (const QString& name :
         {temporaryPath(path, whole), temporaryPath(path, beingWritten), path}) {
        if (kindOf(entries, name) == Kind::File)
            fat.remove(name, shownAs);
    }
}

void ImageDrive::removeAbandonedWork(const QStringList& dosPaths)
{
    const MtoolsVolume fat = volume();
    QStringList paths;
    for (const QString& dosPath : dosPaths)
        paths.append(volumePath(dosPath));
    const auto listed = fat.list(foldersOf(paths));
    for (const QString& path : paths) {
        const std::optional<std::vector<MtoolsVolume::Entry>>& entries = listed.at(folderOf(path));
        const QString written = temporaryPath(path, beingWritten);
        const QString ready = temporaryPath(path, whole);
        // Only files that Bootvane wrote: it writes none beside a folder of the system file's
        // name, and a folder of a temporary name is the user's.
        const Kind target = kindOf(entries, path);
        const bool left =
            kindOf(entries, written) == Kind::File || kindOf(entries, ready) == Kind::File;
        // Nothing is written to an image in use; the next start tries again.
        if (!left || target == Kind::Folder || whyNotWritable())
            continue;
        if (kindOf(entries, written) == Kind::File)
            fat.remove(written, fat.shown(written));
        if (kindOf(entries, ready) != Kind::File)
            continue;
        // A whole new file: the old one was removed already, or is about to be.
        if (target == Kind::File)
            fat.remove(ready, fat.shown(ready));
        else
            fat.rename(ready, path, fat.shown(path));
    }
}

} // namespace bootvane
