#include "history.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "knowndrives.h"
#include "originals.h"
#include "paths.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>

namespace bootvane {

namespace {

const QString historyName = QStringLiteral(".bootvane-history");
const QString sameAsOriginalsName = QStringLiteral(".bootvane-same-as-originals");
const QString writtenName = QStringLiteral(".bootvane-written");
const QString forgottenPrefix = QStringLiteral(".bootvane-forgotten-");

// A folder itself. The working folder may be shared with its hidden folders, and a link
// among them may lead anywhere, to "Originals" or to any folder of the user's: it is never
// taken for the history or a step, so that nothing is kept, or forgotten, where it leads.
bool isFolder(const QString& path)
{
    return entryType(path) == EntryType::Folder;
}

// A step is a folder of the history that holds the record of what it kept.
bool isStep(const QString& path)
{
    return isFolder(path) &&
           (holdsRecord(path) ||
            entryType(path + QLatin1Char('/') + sameAsOriginalsName) == EntryType::File);
}

// Every file a step may hold: forgetting it removes these and nothing else.
QStringList stepFiles()
{
    return screenCopyFiles() << writtenName << sameAsOriginalsName;
}

void makeFolderUnlessThere(const QString& path)
{
    if (isFolder(path))
        return;
    try {
        makeFolder(path);
    } catch (const Error&) {
        if (isFolder(path)) // another copy may have made it just now
            return;
        if (entryType(path) == EntryType::Link)
            fail(QStringLiteral("keep a copy of the screens in use in"), path,
                 QStringLiteral("it is a link, and Bootvane keeps nothing where a link leads"));
        throw;
    }
}

// What the drive's screens are once updates are written.
ScreensInUse screensWritten(const std::array<ScreenUpdate, slotCount>& updates)
{
    ScreensInUse screens;
    for (int i = 0; i < slotCount; ++i) {
        if (!updates[size_t(i)].removesFile)
            screens[size_t(i)] = updates[size_t(i)].bytes;
    }
    return screens;
}

// Whether screens are byte for byte what the drive's originals hold.
bool sameAsOriginals(const QString& base, const Drive& drive, const ScreensInUse& screens)
{
    const std::optional<Originals> originals = Originals::of(base, drive);
    if (!originals)
        return false;
    for (int i = 0; i < slotCount; ++i) {
        const ScreenSlot& slot = screenSlots[size_t(i)];
        const std::optional<QByteArray>& now = screens[size_t(i)];
        const QString kept = originals->filePath(slot);
        if (!now) {
            if (!(originals->recordsAbsent(i) && isAbsent(kept)))
                return false;
        } else if (originals->recordsAbsent(i) || readSmallFile(kept, now->size()) != now) {
            return false;
        }
    }
    return true;
}

} // namespace

QStringList historyFolders(const QString& base)
{
    const QString history = base + historyName;
    if (!isFolder(history))
        return {};
    QStringList folders;
    for (const QString& name : listFolder(history + QLatin1Char('/'), attributeFolder)) {
        if (name != QLatin1String(".") && name != QLatin1String("..") &&
            isFolder(history + QLatin1Char('/') + name))
            folders.append(history + QLatin1Char('/') + name);
    }
    return folders;
}

void removeForgottenSteps(const QString& folder)
{
    removeMadeFolders(folder, forgottenPrefix, stepFiles());
}

ScreenHistory::ScreenHistory(const QString& base, const Drive& drive)
    : m_base(base), m_drive(drive), m_folder(historyFolderOf(base, drive.recordKey()))
{
}

void makeHistoryFolder(const QString& folder)
{
    makeFolderUnlessThere(QFileInfo(folder).path());
    makeFolderUnlessThere(folder);
}

QString historyFolderOf(const QString& base, const QString& recordKey)
{
    const QByteArray key =
        QCryptographicHash::hash(encodeFileName(recordKey), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return base + historyName + QLatin1Char('/') + QString::fromLatin1(key);
}

QString ScreenHistory::Step::filePath(int slot) const
{
    return folder + pathSeparator() + QLatin1String(screenSlots[size_t(slot)].setFileName);
}

QByteArray ScreenHistory::fingerprint(const std::optional<QByteArray>& file)
{
    return file ? QCryptographicHash::hash(*file, QCryptographicHash::Sha256).toHex()
                : QByteArrayLiteral("absent");
}

QStringList ScreenHistory::stepNames() const
{
    return stepsIn(m_folder);
}

QStringList stepsIn(const QString& folder)
{
    if (!isFolder(QFileInfo(folder).path()) || !isFolder(folder))
        return {};
    QStringList names;
    for (const QString& name : listFolder(folder + QLatin1Char('/'), attributeFolder)) {
        if (!name.isEmpty() && name.size() < 19 &&
            std::all_of(name.begin(), name.end(), [](QChar c) { return c.isDigit(); }) &&
            isStep(folder + QLatin1Char('/') + name))
            names.append(name);
    }
    // Zero-padded to four digits, and longer only beyond 9999: the longer, the newer.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}

QString ScreenHistory::keep(const ScreensInUse& screens,
                            const std::array<ScreenUpdate, slotCount>& updates)
{
    makeHistoryFolder(m_folder);
    // What a forget that was cut short left behind goes first.
    removeForgottenSteps(m_folder);
    const QStringList names = stepNames();
    qint64 next = names.isEmpty() ? 1 : names.constLast().toLongLong() + 1;
    const QString operation = QStringLiteral("keep a copy of the screens in use in");
    QByteArray written;
    for (const ScreenUpdate& update : updates)
        written +=
            fingerprint(update.removesFile ? std::nullopt : std::optional(update.bytes)) + '\n';
    StagingFolder staging(m_folder, operation);
    try {
        if (sameAsOriginals(m_base, m_drive, screens))
            writeNewFile(staging.filePath(sameAsOriginalsName), QByteArray());
        else
            writeScreenCopy(staging, m_drive, screens);
        writeNewFile(staging.filePath(writtenName), written);
        QString name;
        do
            name = QStringLiteral("%1").arg(next++, 4, 10, QLatin1Char('0'));
        while (!staging.commitAs(m_folder + QLatin1Char('/') + name));
        return name;
    } catch (const Error& error) {
        staging.rethrowInUsersWords(error);
    }
}

void ScreenHistory::forgetBeyondKept()
{
    QStringList all = stepNames();
    while (all.size() > kept)
        forget(all.takeFirst());
}

bool ScreenHistory::forget(const QString& step)
{
    // Out of the way in one step first, under a name no other step or leftover has, so that
    // no half-removed step is ever taken for one.
    const QString path = m_folder + QLatin1Char('/') + step;
    if (!isStep(path))
        return false;
    const QString away = m_folder + QLatin1Char('/') + forgottenPrefix + step + QLatin1Char('-') +
                         QUuid::createUuid().toString(QUuid::WithoutBraces);
    try {
        renameWithoutReplacing(path, away);
    } catch (const Error&) {
        return false;
    }
    // Only what Bootvane put in it goes: a file of anyone else's keeps the step, hidden.
    removeMadeFolder(away, stepFiles());
    return true;
}

std::optional<ScreenHistory::Step> ScreenHistory::newest() const
{
    const QStringList names = stepNames();
    if (names.isEmpty())
        return std::nullopt;
    const QString folder = m_folder + QLatin1Char('/') + names.constLast();
    Step step{names.constLast(), folder, {}, {}, {}};
    const QList<QByteArray> written = readSmallFile(folder + QLatin1Char('/') + writtenName, 1024)
                                          .value_or(QByteArray())
                                          .split('\n');
    for (int i = 0; i < slotCount && i < written.size(); ++i)
        step.written[size_t(i)] = written[i];
    if (!isAbsent(folder + QLatin1Char('/') + sameAsOriginalsName)) {
        const Originals originals = Originals::required(m_base, m_drive);
        step.folder = originals.folder();
        step.windowsFolder = recordedWindowsFolder(originals.folder());
        for (int i = 0; i < slotCount; ++i)
            step.absent[size_t(i)] = originals.recordsAbsent(i);
        return step;
    }
    const std::optional<std::array<bool, slotCount>> absent = recordedAbsences(folder);
    if (!absent)
        fail(QStringLiteral("undo with"), folder,
             QStringLiteral("the copy of the screens kept there has no record that can be read"));
    step.absent = *absent;
    step.windowsFolder = recordedWindowsFolder(folder);
    return step;
}

void copyHistory(const QString& base, const QString& fromKey, const QString& toKey,
                 const ScreensInUse& now)
{
    const QString from = historyFolderOf(base, fromKey);
    const QString to = historyFolderOf(base, toKey);
    QByteArray nowWritten;
    for (const std::optional<QByteArray>& screen : now)
        nowWritten += ScreenHistory::fingerprint(screen) + '\n';
    // The newest steps that wrote something else than this drive shows were made on its twin.
    QStringList steps = stepsIn(from);
    while (!steps.isEmpty() && readSmallFile(from + QLatin1Char('/') + steps.constLast() +
                                                 QLatin1Char('/') + writtenName,
                                             1024) != nowWritten)
        steps.removeLast();
    if (steps.isEmpty())
        return;
    makeHistoryFolder(to);
    const QStringList kept = stepFiles();
    for (const QString& step : steps) {
        StagingFolder staging(to, QStringLiteral("keep the history of a copy of a drive in"));
        try {
            for (const QString& name : kept) {
                const QString path = from + QLatin1Char('/') + step + QLatin1Char('/') + name;
                if (entryType(path) != EntryType::File)
                    continue;
                const std::optional<QByteArray> bytes = readSmallFile(path, Drive::largestRead);
                if (!bytes)
                    fail(QStringLiteral("copy"), path,
                         QStringLiteral("it is no file that can be read"));
                writeNewFile(staging.filePath(name), *bytes);
            }
            (void)staging.commitAs(to + QLatin1Char('/') + step);
        } catch (const Error& error) {
            staging.rethrowInUsersWords(error);
        }
    }
}

void installKeepingHistory(const QString& base, Drive& drive,
                           const std::array<ScreenUpdate, slotCount>& updates)
{
    checkScreenChanges(drive, updates);
    const ScreensInUse inUse = readScreensInUse(drive);
    // A copy of this disk image may have been written to since the drive was loaded (in
    // another window, say): then the two are told apart now, before a step is kept for either.
    recognizeDrive(base, drive, inUse);
    bool replaces = false;
    for (int i = 0; i < slotCount; ++i) {
        const ScreenUpdate& update = updates[size_t(i)];
        replaces = replaces || (update.removesFile ? inUse[size_t(i)].has_value()
                                                   : inUse[size_t(i)] != update.bytes);
    }
    if (!replaces) {
        installCheckedScreens(drive, updates);
        return;
    }
    ScreenHistory history(base, drive);
    const QString step = history.keep(inUse, updates);
    try {
        installCheckedScreens(drive, updates);
    } catch (const Error&) {
        // A step whose apply changed nothing is no step; one that changed part of the drive
        // stays, so that Undo can put back the rest.
        bool unchanged = false;
        try {
            const ScreensInUse now = readScreensInUse(drive);
            unchanged = now == inUse;
            rememberScreensInUse(base, drive, now);
        } catch (const Error&) {
        }
        if (unchanged)
            history.forget(step);
        throw;
    }
    rememberScreensInUse(base, drive, screensWritten(updates));
    history.forgetBeyondKept();
}

bool undoLastInstall(const QString& base, Drive& drive)
{
    const ScreensInUse inUse = readScreensInUse(drive);
    recognizeDrive(base, drive, inUse); // as for an apply: the history must be this drive's
    ScreenHistory history(base, drive);
    const std::optional<ScreenHistory::Step> step = history.newest();
    if (!step)
        return false;
    // What was kept of another Windows folder is not what this Windows shows.
    const MsdosSys& facts = drive.msdosSys();
    if (facts.windowsFolderProblem.isEmpty() &&
        step->windowsFolder.compare(facts.windowsFolder, Qt::CaseInsensitive) != 0)
        fail(QStringLiteral("undo with"), step->folder,
             QStringLiteral("its screens were kept from Windows in %1, and C:\\MSDOS.SYS now "
                            "says Windows is in %2; nothing was written")
                 .arg(step->windowsFolder, facts.windowsFolder));
    std::array<ScreenUpdate, slotCount> updates;
    for (int i = 0; i < slotCount; ++i) {
        const QString path = step->filePath(i);
        if (step->absent[size_t(i)] && isAbsent(path)) {
            updates[size_t(i)].removesFile = true;
        } else {
            // A link in a step may lead to any file of the user's, which would go on drive C.
            const std::optional<QByteArray> kept = readSmallFileNotLink(path, Drive::largestRead);
            if (!kept)
                fail(QStringLiteral("undo with"), path,
                     QStringLiteral("the copy kept there cannot be read"));
            updates[size_t(i)].bytes = *kept;
        }
    }
    // A screen that was changed after the apply, by another program or on a copy of the
    // drive, has no copy anywhere: it stays, and so does everything else.
    for (int i = 0; i < slotCount; ++i) {
        const QByteArray now = ScreenHistory::fingerprint(inUse[size_t(i)]);
        const ScreenUpdate& back = updates[size_t(i)];
        if (now != step->written[size_t(i)] &&
            now != ScreenHistory::fingerprint(back.removesFile ? std::nullopt
                                                               : std::optional(back.bytes))) {
            const QString dosPath = drive.systemFile(screenSlots[size_t(i)]);
            fail(QStringLiteral("undo the last Set as Current on"), drive.displayPath(dosPath),
                 step->written[size_t(i)].isEmpty()
                     ? QStringLiteral("what that Set as Current wrote was not recorded, and Undo "
                                      "would replace the file with no copy kept")
                     : QStringLiteral("it was changed since, and Undo would replace it with no "
                                      "copy kept"));
        }
    }
    installScreens(drive, updates);
    rememberScreensInUse(base, drive, screensWritten(updates));
    // A step that stayed would be undone again and again, hiding the ones before it.
    if (!history.forget(step->name))
        fail(QStringLiteral("forget the step just undone in"), history.folder(),
             QStringLiteral("it cannot be moved away; the screens were put back"));
    return true;
}

} // namespace bootvane
