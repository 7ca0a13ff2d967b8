#include "systemscreens.h"

#include "builtinscreen.h"
#include "error.h"
#include "filesystem.h"
#include "picture.h"
#include "screenformat.h"

#include <QFileInfo>

namespace bootvane {

namespace {

// Whether a set recorded the absence of the file at path: its folder is there, the file not.
bool recordedAsAbsent(const QString& path)
{
    return isAbsent(path) &&
           (fileAttributesIfPresent(QFileInfo(path).path()).value_or(0) & attributeFolder);
}

} // namespace

QImage loadSystemScreen(const Drive& drive, const ScreenSlot& slot, const QString& windows)
{
    return systemScreen(drive, drive.readFiles({drive.systemFile(slot)}).front(), slot, windows);
}

QImage systemScreen(const Drive& drive, const DriveFile& file, const ScreenSlot& slot,
                    const QString& windows)
{
    const QString dosPath = drive.systemFile(slot);
    if (file.bytes)
        return decodePicture(*file.bytes, drive.displayPath(dosPath));
    return builtInScreen(slot, windows, file.isFolder ? dosPath.toUpper() : QString());
}

QImage loadSetScreen(const QString& path, const ScreenSlot& slot, bool recordedAbsent,
                     const QString& windows)
{
    if (recordedAbsent && recordedAsAbsent(path))
        return builtInScreen(slot, windows);
    return loadPicture(path);
}

ScreenUpdate prepareScreenUpdate(const QString& path, const ScreenSlot& slot, bool recordedAbsent,
                                 const QString& windows, Writing writing)
{
    if (recordedAbsent && recordedAsAbsent(path))
        return {builtInScreen(slot, windows), {}, true};
    if (writing == Writing::ByteForByte) {
        // What the drive had goes back as it was, picture or not (cut short, say): only the
        // screen in use then shows nothing.
        const std::optional<QByteArray> bytes = readSmallFileNotLink(path, Drive::largestRead);
        if (!bytes)
            fail(QStringLiteral("read"), path,
                 QStringLiteral("it is no file of its own that can be read"));
        QImage shown;
        try {
            shown = decodePicture(*bytes, path);
        } catch (const Error&) {
        }
        return {shown, *bytes};
    }

    QByteArray bytesAsTheyAre;
    const QImage picture = loadPicture(path, &bytesAsTheyAre);
    if (!bytesAsTheyAre.isEmpty())
        return {picture, bytesAsTheyAre};
    QImage written;
    try {
        written = screenAsWritten(picture);
    } catch (const Error& error) {
        fail(error.operation(), path, error.reason());
    }
    // Read back, so that what the screen in use says of its file is true of what was written.
    const QByteArray bytes = encodeBmp(written);
    return {decodePicture(bytes, path), bytes};
}

void checkScreenChanges(const Drive& drive, const std::array<ScreenUpdate, slotCount>& updates)
{
    std::vector<std::pair<QString, FileChange>> changes;
    for (int i = 0; i < slotCount; ++i) {
        changes.emplace_back(drive.systemFile(screenSlots[size_t(i)]),
                             updates[size_t(i)].removesFile ? FileChange::Remove
                                                            : FileChange::Replace);
    }
    drive.checkChanges(changes);
}

void installScreens(Drive& drive, const std::array<ScreenUpdate, slotCount>& updates)
{
    checkScreenChanges(drive, updates);
    installCheckedScreens(drive, updates);
}

void installCheckedScreens(Drive& drive, const std::array<ScreenUpdate, slotCount>& updates)
{
    for (int i = 0; i < slotCount; ++i) {
        const QString dosPath = drive.systemFile(screenSlots[size_t(i)]);
        if (updates[size_t(i)].removesFile)
            drive.remove(dosPath);
        else
            drive.replace(dosPath, updates[size_t(i)].bytes);
    }
}

} // namespace bootvane
