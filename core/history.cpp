#include "history.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "originals.h"
#include "paths.h"

#include <QCryptographicHash>
#include <QDir>

namespace bootvane {

namespace {

const QString historyName = QStringLiteral(".bootvane-history");
const QString sameAsOriginalsName = QStringLiteral(".bootvane-same-as-originals");

bool isFolder(const QString& path)
{
    return fileAttributesIfPresent(path).value_or(0) & attributeFolder;
}

void makeFolderUnlessThere(const QString& path)
{
    if (isFolder(path))
        return;
    try {
        makeFolder(path);
    } catch (const Error&) {
        if (!isFolder(path)) // another copy may have made it just now
            throw;
    }
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
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            folders.append(history + QLatin1Char('/') + name);
    }
    return folders;
}

ScreenHistory::ScreenHistory(const QString& base, const Drive& drive) : m_base(base), m_drive(drive)
{
    const QByteArray key =
        QCryptographicHash::hash(encodeFileName(drive.identity()), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    m_folder = base + historyName + QLatin1Char('/') + QString::fromLatin1(key);
}

QString ScreenHistory::Step::filePath(int slot) const
{
    return folder + pathSeparator() + QLatin1String(screenSlots[size_t(slot)].setFileName);
}

QStringList ScreenHistory::stepNames() const
{
    if (!isFolder(m_folder))
        return {};
    QStringList names;
    for (const QString& name : listFolder(m_folder + QLatin1Char('/'), attributeFolder)) {
        bool number = false;
        name.toInt(&number);
        if (number && name.size() == 4)
            names.append(name); // zero-padded: name order is age order
    }
    return names;
}

void ScreenHistory::keep(const ScreensInUse& screens)
{
    makeFolderUnlessThere(m_base + historyName);
    makeFolderUnlessThere(m_folder);
    const QStringList names = stepNames();
    int next = names.isEmpty() ? 1 : names.constLast().toInt() + 1;
    const QString operation = QStringLiteral("keep a copy of the screens in use in");
    {
        StagingFolder staging(m_folder, operation);
        try {
            if (sameAsOriginals(m_base, m_drive, screens))
                writeNewFile(staging.filePath(sameAsOriginalsName), QByteArray());
            else
                writeScreenCopy(staging, m_drive.identity(), screens);
            while (!staging.commitAs(m_folder + QLatin1Char('/') +
                                     QStringLiteral("%1").arg(next, 4, 10, QLatin1Char('0')))) {
                if (++next > 9999)
                    fail(operation, m_folder, QStringLiteral("it is full"));
            }
        } catch (const Error& error) {
            staging.rethrowInUsersWords(error);
        }
    }
    // The oldest steps beyond the last ten go; one that cannot is tried again next time.
    QStringList all = stepNames();
    while (all.size() > kept)
        forget(all.takeFirst());
}

void ScreenHistory::forget(const QString& step)
{
    // Out of the way in one step first, so that no half-removed step is ever taken for one.
    const QString path = m_folder + QLatin1Char('/') + step;
    const QString away = m_folder + QStringLiteral("/.bootvane-forgotten-") + step;
    try {
        renameWithoutReplacing(path, away);
    } catch (const Error&) {
        return;
    }
    QDir(away).removeRecursively();
}

std::optional<ScreenHistory::Step> ScreenHistory::newest() const
{
    const QStringList names = stepNames();
    if (names.isEmpty())
        return std::nullopt;
    const QString folder = m_folder + QLatin1Char('/') + names.constLast();
    if (!isAbsent(folder + QLatin1Char('/') + sameAsOriginalsName)) {
        const Originals originals = Originals::required(m_base, m_drive);
        Step step{originals.folder(), {}};
        for (int i = 0; i < slotCount; ++i)
            step.absent[size_t(i)] = originals.recordsAbsent(i);
        return step;
    }
    const std::optional<std::array<bool, slotCount>> absent = recordedAbsences(folder);
    if (!absent)
        fail(QStringLiteral("undo with"), folder,
             QStringLiteral("the copy of the screens kept there has no record that can be read"));
    return Step{folder, *absent};
}

void ScreenHistory::forgetNewest()
{
    const QStringList names = stepNames();
    if (!names.isEmpty())
        forget(names.constLast());
}

} // namespace bootvane
