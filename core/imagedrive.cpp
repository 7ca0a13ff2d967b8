#include "imagedrive.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace bootvane {

namespace {

// "C:\Windows\logow.sys" as mtools names it on the volume: "::/WINDOWS/LOGOW.SYS". Upper
// case, as DOS writes 8.3 names; mtools finds an existing entry in any case.
QString volumePath(const QString& dosPath)
{
    if (!dosPath.startsWith(QLatin1String("c:"), Qt::CaseInsensitive))
        fail(QStringLiteral("find the file"), dosPath, QStringLiteral("it is not on drive C:"));
    const QStringList names = dosPath.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return QStringLiteral("::/") + names.join(QLatin1Char('/')).toUpper();
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

bool hasEntry(const std::vector<MtoolsVolume::Entry>& entries, const QString& name)
{
    return std::any_of(entries.begin(), entries.end(), [&](const MtoolsVolume::Entry& entry) {
        return entry.name.compare(name, Qt::CaseInsensitive) == 0;
    });
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
    (void)volume();
    if (m_fat.serial == 0 && m_fat.label.isEmpty())
        return QStringLiteral("image:") + QFileInfo(m_path).canonicalFilePath();
    return QStringLiteral("fat:%1:%2")
        .arg(m_fat.serial, 8, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(m_fat.label));
}

QString ImageDrive::displayPath(const QString& dosPath) const
{
    return QStringLiteral("%1 in %2").arg(dosPath.toUpper(), m_path);
}

std::optional<QByteArray> ImageDrive::read(const QString& dosPath, qint64 maxBytes) const
{
    return volume().read(volumePath(dosPath), displayPath(dosPath), maxBytes);
}

std::optional<QString> ImageDrive::whyNotWritable() const
{
    return m_disk.whyNotWritable();
}

std::vector<MtoolsVolume::Entry> ImageDrive::checkedFolder(const MtoolsVolume& fat,
                                                           const QString& path,
                                                           const QString& shownAs) const
{
    if (const std::optional<QString> why = whyNotWritable())
        fail(QStringLiteral("write"), shownAs, *why);
    std::optional<std::vector<MtoolsVolume::Entry>> entries = fat.list(folderOf(path), shownAs);
    if (!entries) {
        QString folder = folderOf(path);
        folder.replace(QLatin1String("::/"), QLatin1String("C:\\"));
        fail(QStringLiteral("write"), shownAs,
             QStringLiteral("the image has no folder %1")
                 .arg(folder.replace(QLatin1Char('/'), QLatin1Char('\\'))));
    }
    for (const MtoolsVolume::Entry& entry : *entries) {
        if (entry.isFolder && entry.name.compare(nameOf(path), Qt::CaseInsensitive) == 0)
            fail(QStringLiteral("write"), shownAs, systemReason(EISDIR));
    }
    return *entries;
}

void ImageDrive::checkChange(const QString& dosPath, FileChange) const
{
    (void)checkedFolder(volume(), volumePath(dosPath), displayPath(dosPath));
}

void ImageDrive::replace(const QString& dosPath, const QByteArray& bytes)
{
    const MtoolsVolume fat = volume();
    const QString path = volumePath(dosPath);
    const QString shownAs = displayPath(dosPath);
    const std::vector<MtoolsVolume::Entry> entries = checkedFolder(fat, path, shownAs);
    const QString written = temporaryPath(path, beingWritten);
    const QString ready = temporaryPath(path, whole);

    const std::optional<QString> attributes =
        hasEntry(entries, nameOf(path)) ? fat.attributes(path, shownAs) : std::nullopt;
    if (hasEntry(entries, nameOf(ready)))
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
        const std::vector<MtoolsVolume::Entry> entries =
            fat.list(folderOf(path), shownAs).value_or(std::vector<MtoolsVolume::Entry>());
        const QString written = temporaryPath(path, beingWritten);
        const QString ready = temporaryPath(path, whole);
        if (hasEntry(entries, nameOf(written)))
            fat.remove(written, shownAs);
        if (!hasEntry(entries, nameOf(ready)))
            return;
        if (hasEntry(entries, nameOf(path)))
            fat.remove(ready, shownAs);
        else
            fat.rename(ready, path, shownAs);
    } catch (const Error&) {
    }
}

void ImageDrive::remove(const QString& dosPath)
{
    checkChange(dosPath, FileChange::Remove);
    const MtoolsVolume fat = volume();
    const QString path = volumePath(dosPath);
    // A dead copy's whole new file would otherwise be put in the removed file's place by the
    // next start.
    fat.remove(temporaryPath(path, whole), displayPath(dosPath));
    fat.remove(temporaryPath(path, beingWritten), displayPath(dosPath));
    fat.remove(path, displayPath(dosPath));
}

void ImageDrive::removeAbandonedWork(const QStringList& dosPaths)
{
    const MtoolsVolume fat = volume();
    QStringList folders;
    for (const QString& dosPath : dosPaths) {
        if (!folders.contains(folderOf(volumePath(dosPath))))
            folders.append(folderOf(volumePath(dosPath)));
    }
    const QString shownAs = m_path;
    const auto listed = fat.list(folders, shownAs);
    for (const QString& dosPath : dosPaths) {
        const QString path = volumePath(dosPath);
        const std::vector<MtoolsVolume::Entry> entries =
            listed.at(folderOf(path)).value_or(std::vector<MtoolsVolume::Entry>());
        const QString written = temporaryPath(path, beingWritten);
        const QString ready = temporaryPath(path, whole);
        const bool left = hasEntry(entries, nameOf(written)) || hasEntry(entries, nameOf(ready));
        // Nothing is written to an image in use; the next start tries again.
        if (!left || whyNotWritable())
            continue;
        if (hasEntry(entries, nameOf(written)))
            fat.remove(written, displayPath(dosPath));
        if (!hasEntry(entries, nameOf(ready)))
            continue;
        // A whole new file: the old one was removed already, or is about to be.
        if (hasEntry(entries, nameOf(path)))
            fat.remove(ready, displayPath(dosPath));
        else
            fat.rename(ready, path, displayPath(dosPath));
    }
}

} // namespace bootvane
