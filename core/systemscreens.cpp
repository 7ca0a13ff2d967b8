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
    const QString dosPath = QLatin1String(slot.systemFileShown);
    const std::optional<QByteArray> bytes = drive.read(dosPath);
    return bytes ? decodePicture(*bytes, drive.displayPath(dosPath)) : builtInScreen(slot, windows);
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
        QByteArray bytes;
        const QImage picture = loadPictureWithBytes(path, bytes);
        return {picture, bytes};
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
    for (int i = 0; i < slotCount; ++i) {
        drive.checkChange(QLatin1String(screenSlots[size_t(i)].systemFileWritten),
                          updates[size_t(i)].removesFile ? FileChange::Remove
                                                         : FileChange::Replace);
    }
}

void installScreens(Drive& drive, const std::array<ScreenUpdate, slotCount>& updates)
{
    checkScreenChanges(drive, updates);
    installCheckedScreens(drive, updates);
}

void installCheckedScreens(Drive& drive, const std::array<ScreenUpdate, slotCount>& updates)
{
    for (int i = 0; i < slotCount; ++i) {
        const QString dosPath = QLatin1String(screenSlots[size_t(i)].systemFileWritten);
        if (updates[size_t(i)].removesFile)
            drive.remove(dosPath);
        else
            drive.replace(dosPath, updates[size_t(i)].bytes);
    }
}

MsdosSys parseMsdosSys(const QByteArray& text)
{
    MsdosSys facts;
    bool inOptions = false;
    bool logoSeen = false;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inOptions = line.compare("[Options]", Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inOptions || equals <= 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (!logoSeen && key.compare("Logo", Qt::CaseInsensitive) == 0) {
            logoSeen = true;
            facts.startupScreenOff = value == "0";
        } else if (key.compare("WinVer", Qt::CaseInsensitive) == 0) {
            // 4.00 is Windows 95 (it names no version at all), 4.10 Windows 98, 4.90 ME.
            if (value.startsWith("4.10"))
                facts.windows = QStringLiteral("Windows 98");
            else if (value.startsWith("4.90"))
                facts.windows = QStringLiteral("Windows ME");
        }
    }
    return facts;
}

MsdosSys readMsdosSys(const Drive& drive)
{
    // MSDOS.SYS is a short text file; padding aside it holds a few dozen lines.
    constexpr qint64 largestMsdosSys = 64 * 1024;
    std::optional<QByteArray> text;
    try {
        text = drive.read(QStringLiteral("C:\\MSDOS.SYS"), largestMsdosSys);
    } catch (const Error&) {
        return {};
    }
    if (!text)
        return {};
    return parseMsdosSys(*text);
}

} // namespace bootvane
