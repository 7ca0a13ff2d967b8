#include "diskimage.h"

#include "error.h"

#include <QFileInfo>
#include <QIODevice>
#include <QtEndian>
#include <optional>

namespace bootvane {

namespace {

constexpr qint64 sectorSize = 512;
const QString operation = QStringLiteral("open the disk image");

quint16 u16At(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32At(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

QByteArray readAt(QIODevice& image, qint64 at, qint64 size, const QString& path)
{
    if (!image.seek(at))
        fail(operation, path, image.errorString());
    QByteArray bytes = image.read(size);
    if (bytes.size() != size)
        fail(operation, path, QStringLiteral("it could not be read (%1)").arg(image.errorString()));
    return bytes;
}

quint32 be32At(const QByteArray& bytes, qsizetype at)
{
    return at + 4 <= bytes.size() ? qFromBigEndian<quint32>(bytes.constData() + at) : 0;
}

quint64 be64At(const QByteArray& bytes, qsizetype at)
{
    return at + 8 <= bytes.size() ? qFromBigEndian<quint64>(bytes.constData() + at) : 0;
}

// What a qcow2 header says of where the disk's data lies: its base image, and the base's
// format where the header records it (in the extension of type 0xe2792aca).
void readQcow2Header(const QByteArray& head, ImageFormat& format, const QString& path)
{
    const quint32 version = be32At(head, 4);
    if (version == 1) {
        format.driver = QStringLiteral("qcow");
        format.description = QStringLiteral("a qcow image");
    }
    // An external data file would take the writes wherever the header says.
    if (version >= 3 && (be64At(head, 72) & 4) != 0)
        fail(operation, path,
             QStringLiteral("it is a qcow2 image that keeps its data in a separate file, which "
                            "Bootvane does not open"));
    qint64 at = version >= 3 ? be32At(head, 100) : version == 2 ? 72 : head.size();
    while (at >= 72 && at + 8 <= head.size()) {
        const quint32 type = be32At(head, at);
        const qint64 length = be32At(head, at + 4);
        if (type == 0)
            break;
        if (type == 0xe2792acau)
            format.backingFormat = head.mid(at + 8, length);
        at += 8 + (length + 7) / 8 * 8;
    }
    const quint64 backingAt = be64At(head, 8);
    const quint32 backingSize = be32At(head, 16);
    if (backingAt == 0 || backingSize == 0)
        return;
    if (backingAt > quint64(head.size()) || backingSize > head.size() - backingAt)
        fail(operation, path,
             QStringLiteral("its header names its base image beyond its first 64 KB: the image is "
                            "damaged"));
    format.backingFile = head.mid(qsizetype(backingAt), backingSize);
}

// The files a VMDK descriptor's extent lines name: RW 2097152 SPARSE "win95-s001.vmdk".
QList<QByteArray> vmdkExtents(const QByteArray& descriptor)
{
    QList<QByteArray> files;
    for (const QByteArray& rawLine : descriptor.split('\n')) {
        const QByteArray line = rawLine.simplified();
        if (!line.startsWith("RW ") && !line.startsWith("RDONLY ") && !line.startsWith("NOACCESS "))
            continue;
        const qsizetype open = line.indexOf('"');
        const qsizetype close = open < 0 ? -1 : line.indexOf('"', open + 1);
        if (close > open)
            files.append(line.mid(open + 1, close - open - 1));
    }
    return files;
}

// QEMU reads a descriptor as text that ends at its first zero byte, and at most this much.
constexpr qint64 descriptorLimit = 1024 * 1024 - 1;

QByteArray textAt(QIODevice& image, qint64 at, qint64 size)
{
    QByteArray bytes = image.seek(at) ? image.read(size) : QByteArray();
    const qsizetype end = bytes.indexOf('\0');
    return end < 0 ? bytes : bytes.left(end);
}

// What a VMDK descriptor, a file of its own or inside a binary VMDK, makes QEMU open: the
// extents it names, and a parent disk it would open with its format guessed, found wherever
// QEMU finds the word (the first 10 KB of the text at parentAt).
void readVmdkDescriptor(QIODevice& image, qint64 at, qint64 parentAt, ImageFormat& format,
                        const QString& path)
{
    format.extents = vmdkExtents(textAt(image, at, descriptorLimit));
    if (textAt(image, parentAt, 20 * sectorSize).contains("parentFileNameHint"))
        fail(operation, path,
             QStringLiteral("it is a VMDK that keeps only the changes to a parent disk, which "
                            "QEMU would open with its format guessed; merge it into its parent "
                            "first, with the program that made it"));
}

// What a FAT boot sector says, when sector is one.
std::optional<FatVolume> fatBootSector(const QByteArray& sector)
{
    if (sector.size() < sectorSize)
        return std::nullopt;
    const uchar jump = uchar(sector[0]);
    if (jump != 0xeb && jump != 0xe9)
        return std::nullopt;
    const quint32 bytesPerSector = u16At(sector, 11);
    const quint32 sectorsPerCluster = uchar(sector[13]);
    const quint32 reserved = u16At(sector, 14);
    const quint32 fats = uchar(sector[16]);
    const quint32 rootEntries = u16At(sector, 17);
    const quint32 totalSectors = u16At(sector, 19) != 0 ? u16At(sector, 19) : u32At(sector, 32);
    const uchar media = uchar(sector[21]);
    const bool fat32Layout = u16At(sector, 22) == 0;
    const quint32 fatSectors = fat32Layout ? u32At(sector, 36) : u16At(sector, 22);
    const auto powerOfTwo = [](quint32 n) { return n != 0 && (n & (n - 1)) == 0; };
    if (!powerOfTwo(bytesPerSector) || bytesPerSector < 512 || bytesPerSector > 4096 ||
        !powerOfTwo(sectorsPerCluster) || reserved == 0 || fats == 0 || fats > 4 ||
        totalSectors == 0 || fatSectors == 0 || (media != 0xf0 && media < 0xf8))
        return std::nullopt;

    // The kind of FAT is told by the number of clusters, as every FAT driver tells it.
    const quint64 rootSectors = (quint64(rootEntries) * 32 + bytesPerSector - 1) / bytesPerSector;
    const quint64 metadata = quint64(reserved) + quint64(fats) * fatSectors + rootSectors;
    if (metadata >= totalSectors)
        return std::nullopt;
    const quint64 clusters = (totalSectors - metadata) / sectorsPerCluster;
    FatVolume volume;
    volume.size = qint64(totalSectors) * bytesPerSector;
    volume.fatBits = clusters < 4085 ? 12 : clusters < 65525 ? 16 : 32;
    if ((volume.fatBits == 32) != fat32Layout)
        return std::nullopt;
    const qsizetype extended = volume.fatBits == 32 ? 64 : 36; // the drive number's place
    if (uchar(sector[extended + 2]) == 0x29) {
        volume.serial = u32At(sector, extended + 3);
        volume.label = sector.mid(extended + 7, 11).trimmed();
        if (volume.label == "NO NAME")
            volume.label.clear();
    }
    return volume;
}

bool isFatPartitionType(uchar type)
{
    switch (type) {
    case 0x01:
    case 0x04:
    case 0x06:
    case 0x0b:
    case 0x0c:
    case 0x0e: // FAT12, 16, 32
    case 0x11:
    case 0x14:
    case 0x16:
    case 0x1b:
    case 0x1c:
    case 0x1e: // the same, hidden
        return true;
    default:
        return false;
    }
}

FatVolume fatPartition(QIODevice& image, const QByteArray& mbr, qint64 diskOffset, qint64 dataSize,
                       const QString& path)
{
    std::optional<int> chosen;
    bool ntfs = false;
    for (int i = 0; i < 4; ++i) {
        const QByteArray entry = mbr.mid(446 + 16 * i, 16);
        const uchar type = uchar(entry[4]);
        if (type == 0xee)
            fail(operation, path,
                 QStringLiteral("it is a GPT disk; Windows 95 starts only from a disk with an "
                                "MBR partition table"));
        ntfs = ntfs || type == 0x07;
        if (!isFatPartitionType(type))
            continue;
        if (!chosen || (uchar(entry[0]) == 0x80 && uchar(mbr[446 + 16 * *chosen]) != 0x80))
            chosen = i;
    }
    if (!chosen) {
        fail(operation, path,
             ntfs ? QStringLiteral("its partitions are NTFS, which Windows 95 cannot start from; "
                                   "it needs a FAT partition")
                  : QStringLiteral("its partition table has no primary FAT partition, where "
                                   "Windows 95 keeps drive C"));
    }
    const qint64 sector = u32At(mbr, 446 + 16 * *chosen + 8);
    const qint64 start = diskOffset + sector * sectorSize;
    if (sector == 0 || start + sectorSize > dataSize)
        fail(operation, path,
             QStringLiteral("partition %1 starts beyond the end of the image: the image may "
                            "be cut short")
                 .arg(*chosen + 1));
    std::optional<FatVolume> volume = fatBootSector(readAt(image, start, sectorSize, path));
    if (!volume)
        fail(operation, path,
             QStringLiteral("partition %1 is marked FAT but holds no FAT file system")
                 .arg(*chosen + 1));
    volume->offset = start;
    // Writing past the partition would change another one, or a VHD's footer.
    const qint64 partitionEnd = start + qint64(u32At(mbr, 446 + 16 * *chosen + 12)) * sectorSize;
    if (start + volume->size > qMin(partitionEnd, dataSize))
        fail(operation, path,
             QStringLiteral("the file system of partition %1 is larger than the partition holds: "
                            "the image is damaged or cut short")
                 .arg(*chosen + 1));
    return *volume;
}

} // namespace

std::optional<FatVolume> fatVolumeOfBootSector(const QByteArray& sector)
{
    return fatBootSector(sector);
}

QString fatIdentity(const FatVolume& volume)
{
    return QStringLiteral("fat:%1:%2")
        .arg(volume.serial, 8, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(volume.label));
}

ImageFormat imageFormat(QIODevice& image, const QString& path)
{
    if (!image.seek(0))
        fail(operation, path, image.errorString());
    const QByteArray head = image.read(64 * 1024);
    if (head.isEmpty())
        fail(operation, path, QStringLiteral("the file is empty"));
    if (head.size() < sectorSize)
        fail(operation, path,
             QStringLiteral("it is %1 bytes long, too short to be a disk image").arg(head.size()));
    ImageFormat format;
    const auto container = [&](const char* driver, const char* description) {
        format.driver = QLatin1String(driver);
        format.description = QLatin1String(description);
    };
    if (head.startsWith("QFI\xfb")) {
        container("qcow2", "a qcow2 image");
        readQcow2Header(head, format, path);
    } else if (head.startsWith("conectix")) {
        // A dynamic or differencing VHD starts with a copy of its footer; a fixed one has it at
        // the end only, and is read as the raw disk it is.
        if (be32At(head, 60) == 4)
            fail(operation, path,
                 QStringLiteral("it is a differencing VHD, whose unchanged sectors are in its "
                                "parent image, and QEMU reads it without them; merge it into its "
                                "parent first, with the program that made it"));
        // A fixed VHD is read as the raw disk it is: a file that begins with its footer holds
        // nothing but the footer.
        if (be32At(head, 60) == 2)
            fail(operation, path,
                 QStringLiteral("it is only the footer of a fixed VHD, with no disk before it"));
        container("vpc", "a dynamic VHD");
    } else if (head.startsWith("vhdxfile")) {
        container("vhdx", "a VHDX image");
    } else if (u32At(head, 0x40) == 0xbeda107fu || head.startsWith("<<< ")) {
        container("vdi", "a VirtualBox VDI image");
    } else if (head.startsWith("KDMV")) {
        container("vmdk", "a VMDK image");
        // Of no size of its own, it is a descriptor naming other files, as a text one is.
        const quint64 descriptor = qFromLittleEndian<quint64>(head.constData() + 28);
        if (qFromLittleEndian<quint64>(head.constData() + 12) == 0 && descriptor != 0)
            readVmdkDescriptor(image, qint64(qMin<quint64>(descriptor, 1ull << 40) * sectorSize),
                               sectorSize, format, path);
        else
            readVmdkDescriptor(image, -1, sectorSize, format, path);
    } else if (head.startsWith("COWD")) {
        container("vmdk", "a VMDK image");
        readVmdkDescriptor(image, -1, sectorSize, format, path);
    } else if (head.startsWith("# Disk DescriptorFile")) {
        container("vmdk", "a VMDK image");
        readVmdkDescriptor(image, 0, 0, format, path);
    } else if (qFromLittleEndian<quint64>(head.constData()) == 0xd778a82044445459ull) {
        // 86Box's HDX: its signature, the disk's size and geometry, 40 bytes in all.
        format.diskOffset = 40;
    } else if (u32At(head, 0) == 0 && (u32At(head, 8) == 4096 || u32At(head, 8) == 512) &&
               u32At(head, 16) == 512) {
        // An HDI (Anex86's, and 86Box's): the header's size at offset 8, 512-byte sectors.
        format.diskOffset = u32At(head, 8);
    }
    return format;
}

FatVolume locateDriveC(QIODevice& image, const QString& path, qint64 diskOffset)
{
    const qint64 size = image.size();
    if (size == 0)
        fail(operation, path, QStringLiteral("the file is empty"));
    if (size - diskOffset < sectorSize)
        fail(operation, path,
             QStringLiteral("it is %1 bytes long, too short to be a disk image").arg(size));
    const QByteArray head = readAt(image, diskOffset, sectorSize, path);

    // A fixed VHD is the raw disk followed by a 512-byte footer.
    qint64 dataSize = size;
    const QByteArray tail = readAt(image, size - sectorSize, sectorSize, path);
    if (tail.startsWith("conectix")) {
        const quint32 diskType = qFromBigEndian<quint32>(tail.constData() + 60);
        if (diskType != 2)
            fail(operation, path,
                 QStringLiteral("its VHD footer names no fixed VHD, and it does not begin as a "
                                "dynamic one: the image is damaged"));
        dataSize -= sectorSize;
        if (dataSize - diskOffset < sectorSize)
            fail(operation, path, QStringLiteral("the VHD holds no disk"));
    }

    if (std::optional<FatVolume> bare = fatBootSector(head)) {
        bare->offset = diskOffset;
        if (diskOffset + bare->size > dataSize)
            fail(operation, path,
                 QStringLiteral("its file system is larger than the image: the image is damaged "
                                "or cut short"));
        return *bare;
    }
    if (head.mid(3, 8) == "NTFS    ")
        fail(operation, path,
             QStringLiteral("it holds an NTFS file system, which Windows 95 cannot start from"));
    if (uchar(head[510]) == 0x55 && uchar(head[511]) == 0xaa)
        return fatPartition(image, head, diskOffset, dataSize, path);
    fail(operation, path,
         QStringLiteral("it has neither a partition table nor a FAT file system: it is no raw "
                        "image of a disk, or a format Bootvane does not know"));
}

} // namespace bootvane
