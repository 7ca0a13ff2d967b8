#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QIODevice;

namespace bootvane {

// Where drive C lies in a disk image file, and what its FAT file system calls itself.
struct FatVolume {
    qint64 offset = 0; // of its boot sector, in bytes from the start of the file
    qint64 size = 0;   // in bytes, as its boot sector says
    int fatBits = 0;   // 12, 16 or 32
    quint32 serial = 0;
    QByteArray label; // as the boot sector spells it, blanks trimmed; empty when it has none
};

// Reads the first sector of the image, the boot sector of drive C and the image's last 512
// bytes, and tells where drive C is: in a raw image with an MBR, the active primary FAT
// partition, else the first primary FAT partition; in a raw image of one bare FAT volume,
// the whole image; in a fixed VHD the same, the footer aside. Every byte is taken as hostile.
// Anything else (a container format, a GPT or NTFS disk, an empty file, no FAT partition)
// throws an Error that says what was found and what to do, naming path.
FatVolume locateDriveC(QIODevice& image, const QString& path);

// What the first sector of a FAT volume says of it, or nothing when it is no FAT boot sector
// (its offset is 0).
std::optional<FatVolume> fatVolumeOfBootSector(const QByteArray& sector);

// What tells one FAT volume from another, wherever it is reached: its serial number and
// label, as the image drive and the folder drive both name it.
QString fatIdentity(const FatVolume& volume);

} // namespace bootvane
