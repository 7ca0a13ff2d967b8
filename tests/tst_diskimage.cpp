// Drive C in an emulator's disk image, made here with sfdisk, mkfs.fat and mtools, and turned
// into every other format with qemu-img: every layout Bootvane opens, the images it refuses
// with what to do, an image in use, and the round of a new user on an image: first start,
// backup, apply, restore.

#include "builtinscreen.h"
#include "drivechoice.h"
#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "frmlogomain.h"
#include "imagedrive.h"
#include "picture.h"
#include "scripteddialogs.h"
#include "tempimage.h"
#include "windowdriver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

const QString otherFile = QStringLiteral("::/COMMAND.COM");

QString systemDosPath(int slot)
{
    return QLatin1String(screenSlots[size_t(slot)].systemFileWritten);
}

// A first sector with one partition entry of the given type, and the MBR's signature.
QByteArray mbrWithPartition(uchar type)
{
    QByteArray sector(512, '\0');
    sector[446 + 4] = char(type);
    qToLittleEndian<quint32>(2048, sector.data() + 446 + 8);
    sector[510] = char(0x55);
    sector[511] = char(0xaa);
    return sector + QByteArray(4096, '\0');
}

// Writes bytes as the file at dosPath of the volume at offset in another image than TempImage's.
void writeImageFile(const QString& image, qint64 offset, const QString& dosPath,
                    const QByteArray& bytes)
{
    runTool(QStringLiteral("mcopy"),
            {QStringLiteral("-o"), QStringLiteral("-i"),
             image + QStringLiteral("@@") + QString::number(offset), QStringLiteral("-"), dosPath},
            bytes);
}

// Starts daemon on the node blockdev as the export of a copy of Bootvane whose process is
// owner, with its pid file in the private folder it gives; with no owner, as a program of its
// own, its pid file in the test's folder.
QString startExport(const TempImage& image, qint64 owner, QProcess& daemon, const QString& blockdev)
{
    const QString root = image.drive.root() + QStringLiteral("/runtime/bootvane");
    const QString folder = owner ? root + QStringLiteral("/%1-x").arg(owner) : image.drive.root();
    if (!QDir().mkpath(folder) ||
        (owner &&
         !QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        throw std::runtime_error("cannot make a folder of an export");
    daemon.start(QStringLiteral("qemu-storage-daemon"),
                 {"--blockdev", blockdev, "--pidfile", folder + "/daemon.pid"});
    return daemon.waitForStarted() ? folder : QString();
}

// Skips a test of a format that QEMU opens on a machine where it cannot.
#define SKIP_WITHOUT_QEMU(format)                                                                  \
    if (!QString(format).isEmpty() && !QString(format).startsWith(QLatin1String("hd")) &&          \
        whyContainersCannotBeOpened())                                                             \
    QSKIP(qPrintable(*whyContainersCannotBeOpened()))

} // namespace

class TestDiskImage : public QObject {
    Q_OBJECT

private slots:
    void everyLayoutIsReadAndWrittenInPlace_data();
    void everyLayoutIsReadAndWrittenInPlace();
    void otherImagesAreRefusedSayingWhatToDo_data();
    void otherImagesAreRefusedSayingWhatToDo();
    void anImageInUseIsReadButNotWritten_data();
    void anImageInUseIsReadButNotWritten();
    void aWriteThatCannotBeDoneLeavesTheImageAsItWas_data();
    void aWriteThatCannotBeDoneLeavesTheImageAsItWas();
    void aNewUserOnAnImage_data();
    void aNewUserOnAnImage();
    void aCopyOfAnImageKeepsItsOwnScreens_data();
    void aCopyOfAnImageKeepsItsOwnScreens();
};

void TestDiskImage::everyLayoutIsReadAndWrittenInPlace_data()
{
    QTest::addColumn<TempImage::Layout>("layout");
    QTest::addColumn<QString>("format"); // as TempImage::convertTo() makes it
    QTest::newRow("MBR, FAT16") << TempImage::Layout::PartitionedFat16 << "";
    QTest::newRow("MBR, FAT32") << TempImage::Layout::PartitionedFat32 << "";
    QTest::newRow("a bare FAT12 volume") << TempImage::Layout::BareFat12 << "";
    QTest::newRow("a fixed VHD") << TempImage::Layout::FixedVhd << "";
    QTest::newRow("the active one of two FAT partitions") << TempImage::Layout::SecondActive << "";
    QTest::newRow("a dynamic VHD") << TempImage::Layout::PartitionedFat16 << "vpc";
    QTest::newRow("a qcow2 with a snapshot") << TempImage::Layout::PartitionedFat32 << "qcow2";
    QTest::newRow("a qcow2 overlay on a raw base") << TempImage::Layout::BareFat12 << "overlay";
    QTest::newRow("a VDI") << TempImage::Layout::SecondActive << "vdi";
    QTest::newRow("a VMDK") << TempImage::Layout::PartitionedFat16 << "vmdk";
    QTest::newRow("a VMDK with a flat extent")
        << TempImage::Layout::BareFat12 << "vmdk -o subformat=monolithicFlat";
    // QEMU looks for the base beside the file it is given: here another of its name. The link's
    // name is not UTF-8.
    QTest::newRow("a qcow2 overlay opened through a link beside another base")
        << TempImage::Layout::BareFat12 << "overlay, through a link";
    QTest::newRow("a VHDX") << TempImage::Layout::PartitionedFat16 << "vhdx";
    QTest::newRow("86Box's HDI") << TempImage::Layout::PartitionedFat16 << "hdi";
    QTest::newRow("86Box's HDX") << TempImage::Layout::BareFat12 << "hdx";
}

void TestDiskImage::everyLayoutIsReadAndWrittenInPlace()
{
    QFETCH(TempImage::Layout, layout);
    QFETCH(QString, format);
    SKIP_WITHOUT_QEMU(format);
    TempImage image(layout);
    image.writeSystemScreens();
    image.put(otherFile, "not a screen");
    image.mtools(QStringLiteral("mattrib"), {QStringLiteral("+h"), QStringLiteral("+r"),
                                             QStringLiteral("+s"), systemFileOnImage(1)});
    // The user's own mtools settings, in ~/.mtoolsrc, in MTOOLSRC and in the environment,
    // change nothing.
    const QByteArray home = qgetenv("HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", home);
        for (const char* name : {"MTOOLSRC", "MTOOLS_DOTTED_DIR", "MTOOLS_LOWER_CASE"})
            qunsetenv(name);
    });
    const QString settings = image.drive.root() + QStringLiteral("/.mtoolsrc");
    writeFile(settings, "MTOOLS_DOTTED_DIR=1\nmtools_lower_case=1\n");
    qputenv("HOME", QFile::encodeName(image.drive.root()));
    qputenv("MTOOLSRC", QFile::encodeName(settings));
    qputenv("MTOOLS_DOTTED_DIR", "1");
    qputenv("MTOOLS_LOWER_CASE", "1");
    const QByteArray attributes = image.mtools(QStringLiteral("mattrib"), {systemFileOnImage(1)});
    // What a copy of Bootvane killed while writing leaves: a whole new Startup Screen not yet
    // in place of the old one, and half of a new Waiting Screen.
    image.put(QStringLiteral("::/LOGO.BVN"), "whole");
    image.mtools(QStringLiteral("mdel"), {systemFileOnImage(0)});
    image.put(QStringLiteral("::/WINDOWS/LOGOW.BVW"), "half");
    const QString link = image.drive.root() + decodeFileName("/elsewhere/win95\xff.qcow2");
    if (!format.isEmpty())
        image.convertTo(format.section(QLatin1Char(','), 0, 0));
    if (format.endsWith(QLatin1String("link"))) {
        QVERIFY(QDir().mkpath(QFileInfo(link).path()));
        writeFile(QFileInfo(link).path() + QStringLiteral("/win95.img"), QByteArray(1 << 20, 0));
        QCOMPARE(
            ::symlink(encodeFileName(image.path()).constData(), encodeFileName(link).constData()),
            0);
    }

    std::unique_ptr<Drive> drive =
        openDrive(format.endsWith(QLatin1String("link")) ? link : image.path());
    drive->removeAbandonedWork({systemDosPath(0), systemDosPath(1), systemDosPath(2)});
    QCOMPARE(image.get(systemFileOnImage(0)), QByteArray("whole"));
    QVERIFY(!image.get(QStringLiteral("::/WINDOWS/LOGOW.BVW")));
    for (int slot = 1; slot < 3; ++slot)
        QCOMPARE(drive->read(systemDosPath(slot)), encodeBmp(screenPicture(100 + slot)));
    QCOMPARE(drive->read(QStringLiteral("C:\\Windows\\nothere.sys")), std::nullopt);

    for (int slot = 0; slot < 3; ++slot)
        drive->replace(systemDosPath(slot), encodeBmp(screenPicture(200 + slot)));
    for (int slot = 0; slot < 3; ++slot)
        QCOMPARE(image.get(systemFileOnImage(slot)), encodeBmp(screenPicture(200 + slot)));
    // 8.3 names as Windows finds them, no long names, the attributes kept, nothing else touched.
    const QByteArray listing =
        image.mtools(QStringLiteral("mdir"),
                     {QStringLiteral("-a"), QStringLiteral("::/"), QStringLiteral("::/WINDOWS")});
    QVERIFY2(listing.contains("LOGO     SYS    129078") && !listing.contains(".BV") &&
                 !listing.contains("logo.sys"),
             listing.constData());
    QCOMPARE(image.mtools(QStringLiteral("mattrib"), {systemFileOnImage(1)}), attributes);
    QCOMPARE(image.get(otherFile), QByteArray("not a screen"));
    drive->remove(systemDosPath(0));
    QVERIFY(!image.get(systemFileOnImage(0)));
    QCOMPARE(image.fsckProblems(), QString());

    // Moved or renamed, an image is the same drive.
    const QString identity = drive->identity();
    const QString moved = image.drive.root() + QStringLiteral("/renamed.hdd");
    QVERIFY(QFile::rename(image.path(), moved));
    QCOMPARE(openDrive(moved)->identity(), identity);
    drive.reset();
    QCOMPARE(image.leftovers(), QString());
}

void TestDiskImage::otherImagesAreRefusedSayingWhatToDo_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("said");
    const QByteArray zeros(8192, '\0');
    QByteArray hdx = zeros;
    qToLittleEndian<quint64>(0xd778a82044445459ull, hdx.data());
    QByteArray ntfs = mbrWithPartition(0x07);
    ntfs.replace(0, 11, "\xeb\x52\x90NTFS    ");
    // The test hides QEMU: a container is refused naming the package and the conversion.
    const QStringList convert{QStringLiteral("qemu-img convert -O raw"), "qemu-system-common",
                              "win95-raw.img"};                      // not over the image itself
    QByteArray overlay = QByteArray("QFI\xfb\0\0\0\x02", 8) + zeros; // its base's format unsaid
    qToBigEndian<quint64>(600, overlay.data() + 8);
    qToBigEndian<quint32>(8, overlay.data() + 16);
    overlay.replace(600, 8, "base.img");
    QByteArray ownBase = overlay; // win95.img, as the image is named, in the format recorded
    ownBase.replace(600, 9, "win95.img");
    qToBigEndian<quint32>(9, ownBase.data() + 16);
    qToBigEndian<quint64>(0xe2792aca00000005ull, ownBase.data() + 72);
    ownBase.replace(80, 5, "qcow2");
    QByteArray kdmv = QByteArray("KDMV") + zeros; // of no size, its descriptor at sector 1
    kdmv[28] = 1;
    kdmv.replace(512, 48, "# Disk DescriptorFile\nRW 8192 FLAT \"/dev/sda\" 0\n");
    QByteArray qedBase = ownBase; // a format whose own base QEMU would follow unchecked
    qToBigEndian<quint64>(0xe2792aca00000003ull, qedBase.data() + 72);
    qedBase.replace(80, 5, QByteArray("qed\0\0", 5));
    QByteArray nested = QByteArray("KDMV") + zeros; // its extent a descriptor again: itself
    nested[28] = 1;
    nested.replace(512, 49, "# Disk DescriptorFile\nRW 8192 SPARSE \"win95.img\"\n");
    QByteArray dataFile = QByteArray("QFI\xfb\0\0\0\x03", 8) + zeros;
    dataFile[79] = 4; // its data in a file of its own

    QTest::newRow("an empty file") << QByteArray() << QStringList{QStringLiteral("empty")};
    QTest::newRow("qcow2") << QByteArray("QFI\xfb") + zeros << convert + QStringList{"qcow2"};
    QTest::newRow("VirtualBox VDI")
        << QByteArray("<<< Oracle VM VirtualBox Disk Image >>>\n") + zeros
        << convert + QStringList{"VDI"};
    QTest::newRow("VMDK") << QByteArray("KDMV") + zeros << convert + QStringList{"VMDK"};
    QTest::newRow("dynamic VHD") << QByteArray("conectix") + zeros
                                 << convert + QStringList{"VHD", "subformat=fixed"};
    QTest::newRow("a differencing VHD")
        << QByteArray("conectix").leftJustified(60, '\0') + QByteArray("\0\0\0\x04", 4) + zeros
        << QStringList{"parent"};
    QTest::newRow("the footer of a fixed VHD alone")
        << QByteArray("conectix").leftJustified(63, '\0') + "\x02" + zeros.left(448)
        << QStringList{"footer"};
    QTest::newRow("a VMDK whose extent is a device")
        << "# Disk DescriptorFile\nRW 8192 FLAT \"/dev/sda\" 0\n" + zeros
        << QStringList{"/dev/sda"};
    QTest::newRow("a qcow2 overlay that leaves its base's format to guess")
        << overlay << QStringList{"qemu-img rebase -u -F raw", "base.img"};
    QTest::newRow("a VMDK whose extent line lies past its first 64 KB")
        << "# Disk DescriptorFile\n" + QByteArray(70000, '#') + "\nRW 8192 FLAT \"/dev/sda\" 0\n"
        << QStringList{"/dev/sda"};
    QTest::newRow("a binary VMDK whose own descriptor names a device")
        << kdmv << QStringList{"/dev/sda"};
    QTest::newRow("a VMDK of the changes to a parent disk")
        << "# Disk DescriptorFile\nparentFileNameHint=\"base.vmdk\"\n" + zeros
        << QStringList{"parent"};
    QTest::newRow("an older VMDK of the changes to a parent disk")
        << QByteArray("COWD") + zeros.left(508) + "parentFileNameHint=\"win95.img\"\n" + zeros
        << QStringList{"parent"};
    QTest::newRow("a qcow2 that is its own base") << ownBase << QStringList{"win95.img", "rebase"};
    QTest::newRow("a qcow2 over a base in a format QEMU reads on") << qedBase << QStringList{"qed"};
    QTest::newRow("a binary VMDK whose extent is a descriptor")
        << nested << QStringList{"win95.img", "descriptor"};
    QTest::newRow("a qcow2 with an external data file") << dataFile << QStringList{"separate"};
    QTest::newRow("an HDX holding no disk") << hdx << QStringList{"FAT"};
    QTest::newRow("a GPT disk") << mbrWithPartition(0xee) << QStringList{"GPT"};
    QTest::newRow("an NTFS partition") << mbrWithPartition(0x07) << QStringList{"NTFS"};
    QTest::newRow("an NTFS volume") << ntfs << QStringList{"NTFS"};
    QTest::newRow("a Linux partition only") << mbrWithPartition(0x83) << QStringList{"FAT"};
    QTest::newRow("a FAT partition beyond the end")
        << mbrWithPartition(0x06).left(1024) << QStringList{"end"};
    QTest::newRow("a text file") << QByteArray("C:\\LOGO.SYS\r\n").repeated(100)
                                 << QStringList{"FAT"};
}

void TestDiskImage::otherImagesAreRefusedSayingWhatToDo()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, said);
    TempDrive drive;
    const QString path = drive.root() + QStringLiteral("/win95.img");
    writeFile(path, bytes);
    const QByteArray programs = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(drive.root()));
    try {
        (void)openDrive(path);
        qputenv("PATH", programs);
        QFAIL("the image was opened");
    } catch (const Error& error) {
        qputenv("PATH", programs);
        QCOMPARE(error.path(), path);
        for (const QString& words : said)
            QVERIFY2(error.reason().contains(words), qPrintable(error.message()));
    }
    QCOMPARE(fileBytes(path), bytes);
}

void TestDiskImage::anImageInUseIsReadButNotWritten_data()
{
    QTest::addColumn<QString>("holder");
    QTest::newRow("an emulator with the image open for writing") << "writer";
    QTest::newRow("a flock") << "flock";
    QTest::newRow("a POSIX record lock, taken with the image open only to read") << "posix";
    QTest::newRow("QEMU, writing a qcow2 and holding its locks") << "qemu";
    // Between the two renames of its write: its LOGO.BVN is no dead copy's work.
    QTest::newRow("another copy of Bootvane, writing") << "copy";
    QTest::newRow("another copy of Bootvane, writing a qcow2") << "qemu of Bootvane";
    QTest::newRow("a POSIX write lock on a qcow2") << "posix write qcow2";
    QTest::newRow("an emulator writing the flat extent of a VMDK")
        << "writer vmdk -o subformat=monolithicFlat";
}

void TestDiskImage::anImageInUseIsReadButNotWritten()
{
    QFETCH(QString, holder);
    const QString format = holder.endsWith(QLatin1String("Flat")) ? holder.mid(7)
                           : holder.contains(QLatin1Char('q'))    ? "qcow2"
                                                                  : "";
    SKIP_WITHOUT_QEMU(format);
    TempImage image;
    image.writeSystemScreens();
    if (!format.isEmpty())
        image.convertTo(format);
    // Of a VMDK, the disk's own file is held, not the descriptor.
    const QString held = QString(image.path()).replace(QLatin1String(".vmdk"), "-flat.vmdk");
    const QByteArray before = fileBytes(held);
    const QByteArray file = QFile::encodeName(held);
    const bool writer = holder.startsWith(QLatin1String("writer")), byFlock = holder == "flock";
    const bool writeLock = holder.startsWith(QLatin1String("posix write"));
    const bool copy = holder == QLatin1String("copy");
    QProcess emulator;
    QString exported; // where another copy's daemon keeps its pid file
    qint64 pid = 0;
    QTemporaryDir wrappers;
    if (copy) {
        const QString between = wrappers.filePath(QStringLiteral("between"));
        writeFile(wrappers.filePath(QStringLiteral("mren")),
                  QStringLiteral("#!/bin/sh\ncase \"$*\" in *LOGO.BVN*LOGO.SYS) touch '%1'; sleep "
                                 "3;; esac\nexec '%2' \"$@\"\n")
                      .arg(between, QStandardPaths::findExecutable(QStringLiteral("mren")))
                      .toUtf8());
        QVERIFY(QFile::setPermissions(wrappers.filePath(QStringLiteral("mren")),
                                      QFile::ReadOwner | QFile::ExeOwner));
        image.drive.makeSet(QStringLiteral("A"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), wrappers.path() + QLatin1Char(':') +
                                                       environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("BOOTVANE_FAULT_IMAGE"), image.path());
        emulator.setProcessEnvironment(environment);
        emulator.setWorkingDirectory(image.drive.workDir());
        emulator.start(QStringLiteral(BOOTVANE_FAULTDRIVER),
                       {QStringLiteral("apply"), wrappers.filePath(QStringLiteral("report"))});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(between), 60000);
        pid = emulator.processId();
    } else if (holder.startsWith(QLatin1String("qemu"))) {
        exported = startExport(image, holder.endsWith("ane") ? ::getppid() : 0, emulator,
                               "driver=qcow2,node-name=disk,file.driver=file,file.filename=" +
                                   image.path());
        pid = emulator.processId();
    } else if ((pid = ::fork()) == 0) {
        // Only calls a forked copy of a threaded program may make.
        const int fd = ::open(file.constData(), writer || writeLock ? O_RDWR : O_RDONLY);
        struct flock lock {};
        lock.l_type = writeLock ? F_WRLCK : F_RDLCK;
        if (!writer && (byFlock ? ::flock(fd, LOCK_SH) : ::fcntl(fd, F_SETLK, &lock)))
            ::_exit(1);
        ::pause();
    }
    const auto reap = qScopeGuard([&] {
        if (emulator.processId() == 0 && ::kill(pid_t(pid), SIGKILL) == 0)
            ::waitpid(pid_t(pid), nullptr, 0);
    });
    QTRY_VERIFY(programWritingTo(held).has_value());

    std::unique_ptr<Drive> drive = openDrive(image.path());
    drive->removeAbandonedWork({systemDosPath(0), systemDosPath(1), systemDosPath(2)});
    QCOMPARE(drive->read(systemDosPath(2)), encodeBmp(screenPicture(102)));
    try {
        drive->replace(systemDosPath(0), "new");
        QFAIL("an image in use was written");
    } catch (const Error& error) {
        QVERIFY2(error.reason().contains(QString::number(pid)) &&
                     error.reason().contains(QLatin1String("Bootvane")) == holder.endsWith("ane"),
                 qPrintable(error.message()));
    }
    drive.reset();
    if (copy) {
        // It wrote all three, and said nothing went wrong.
        QVERIFY(emulator.waitForFinished(60000));
        QVERIFY2(!fileBytes(wrappers.filePath(QStringLiteral("report"))).contains("critical"),
                 fileBytes(wrappers.filePath(QStringLiteral("report"))).constData());
        for (int slot = 0; slot < 3; ++slot)
            QVERIFY(samePixels(decodePicture(*image.get(systemFileOnImage(slot)), {}),
                               screenPicture(int(qHash(QStringLiteral("A")) % 1000) + slot)));
        return;
    }
    emulator.kill();
    emulator.waitForFinished();
    QVERIFY(!holder.endsWith("ane") || QDir(exported).removeRecursively());
    QCOMPARE(fileBytes(held), before);
    QCOMPARE(image.leftovers(), QString());
}

void TestDiskImage::aWriteThatCannotBeDoneLeavesTheImageAsItWas_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("a full volume") << "full";
    QTest::newRow("no WINDOWS folder") << "no folder";
    QTest::newRow("a file WINDOWS") << "no folder, a file";
    QTest::newRow("the image gone") << "vanished";
    QTest::newRow("a read-only image file") << "read-only";
    // A folder of the user's is never read, written into, renamed or removed, not even at
    // start, and the error names it.
    QTest::newRow("a folder LOGOW.SYS") << "folder LOGOW.SYS";
    QTest::newRow("a folder LOGOW.BVW") << "folder LOGOW.BVW";
    QTest::newRow("a folder LOGOW.BVN") << "folder LOGOW.BVN";
    // mtools takes a name for a long name too: never for another file, nor read with it.
    QTest::newRow("a file whose long name is logow.sys") << "long name LOGOW.SYS";
    QTest::newRow("a file whose long name is logow.bvw") << "long name LOGOW.BVW";
    QTest::newRow("a file whose long name is logow.bvn") << "long name LOGOW.BVN";
}

void TestDiskImage::aWriteThatCannotBeDoneLeavesTheImageAsItWas()
{
    QFETCH(QString, fault);
    const QString named =
        fault.contains(QLatin1Char('.')) ? fault.section(QLatin1Char(' '), -1) : QString();
    const bool longName = fault.startsWith(QLatin1String("long name"));
    TempImage image(TempImage::Layout::BareFat12);
    image.writeSystemScreens();
    std::unique_ptr<Drive> drive = openDrive(image.path());
    if (fault == QLatin1String("full"))
        image.put(QStringLiteral("::/FILLER.BIN"), QByteArray(1000 * 1024, 'f'));
    else if (fault.startsWith(QLatin1String("no folder")))
        image.mtools(QStringLiteral("mdeltree"), {QStringLiteral("::/WINDOWS")});
    else if (fault == QLatin1String("read-only"))
        QVERIFY(QFile::setPermissions(image.path(), QFile::ReadOwner));
    if (fault == QLatin1String("no folder, a file"))
        image.put(QStringLiteral("::/WINDOWS"), "a file where the folder was");
    if (longName) {
        image.put(QStringLiteral("::/WINDOWS/%1q").arg(named.toLower()), "the only copy");
        image.editLongName(named.left(5).toLower(), QStringLiteral("q%1").arg(QChar(0)),
                           QStringLiteral("%1%2").arg(QChar(0), QChar(0xffff)));
    } else if (!named.isEmpty()) {
        if (named.endsWith(QLatin1String("SYS")))
            image.mtools(QStringLiteral("mdel"), {systemFileOnImage(1)});
        image.mtools(QStringLiteral("mmd"), {QStringLiteral("::/WINDOWS/") + named});
        image.put(QStringLiteral("::/WINDOWS/") + named + QStringLiteral("/LOGOW.SYS"),
                  encodeBmp(screenPicture(7)));
    }
    const QStringList everything{QStringLiteral("-a"), QStringLiteral("-/"), QStringLiteral("::/")};
    const QByteArray listing = image.mtools(QStringLiteral("mdir"), everything);
    drive->removeAbandonedWork({systemDosPath(0), systemDosPath(1), systemDosPath(2)});
    if (fault == QLatin1String("vanished"))
        QVERIFY(QFile::remove(image.path()));

    try {
        drive->replace(systemDosPath(1), encodeBmp(screenPicture(1)));
        QFAIL("the image was written");
    } catch (const Error& error) {
        QVERIFY2(error.path().contains(named), qPrintable(error.message()));
    }
    if (fault == QLatin1String("vanished"))
        return;
    if (longName && named.endsWith(QLatin1String("SYS")))
        QVERIFY_THROWS_EXCEPTION(Error, drive->readFiles({systemDosPath(1)}));
    else
        QCOMPARE(drive->readFiles({systemDosPath(1)}).front().isFolder,
                 named.endsWith(QLatin1String("SYS")));
    if (named.endsWith(QLatin1String("SYS")))
        QVERIFY_THROWS_EXCEPTION(Error, drive->remove(systemDosPath(1)));
    QCOMPARE(image.mtools(QStringLiteral("mdir"), everything), listing);
    if (!fault.startsWith(QLatin1String("no folder")) && !named.endsWith(QLatin1String("SYS")))
        QCOMPARE(image.get(systemFileOnImage(1)), encodeBmp(screenPicture(101)));
    QCOMPARE(image.fsckProblems(), QString());
}

// The round a new user makes: Bootvane started on Wine's drive in an empty folder, the image
// opened from the Drive menu, its screens saved and shown, a set of photos applied and the
// originals restored; the next start opens the image again. A container stays as it was made:
// small, its snapshot and base unchanged, and no export is left once Bootvane has ended. Also
// on the images users have: a folder of theirs where the Startup Screen would be, which is never
// touched, and a long name holding a line break, made with a disk editor.
void TestDiskImage::aNewUserOnAnImage_data()
{
    QTest::addColumn<QString>("format"); // as TempImage::convertTo() makes it
    QTest::addColumn<QString>("setup");
    QTest::newRow("a raw image") << ""
                                 << "";
    QTest::newRow("a dynamic VHD") << "vpc"
                                   << "";
    QTest::newRow("a qcow2 with a snapshot") << "qcow2"
                                             << "";
    QTest::newRow("a VDI") << "vdi"
                           << "";
    QTest::newRow("a qcow2 overlay on a raw base") << "overlay"
                                                   << "";
    QTest::newRow("a folder LOGO.SYS") << ""
                                       << "folder";
    QTest::newRow("a long name holding a line break") << ""
                                                      << "long name";
    QTest::newRow("a file whose long name is logo.sys") << ""
                                                        << "clash";
    QTest::newRow("a raw image, after a copy killed with its guard left an export") << ""
                                                                                    << "left";
}

void TestDiskImage::aNewUserOnAnImage()
{
    QFETCH(QString, format);
    QFETCH(QString, setup);
    SKIP_WITHOUT_QEMU(setup == QLatin1String("left") ? "qcow2" : format);
    const bool folder = setup == QLatin1String("folder");
    // Something else than the file stands where C:\LOGO.SYS is looked for.
    const bool taken = folder || setup == QLatin1String("clash");
    const int refusals = folder ? 2 : taken ? 1 : 0;
    const int clashLookups = taken && !folder ? 6 : 0;
    TempImage image;
    QProcess left; // the daemon of a copy whose process is gone, holding a file of its own
    if (setup == QLatin1String("left"))
        QTRY_VERIFY(QFile::exists(
            startExport(image, 999999999, left,
                        "driver=file,node-name=f,read-only=on,filename=" + image.path()) +
            "/daemon.pid"));
    image.writeSystemScreens();
    image.put(otherFile, "not a screen");
    if (!format.isEmpty())
        image.convertTo(format);
    const QString name = QFileInfo(image.path()).fileName();
    image.drive.writeSystemScreens();
    QImage photos[3];
    for (int slot = 0; slot < 3; ++slot) {
        photos[slot] = QImage(800, 600, QImage::Format_RGB32);
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x)
                photos[slot].setPixel(x, y, qRgb(x % 256, y % 256, (x * y + slot * 90) % 256));
    }
    image.drive.makeSet(QStringLiteral("Photos"), photos, "JPG");
    if (folder) {
        image.mtools(QStringLiteral("mdel"), {systemFileOnImage(0)});
        image.mtools(QStringLiteral("mmd"), {systemFileOnImage(0)});
        image.put(QStringLiteral("::/LOGO.SYS/LOGO.SYS"), encodeBmp(screenPicture(7)));
    } else if (taken) {
        image.mtools(QStringLiteral("mdel"), {systemFileOnImage(0)});
        image.put(QStringLiteral("::/logo.sysq"), "the only copy");
        image.editLongName(QStringLiteral("logo."), QStringLiteral("q%1").arg(QChar(0)),
                           QStringLiteral("%1%2").arg(QChar(0), QChar(0xffff)));
    }
    if (setup == QLatin1String("long name")) {
        // The line break, once listed, would begin a line that makes LOGOW.SYS a folder.
        image.put(QStringLiteral("::/WINDOWS/aqLOGOW    SYS kDIRj"), "a long name");
        image.editLongName(QStringLiteral("aqLOG"), QStringLiteral("qkj"), QStringLiteral("\n<>"));
        QCOMPARE(image.fsckProblems(), QString());
    }
    QList<std::optional<QByteArray>> own;
    for (int slot = 0; slot < 3; ++slot)
        own.append(taken && slot == 0 ? std::nullopt : image.get(systemFileOnImage(slot)));
    const QByteArray imageBefore = fileBytes(image.path());

    ScriptedDialogs dialogs;
    {
        frmLogoMain window;
        showAndWait(window);
        dialogs.boxes.clear();
        dialogs.answerFileDialog(image.path());
        MtoolsCount firstStart;
        control<QAction>(&window, "mnuOpenImage")->trigger();
        // No mtools command whose answer is known: MSDOS.SYS, the sweep, the screens read once
        // to tell the drive and show it, and again for the backup after the notice.
        // Where another entry answers to a name, each name of its folder is looked up alone.
        QVERIFY2(firstStart.commands() <= 10 + clashLookups,
                 qPrintable(QString::number(firstStart.commands())));

        QVERIFY(window.windowTitle().endsWith(name));
        QCOMPARE(dialogs.boxes.size(), 1); // the first-start notice, for this drive
        for (int slot = 0; slot < 3; ++slot) {
            if (taken && slot == 0)
                QVERIFY(isBuiltInScreen(imgCur(window, slot)->picture()) &&
                        (!folder ||
                         imgCur(window, slot)->toolTip().contains(QLatin1String("C:\\LOGO.SYS"))));
            else
                QVERIFY(samePixels(imgCur(window, slot)->picture(), screenPicture(100 + slot)));
        }
        clickNode(window, QStringLiteral("Originals"));
        for (int slot = 0; slot < 3; ++slot)
            QCOMPARE(readSmallFile(window.newPath(slot), Drive::largestRead), own[slot]);

        clickNode(window, QStringLiteral("Photos"));
        clickButton(&window, "cmdSetCur");
        if (!taken) {
            for (int slot = 0; slot < 3; ++slot)
                QCOMPARE(image.get(systemFileOnImage(slot))->size(), 129078);
        }
        QCOMPARE(image.fsckProblems(), QString());
        clickButton(&window, "cmdRestore");
        // Each refused before anything changed, naming the folder or the file.
        QCOMPARE(dialogs.boxes.size(), 1 + refusals);
        for (const ScriptedDialogs::Box& box : dialogs.boxes.mid(1))
            QVERIFY2(box.text.contains(QLatin1String("C:\\LOGO.SYS")), qPrintable(box.text));
    }
    if (folder)
        QCOMPARE(fileBytes(image.path()), imageBefore);
    for (int slot = taken ? 1 : 0; slot < 3; ++slot)
        QCOMPARE(image.get(systemFileOnImage(slot)), own[slot]);
    if (taken && !folder)
        QCOMPARE(image.get(QStringLiteral("::/LOGO~1.SYS")), QByteArray("the only copy"));
    QCOMPARE(image.get(otherFile), QByteArray("not a screen"));
    if (setup == QLatin1String("long name"))
        QCOMPARE(image.get(QStringLiteral("::/WINDOWS/AQ*")), QByteArray("a long name"));
    QCOMPARE(image.fsckProblems(), QString());

    MtoolsCount laterStart;
    std::unique_ptr<frmLogoMain> again = frmLogoMain::start(QString());
    QVERIFY2(laterStart.commands() <= 6 + clashLookups,
             qPrintable(QString::number(laterStart.commands())));
    // Open Disk Image starts where the image opened last is, the first time not among the sets.
    dialogs.answerFileDialog(QString());
    control<QAction>(again.get(), "mnuOpenImage")->trigger();
    QVERIFY(dialogs.fileRequests.constFirst().folder != image.drive.workDir());
    QCOMPARE(dialogs.fileRequests.constLast().folder, image.drive.root());
    QVERIFY(again->windowTitle().endsWith(name));
    QCOMPARE(dialogs.boxes.size(), 1 + refusals);
    again.reset();
    QCOMPARE(image.leftovers(), QString());
    if (!format.isEmpty()) {
        const QByteArray info = runTool(QStringLiteral("qemu-img"), {"info", "-U", image.path()});
        QVERIFY(
            info.contains(": " + (format == "overlay" ? QByteArray("qcow2") : format.toUtf8())));
        QVERIFY(QFileInfo(image.path()).size() < 16 * 1024 * 1024);
    }
}

void TestDiskImage::aCopyOfAnImageKeepsItsOwnScreens_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("moved") << "moved";
    QTest::newRow("copied, then changed in Windows") << "changed";
    QTest::newRow("copied as it was, then each applied") << "twins";
    QTest::newRow("copied as it was, a window on each") << "two windows";
}

// cp win95.img test.img gives two images with one FAT serial number and label. While they show
// the same screens they are one drive; once those differ each keeps its own originals and Undo,
// and nothing either showed is lost. A moved image is the same drive.
void TestDiskImage::aCopyOfAnImageKeepsItsOwnScreens()
{
    QFETCH(QString, how);
    TempImage image;
    image.writeSystemScreens();
    image.drive.makeSet(QStringLiteral("Sunset"));
    image.drive.makeSet(QStringLiteral("Dawn"));
    const QString copy = image.drive.root() + QStringLiteral("/test.img");
    auto screens = [](const QString& path) {
        QList<QByteArray> bytes;
        for (int slot = 0; slot < 3; ++slot)
            bytes.append(*openDrive(path)->read(systemDosPath(slot)));
        return bytes;
    };
    auto apply = [](frmLogoMain& window, const QString& set) {
        clickNode(window, set);
        clickButton(&window, "cmdSetCur");
    };
    ScriptedDialogs dialogs;
    const QList<QByteArray> own = screens(image.path());
    {
        frmLogoMain window(openDrive(image.path()));
        showAndWait(window);
        apply(window, QStringLiteral("Sunset"));
    }
    const QList<QByteArray> sunset = screens(image.path());
    dialogs.boxes.clear();
    if (how == QLatin1String("moved")) {
        QVERIFY(QFile::rename(image.path(), copy));
        frmLogoMain window(openDrive(copy));
        showAndWait(window);
        QCOMPARE(dialogs.boxes.size(), 0);
        control<QAction>(&window, "mnuUndo")->trigger();
        QCOMPARE(screens(copy), own);
        return;
    }
    QVERIFY(QFile::copy(image.path(), copy));
    if (how == QLatin1String("two windows")) {
        // One drive when both opened; told apart at the Undo that would take the other's step.
        frmLogoMain first(openDrive(image.path()));
        frmLogoMain second(openDrive(copy));
        showAndWait(first);
        apply(first, QStringLiteral("Dawn"));
        control<QAction>(&second, "mnuUndo")->trigger();
        QCOMPARE(screens(copy), own);
        control<QAction>(&first, "mnuUndo")->trigger();
        QCOMPARE(screens(image.path()), sunset);
        return;
    }
    QList<QByteArray> copyOwn = sunset;
    if (how == QLatin1String("changed")) {
        for (int slot = 0; slot < 3; ++slot)
            copyOwn[slot] = encodeBmp(screenPicture(60 + slot));
        for (int slot = 0; slot < 3; ++slot)
            writeImageFile(copy, image.offset(), systemFileOnImage(slot), copyOwn[slot]);
    }
    {
        frmLogoMain window(openDrive(copy));
        showAndWait(window);
        // A copy with screens of its own is told at its first start, and they are its originals.
        QCOMPARE(dialogs.boxes.size(), how == QLatin1String("changed") ? 1 : 0);
        if (!dialogs.boxes.isEmpty())
            QVERIFY2(dialogs.boxes[0].text.contains(QLatin1String("win95.img")),
                     qPrintable(dialogs.boxes[0].text));
        apply(window, QStringLiteral("Dawn"));
        if (how == QLatin1String("changed")) {
            clickButton(&window, "cmdRestore");
            QCOMPARE(screens(copy), copyOwn);
        }
    }
    dialogs.boxes.clear();
    frmLogoMain window(openDrive(image.path()));
    showAndWait(window);
    // The twin that still shows what both showed is told apart now, keeping what they shared.
    QCOMPARE(dialogs.boxes.size(), how == QLatin1String("twins") ? 1 : 0);
    control<QAction>(&window, "mnuUndo")->trigger();
    QCOMPARE(screens(image.path()), own);
    clickButton(&window, "cmdRestore");
    QCOMPARE(screens(image.path()), own);
    if (how == QLatin1String("twins")) {
        frmLogoMain other(openDrive(copy));
        control<QAction>(&other, "mnuUndo")->trigger();
        QCOMPARE(screens(copy), sunset);
    }
    QCOMPARE(dialogs.boxes.size(), how == QLatin1String("twins") ? 1 : 0);
}

QTEST_MAIN(TestDiskImage)
#include "tst_diskimage.moc"
