#include "screensource.h"

#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "picture.h"
#include "setstore.h"
#include "systemscreens.h"

#include <QDir>
#include <QTemporaryDir>

namespace bootvane {

namespace {

QString noFileFor(const ScreenSlot& slot, const QString& where, const QString& windows)
{
    return QStringLiteral("%1 has no %2 (%3)")
        .arg(where, QLatin1String(slot.uiName),
             QString::fromLatin1(slot.builtInBehaviour).arg(windows));
}

} // namespace

ScreenSource ScreenSource::file(const QString& path)
{
    ScreenSource source;
    source.m_kind = Kind::File;
    source.m_path = path;
    return source;
}

ScreenSource ScreenSource::contents(const QByteArray& bytes, const QString& name)
{
    ScreenSource source;
    source.m_kind = Kind::Contents;
    source.m_path = name;
    source.m_bytes = bytes;
    return source;
}

ScreenSource ScreenSource::missing(const QString& why)
{
    ScreenSource source;
    source.m_why = why;
    return source;
}

QImage ScreenSource::picture() const
{
    switch (m_kind) {
    case Kind::File:
        return loadPicture(m_path);
    case Kind::Contents:
        return decodePicture(m_bytes, m_path);
    case Kind::Missing:
        break;
    }
    fail(QStringLiteral("read the screen"), QString(), m_why);
}

QString ScreenSource::fileIn(const QString& folder, const ScreenSlot& slot) const
{
    switch (m_kind) {
    case Kind::File:
        return m_path;
    case Kind::Contents: {
        const QString path = folder + QLatin1Char('/') + QLatin1String(slot.setFileName);
        writeNewFile(path, m_bytes);
        return path;
    }
    case Kind::Missing:
        break;
    }
    fail(QStringLiteral("make the set"), QString(), m_why);
}

ScreenSource setScreenSource(const QString& path, const ScreenSlot& slot, bool recordedAbsent,
                             const QString& windows)
{
    if (recordedAbsent && isAbsent(path))
        return ScreenSource::missing(noFileFor(slot, QStringLiteral("the set"), windows));
    return ScreenSource::file(path);
}

SetSources chosenSources(const std::array<QString, slotCount>& files)
{
    SetSources sources;
    for (int i = 0; i < slotCount; ++i) {
        sources[i] = files[i].isEmpty()
                         ? ScreenSource::missing(
                               QStringLiteral("no %1 is chosen in \"Make Your New Set\" yet")
                                   .arg(QLatin1String(screenSlots[i].uiName)))
                         : ScreenSource::file(files[i]);
    }
    return sources;
}

SetSources sourcesInUse(const Drive& drive, const QString& windows)
{
    SetSources sources;
    const std::vector<DriveFile> files = drive.readFiles(systemFiles(drive));
    for (int i = 0; i < slotCount; ++i) {
        const QString dosPath = drive.systemFile(screenSlots[i]);
        const std::optional<QByteArray>& bytes = files[size_t(i)].bytes;
        sources[i] = bytes ? ScreenSource::contents(*bytes, drive.displayPath(dosPath))
                           : ScreenSource::missing(
                                 noFileFor(screenSlots[i], QStringLiteral("drive C"), windows));
    }
    return sources;
}

bool makeSetFrom(const QString& base, const QString& name, const SetSources& screens)
{
    for (const ScreenSource& screen : screens) {
        if (screen.isMissing())
            fail(QStringLiteral("make the new set"), name,
                 QStringLiteral("a set needs a file for each screen, and ") + screen.whyMissing());
    }
    // Bytes become files of their own first, so that makeSet copies every screen alike; the
    // set itself is still made in its staging folder, whole or not at all.
    QTemporaryDir held(QDir::tempPath() + QStringLiteral("/bootvane-XXXXXX"));
    if (!held.isValid())
        fail(QStringLiteral("make the new set \"%1\" in").arg(displayFileName(name)),
             QDir::tempPath(), held.errorString());
    std::array<QString, slotCount> files;
    for (int i = 0; i < slotCount; ++i)
        files[i] = screens[i].fileIn(held.path(), screenSlots[i]);
    return makeSet(base, name, files);
}

} // namespace bootvane
