#include "tempdrive.h"

#include "picture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace bootvane::testing {

namespace {

const char* systemNames[] = {"logo.sys", "windows/logow.sys", "windows/logos.sys"};

} // namespace

TempDrive::TempDrive()
    : m_oldPrefix(qgetenv("WINEPREFIX")), m_hadPrefix(qEnvironmentVariableIsSet("WINEPREFIX")),
      m_oldCurrent(QDir::currentPath()), m_oldRuntime(qgetenv("XDG_RUNTIME_DIR"))
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot make a temporary folder");
    QDir root(m_dir.path());
    root.mkpath(QStringLiteral("prefix/dosdevices"));
    root.mkpath(QStringLiteral("prefix/drive_c/windows"));
    root.mkpath(QStringLiteral("work"));
    QFile::link(QStringLiteral("../drive_c"),
                root.filePath(QStringLiteral("prefix/dosdevices/c:")));
    qputenv("WINEPREFIX", QFile::encodeName(root.filePath(QStringLiteral("prefix"))));
    QDir::setCurrent(workDir());
    // The drive remembered for a working folder, and the desktop's trash, are the test's own;
    // the trash's folder is not there yet, as for a user who never deleted anything.
    root.mkpath(QStringLiteral("config"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       root.filePath(QStringLiteral("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    // So are the private folders where disk images are opened: what a test leaves there is seen.
    root.mkpath(QStringLiteral("runtime"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root.filePath(QStringLiteral("runtime"))));
}

TempDrive::~TempDrive()
{
    QDir::setCurrent(m_oldCurrent);
    if (m_hadPrefix)
        qputenv("WINEPREFIX", m_oldPrefix);
    else
        qunsetenv("WINEPREFIX");
    qunsetenv("XDG_DATA_HOME");
    if (m_oldRuntime.isEmpty())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
    // Tests may have made files unreadable or given them names Qt cannot spell; make sure the
    // folder can be removed.
    std::filesystem::remove_all(QFile::encodeName(m_dir.path()).toStdString());
}

QString TempDrive::root() const
{
    return m_dir.path();
}

QString TempDrive::driveC() const
{
    return m_dir.filePath(QStringLiteral("prefix/drive_c"));
}

QString TempDrive::workDir() const
{
    return m_dir.filePath(QStringLiteral("work"));
}

QString TempDrive::systemFile(int slot) const
{
    return driveC() + QLatin1Char('/') + QLatin1String(systemNames[slot]);
}

void TempDrive::writeSystemScreen(int slot, const QImage& picture) const
{
    writeFile(systemFile(slot), encodeBmp(picture));
}

void TempDrive::writeSystemScreens() const
{
    for (int slot = 0; slot < 3; ++slot)
        writeSystemScreen(slot, screenPicture(100 + slot));
}

void TempDrive::makeSet(const QString& name, const QImage pictures[3], const char* format) const
{
    QDir work(workDir());
    work.mkdir(name);
    const char* files[] = {"logo.sys", "logow.sys", "logos.sys"};
    for (int slot = 0; slot < 3; ++slot) {
        if (pictures[slot].isNull())
            continue;
        const QString path = work.filePath(name + QLatin1Char('/') + QLatin1String(files[slot]));
        if (QByteArray(format) == "BMP")
            writeFile(path, encodeBmp(pictures[slot]));
        else if (!pictures[slot].save(path, format))
            throw std::runtime_error("cannot write a test picture");
    }
}

void TempDrive::makeSet(const QString& name) const
{
    const int seed = int(qHash(name) % 1000);
    const QImage pictures[3] = {screenPicture(seed), screenPicture(seed + 1),
                                screenPicture(seed + 2)};
    makeSet(name, pictures);
}

QImage screenPicture(int seed, QSize size)
{
    QImage picture(size, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int i = 0; i < 256; ++i)
        palette.append(qRgb((i * 7 + seed * 13) & 0xff, (i * 3 + seed) & 0xff, (255 - i) & 0xff));
    picture.setColorTable(palette);
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = picture.scanLine(y);
        for (int x = 0; x < size.width(); ++x)
            line[x] = uchar((x + y * 3 + seed * 31) & 0xff);
    }
    return picture;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList entriesBelow(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries.append(QDir(folder).relativeFilePath(it.next()));
    entries.sort();
    return entries;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write a test file");
}

bool samePixels(const QImage& a, const QImage& b)
{
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

double psnr(const QImage& picture, const QImage& reference)
{
    const QImage a = picture.convertToFormat(QImage::Format_RGB32);
    const QImage b = reference.convertToFormat(QImage::Format_RGB32);
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                squares += d * d;
        }
    }
    const double meanSquare = squares / (3.0 * a.width() * a.height());
    return meanSquare == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / meanSquare);
}

} // namespace bootvane::testing
