#include "originals.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "paths.h"

#include <QDir>

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
};

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
    if (isAbsent(path))
        return RecordState::Missing;
    const std::optional<QByteArray> text = readSmallFile(path, largestRecord);
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

bool isFolder(const QString& path)
{
    return fileAttributesIfPresent(path).value_or(0) & attributeFolder;
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
            isFolder(store + QLatin1Char('/') + name))
            folders.append(store + QLatin1Char('/') + name);
    }
    return folders;
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
    const QString identity = drive.identity();
    Originals originals;
    Record record;
    const QString main = mainFolder(base);
    const bool mainIsFolder = isFolder(main);
    const RecordState mainState = mainIsFolder ? readRecord(main, record) : RecordState::Unreadable;
    if (mainState == RecordState::Read && record.identity == identity) {
        originals.m_folder = main;
        originals.m_absent = record.absent;
        originals.m_older = record.older;
        return originals;
    }
    for (const QString& folder : otherDriveFolders(base)) {
        if (readRecord(folder, record) == RecordState::Read && record.identity == identity) {
            originals.m_folder = folder;
            originals.m_absent = record.absent;
            originals.m_older = record.older;
            return originals;
        }
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
    QStringList paths;
    for (const ScreenSlot& slot : screenSlots)
        paths.append(QLatin1String(slot.systemFileWritten));
    const std::vector<DriveFile> files = drive.readFiles(paths);
    ScreensInUse screens;
    for (int i = 0; i < slotCount; ++i)
        screens[size_t(i)] = files[size_t(i)].bytes;
    return screens;
}

void writeScreenCopy(const StagingFolder& staging, const QString& identity,
                     const ScreensInUse& screens)
{
    Record record{identity, {}, false};
    for (int i = 0; i < slotCount; ++i) {
        // Windows uses its own screen for a file that is absent, and restoring puts that
        // back by removing the file: the record says so, since a file may also go missing.
        if (screens[size_t(i)])
            writeNewFile(staging.filePath(QLatin1String(screenSlots[size_t(i)].setFileName)),
                         *screens[size_t(i)]);
        else
            record.absent[size_t(i)] = true;
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
        writeScreenCopy(staging, drive.identity(), readScreensInUse(drive));
        // The first drive's originals are the visible "Originals"; once anything has that
        // name, they go out of sight, beside those of the other drives, in a folder of their own.
        if (isAbsent(mainFolder(base)) && staging.commitAs(mainFolder(base)))
            return;
    } catch (const Error& error) {
        staging.rethrowInUsersWords(error);
    }
    if (Originals::of(base, drive))
        return; // another copy saved the same screens meanwhile
    const QString store = otherDrivesFolder(base);
    if (isAbsent(store)) {
        try {
            makeFolder(store);
        } catch (const Error&) {
            if (!isFolder(store)) // or another copy made it just now
                throw;
        }
    }
    for (int number = 1; number <= 1000; ++number) {
        if (staging.commitAs(store + QStringLiteral("/drive-%1").arg(number)))
            return;
    }
    fail(QStringLiteral("save the originals in"), store,
         QStringLiteral("it holds the originals of a thousand drives already"));
}

void claimOlderOriginals(const QString& base, const Drive& drive)
{
    const QString main = mainFolder(base);
    if (!isFolder(main) || !isAbsent(main + QLatin1Char('/') + recordName))
        return;
    const std::optional<Originals> originals = Originals::of(base, drive);
    if (!originals || originals->folder() != main)
        return; // the drive has originals of its own elsewhere
    // Made under a name of its own and renamed into place unless a record appeared
    // meanwhile: two copies claiming at once leave one claim, whole.
    const QString temporary = main + QStringLiteral("/.bootvane-record-claim");
    try {
        removeFile(temporary);
        writeNewFile(temporary, recordText(Record{drive.identity(), {}, true}));
        renameWithoutReplacing(temporary, main + QLatin1Char('/') + recordName);
    } catch (const Error&) {
        // A working folder that cannot be written keeps the older backup working as it did.
        try {
            removeFile(temporary);
        } catch (const Error&) {
        }
    }
}

} // namespace bootvane
