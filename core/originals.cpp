#include "originals.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "paths.h"

#include <QCryptographicHash>

namespace bootvane {

namespace {

const QString recordName = QStringLiteral(".bootvane-record");
const QString otherDrivesName = QStringLiteral(".bootvane-drives");
// A record is a few lines; anything much longer is no record of ours.
constexpr qint64 largestRecord = 64 * 1024;

struct Record {
    QString identity;
    std::array<bool, slotCount> absent{};
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
    return text;
}

// The record of folder, or nothing when it has none (or one that cannot be read).
std::optional<Record> readRecord(const QString& folder)
{
    const std::optional<QByteArray> text =
        readSmallFile(folder + QLatin1Char('/') + recordName, largestRecord);
    if (!text)
        return std::nullopt;
    Record record;
    for (const QByteArray& line : text->split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith('#') || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "drive") {
            record.identity = decodeFileName(QByteArray::fromPercentEncoding(value));
        } else if (key == "absent") {
            for (const QByteArray& name : value.split(',')) {
                for (int i = 0; i < slotCount; ++i) {
                    if (name.trimmed() == screenSlots[size_t(i)].setFileName)
                        record.absent[size_t(i)] = true;
                }
            }
        }
    }
    return record;
}

QString mainFolder(const QString& base)
{
    return base + originalsName;
}

bool isFolder(const QString& path)
{
    return fileAttributesIfPresent(path).value_or(0) & attributeFolder;
}

// Where the originals of a drive other than the first are kept.
QString hiddenFolder(const QString& base, const QString& identity)
{
    const QByteArray key =
        QCryptographicHash::hash(encodeFileName(identity), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return otherDrivesFolder(base) + QLatin1Char('/') + QString::fromLatin1(key);
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
    const QString hidden = hiddenFolder(base, identity);
    if (const std::optional<Record> record = readRecord(hidden);
        record && record->identity == identity && isFolder(hidden)) {
        originals.m_folder = hidden;
        originals.m_absent = record->absent;
        return originals;
    }
    const QString main = mainFolder(base);
    if (!isFolder(main))
        return std::nullopt;
    const std::optional<Record> record = readRecord(main);
    if (record && record->identity != identity)
        return std::nullopt; // another drive's
    originals.m_folder = main;
    if (record)
        originals.m_absent = record->absent;
    return originals;
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

void backupOriginals(const QString& base, const Drive& drive)
{
    // Another copy of Bootvane started at the same moment may have made them just now.
    if (Originals::of(base, drive))
        return;
    Record record{drive.identity(), {}};
    // The first drive's originals are the visible "Originals"; once anything has that name,
    // they go out of sight, beside those of the other drives.
    const bool first = isAbsent(mainFolder(base));
    const QString destination = first ? mainFolder(base) : hiddenFolder(base, record.identity);
    if (!first && isAbsent(otherDrivesFolder(base))) {
        try {
            makeFolder(otherDrivesFolder(base));
        } catch (const Error&) {
            if (!isFolder(otherDrivesFolder(base))) // or another copy made it just now
                throw;
        }
    }

    StagingFolder staging(first ? base : otherDrivesFolder(base));
    for (int i = 0; i < slotCount; ++i) {
        const ScreenSlot& slot = screenSlots[size_t(i)];
        const std::optional<QByteArray> bytes = drive.read(QLatin1String(slot.systemFileWritten));
        // Windows uses its own screen for a file that is absent, and restoring puts that back
        // by removing the file: the record says so, since a file may also go missing later.
        if (bytes)
            writeNewFile(staging.filePath(QLatin1String(slot.setFileName)), *bytes);
        else
            record.absent[size_t(i)] = true;
    }
    writeNewFile(staging.filePath(recordName), recordText(record));
    // Taken only by another Bootvane started in this folder at the same moment: its copies
    // are the same screens, so there is nothing to tell the user.
    (void)staging.commitAs(destination);
}

void claimOlderOriginals(const QString& base, const Drive& drive)
{
    const QString main = mainFolder(base);
    if (!isFolder(main) || !isAbsent(main + QLatin1Char('/') + recordName))
        return;
    const QString identity = drive.identity();
    if (isFolder(hiddenFolder(base, identity)))
        return;
    try {
        replaceFileAtomically(main + QLatin1Char('/') + recordName,
                              recordText(Record{identity, {}}));
    } catch (const Error&) {
        // A working folder that cannot be written keeps the older backup working as it did.
    }
}

} // namespace bootvane
