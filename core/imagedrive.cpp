#include "imagedrive.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
    QFile image;
    openPlainFile(image, m_path, QStringLiteral("open the disk image"),
                  QStringLiteral("it is a device, pipe or socket, not a disk image file"));
    m_fat = locateDriveC(image, m_path);
    return MtoolsVolume(m_path, m_fat.offset);
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
    return fatIdentity(m_fat);
}

QString ImageDrive::place() const
{
    const QString real = QFileInfo(m_path).canonicalFilePath();
    return real.isEmpty() ? m_path : real;
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
#ifndef Q_OS_WIN
    if (::access(encodeFileName(m_path).constData(), W_OK) != 0)
        return QStringLiteral("the image file cannot be written (%1)").arg(systemReason(errno));
#endif
    // Looking through every process's open files takes milliseconds, and one apply asks for
    // each file twice; an image found free a moment ago is taken as still free.
    constexpr qint64 stillFreeFor = 1000;
    if (m_seenFree.isValid() && m_seenFree.elapsed() < stillFreeFor)
        return std::nullopt;
    if (std::optional<QString> why = programWritingTo(m_path)) {
        m_seenFree.invalidate();
        return why;
    }
    m_seenFree.start();
    return std::nullopt;
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

#ifdef Q_OS_WIN

std::optional<QString> programWritingTo(const QString&)
{
    return std::nullopt;
}

#else

namespace {

QByteArray firstLine(const QByteArray& path)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readLine().trimmed();
}

// Whether descriptor fd of process pid is open for writing, as its fdinfo says.
bool openForWriting(const QByteArray& pid, const QByteArray& fd)
{
    QFile info(QString::fromLatin1("/proc/" + pid + "/fdinfo/" + fd));
    if (!info.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : info.readAll().split('\n')) {
        if (!line.startsWith("flags:"))
            continue;
        bool ok = false;
        const int flags = line.mid(6).trimmed().toInt(&ok, 8);
        return ok && (flags & O_ACCMODE) != O_RDONLY;
    }
    return false;
}

} // namespace

std::optional<QString> programWritingTo(const QString& path)
{
    const QByteArray file = encodeFileName(path);
    struct stat target {};
    if (::stat(file.constData(), &target) != 0)
        return std::nullopt;

    const QByteArray self = QByteArray::number(::getpid());
    DIR* processes = ::opendir("/proc");
    while (const dirent* process = processes ? ::readdir(processes) : nullptr) {
        const QByteArray pid(process->d_name);
        bool numeric = false;
        pid.toInt(&numeric);
        if (!numeric || pid == self)
            continue;
        struct stat owner {};
        if (::stat("/proc/" + pid, &owner) != 0 || (::getuid() != 0 && owner.st_uid != ::getuid()))
            continue;
        DIR* fds = ::opendir("/proc/" + pid + "/fd");
        bool writing = false;
        while (const dirent* fd = fds ? ::readdir(fds) : nullptr) {
            struct stat open {};
            const QByteArray name(fd->d_name);
            if (name.startsWith('.') || ::stat("/proc/" + pid + "/fd/" + name, &open) != 0 ||
                open.st_dev != target.st_dev || open.st_ino != target.st_ino)
                continue;
            if (openForWriting(pid, name)) {
                writing = true;
                break;
            }
        }
        if (fds)
            ::closedir(fds);
        if (writing) {
            ::closedir(processes);
            return QStringLiteral("the image is in use by %1 (process %2): shut the emulator "
                                  "down first, as two systems writing one disk damage it")
                .arg(QString::fromLocal8Bit(firstLine("/proc/" + pid + "/comm")),
                     QString::fromLatin1(pid));
        }
    }
    if (processes)
        ::closedir(processes);

    // The kernel holds an image attached to a loop device (losetup, udisks), mounted or not,
    // and no process shows it among its open files.
    DIR* loops = ::opendir("/sys/block");
    while (const dirent* device = loops ? ::readdir(loops) : nullptr) {
        const QByteArray name(device->d_name);
        if (!name.startsWith("loop"))
            continue;
        QByteArray backing = firstLine("/sys/block/" + name + "/loop/backing_file");
        if (backing.endsWith(" (deleted)"))
            continue;
        struct stat attached {};
        if (!backing.isEmpty() && ::stat(backing.constData(), &attached) == 0 &&
            attached.st_dev == target.st_dev && attached.st_ino == target.st_ino) {
            ::closedir(loops);
            return QStringLiteral("the image is attached to the loop device /dev/%1: detach it "
                                  "first (udisksctl loop-delete, or losetup -d), as two systems "
                                  "writing one disk damage it")
                .arg(QString::fromLatin1(name));
        }
    }
    if (loops)
        ::closedir(loops);

    // A program of another user is not seen, but QEMU locks the images it has open.
    const int fd = ::open(file.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool locked = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    if (locked)
        return QStringLiteral("a program holds a lock on the image (QEMU locks the images it "
                              "runs): shut the emulator down first, as two systems writing one "
                              "disk damage it");
    return std::nullopt;
}

#endif

} // namespace bootvane
