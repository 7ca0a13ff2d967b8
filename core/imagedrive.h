#pragma once

#include "diskimage.h"
#include "drive.h"
#include "mtools.h"
#include "rawdisk.h"

#include <memory>

namespace bootvane {

// Drive C inside an emulator's disk image file, read and written through mtools on its raw
// disk (RawDisk: the image itself, or QEMU's export of a container format): no root. A system file
// is replaced as on a folder, so that it holds all its old bytes or all its new ones whatever
// fails: the new bytes go to a temporary 8.3 name in the same folder (NAME.BVW while they are
// written, renamed NAME.BVN once whole), then the old entry is removed and NAME.BVN renamed
// over it, keeping its DOS attributes. A start that finds NAME.BVN finishes the job, one that
// finds NAME.BVW removes it; a folder of either name is the user's and stays. Nothing is written
// while another program (an emulator still running) has the image open for writing; reading is
// allowed.
class ImageDrive final : public Drive {
public:
    // Opens the image at path, which must hold drive C; throws saying what it holds instead.
    static std::unique_ptr<ImageDrive> open(const QString& path);

    const QString& imagePath() const { return m_path; }

    QString title() const override;
    QString source() const override { return m_path; }
    // The FAT volume's serial number and label, so that a moved or renamed image file is the
    // same drive, even where the volume has neither (see recognizeDrive()).
    QString identity() const override;
    QStringList formerIdentities() const override;
    QString place() const override;
    using Found = std::map<QString, MtoolsVolume::Found>;

    std::vector<DriveFile> readFiles(const QStringList& dosPaths, qint64 maxBytes) const override;
    QString displayPath(const QString& dosPath) const override;
    // The image file, and the raw disk QEMU exports a container as.
    bool changedByWriting(const QString& path) const override;
    void checkChange(const QString& dosPath, FileChange change) const override;
    void checkChanges(const std::vector<std::pair<QString, FileChange>>& changes) const override;
    void replace(const QString& dosPath, const QByteArray& bytes) override;
    void remove(const QString& dosPath) override;
    void removeAbandonedWork(const QStringList& dosPaths) override;

private:
    explicit ImageDrive(QString path) : m_path(std::move(path)), m_disk(m_path) {}
    // The volume as the image holds it now: the file may have changed since it was opened.
    MtoolsVolume volume() const;
    // Why nothing may be written to the image now, or nothing: then this copy holds the image's
    // lock till control returns to the event loop, and no other copy writes meanwhile.
    std::optional<QString> whyNotWritable() const;
    // What the names of the files of changes and their temporary names reach, once it is clear
    // that each change may be made: the image is not in use, a file to write has its folder, no
    // folder stands where the file or its temporary names would be, and no other entry answers
    // to a name that mtools will be given. Throws saying why not.
    Found checkedFolders(const MtoolsVolume& fat,
                         const std::vector<std::pair<QString, FileChange>>& changes) const;
    // Leaves no temporary file of a write that failed at the file at path, and the file itself
    // old or new.
    void cleanUpAfterFailedWrite(const MtoolsVolume& fat, const QString& path,
                                 const QString& shownAs) const;

    QString m_path;
    mutable RawDisk m_disk;
    mutable FatVolume m_fat;
};

} // namespace bootvane
