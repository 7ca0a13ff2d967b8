#include "systemscreens.h"

#include "builtinscreen.h"
#include "drivec.h"
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

QImage loadSystemScreen(const ScreenSlot& slot)
{
    const QString path = driveCPath(QLatin1String(slot.systemFileShown));
    return isAbsent(path) ? builtInScreen(slot) : loadPicture(path);
}

QImage loadSetScreen(const QString& path, const ScreenSlot& slot, bool absentMeansBuiltIn)
{
    if (absentMeansBuiltIn && recordedAsAbsent(path))
        return builtInScreen(slot);
    return loadPicture(path);
}

ScreenUpdate prepareScreenUpdate(const QString& path, const ScreenSlot& slot,
                                 bool absentMeansBuiltIn)
{
    if (absentMeansBuiltIn && recordedAsAbsent(path))
        return {builtInScreen(slot), {}, true};

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
    return {written, encodeBmp(written)};
}

void installScreen(const ScreenSlot& slot, const ScreenUpdate& update)
{
    const QString path = driveCPath(QLatin1String(slot.systemFileWritten));
    if (update.removesFile)
        removeFile(path);
    else
        replaceFileAtomically(path, update.bytes);
}

bool startupScreenSwitchedOff()
{
    // MSDOS.SYS is a short text file; padding aside it holds a few dozen lines.
    constexpr qint64 largestMsdosSys = 64 * 1024;
    QString path;
    try {
        path = driveCPath(QStringLiteral("C:\\MSDOS.SYS"));
    } catch (const Error&) {
        return false;
    }
    const std::optional<QByteArray> text = readSmallFile(path, largestMsdosSys);
    if (!text)
        return false;

    bool inOptions = false;
    for (const QByteArray& rawLine : text->split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inOptions = line.compare("[Options]", Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (inOptions && equals > 0 &&
            line.left(equals).trimmed().compare("Logo", Qt::CaseInsensitive) == 0)
            return line.mid(equals + 1).trimmed() == "0";
    }
    return false;
}

} // namespace bootvane
