#include "setstore.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "history.h"
#include "originals.h"
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <optional>

namespace bootvane {

namespace {

// What no folder name may hold, besides control characters, and the most bytes it may have.
const QString unusableInNames = QStringLiteral("/\\:*?\"<>|");
constexpr int largestNameBytes = 255;

// The real path of path, every link resolved, for a path whose end need not exist yet.
QString realPath(const QString& path)
{
    QString at = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString rest;
    for (;;) {
        const QString real = QFileInfo(at).canonicalFilePath();
        const qsizetype slash = at.lastIndexOf(QLatin1Char('/'));
        if (!real.isEmpty() || slash < 0)
            return QDir::cleanPath(real + rest);
        rest = at.mid(slash) + rest;
        at = slash == 0 ? QStringLiteral("/") : at.left(slash);
    }
}

// Where real, a real path, lies in the real folder: "" for the folder itself, or the path
// below it; nothing when it lies elsewhere.
std::optional<QString> below(const QString& real, const QString& folder)
{
    if (real == folder)
        return QString();
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    if (!real.startsWith(prefix))
        return std::nullopt;
    return real.mid(prefix.size());
}

// Whether path, its links resolved, is the working folder base, or lies in one of its
// visible folders, which the tree lists as sets.
bool amongTheSets(const QString& path, const QString& base)
{
    const std::optional<QString> inside = below(realPath(path), realPath(base));
    return inside && !inside->startsWith(QLatin1Char('.'));
}

// Whether path, its links resolved, lies in what base keeps of the user's own screens: the
// originals, or one of its hidden folders (the other drives' originals, the history), which
// may be links themselves.
bool amongTheKeptScreens(const QString& path, const QString& base)
{
    const QString real = realPath(path);
    if (real == realPath(base))
        return true;
    QStringList kept{originalsName};
    for (const QString& name : QDir(base).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                    QDir::NoDotAndDotDot)) {
        if (name.startsWith(QLatin1Char('.')))
            kept.append(name);
    }
    return std::any_of(kept.begin(), kept.end(), [&](const QString& name) {
        return below(real, realPath(base + name)).has_value();
    });
}

} // namespace

void removeWorkLeftByDeadCopies(const QString& base, Drive& drive)
{
    removeAbandonedWork(base);
    // Only in folders that are Bootvane's own, not in one a link among them leads to.
    if (entryType(otherDrivesFolder(base)) == EntryType::Folder)
        removeAbandonedWork(otherDrivesFolder(base));
    for (const QString& history : historyFolders(base)) {
        removeAbandonedWork(history);
        removeForgottenSteps(history);
    }
    // A Windows folder that cannot be found is reported when its screens are read.
    QStringList files;
    for (const ScreenSlot& slot : screenSlots) {
        try {
            files.append(drive.systemFile(slot));
        } catch (const Error&) {
        }
    }
    drive.removeAbandonedWork(files);
}

QStringList setFolderNames(const QString& base)
{
    QStringList sets;
    const QStringList entries = listFolder(base, attributeFolder);
    for (const QString& name : entries) {
        if (name == QLatin1String("..") || name == QLatin1String(".") || name == originalsName)
            continue;
        // Another program may have removed it since the listing: then it is no set.
        if (fileAttributesIfPresent(base + name).value_or(0) & attributeFolder)
            sets.append(name);
    }
    return sets;
}

bool isPlainFolderName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
#ifndef Q_OS_WIN
    // Here a name that starts with a dot makes a hidden folder, which is never listed as a set.
    if (name.startsWith(QLatin1Char('.')))
        return false;
#endif
    if (name.endsWith(QLatin1Char(' ')) || name.endsWith(QLatin1Char('.')))
        return false;
    if (name.toUtf8().size() > largestNameBytes)
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || unusableInNames.contains(c))
            return false;
    }
    // Windows keeps these names for devices, also with any extension ("con.txt").
    static const QRegularExpression deviceName(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return !deviceName.match(name).hasMatch();
}

bool isReservedSetName(const QString& name)
{
    // "Originals" holds the user's own screens; a set of that name, in any case, could pass
    // for them or keep them from ever being saved.
    return name.compare(originalsName, Qt::CaseInsensitive) == 0;
}

std::optional<QString> refusalOfSetName(const QString& base, const QString& name)
{
    if (name.isEmpty())
        return setNameMissing;
    // Whether or not the user's own screens are saved yet, their name is theirs.
    if (isReservedSetName(name))
        return setNameInvalid;
    // A DOS listing finds nothing in a folder that does not exist; such a name is then
    // refused as no plain folder name rather than failing here.
    const QString pattern = base + name;
    if ((fileAttributesIfPresent(QFileInfo(pattern).path()).value_or(0) & attributeFolder) &&
        !firstMatch(pattern, attributeFolder).isEmpty())
        return setNameTaken;
    // The name becomes a folder of the working directory and nothing else: no path that
    // leads out of it or into a folder below it, nothing the file system would refuse.
    if (!isPlainFolderName(name))
        return setNameInvalid;
    return std::nullopt;
}

std::optional<QString> whyNotASet(const QString& base, const QString& name)
{
    const QString folder = base + name;
    const QDir set(folder);
    if (!set.isReadable())
        return QStringLiteral("its files cannot be listed");
    // Hidden entries too: a file the user hid is theirs all the same.
    for (const QFileInfo& entry :
         set.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        const QString entryName = entry.fileName();
        if (entryName.startsWith(QLatin1String(".bootvane-")))
            continue;
        const bool screenName =
            std::any_of(screenSlots.begin(), screenSlots.end(), [&](const ScreenSlot& slot) {
                return entryName.compare(QLatin1String(slot.setFileName), Qt::CaseInsensitive) == 0;
            });
        if (!screenName || (entry.isDir() && !entry.isSymLink()))
            return QStringLiteral("it holds other files than a set's screens, such as \"%1\"; "
                                  "\"Open Set Folder\" shows them")
                .arg(displayFileName(entryName));
    }
    return std::nullopt;
}

void requireASet(const QString& base, const QString& name, const QString& operation)
{
    if (const std::optional<QString> reason = whyNotASet(base, name))
        fail(operation, base + name, *reason);
}

void moveSetToTrash(const QString& base, const QString& name)
{
    const QString path = base + name;
    if (name == originalsName)
        fail(QStringLiteral("move to the trash"), path,
             QStringLiteral("it holds your own screens, which are kept as they are"));
    if (!(fileAttributesIfPresent(path).value_or(0) & attributeFolder))
        fail(QStringLiteral("move to the trash"), path, systemReason(ENOENT));
    requireASet(base, name, QStringLiteral("move to the trash"));
    // Where Qt finds no trash folder it can make, it takes the current folder, the working
    // folder, as the trash; a relative XDG_DATA_HOME, which the desktop's rules ignore, Qt
    // takes as a folder of the current one too. The user's trash folder is made first, and a
    // set that would land among the sets anyway is put back.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || QDir::isRelativePath(data) ||
        amongTheSets(data + QStringLiteral("/Trash"), base) ||
        !QDir().mkpath(data + QStringLiteral("/Trash")))
        fail(QStringLiteral("move to the trash"), path,
             QStringLiteral("there is no trash folder for it that can be written"));
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash))
        fail(QStringLiteral("move to the trash"), path,
             QStringLiteral("there is no trash for it that can be written"));
    // A real trash may lie in the working folder, but only in a hidden folder (the home
    // folder's .local/share/Trash, a disk's .Trash-1000), never where sets are listed.
    if (amongTheSets(inTrash, base)) {
        renameWithoutReplacing(inTrash, path);
        const QFileInfo file(inTrash);
        QFile::remove(
            file.dir().filePath(QStringLiteral("../info/%1.trashinfo").arg(file.fileName())));
        for (const char* folder : {"files", "info"})
            QDir(base).rmdir(QLatin1String(folder)); // only when Qt made them, and so empty
        fail(QStringLiteral("move to the trash"), path,
             QStringLiteral("the trash would be among the sets"));
    }
}

void renameSet(const QString& base, const QString& from, const QString& to)
{
    if (from == originalsName)
        fail(QStringLiteral("rename"), base + from,
             QStringLiteral("it holds your own screens, which are kept as they are"));
    if (fileAttributesIfPresent(base + from).value_or(0) & attributeFolder)
        requireASet(base, from, QStringLiteral("rename"));
    renameWithoutReplacing(base + from, base + to);
}

void replaceSetScreen(const QString& base, const QString& setFile, const QString& source)
{
    // A set folder that is a link may lead to what Bootvane keeps of the user's own screens:
    // their originals or the history. Those are never written.
    if (amongTheKeptScreens(QFileInfo(setFile).absolutePath(), base))
        fail(QStringLiteral("replace"), setFile,
             QStringLiteral("the set's folder leads to your own screens, which are kept as "
                            "they are"));
    // A folder of the user's among the sets (documents beside a logo.sys) is no set to change.
    const QString setFolder = QFileInfo(setFile).path();
    if (!setFolder.startsWith(base))
        fail(QStringLiteral("replace"), setFile,
             QStringLiteral("it lies outside the folder of the sets"));
    requireASet(base, setFolder.mid(base.size()), QStringLiteral("replace a screen in"));
    QFile file;
    openPlainFile(file, source, QStringLiteral("read"),
                  QStringLiteral("it is a device, pipe or socket, not a file"));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(QStringLiteral("read"), source, file.errorString());
    // A set's file that is a link (to the originals, say) is replaced itself: the screen is
    // the set's, and nothing outside the set changes.
    replaceFileAtomically(setFile, bytes, LinkHandling::ReplaceLink);
}

bool isValidSetName(const QString& name)
{
    return isPlainFolderName(name) && !isReservedSetName(name);
}

QString usableSetName(const QString& proposed)
{
    QString name;
    for (const QChar c : proposed)
        name += c.unicode() < 0x20 || c.unicode() == 0x7f || unusableInNames.contains(c)
                    ? QChar(QLatin1Char(' '))
                    : c;
    name = name.simplified();
    const auto atEnd = [](QChar c) { return c == QLatin1Char('.') || c == QLatin1Char(' '); };
    while (!name.isEmpty() &&
           (atEnd(name.front()) || atEnd(name.back()) || name.toUtf8().size() > largestNameBytes))
        name.remove(atEnd(name.front()) ? 0 : name.size() - 1, 1);
    return isValidSetName(name) ? name : QString();
}

bool makeSet(const QString& base, const QString& name,
             const std::array<QString, slotCount>& chosenFiles)
{
    // A dialog that could not find its working folder has no base; made from the bare name,
    // the set would land wherever the process happens to be.
    if (base.isEmpty())
        fail(QStringLiteral("make the set"), name,
             QStringLiteral("the working folder could not be found"));
    StagingFolder staging(base,
                          QStringLiteral("make the new set \"%1\" in").arg(displayFileName(name)));
    try {
        for (int i = 0; i < slotCount; ++i) {
            if (!chosenFiles[i].isEmpty())
                copyFile(chosenFiles[i],
                         staging.filePath(QLatin1String(screenSlots[i].setFileName)));
        }
        return staging.commitAs(base + name);
    } catch (const Error& error) {
        staging.rethrowInUsersWords(error);
    }
}

} // namespace bootvane
