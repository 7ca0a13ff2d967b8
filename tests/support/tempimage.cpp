#include "tempimage.h"

#include "picture.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <stdexcept>

namespace bootvane::testing {

namespace {

constexpr qint64 megabyte = 1024 * 1024;

void makeFileOfSize(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
        throw std::runtime_error("cannot make an image file");
}

} // namespace

QByteArray runTool(const QString& program, const QStringList& arguments, const QByteArray& input)
{
    // The test's own settings, whatever a test gives the program's.
    static const QTemporaryDir home;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : environment.keys()) {
        if (name.startsWith(QLatin1String("MTOOLS")))
            environment.remove(name);
    }
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("MTOOLSRC"), QStringLiteral("/dev/null"));
    environment.insert(QStringLiteral("MTOOLS_NO_VFAT"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw std::runtime_error((program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) +
                                  QStringLiteral(": ") +
                                  QString::fromLocal8Bit(process.readAllStandardError()))
                                     .toStdString());
    return process.readAllStandardOutput();
}

MtoolsCount::MtoolsCount() : m_path(qgetenv("PATH"))
{
    for (const char* tool : {"mattrib", "mcopy", "mdel", "mdir", "mmd", "mren"}) {
        QFile script(m_dir.filePath(QLatin1String(tool)));
        const QString real = QStandardPaths::findExecutable(QLatin1String(tool));
        if (real.isEmpty() || !script.open(QIODevice::WriteOnly) ||
            script.write("#!/bin/sh\necho >>'" +
                         QFile::encodeName(m_dir.filePath(QStringLiteral("count"))) + "'\nexec '" +
                         QFile::encodeName(real) + "' \"$@\"\n") < 0 ||
            !script.setPermissions(QFile::ReadOwner | QFile::ExeOwner))
            throw std::runtime_error("cannot count mtools commands");
    }
    qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_path);
}

MtoolsCount::~MtoolsCount()
{
    qputenv("PATH", m_path);
}

int MtoolsCount::commands() const
{
    QFile count(m_dir.filePath(QStringLiteral("count")));
    return count.open(QIODevice::ReadOnly) ? int(count.readAll().size()) : 0;
}

QString systemFileOnImage(int slot)
{
    static const char* names[] = {"::/LOGO.SYS", "::/WINDOWS/LOGOW.SYS", "::/WINDOWS/LOGOS.SYS"};
    return QLatin1String(names[slot]);
}

TempImage::TempImage(Layout layout) : m_path(drive.root() + QStringLiteral("/win95.img"))
{
    const QString sectors = QStringLiteral("2048");
    switch (layout) {
    case Layout::BareFat12:
        runTool(QStringLiteral("mkfs.fat"),
                {QStringLiteral("-C"), QStringLiteral("-F"), QStringLiteral("12"),
                 QStringLiteral("-n"), QStringLiteral("FLOPPY"), m_path, QStringLiteral("1440")});
        break;
    case Layout::SecondActive:
        makeFileOfSize(m_path, 64 * megabyte);
        runTool(QStringLiteral("sfdisk"), {QStringLiteral("-q"), m_path},
                "label: dos\nstart=2048, size=32768, type=6\nstart=34816, type=6, bootable\n");
        runTool(QStringLiteral("mkfs.fat"),
                {QStringLiteral("-F"), QStringLiteral("16"), QStringLiteral("--offset"), sectors,
                 QStringLiteral("-n"), QStringLiteral("OTHER"), m_path,
                 QString::number(16 * 1024)});
        m_offset = 34816 * 512;
        runTool(QStringLiteral("mkfs.fat"),
                {QStringLiteral("-F"), QStringLiteral("16"), QStringLiteral("--offset"),
                 QStringLiteral("34816"), QStringLiteral("-n"), QStringLiteral("WIN95"), m_path,
                 QString::number((64 * megabyte - m_offset) / 1024)});
        break;
    default: {
        const bool fat32 = layout == Layout::PartitionedFat32;
        makeFileOfSize(m_path, 64 * megabyte);
        runTool(QStringLiteral("sfdisk"), {QStringLiteral("-q"), m_path},
                fat32 ? "label: dos\nstart=2048, type=c, bootable\n"
                      : "label: dos\nstart=2048, type=6, bootable\n");
        m_offset = 2048 * 512;
        runTool(QStringLiteral("mkfs.fat"),
                {QStringLiteral("-F"), fat32 ? QStringLiteral("32") : QStringLiteral("16"),
                 // One sector a cluster: enough clusters for FAT32 on 64 MB.
                 QStringLiteral("-s"), fat32 ? QStringLiteral("1") : QStringLiteral("4"),
                 QStringLiteral("--offset"), sectors, QStringLiteral("-n"), QStringLiteral("WIN95"),
                 m_path, QString::number((64 * megabyte - m_offset) / 1024)});
        if (layout == Layout::FixedVhd) {
            // The footer of a fixed VHD: its cookie, and disk type 2 (fixed) at offset 60.
            QByteArray footer(512, '\0');
            footer.replace(0, 8, "conectix");
            qToBigEndian<quint32>(2, footer.data() + 60);
            QFile file(m_path);
            if (!file.open(QIODevice::Append) || file.write(footer) != footer.size())
                throw std::runtime_error("cannot write a VHD footer");
        }
    }
    }
    mtools(QStringLiteral("mmd"), {QStringLiteral("::/WINDOWS")});
}

QByteArray TempImage::mtools(const QString& tool, const QStringList& arguments) const
{
    return runTool(tool, QStringList{QStringLiteral("-i"),
                                     m_path + QStringLiteral("@@") + QString::number(m_offset)} +
                             arguments);
}

void TempImage::put(const QString& dosPath, const QByteArray& bytes) const
{
    const QString source = drive.root() + QStringLiteral("/put.tmp");
    writeFile(source, bytes);
    mtools(QStringLiteral("mcopy"), {QStringLiteral("-o"), source, dosPath});
    QFile::remove(source);
}

std::optional<QByteArray> TempImage::get(const QString& dosPath) const
{
    try {
        return mtools(QStringLiteral("mcopy"),
                      {QStringLiteral("-n"), dosPath, QStringLiteral("-")});
    } catch (const std::runtime_error& error) {
        if (QByteArray(error.what()).contains("not found"))
            return std::nullopt;
        throw;
    }
}

void TempImage::editLongName(const QString& start, const QString& from, const QString& to) const
{
    // The name's first entry (order 1) holds its start; the others stand before it, each of
    // attribute 0x0f, with characters at bytes 1, 14 and 28 on.
    QByteArray bytes = fileBytes(m_path);
    const QByteArray first =
        QByteArray("\x01", 1) + QByteArray(reinterpret_cast<const char*>(start.utf16()), 10);
    qsizetype entry = bytes.indexOf(first);
    if (entry < 0)
        throw std::runtime_error("no such long name");
    for (; entry >= 0 && bytes[entry + 11] == 0x0f; entry -= 32) {
        for (const int at : {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30}) {
            const qsizetype which =
                from.indexOf(QChar(qFromLittleEndian<char16_t>(bytes.constData() + entry + at)));
            if (which >= 0)
                qToLittleEndian<char16_t>(to[which].unicode(), bytes.data() + entry + at);
        }
    }
    writeFile(m_path, bytes);
}

void TempImage::writeSystemScreens() const
{
    for (int slot = 0; slot < 3; ++slot)
        put(systemFileOnImage(slot), encodeBmp(screenPicture(100 + slot)));
}

QString TempImage::fsckProblems() const
{
    // fsck.fat reads a volume from its first byte: drive C is copied out of the image.
    QFile image(m_path);
    const QString volume = drive.root() + QStringLiteral("/volume.img");
    QFile copy(volume);
    if (!image.open(QIODevice::ReadOnly) || !image.seek(m_offset) ||
        !copy.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot copy drive C out of the image");
    while (!image.atEnd())
        copy.write(image.read(megabyte));
    copy.close();
    QProcess fsck;
    fsck.start(QStringLiteral("fsck.fat"), {QStringLiteral("-n"), volume});
    fsck.waitForFinished(60000);
    QFile::remove(volume);
    if (fsck.exitStatus() == QProcess::NormalExit && fsck.exitCode() == 0)
        return {};
    return QString::fromLocal8Bit(fsck.readAllStandardOutput() + fsck.readAllStandardError());
}

} // namespace bootvane::testing
