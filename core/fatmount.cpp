#include "fatmount.h"

#include "filenames.h"

#include <QDir>
#include <QFile>
#include <QList>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace bootvane {

namespace {

// A field of mountinfo with the kernel's escapes undone: "\040" is a blank, "\134" a backslash.
QByteArray unescaped(const QByteArray& field)
{
    QByteArray text;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code < 256) {
                text += char(code);
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return text;
}

struct Mount {
    QByteArray fileSystem;
    QByteArray source;
};

// The file system mounted at folder itself, the last such mount (it hides the ones below).
std::optional<Mount> mountAt(const QByteArray& folder, const QByteArray& mountInfo)
{
    std::optional<Mount> found;
    for (const QByteArray& line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 7 || dash < 6 || dash + 2 >= fields.size())
            continue;
        // Only a mount of the file system's own root: a bind mount of a folder inside a card
        // is a folder, not the card.
        if (unescaped(fields[3]) != "/" || unescaped(fields[4]) != folder)
            continue;
        found = Mount{fields[dash + 1], unescaped(fields[dash + 2])};
    }
    return found;
}

bool isFat(const QByteArray& fileSystem)
{
    return fileSystem == "vfat" || fileSystem == "msdos" || fileSystem == "umsdos" ||
           fileSystem == "fat";
}

std::optional<FatVolume> fromDevice(const QByteArray& device)
{
    QFile file(decodeFileName(device));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    return fatVolumeOfBootSector(file.read(512));
}

#ifdef Q_OS_LINUX
// udev names each disk with a label after its label, "\x20" for a blank.
QByteArray labelOfDevice(dev_t device)
{
    const QString byLabel = QStringLiteral("/dev/disk/by-label");
    for (const QString& name : QDir(byLabel).entryList(QDir::System | QDir::NoDotAndDotDot)) {
        struct stat status {};
        const QByteArray link = encodeFileName(byLabel + QLatin1Char('/') + name);
        if (::stat(link.constData(), &status) != 0 || !S_ISBLK(status.st_mode) ||
            status.st_rdev != device)
            continue;
        QByteArray label = encodeFileName(name);
        for (qsizetype at = label.indexOf("\\x"); at >= 0; at = label.indexOf("\\x", at + 1)) {
            bool ok = false;
            const int code = label.mid(at + 2, 2).toInt(&ok, 16);
            if (ok)
                label.replace(at, 4, QByteArray(1, char(code)));
        }
        return label;
    }
    return {};
}
#endif

} // namespace

std::optional<FatVolume> fatVolumeMountedAt(const QString& folder, const QByteArray& mountInfo)
{
    const std::optional<Mount> mount = mountAt(encodeFileName(folder), mountInfo);
    if (!mount || !isFat(mount->fileSystem))
        return std::nullopt;
    if (std::optional<FatVolume> volume = fromDevice(mount->source))
        return volume;
#ifdef Q_OS_LINUX
    const int fd = ::open(encodeFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    __u32 serial = 0;
    struct stat status {};
    const bool known =
        ::ioctl(fd, FAT_IOCTL_GET_VOLUME_ID, &serial) == 0 && ::fstat(fd, &status) == 0;
    ::close(fd);
    if (!known)
        return std::nullopt;
    FatVolume volume;
    volume.serial = serial;
    volume.label = labelOfDevice(status.st_dev);
    if (volume.label == "NO NAME")
        volume.label.clear();
    return volume;
#else
    return std::nullopt;
#endif
}

std::optional<FatVolume> fatVolumeMountedAt(const QString& folder)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return std::nullopt;
    return fatVolumeMountedAt(folder, table.readAll());
}

} // namespace bootvane
