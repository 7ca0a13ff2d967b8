#pragma once

#include "tempdrive.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <optional>

namespace bootvane::testing {

// An emulator's disk image holding drive C, made for one test with the real tools (sfdisk,
// mkfs.fat, mtools), beside a TempDrive whose working folder is current. No root and no
// mounting are needed.
class TempImage {
public:
    enum class Layout {
        PartitionedFat16, // an MBR with one active FAT16 partition at sector 2048
        PartitionedFat32, // the same with FAT32
        BareFat12,        // a floppy-sized FAT12 volume, no partition table
        FixedVhd,         // a partitioned FAT16 image with a fixed VHD's footer
        SecondActive,     // two FAT16 partitions; the second is active and is drive C
    };

    explicit TempImage(Layout layout = Layout::PartitionedFat16);

    TempDrive drive; // the working folder, and a Wine prefix nobody uses
    const QString& path() const { return m_path; }
    qint64 offset() const { return m_offset; }

    // Runs an mtools command on drive C ("mdir", {"-a", "::/"}) and gives its output.
    QByteArray mtools(const QString& tool, const QStringList& arguments) const;
    // Writes bytes as the file at dosPath ("::/WINDOWS/LOGOW.SYS"), replacing it.
    void put(const QString& dosPath, const QByteArray& bytes) const;
    // The bytes of the file at dosPath, or nothing when it is absent.
    std::optional<QByteArray> get(const QString& dosPath) const;
    // Changes each character of from to the one at its place in to, in the long name that
    // begins with start (five characters): as a disk editor would, leaving the volume sound.
    void editLongName(const QString& start, const QString& from, const QString& to) const;
    // Writes the three system screens, screenPicture(100 + slot), as BMP files.
    void writeSystemScreens() const;
    // What fsck.fat -n says of drive C when it finds a fault, else "". Of a container, also what
    // qemu-img check finds, and a snapshot or base image no longer as it was made.
    QString fsckProblems() const;

    // Makes the image as another emulator keeps it, from the raw one, which path() then no
    // longer names: "vpc" (a dynamic VHD), "qcow2" (with a snapshot of the disk as it was),
    // "overlay" (a qcow2 over the raw image as its base), "vdi", "vmdk", "vhdx", each
    // maybe with options ("vmdk -o subformat=monolithicFlat"); "hdi" and
    // "hdx" put 86Box's header before the raw disk. Nothing is put on a container: it is read
    // through qemu-img.
    void convertTo(const QString& format);
    // The exports of disk images left in the test's runtime folder: mounts, daemons, folders.
    QString leftovers() const;

private:
    // The file that mtools reads: the image, or a raw copy of a container's disk.
    QString rawView() const;

    QString m_path;
    qint64 m_offset = 0;
    QString m_format;
    QString m_raw;       // the raw image a container was made from
    QByteArray m_before; // its checksum then
};

// Counts the mtools commands that this process and its children run while it lives: each tool
// is found first in a folder of scripts that note it and run the real one.
class MtoolsCount {
public:
    MtoolsCount();
    ~MtoolsCount();
    MtoolsCount(const MtoolsCount&) = delete;
    MtoolsCount& operator=(const MtoolsCount&) = delete;

    int commands() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
};

// The volume path of a system file: "::/LOGO.SYS", "::/WINDOWS/LOGOW.SYS".
QString systemFileOnImage(int slot);

// Runs a program to its end and gives its standard output; throws when it fails.
QByteArray runTool(const QString& program, const QStringList& arguments,
                   const QByteArray& input = {});

} // namespace bootvane::testing
