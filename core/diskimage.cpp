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

QString convertWithQemu(const QString& what, const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return QStringLiteral("it is %1, which Bootvane cannot open; convert it to a raw image "
                          "first: qemu-img convert -O raw \"%2\" \"%3.img\"")
        .arg(what, name, QFileInfo(path).completeBaseName());
}

// An emulator that takes a dynamic VHD takes a fixed one too, which Bootvane opens.
QString convertVhdWithQemu(const QString& path)
{
    return convertWithQemu(QStringLiteral("a dynamic or differencing VHD"), path) +
           QStringLiteral(", or to a fixed VHD: qemu-img convert -O vpc -o subformat=fixed "
                          "\"%1\" \"%2-fixed.vhd\"")
               .arg(QFileInfo(path).fileName(), QFileInfo(path).completeBaseName());
}

// The container formats of emulators, told by their own magic numbers at the start.
void refuseContainers(const QByteArray& head, const QString& path)
{
    if (head.startsWith("QFI\xfb"))
        fail(operation, path, convertWithQemu(QStringLiteral("a qcow2 image"), path));
    if (head.startsWith("KDMV") || head.startsWith("COWD") ||
        head.startsWith("# Disk DescriptorFile"))
        fail(operation, path, convertWithQemu(QStringLiteral("a VMDK image"), path));
    if (u32At(head, 0x40) == 0xbeda107fu || head.startsWith("<<< "))
        fail(operation, path, convertWithQemu(QStringLiteral("a VirtualBox VDI image"), path));
    if (head.startsWith("vhdxfile"))
        fail(operation, path, convertWithQemu(QStringLiteral("a VHDX image"), path));
    // A dynamic or differencing VHD starts with a copy of its footer; a fixed one has it at
    // the end only.
    if (head.startsWith("conectix"))
        fail(operation, path, convertVhdWithQemu(path));
    // Anex86's HDI (its header's size at offset 8) and 86Box's HDX (4096 bytes of header,
    // told by its signature) put a header before the raw sectors.
    const quint32 hdiHeader = u32At(head, 8);
    const bool hdi = u32At(head, 0) == 0 && (hdiHeader == 4096 || hdiHeader == 512) &&
                     (u32At(head, 16) == 256 || u32At(head, 16) == 512 || u32At(head, 16) == 1024);
    const bool hdx = qFromLittleEndian<quint64>(head.constData()) == 0xd778a82044445459ull;
    if (hdi || hdx) {
        fail(operation, path,
             QStringLiteral("it is an %1 image, a raw image behind a header of %2 bytes, which "
                            "Bootvane cannot open; strip the header first: dd if=\"%3\" "
                            "of=\"%4.img\" bs=%2 skip=1")
                 .arg(hdx ? QStringLiteral("HDX") : QStringLiteral("HDI"))
                 .arg(hdx ? 4096 : hdiHeader)
                 .arg(QFileInfo(path).fileName(), QFileInfo(path).completeBaseName()));
    }
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

FatVolume fatPartition(QIODevice& image, const QByteArray& mbr, qint64 dataSize,
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
    const qint64 start = qint64(u32At(mbr, 446 + 16 * *chosen + 8)) * sectorSize;
    if (start == 0 || start + sectorSize > dataSize)
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

FatVolume locateDriveC(QIODevice& image, const QString& path)
{
    const qint64 size = image.size();
    if (size == 0)
        fail(operation, path, QStringLiteral("the file is empty"));
    if (size < sectorSize)
        fail(operation, path,
             QStringLiteral("it is %1 bytes long, too short to be a disk image").arg(size));
    const QByteArray head = readAt(image, 0, sectorSize, path);
    refuseContainers(head, path);

    // A fixed VHD is the raw disk followed by a 512-byte footer.
    qint64 dataSize = size;
    const QByteArray tail = readAt(image, size - sectorSize, sectorSize, path);
    if (tail.startsWith("conectix")) {
        const quint32 diskType = qFromBigEndian<quint32>(tail.constData() + 60);
        if (diskType != 2)
            fail(operation, path, convertVhdWithQemu(path));
        dataSize -= sectorSize;
        if (dataSize < sectorSize)
            fail(operation, path, QStringLiteral("the VHD holds no disk"));
    }

    if (std::optional<FatVolume> bare = fatBootSector(head)) {
        if (bare->size > dataSize)
            fail(operation, path,
                 QStringLiteral("its file system is larger than the image: the image is damaged "
                                "or cut short"));
        return *bare;
    }
    if (head.mid(3, 8) == "NTFS    ")
        fail(operation, path,
             QStringLiteral("it holds an NTFS file system, which Windows 95 cannot start from"));
    if (uchar(head[510]) == 0x55 && uchar(head[511]) == 0xaa)
        return fatPartition(image, head, dataSize, path);
    fail(operation, path,
         QStringLiteral("it has neither a partition table nor a FAT file system: it is no raw "
                        "image of a disk, or a format Bootvane does not know"));
}

} // namespace bootvane
