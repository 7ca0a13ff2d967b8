#include "tempimage.h"

#include "picture.h"

#include <QCryptographicHash>
#include <QDir>
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

QByteArray checksum(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

bool isContainer(const QString& format)
{
    return !format.isEmpty() && format != QLatin1String("hdi") && format != QLatin1String("hdx");
}

void qemuImg(const QString& arguments, const QStringList& files)
{
    runTool(QStringLiteral("qemu-img"), arguments.split(QLatin1Char(' ')) + files);
}

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
                                     rawView() + QStringLiteral("@@") + QString::number(m_offset)} +
                             arguments);
}

QString TempImage::rawView() const
{
    if (!isContainer(m_format))
        return m_path;
    const QString view = drive.root() + QStringLiteral("/view.img");
    qemuImg(QStringLiteral("convert -U -O raw"), {m_path, view});
    return view;
}

void TempImage::convertTo(const QString& format)
{
    m_raw = m_path;
    m_before = checksum(m_raw);
    m_format = format;
    m_path = drive.root() + QStringLiteral("/win95.") +
             (format == QLatin1String("vpc")       ? QStringLiteral("vhd")
              : format == QLatin1String("overlay") ? QStringLiteral("qcow2")
                                                   : format.section(QLatin1Char(' '), 0, 0));
    if (!isContainer(format)) {
        // 86Box's headers: the HDI's size at offset 8, the HDX's signature; 512-byte sectors.
        const bool hdi = format == QLatin1String("hdi");
        QByteArray header(hdi ? 4096 : 40, '\0');
        if (hdi)
            qToLittleEndian<quint32>(4096, header.data() + 8);
        else
            qToLittleEndian<quint64>(0xd778a82044445459ull, header.data());
        qToLittleEndian<quint32>(512, header.data() + 16);
        writeFile(m_path, header + fileBytes(m_raw));
        m_offset += header.size();
    } else if (format == QLatin1String("overlay")) {
        qemuImg(QStringLiteral("create -q -f qcow2 -b win95.img -F raw"), {m_path});
    } else {
        qemuImg(QStringLiteral("convert -O ") + format +
                    (format == QLatin1String("vpc") ? QStringLiteral(" -o subformat=dynamic") : ""),
                {m_raw, m_path});
        if (format == QLatin1String("qcow2"))
            qemuImg(QStringLiteral("snapshot -c before"), {m_path});
    }
}

QString TempImage::leftovers() const
{
    const QString runtime = drive.root() + QStringLiteral("/runtime");
    QStringList left = QDir(runtime + QStringLiteral("/bootvane"))
                           .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QByteArray& mount : fileBytes(QStringLiteral("/proc/mounts")).split('\n')) {
        if (mount.contains(runtime.toUtf8()))
            left.append(QString::fromUtf8(mount));
    }
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray command = fileBytes(QStringLiteral("/proc/%1/cmdline").arg(pid));
        const QByteArray stat = fileBytes(QStringLiteral("/proc/%1/stat").arg(pid));
        if (command.contains(runtime.toUtf8()) && !stat.contains(") Z "))
            left.append(QString::fromUtf8(command).replace(QLatin1Char('\0'), QLatin1Char(' ')));
    }
    return left.join(QStringLiteral("; "));
}

void TempImage::put(const QString& dosPath, const QByteArray& bytes) const
{
    if (isContainer(m_format))
        throw std::runtime_error("a container is only read by the tests");
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
    // The name's first entry (order 1, also its last where the name is short) holds its start;
    // the others stand before it, each of attribute 0x0f, with characters at bytes 1, 14 and 28.
    QByteArray bytes = fileBytes(m_path);
    const QByteArray first(reinterpret_cast<const char*>(start.utf16()), 10);
    qsizetype entry = bytes.indexOf(first);
    while (entry > 0 && (bytes[entry - 1] & 0x1f) != 1)
        entry = bytes.indexOf(first, entry + 1);
    if (entry-- <= 0)
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
    QString problems;
    if (isContainer(m_format)) {
        try {
            qemuImg(QStringLiteral("check -U -q"), {m_path});
        } catch (const std::runtime_error& error) {
            if (!QByteArray(error.what()).contains("does not support checks")) // a VHD
                problems += QString::fromLocal8Bit(error.what());
        }
        const QString snapshot = drive.root() + QStringLiteral("/snapshot.img");
        if (m_format == QLatin1String("qcow2"))
            qemuImg(QStringLiteral("convert -U -l snapshot.name=before -O raw"),
                    {m_path, snapshot});
        if (checksum(m_format == QLatin1String("qcow2") ? snapshot : m_raw) != m_before &&
            (m_format == QLatin1String("qcow2") || m_format == QLatin1String("overlay")))
            problems += QStringLiteral("the snapshot or the base image changed; ");
    }
    // fsck.fat reads a volume from its first byte: drive C is copied out of the image.
    QFile image(rawView());
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
        return problems;
    return problems +
           QString::fromLocal8Bit(fsck.readAllStandardOutput() + fsck.readAllStandardError());
}

} // namespace bootvane::testing
