#include "knowndrives.h"

#include "drivechoice.h"
#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "history.h"

#include <QUuid>
#include <algorithm>

namespace bootvane {

namespace {

const QString ledgerName = QStringLiteral("/.bootvane-drive");
// A few lines per place; anything much longer is no record of ours.
constexpr qint64 largestLedger = 256 * 1024;

using Fingerprints = QList<QByteArray>;

// What the working folder remembers of one drive. Kept beside its history, one file a drive.
struct Known {
    QString recordKey;
    QString identity;
    QStringList places;
    std::optional<Fingerprints> screens; // nothing for a drive an earlier Bootvane met
};

Fingerprints fingerprints(const ScreensInUse& screens)
{
    Fingerprints prints;
    for (const std::optional<QByteArray>& screen : screens)
        prints.append(ScreenHistory::fingerprint(screen));
    return prints;
}

QByteArray encoded(const QString& text)
{
    return encodeFileName(text).toPercentEncoding();
}

QString decoded(const QByteArray& value)
{
    return decodeFileName(QByteArray::fromPercentEncoding(value));
}

std::optional<Known> readLedger(const QString& file)
{
    // A link is no record of ours, wherever it leads.
    if (entryType(file) != EntryType::File)
        return std::nullopt;
    const std::optional<QByteArray> text = readSmallFile(file, largestLedger);
    if (!text)
        return std::nullopt;
    Known known;
    for (const QByteArray& line : text->split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith('#') || equals < 0)
            continue;
        const QByteArray key = line.left(equals);
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "key")
            known.recordKey = decoded(value);
        else if (key == "identity")
            known.identity = decoded(value);
        else if (key == "place")
            known.places.append(decoded(value));
        else if (key == "screens")
            known.screens = value.split(' ');
    }
    if (known.recordKey.isEmpty() || known.identity.isEmpty() ||
        (known.screens && known.screens->size() != slotCount))
        return std::nullopt;
    return known;
}

void writeLedger(const QString& base, const Known& known)
{
    QByteArray text = "# Bootvane: a drive C it keeps records of, where it met it and the screens "
                      "it last saw there\n";
    text += "key=" + encoded(known.recordKey) + '\n';
    text += "identity=" + encoded(known.identity) + '\n';
    for (const QString& place : known.places)
        text += "place=" + encoded(place) + '\n';
    if (known.screens)
        text += "screens=" + known.screens->join(' ') + '\n';
    const QString folder = historyFolderOf(base, known.recordKey);
    makeHistoryFolder(folder);
    // Never through a link: a file in a shared folder may lead anywhere.
    replaceFileAtomically(folder + ledgerName, text, LinkHandling::ReplaceLink);
}

// Every drive of base known by one of identities: those with a record of where they were met,
// and those an earlier Bootvane kept originals or a history of, which it knew by identity alone.
std::vector<Known> knownDrives(const QString& base, const QStringList& identities)
{
    std::vector<Known> drives;
    for (const QString& folder : historyFolders(base)) {
        std::optional<Known> known = readLedger(folder + ledgerName);
        // A record under another drive's name is no record of this one.
        if (known && identities.contains(known->identity) &&
            historyFolderOf(base, known->recordKey) == folder)
            drives.push_back(*known);
    }
    for (const QString& identity : identities) {
        const bool recorded = std::any_of(drives.begin(), drives.end(), [&](const Known& known) {
            return known.recordKey == identity;
        });
        if (!recorded && (originalsRecorded(base, identity) ||
                          historyFolders(base).contains(historyFolderOf(base, identity))))
            drives.push_back(Known{identity, identity, {}, std::nullopt});
    }
    return drives;
}

// Whether a place of known other than here still holds the same drive: then known has a twin.
bool reachedElsewhere(const Known& known, const QString& here, const QStringList& identities)
{
    for (const QString& place : known.places) {
        if (place == here)
            continue;
        try {
            if (identities.contains(openDrive(place)->identity()))
                return true;
        } catch (const Error&) {
            // Gone, or another disk now: the drive was moved, not copied.
        }
    }
    return false;
}

bool isFatIdentity(const QString& identity)
{
    return identity.startsWith(QLatin1String("fat:"));
}

} // namespace

DriveRecognition recognizeDrive(const QString& base, Drive& drive, const ScreensInUse& screens)
{
    drive.setRecordKey(QString());
    QStringList identities{drive.identity()};
    // A folder is known by its path, which no copy shares; a FAT volume by its serial number
    // and label, which every copy of its disk has.
    if (!isFatIdentity(identities.constFirst()))
        return {drive.recordKey(), {}};
    identities += drive.formerIdentities();
    const QString here = drive.place();
    const Fingerprints now = fingerprints(screens);
    std::vector<Known> drives;
    try {
        drives = knownDrives(base, identities);
    } catch (const Error&) {
        return {drive.recordKey(), {}}; // records that cannot be read are none
    }

    const auto showsNow = [&](const Known& known) {
        return !known.screens || known.screens == now;
    };
    std::optional<Known> chosen;
    std::optional<Known> twin; // the drive this one was one with until their screens differed
    DriveRecognition recognition;
    // Met here before: the same drive, unless its screens changed and it has a twin elsewhere
    // that still is the drive those records tell of.
    std::vector<Known> metHere;
    std::copy_if(drives.begin(), drives.end(), std::back_inserter(metHere),
                 [&](const Known& known) { return known.places.contains(here); });
    if (!metHere.empty()) {
        const auto same = std::find_if(metHere.begin(), metHere.end(), showsNow);
        Known& candidate = same != metHere.end() ? *same : metHere.front();
        if (showsNow(candidate) || !reachedElsewhere(candidate, here, identities))
            chosen = candidate;
        else
            twin = candidate;
    } else if (!drives.empty()) {
        // Met elsewhere: moved, or copied while it showed the same screens, or moved and then
        // changed. A copy whose screens differ from those of a drive still reachable is new.
        // A drive that showed exactly these screens first, then one an earlier Bootvane met.
        auto same = std::find_if(drives.begin(), drives.end(),
                                 [&](const Known& known) { return known.screens == now; });
        if (same == drives.end())
            same = std::find_if(drives.begin(), drives.end(), showsNow);
        const auto moved = std::find_if(drives.begin(), drives.end(), [&](const Known& known) {
            return !reachedElsewhere(known, here, identities);
        });
        if (same != drives.end())
            chosen = *same;
        else if (moved != drives.end())
            chosen = *moved;
        else
            recognition.copyOf = drives.front().places.value(0);
    }

    Known known =
        chosen ? *chosen
               : Known{drives.empty() ? identities.constFirst()
                                      : identities.constFirst() + QLatin1Char('#') +
                                            QUuid::createUuid().toString(QUuid::WithoutBraces),
                       identities.constFirst(),
                       {},
                       std::nullopt};
    if (twin) {
        // Until now both were one drive, so what was kept for it is true of this one too: its
        // originals, and the history up to the twin's first change. The twin keeps the rest.
        // This drive's own record goes first: a kill before the twin's leaves this place in
        // both, and the one that shows these screens is chosen next time.
        drive.setRecordKey(twin->recordKey);
        if (const std::optional<Originals> originals = Originals::of(base, drive))
            copyOriginals(base, *originals, known.recordKey);
        copyHistory(base, twin->recordKey, known.recordKey, screens);
        known.places = {here};
        known.screens = now;
        writeLedger(base, known); // without it, this drive still shares the twin's records
        twin->places.removeAll(here);
        recognition.copyOf = twin->places.value(0);
        recognition.keptApart = true;
        try {
            writeLedger(base, *twin);
        } catch (const Error&) {
        }
    }
    drive.setRecordKey(known.recordKey);
    recognition.recordKey = known.recordKey;
    const Known before = known;
    known.identity = identities.constFirst();
    if (!known.places.contains(here))
        known.places.append(here);
    known.screens = now;
    if (known.places != before.places || known.screens != before.screens ||
        known.identity != before.identity) {
        try {
            writeLedger(base, known);
        } catch (const Error&) {
        }
    }
    return recognition;
}

void rememberScreensInUse(const QString& base, const Drive& drive, const ScreensInUse& screens)
{
    try {
        if (!isFatIdentity(drive.identity()))
            return;
        const QString file = historyFolderOf(base, drive.recordKey()) + ledgerName;
        Known known = readLedger(file).value_or(
            Known{drive.recordKey(), drive.identity(), {drive.place()}, std::nullopt});
        known.screens = fingerprints(screens);
        writeLedger(base, known);
    } catch (const Error&) {
    }
}

} // namespace bootvane
