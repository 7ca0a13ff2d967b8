#include "drive.h"

#include "error.h"

namespace bootvane {

const MsdosSys& Drive::msdosSys() const
{
    return m_msdosSys ? *m_msdosSys : rereadMsdosSys();
}

const MsdosSys& Drive::rereadMsdosSys() const
{
    // MSDOS.SYS is a short text file; padding aside it holds a few dozen lines.
    constexpr qint64 largestMsdosSys = 64 * 1024;
    std::optional<QByteArray> text;
    try {
        text = read(QStringLiteral("C:\\MSDOS.SYS"), largestMsdosSys);
    } catch (const Error&) {
    }
    m_msdosSys = text ? parseMsdosSys(*text) : MsdosSys();
    return *m_msdosSys;
}

QString Drive::systemFile(const ScreenSlot& slot) const
{
    // C:\logo.sys lies in the root, whatever folder Windows is in.
    if (&slot == &screenSlots[0])
        return QLatin1String(slot.systemFileWritten);
    const MsdosSys& facts = msdosSys();
    if (!facts.windowsFolderProblem.isEmpty())
        fail(QStringLiteral("find the %1 through").arg(QLatin1String(slot.uiName)),
             displayPath(QStringLiteral("C:\\MSDOS.SYS")), facts.windowsFolderProblem);
    if (facts.windowsFolder == QLatin1String(defaultWindowsFolder))
        return QLatin1String(slot.systemFileWritten);
    return dosPathIn(facts.windowsFolder, QLatin1String(slot.setFileName));
}

QStringList systemFiles(const Drive& drive)
{
    QStringList files;
    for (const ScreenSlot& slot : screenSlots)
        files.append(drive.systemFile(slot));
    return files;
}

} // namespace bootvane
