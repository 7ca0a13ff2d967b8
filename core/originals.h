#pragma once

#include "drive.h"
#include "filesystem.h"
#include "screenslots.h"

#include <QString>
#include <array>
#include <optional>

namespace bootvane {

// The copy of a drive's own screens that Bootvane makes the first time it meets that drive,
// so that "Restore originals" can always put them back. One working folder may serve several
// drives: the sets are shared, the originals belong each to its drive. The originals of the
// first drive are the folder "Originals", where the user sees them; those of any other drive
// are kept out of sight in ".bootvane-drives/drive-<n>". Each holds, besides the copies, a
// record of the drive they were taken from and of the files that drive did not have (Windows
// then uses its built-in screen, and restoring removes the file again). Each of these folders,
// and the record, is what Bootvane made only when it is no link: a link there is never
// followed, since a working folder shared with its hidden folders may hold links to anything.
//
// An "Originals" without a record was made by an earlier Bootvane: it is trusted as it is, and
// the first drive that finds it claims it. A file missing from it is an error, never a
// removal. A record that cannot be read belongs to no drive.
class Originals {
public:
    // The originals of drive kept in the working folder base (a base path), or nothing when
    // there are none yet. Throws when the drive cannot be reached.
    static std::optional<Originals> of(const QString& base, const Drive& drive);
    // The same, but throws, saying why, when there are none.
    static Originals required(const QString& base, const Drive& drive);

    const QString& folder() const { return m_folder; }
    QString filePath(const ScreenSlot& slot) const;
    // Whether the drive had no such file when the copy was made.
    bool recordsAbsent(int slot) const { return m_absent[size_t(slot)]; }
    // Throws, naming it and saying what to do, when a file is missing that the record does not
    // name as absent, or when Windows is now in another folder than the one they were taken
    // from: then restoring must write nothing.
    void checkComplete() const;

private:
    friend void copyOriginals(const QString& base, const Originals& originals,
                              const QString& recordKey);

    QString m_folder;
    std::array<bool, slotCount> m_absent{};
    bool m_older = false;
    QString m_windowsFolder = QLatin1String(defaultWindowsFolder); // where they were taken from
    QString m_windowsFolderNow; // where Windows is now, or empty when that cannot be told
    std::array<QByteArray, slotCount> m_checksums; // of each file as it was saved, if recorded
};

// Copies the drive's three screens byte for byte into a new folder of originals for it in
// base, with the record, all or nothing. An "Originals" that appears meanwhile is kept as it
// is, and the copies go beside it.
void backupOriginals(const QString& base, const Drive& drive);

// Copies originals, whole or not at all, as the originals of the drive with recordKey: a copy
// of a disk image told apart from its twin, whose originals were true of both.
void copyOriginals(const QString& base, const Originals& originals, const QString& recordKey);

// Writes into an "Originals" of an earlier Bootvane the record that it belongs to drive, unless
// drive has originals of its own already. Best effort: without the record it is still used.
// When the drive shows other screens than those originals, they are kept first as a new set, whose
// name is given: nothing says whether the originals are truly this drive's.
std::optional<QString> claimOlderOriginals(const QString& base, const Drive& drive);

// The hidden folder of base that holds the originals of the other drives.
QString otherDrivesFolder(const QString& base);

// The bytes of the drive's three system files, nothing for one that is absent.
using ScreensInUse = std::array<std::optional<QByteArray>, slotCount>;
ScreensInUse readScreensInUse(const Drive& drive);

// Writes screens into staging byte for byte, with the record of the drive (its record key and
// its Windows folder) and of the files it did not have: the originals are such a copy, and so
// is each step of the history of what was replaced.
void writeScreenCopy(const StagingFolder& staging, const Drive& drive, const ScreensInUse& screens);

// Which files the record of a copy made by writeScreenCopy names as absent; nothing when it
// has no record that can be read.
std::optional<std::array<bool, slotCount>> recordedAbsences(const QString& folder);
// The Windows folder the record of such a copy names (C:\Windows for one that names none).
QString recordedWindowsFolder(const QString& folder);

// Whether base keeps originals recorded under key.
bool originalsRecorded(const QString& base, const QString& key);

// Whether folder holds the record of such a copy, a file and no link, readable or not.
bool holdsRecord(const QString& folder);

// The names of the files writeScreenCopy may write.
QStringList screenCopyFiles();

} // namespace bootvane
