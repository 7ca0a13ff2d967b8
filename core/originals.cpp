#include "originals.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace bootvane {

namespace {

const QString recordName = QStringLiteral(".bootvane-record");
const QString otherDrivesName = QStringLiteral(".bootvane-drives");
// A record is a few lines; anything much longer is no record of ours.
constexpr qint64 largestRecord = 64 * 1024;

struct Record {
    QString identity;
    std::array<bool, slotCount> absent{};
    bool older = false; // taken over from an earlier Bootvane, which kept no record
    // Where the Waiting and Shutoff screens were: the Windows folder MSDOS.SYS named then.
    QString windowsFolder = QLatin1String(defaultWindowsFolder);
    // The SHA-256 of each file as it was copied, so that restoring can tell the copy unchanged
    // even where it is no picture (a screen cut short on the drive); empty for a record that
    // keeps none.
    std::array<QByteArray, slotCount> checksums;
};

QByteArray checksumOf(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray recordText(const Record& record)
{
    QByteArray text = "# Bootvane: the screens of one drive C, as they were when it first met it\n";
    text += "drive=" + encodeFileName(record.identity).toPercentEncoding() + '\n';
    QByteArrayList absent;
    for (int i = 0; i < slotCount; ++i) {
        if (record.absent[size_t(i)])
            absent.append(screenSlots[size_t(i)].setFileName);
    }
    text += "absent=" + absent.join(',') + '\n';
    if (record.windowsFolder != QLatin1String(defaultWindowsFolder))
        text += "windows=" + record.windowsFolder.toLatin1() + '\n';
    if (!record.checksums[0].isEmpty() || !record.checksums[1].isEmpty() ||
        !record.checksums[2].isEmpty()) {
        QByteArrayList sums;
        for (const QByteArray& sum : record.checksums)
            sums.append(sum.isEmpty() ? QByteArray("-") : sum);
        text += "sha256=" + sums.join(',') + '\n';
    }
    if (record.older)
        text += "older=1\n";
    return text;
}

enum class RecordState { Missing, Unreadable, Read };

// The record of folder. One that is there but cannot be read, or names no drive, is no
// record of an older Bootvane either: its folder belongs to no drive that can be told.
RecordState readRecord(const QString& folder, Record& record)
{
    const QString path = folder + QLatin1Char('/') + recordName;
    const EntryType type = entryType(path);
    if (type == EntryType::Absent)
        return RecordState::Missing;
    // A link may lead to the record of any drive: it is no record.
    const std::optional<QByteArray> text =
        type == EntryType::File ? readSmallFile(path, largestRecord) : std::nullopt;
    if (!text)
        return RecordState::Unreadable;
    record = Record();
    for (const QByteArray& line : text->split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith('#') || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "drive") {
            record.identity = decodeFileName(QByteArray::fromPercentEncoding(value));
        } else if (key == "windows") {
            record.windowsFolder = QString::fromLatin1(value);
        } else if (key == "sha256") {
            const QList<QByteArray> sums = value.split(',');
            for (int i = 0; i < slotCount && i < sums.size(); ++i)
                record.checksums[size_t(i)] = sums[i] == "-" ? QByteArray() : sums[i];
        } else if (key == "older") {
            record.older = value == "1";
        } else if (key == "absent") {
            for (const QByteArray& name : value.split(',')) {
                for (int i = 0; i < slotCount; ++i) {
                    if (name.trimmed() == screenSlots[size_t(i)].setFileName)
                        record.absent[size_t(i)] = true;
                }
            }
        }
    }
    return record.identity.isEmpty() ? RecordState::Unreadable : RecordState::Read;
}

QString mainFolder(const QString& base)
{
    return base + originalsName;
}

// A folder itself: a link to one is never followed.
bool isFolder(const QString& path)
{
    return entryType(path) == EntryType::Folder;
}

// The folders that hold the originals of other drives, in name order.
QStringList otherDriveFolders(const QString& base)
{
    QStringList folders;
    const QString store = otherDrivesFolder(base);
    if (!isFolder(store))
        return folders;
    for (const QString& name : listFolder(store + QLatin1Char('/'), attributeFolder)) {
        if (name != QLatin1String(".") && name != QLatin1String("..") &&
            isFolder(store + QLatin1Char('/') + name)) // a link is no folder of originals
            folders.append(store + QLatin1Char('/') + name);
    }
    return folders;
}

// Renames staging, a copy of the screens of a drive, to the next free drive-<n> among the
// originals of the other drives.
void commitAmongOtherDrives(const QString& base, StagingFolder& staging)
{
    const QString store = base + otherDrivesName;
    if (isAbsent(store)) {
        try {
            makeFolder(store);
        } catch (const Error&) {
            if (!isFolder(store)) // or another copy made it just now
                throw;
        }
    }
    if (entryType(store) == EntryType::Link)
        fail(QStringLiteral("save the originals in"), store,
             QStringLiteral("it is a link, and Bootvane keeps nothing where a link leads"));
    for (int number = 1; number <= 1000; ++number) {
        if (staging.commitAs(store + QStringLiteral("/drive-%1").arg(number)))
            return;
    }
    fail(QStringLiteral("save the originals in"), store,
         QStringLiteral("it holds the originals of a thousand drives already"));
}

// Keeps screens, those of a drive, as a new set of base under a name of its own; its name.
// Screens the drive does not have are left out: Windows' own need no copy.
QString keepAsSet(const QString& base, const ScreensInUse& screens)
{
    const QString name = QStringLiteral("Found on drive C");
    StagingFolder staging(base, QStringLiteral("keep the screens of drive C as a set in"));
    try {
        for (int i = 0; i < slotCount; ++i) {
            if (screens[size_t(i)])
                writeNewFile(staging.filePath(QLatin1String(screenSlots[size_t(i)].setFileName)),
                             *screens[size_t(i)]);
        }
        for (int number = 1; number <= 1000; ++number) {
            const QString candidate =
                number == 1 ? name : QStringLiteral("%1 (%2)").arg(name).arg(number);
            if (staging.commitAs(base + candidate))
                return candidate;
        }
    } catch (const Error& error) {
        staging.rethrowInUsersWords(error);
    }
    fail(QStringLiteral("keep the screens of drive C as a set in"), base,
         QStringLiteral("a thousand sets have its name already"));
}

} // namespace

QString otherDrivesFolder(const QString& base)
{
    return base + otherDrivesName;
}

QString Originals::filePath(const ScreenSlot& slot) const
{
    return m_folder + pathSeparator() + QLatin1String(slot.setFileName);
}

std::optional<Originals> Originals::of(const QString& base, const Drive& drive)
{
    const QString identity = drive.recordKey();
    Originals originals;
    const MsdosSys& facts = drive.msdosSys();
    originals.m_windowsFolderNow =
        facts.windowsFolderProblem.isEmpty() ? facts.windowsFolder : QString();
    Record record;
    const QString main = mainFolder(base);
    const bool mainIsFolder = isFolder(main);
    const RecordState mainState = mainIsFolder ? readRecord(main, record) : RecordState::Unreadable;
    const auto kept = [&](const QString& folder) {
        originals.m_folder = folder;
        originals.m_absent = record.absent;
        originals.m_older = record.older;
        originals.m_windowsFolder = record.windowsFolder;
        originals.m_checksums = record.checksums;
        return originals;
    };
    if (mainState == RecordState::Read && record.identity == identity)
        return kept(main);
    for (const QString& folder : otherDriveFolders(base)) {
        if (readRecord(folder, record) == RecordState::Read && record.identity == identity)
            return kept(folder);
    }
    // An earlier Bootvane kept no record: its "Originals" is trusted as it is, for whichever
    // drive, until one claims it. It knew only folders (Wine's drive C), never a disk image,
    // so no image takes it for its own.
    if (mainState == RecordState::Missing && drive.source().isEmpty()) {
        originals.m_folder = main;
        originals.m_older = true;
        return originals;
    }
    return std::nullopt;
}

ScreensInUse readScreensInUse(const Drive& drive)
{
    // Read together: a disk image's folders are listed once. A folder where a file would be
    // is no screen, and is kept as an absent file.
    const std::vector<DriveFile> files = drive.readFiles(systemFiles(drive));
    ScreensInUse screens;
    for (int i = 0; i < slotCount; ++i)
        screens[size_t(i)] = files[size_t(i)].bytes;
    return screens;
}

void writeScreenCopy(const StagingFolder& staging, const Drive& drive, const ScreensInUse& screens)
{
    Record record;
    record.identity = drive.recordKey();
    record.windowsFolder = drive.msdosSys().windowsFolder;
    for (int i = 0; i < slotCount; ++i) {
        // Windows uses its own screen for a file that is absent, and restoring puts that
        // back by removing the file: the record says so, since a file may also go missing.
        if (screens[size_t(i)]) {
            writeNewFile(staging.filePath(QLatin1String(screenSlots[size_t(i)].setFileName)),
                         *screens[size_t(i)]);
            record.checksums[size_t(i)] = checksumOf(*screens[size_t(i)]);
        } else {
            record.absent[size_t(i)] = true;
        }
    }
    writeNewFile(staging.filePath(recordName), recordText(record));
}

std::optional<std::array<bool, slotCount>> recordedAbsences(const QString& folder)
{
    Record record;
    if (readRecord(folder, record) != RecordState::Read)
        return std::nullopt;
    return record.absent;
}

QString recordedWindowsFolder(const QString& folder)
{
    Record record;
    (void)readRecord(folder, record);
    return record.windowsFolder;
}

bool originalsRecorded(const QString& base, const QString& key)
{
    Record record;
    if (isFolder(mainFolder(base)) && readRecord(mainFolder(base), record) == RecordState::Read &&
        record.identity == key)
        return true;
    for (const QString& folder : otherDriveFolders(base)) {
        if (readRecord(folder, record) == RecordState::Read && record.identity == key)
            return true;
    }
    return false;
}

bool holdsRecord(const QString& folder)
{
    return entryType(folder + QLatin1Char('/') + recordName) == EntryType::File;
}

QStringList screenCopyFiles()
{
    QStringList names{recordName};
    for (const ScreenSlot& slot : screenSlots)
        names.append(QLatin1String(slot.setFileName));
    return names;
}

Originals Originals::required(const QString& base, const Drive& drive)
{
    if (std::optional<Originals> originals = of(base, drive))
        return *originals;
    const QString main = mainFolder(base);
    fail(QStringLiteral("find the originals in"), main,
         isFolder(main) ? QStringLiteral("they are the screens of another drive C, and those of "
                                         "this one were never saved")
                        : QStringLiteral("there is no such folder: the screens of this drive C "
                                         "were never saved"));
}

void Originals::checkComplete() const
{
    // Another Windows folder is another Windows: the screens kept are not those it shows.
    if (m_windowsFolder.compare(m_windowsFolderNow, Qt::CaseInsensitive) != 0)
        fail(QStringLiteral("restore the originals from"), m_folder,
             m_windowsFolderNow.isEmpty()
                 ? QStringLiteral("C:\\MSDOS.SYS names no Windows folder that can be used, so "
                                  "nobody can tell where Windows looks for its screens")
                 : QStringLiteral("they were saved from Windows in %1, and C:\\MSDOS.SYS now "
                                  "says Windows is in %2; nothing was written")
                       .arg(m_windowsFolder, m_windowsFolderNow));
    // Only files of their own: a link in a shared working folder may lead to any file of the
    // user's, which restoring would copy to drive C.
    for (int i = 0; i < slotCount; ++i) {
        const QString path = filePath(screenSlots[size_t(i)]);
        const EntryType type = entryType(path);
        if (type != EntryType::Absent && type != EntryType::File)
            fail(QStringLiteral("restore the originals from"), path,
                 QStringLiteral("it is no file of the originals' own, and what it leads to is "
                                "never copied to drive C"));
        // Written back byte for byte, picture or not, once it is the very copy that was made.
        const QByteArray& checksum = m_checksums[size_t(i)];
        if (type == EntryType::File && !checksum.isEmpty() &&
            checksumOf(readSmallFile(path, Drive::largestRead).value_or(QByteArray())) != checksum)
            fail(QStringLiteral("restore the originals from"), path,
                 QStringLiteral("the file was changed since it was saved, and is not the screen "
                                "drive C had; nothing was written"));
    }
    for (int i = 0; i < slotCount; ++i) {
        const QString path = filePath(screenSlots[size_t(i)]);
        if (m_absent[size_t(i)] || !isAbsent(path))
            continue;
        const QString name = QLatin1String(screenSlots[size_t(i)].setFileName);
        fail(QStringLiteral("restore the originals from"), path,
             m_older ? QStringLiteral("the file is missing. An earlier Bootvane saved these "
                                      "originals and left out the files drive C did not have: "
                                      "if drive C had no %1 then, remove it from drive C "
                                      "yourself to get Windows' own screen back")
                           .arg(name)
                     : QStringLiteral("the file is missing, and the originals do not record "
                                      "that drive C had no %1; nothing was written")
                           .arg(name));
    }
}

void backupOriginals(const QString& base, const Drive& drive)
{
    // Another copy of Bootvane started at the same moment may have made them just now.
    if (Originals::of(base, drive))
        return;
    StagingFolder staging(base, QStringLiteral("save your screens in"));
    try {
        writeScreenCopy(staging, drive, readScreensInUse(drive));
        // The first drive's originals are the visible "Originals"; once anything has that
        // name, they go out of sight, beside those of the other drives, in a folder of their own.
        if (isAbsent(mainFolder(base)) && staging.commitAs(mainFolder(base)))
            return;
    } catch (const Error& error) {
        staging.rethrowInUsersWords(error);
    }
    if (Originals::of(base, drive))
        return; // another copy saved the same screens meanwhile
    commitAmongOtherDrives(base, staging);
}

void copyOriginals(const QString& base, const Originals& originals, const QString& recordKey)
{
    StagingFolder staging(base, QStringLiteral("keep the originals of a copy of a drive in"));
    try {
        Record record;
        (void)readRecord(originals.folder(), record);
        record.identity = recordKey;
        record.older = false;
        record.absent = originals.m_absent;
        for (int i = 0; i < slotCount; ++i) {
            const QString name = QLatin1String(screenSlots[size_t(i)].setFileName);
            const QString path = originals.filePath(screenSlots[size_t(i)]);
            if (record.absent[size_t(i)] && isAbsent(path))
                continue;
            const std::optional<QByteArray> bytes = readSmallFileNotLink(path, Drive::largestRead);
            if (!bytes)
                fail(QStringLiteral("copy"), path,
                     QStringLiteral("it is no file that can be read"));
            writeNewFile(staging.filePath(name), *bytes);
        }
        writeNewFile(staging.filePath(recordName), recordText(record));
    } catch (const Error& error) {
        staging.rethrowInUsersWords(error);
    }
    commitAmongOtherDrives(base, staging);
}

std::optional<QString> claimOlderOriginals(const QString& base, const Drive& drive)
{
    const QString main = mainFolder(base);
    if (!isFolder(main) || !isAbsent(main + QLatin1Char('/') + recordName))
        return std::nullopt;
    const std::optional<Originals> originals = Originals::of(base, drive);
    if (!originals || originals->folder() != main)
        return std::nullopt; // the drive has originals of its own elsewhere
    // Nothing tells whether these are this drive's: a working folder carried to another Wine
    // prefix holds another drive's. Screens the drive shows that differ from them are kept as
    // a set first, so that no apply can leave them without a copy.
    std::optional<QString> kept;
    const ScreensInUse screens = readScreensInUse(drive);
    bool same = true;
    for (int i = 0; i < slotCount; ++i) {
        const QString path = originals->filePath(screenSlots[size_t(i)]);
        same = same && readSmallFileNotLink(path, Drive::largestRead) == screens[size_t(i)];
    }
    if (!same)
        kept = keepAsSet(base, screens);
    // Made under a name of its own and renamed into place unless a record appeared
    // meanwhile: two copies claiming at once leave one claim, whole.
    const QString temporary = main + QStringLiteral("/.bootvane-record-claim");
    try {
        removeFile(temporary);
        Record record;
        record.identity = drive.recordKey();
        record.older = true;
        record.windowsFolder = drive.msdosSys().windowsFolder;
        writeNewFile(temporary, recordText(record));
        renameWithoutReplacing(temporary, main + QLatin1Char('/') + recordName);
    } catch (const Error&) {
        // A working folder that cannot be written keeps the older backup working as it did.
        try {
            removeFile(temporary);
        } catch (const Error&) {
        }
    }
    return kept;
}

} // namespace bootvane
