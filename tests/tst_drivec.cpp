// Drive C as Wine maps it: DOS names reach the files on disk in whatever case they are
// spelt there, and a drive that is not mapped is reported with the link that is missing.

#include "drivechoice.h"
#include "error.h"
#include "fatmount.h"
#include "filesystem.h"
#include "folderdrive.h"
#include "originals.h"
#include "paths.h"
#include "picture.h"
#include "systemscreens.h"
#include "tempdrive.h"
#include "tempimage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Sets or unsets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::optional<QByteArray>& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class TestDriveC : public QObject {
    Q_OBJECT

private slots:
    void namesReachTheFilesInAnyCase_data();
    void namesReachTheFilesInAnyCase();
    void theExactSpellingIsPreferred();
    void savingReplacesTheFileInItsOwnCase_data();
    void savingReplacesTheFileInItsOwnCase();
    void aDriveThatIsAFolderWorks();
    void anUnmappedDriveNamesTheLink_data();
    void anUnmappedDriveNamesTheLink();
    void withoutWineprefixTheHomePrefixIsUsed_data();
    void withoutWineprefixTheHomePrefixIsUsed();
    void otherDrivesAreRefused();
    void theWindowsFolderIsWhereMsdosSysSays_data();
    void theWindowsFolderIsWhereMsdosSysSays();
    void aFatVolumeIsKnownByItsOwnName_data();
    void aFatVolumeIsKnownByItsOwnName();
};

void TestDriveC::namesReachTheFilesInAnyCase_data()
{
    QTest::addColumn<QString>("dosPath");
    QTest::addColumn<QString>("native"); // relative to drive C
    QTest::newRow("lower case") << "c:\\windows\\logow.sys"
                                << "WINDOWS/LOGOW.SYS";
    QTest::newRow("capitalised") << "C:\\Windows\\logow.sys"
                                 << "WINDOWS/LOGOW.SYS";
    QTest::newRow("as on disk") << "C:\\WINDOWS\\LOGOW.SYS"
                                << "WINDOWS/LOGOW.SYS";
    QTest::newRow("mixed") << "c:\\wInDoWs\\LoGoS.sYs"
                           << "WINDOWS/Logos.Sys";
    QTest::newRow("root file") << "c:\\logo.sys"
                               << "LOGO.SYS";
    QTest::newRow("a file still to be made keeps its name") << "C:\\Windows\\New.sys"
                                                            << "WINDOWS/New.sys";
    QTest::newRow("in a folder still to be made") << "C:\\Boot\\Logo.sys"
                                                  << "Boot/Logo.sys";
    QTest::newRow("doubled separators") << "C:\\\\Windows\\\\logow.sys"
                                        << "WINDOWS/LOGOW.SYS";
}

void TestDriveC::namesReachTheFilesInAnyCase()
{
    QFETCH(QString, dosPath);
    QFETCH(QString, native);
    TempDrive drive;
    QVERIFY(QDir(drive.driveC()).rename(QStringLiteral("windows"), QStringLiteral("WINDOWS")));
    writeFile(drive.driveC() + QStringLiteral("/WINDOWS/LOGOW.SYS"), "waiting");
    writeFile(drive.driveC() + QStringLiteral("/WINDOWS/Logos.Sys"), "shutoff");
    writeFile(drive.driveC() + QStringLiteral("/LOGO.SYS"), "startup");

    const QString resolved = FolderDrive::wine()->nativePath(dosPath);
    const QString expected =
        QFileInfo(drive.driveC()).canonicalFilePath() + QLatin1Char('/') + native;
    QCOMPARE(resolved, expected);
}

void TestDriveC::theExactSpellingIsPreferred()
{
    TempDrive drive;
    writeFile(drive.driveC() + QStringLiteral("/LOGO.SYS"), "upper");
    writeFile(drive.driveC() + QStringLiteral("/logo.sys"), "lower");
    QCOMPARE(fileBytes(FolderDrive::wine()->nativePath(QStringLiteral("c:\\logo.sys"))),
             QByteArray("lower"));
    QCOMPARE(fileBytes(FolderDrive::wine()->nativePath(QStringLiteral("C:\\LOGO.SYS"))),
             QByteArray("upper"));
}

void TestDriveC::savingReplacesTheFileInItsOwnCase_data()
{
    QTest::addColumn<QString>("dosPath");
    QTest::addColumn<QString>("onDisk");
    QTest::newRow("startup screen") << "C:\\logo.sys"
                                    << "LOGO.SYS";
    QTest::newRow("waiting screen") << "C:\\Windows\\logow.sys"
                                    << "windows/LogoW.sys";
    QTest::newRow("shutoff screen") << "C:\\Windows\\logos.sys"
                                    << "windows/LOGOS.SYS";
}

void TestDriveC::savingReplacesTheFileInItsOwnCase()
{
    QFETCH(QString, dosPath);
    QFETCH(QString, onDisk);
    TempDrive drive;
    const QString existing = drive.driveC() + QLatin1Char('/') + onDisk;
    writeFile(existing, encodeBmp(screenPicture(1)));

    savePicture(screenPicture(2), FolderDrive::wine()->nativePath(dosPath));

    const QString folder = QFileInfo(existing).absolutePath();
    QCOMPARE(entries(folder).filter(QStringLiteral(".sys"), Qt::CaseInsensitive),
             QStringList{QFileInfo(existing).fileName()});
    QCOMPARE(fileBytes(existing), encodeBmp(screenPicture(2)));
}

void TestDriveC::aDriveThatIsAFolderWorks()
{
    TempDrive drive;
    const QString link = drive.root() + QStringLiteral("/prefix/dosdevices/c:");
    QVERIFY(QFile::remove(link));
    QVERIFY(QDir().mkdir(link));
    writeFile(link + QStringLiteral("/LOGO.SYS"), "x");
    QCOMPARE(fileBytes(FolderDrive::wine()->nativePath(QStringLiteral("c:\\logo.sys"))),
             QByteArray("x"));
}

void TestDriveC::anUnmappedDriveNamesTheLink_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty prefix") << "empty";
    QTest::newRow("no dosdevices folder") << "nodosdevices";
    QTest::newRow("dangling link") << "dangling";
    QTest::newRow("prefix missing") << "missing";
}

void TestDriveC::anUnmappedDriveNamesTheLink()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString prefix = dir.path();
    if (kind == QLatin1String("nodosdevices")) {
        QVERIFY(QDir(prefix).mkdir(QStringLiteral("drive_c")));
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QDir(prefix).mkdir(QStringLiteral("dosdevices")));
        QVERIFY(
            QFile::link(QStringLiteral("../drive_c"), prefix + QStringLiteral("/dosdevices/c:")));
    } else if (kind == QLatin1String("missing")) {
        prefix += QStringLiteral("/nowhere");
    }
    ScopedEnvironment environment("WINEPREFIX", QFile::encodeName(prefix));
    const QString link = prefix + QStringLiteral("/dosdevices/c:");
    QCOMPARE(FolderDrive::wine()->mapping(), link);
    try {
        FolderDrive::wine()->nativePath(QStringLiteral("C:\\logo.sys"));
        QFAIL("an unmapped drive C was resolved");
    } catch (const Error& error) {
        QCOMPARE(error.path(), link);
        QVERIFY2(error.message().contains(QLatin1Char('"') + link + QLatin1Char('"')),
                 qPrintable(error.message()));
        QVERIFY2(error.reason().contains(QLatin1String("not mapped")), qPrintable(error.message()));
        // A link that leads nowhere names where it leads: most often a disk not mounted.
        if (kind == QLatin1String("dangling"))
            QVERIFY2(error.reason().contains(QLatin1String("\"../drive_c\"")),
                     qPrintable(error.message()));
    }
}

void TestDriveC::withoutWineprefixTheHomePrefixIsUsed_data()
{
    QTest::addColumn<bool>("setButEmpty");
    QTest::newRow("unset") << false;
    QTest::newRow("set but empty") << true;
}

void TestDriveC::withoutWineprefixTheHomePrefixIsUsed()
{
    QFETCH(bool, setButEmpty);
    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral(".wine/dosdevices"));
    QDir(home.path()).mkpath(QStringLiteral(".wine/drive_c/windows"));
    QVERIFY(QFile::link(QStringLiteral("../drive_c"),
                        home.path() + QStringLiteral("/.wine/dosdevices/c:")));
    writeFile(home.path() + QStringLiteral("/.wine/drive_c/windows/LOGOW.SYS"), "home");

    ScopedEnvironment homeVariable("HOME", QFile::encodeName(home.path()));
    ScopedEnvironment prefix("WINEPREFIX",
                             setButEmpty ? std::optional<QByteArray>(QByteArray()) : std::nullopt);
    QCOMPARE(FolderDrive::wine()->mapping(), home.path() + QStringLiteral("/.wine/dosdevices/c:"));
    QCOMPARE(fileBytes(FolderDrive::wine()->nativePath(QStringLiteral("c:\\windows\\logow.sys"))),
             QByteArray("home"));
}

void TestDriveC::otherDrivesAreRefused()
{
    TempDrive drive;
    for (const QString& path : {QStringLiteral("D:\\logo.sys"), QStringLiteral("\\logo.sys"),
                                QStringLiteral("logo.sys")}) {
        try {
            FolderDrive::wine()->nativePath(path);
            QFAIL(qPrintable(path + QStringLiteral(" was taken for a file on drive C")));
        } catch (const Error& error) {
            QCOMPARE(error.path(), path);
        }
    }
}

void TestDriveC::theWindowsFolderIsWhereMsdosSysSays_data()
{
    QTest::addColumn<QByteArray>("msdosSys");
    QTest::addColumn<QString>("folder"); // where the Waiting and Shutoff screens go; "" refused
    QTest::addColumn<bool>("onImage");
    const QByteArray paths = "[Paths]\r\nWinBootDir=C:\\WIN95\r\nHostWinBootDrv=C\r\n";
    QTest::newRow("none named") << QByteArray("[Options]\r\nLogo=1\r\n") << "WINDOWS" << false;
    QTest::newRow("WinDir") << "[Paths]\r\nWinDir=C:\\WIN95\\\r\n" + paths << "WIN95" << false;
    QTest::newRow("WinBootDir alone") << paths << "WIN95" << false;
    QTest::newRow("a disk image") << QByteArray("[paths]\nwindir=c:\\win98\n") << "WIN98" << true;
    QTest::newRow("on drive D") << QByteArray("[Paths]\nWinDir=D:\\WINDOWS\n") << "" << false;
    QTest::newRow("climbing out") << QByteArray("[Paths]\nWinDir=C:\\..\\..\n") << "" << false;
    QTest::newRow("too long to be read")
        << "[Paths]\nWinDir=C:\\WIN95\n" + QByteArray(70000, ';') << "" << false;
    QTest::newRow("a wildcard") << QByteArray("[Paths]\nWinDir=C:\\WIN*\n") << "" << true;
    QTest::newRow("a caret, beside a folder WINA")
        << QByteArray("[Paths]\nWinDir=C:\\WIN^\n") << "WIN^" << true;
}

// Windows looks for its Waiting and Shutoff screens in the folder it is installed in; a
// folder that cannot be told is refused rather than written where Windows never looks.
void TestDriveC::theWindowsFolderIsWhereMsdosSysSays()
{
    QFETCH(QByteArray, msdosSys);
    QFETCH(QString, folder);
    QFETCH(bool, onImage);
    std::optional<TempImage> image;
    std::optional<TempDrive> wine;
    const QString target = folder.isEmpty() ? QStringLiteral("WIN95") : folder;
    if (onImage) {
        image.emplace();
        image->writeSystemScreens();
        image->put(QStringLiteral("::/MSDOS.SYS"), msdosSys);
        if (target != QLatin1String("WINDOWS"))
            image->mtools(QStringLiteral("mmd"), {QStringLiteral("::/") + target});
        if (target.endsWith(QLatin1Char('^')))
            image->mtools(QStringLiteral("mmd"), {QStringLiteral("::/WINA")});
        for (int slot = 1; slot < 3; ++slot)
            image->put(
                QStringLiteral("::/%1/%2")
                    .arg(target,
                         QString::fromLatin1(screenSlots[size_t(slot)].setFileName).toUpper()),
                encodeBmp(screenPicture(60 + slot)));
    } else {
        wine.emplace();
        wine->writeSystemScreens();
        writeFile(wine->driveC() + QStringLiteral("/MSDOS.SYS"), msdosSys);
        QVERIFY(QDir(wine->driveC()).mkpath(target.toLower()));
        for (int slot = 1; slot < 3; ++slot)
            writeFile(wine->driveC() + QLatin1Char('/') + target.toLower() + QLatin1Char('/') +
                          QLatin1String(screenSlots[size_t(slot)].setFileName),
                      encodeBmp(screenPicture(60 + slot)));
    }
    const std::unique_ptr<Drive> drive =
        onImage ? openDrive(image->path()) : std::unique_ptr<Drive>(FolderDrive::wine());
    std::array<ScreenUpdate, slotCount> updates;
    for (int slot = 0; slot < 3; ++slot)
        updates[size_t(slot)].bytes = encodeBmp(screenPicture(80 + slot));
    const auto bytesIn = [&](const QString& inFolder, int slot) -> std::optional<QByteArray> {
        const QString name = QLatin1String(screenSlots[size_t(slot)].setFileName);
        if (image)
            return image->get(QStringLiteral("::/%1/%2").arg(inFolder, name.toUpper()));
        return readSmallFile(wine->driveC() + QLatin1Char('/') + inFolder.toLower() +
                                 QLatin1Char('/') + name,
                             1 << 20);
    };
    const std::optional<QByteArray> defaultWaiting = bytesIn(QStringLiteral("WINDOWS"), 1);

    if (folder.isEmpty()) {
        try {
            installScreens(*drive, updates);
            QFAIL("screens were written where Windows may not look");
        } catch (const Error& error) {
            QVERIFY2(error.path().contains(QLatin1String("MSDOS.SYS"), Qt::CaseInsensitive),
                     qPrintable(error.message()));
        }
        QCOMPARE(drive->read(QStringLiteral("C:\\logo.sys")), encodeBmp(screenPicture(100)));
    } else {
        const QString base = basePath();
        backupOriginals(base, *drive);
        const Originals originals = Originals::required(base, *drive);
        QCOMPARE(fileBytes(originals.filePath(screenSlots[1])), encodeBmp(screenPicture(61)));
        installScreens(*drive, updates);
        QCOMPARE(bytesIn(folder, 2), encodeBmp(screenPicture(82)));
        originals.checkComplete();
    }
    if (folder != QLatin1String("WINDOWS"))
        QCOMPARE(bytesIn(QStringLiteral("WINDOWS"), 1), defaultWaiting);
    if (image)
        QCOMPARE(image->fsckProblems(), QString());
}

void TestDriveC::aFatVolumeIsKnownByItsOwnName_data()
{
    // A line of the kernel's mount table; %1 is the folder, %2 the device.
    QTest::addColumn<QString>("mount");
    QTest::addColumn<bool>("known");
    QTest::newRow("a card") << "36 25 8:17 / %1 rw,nosuid shared:7 - vfat %2 rw,fmask=0022" << true;
    QTest::newRow("no optional fields") << "40 25 8:17 / %1 rw - msdos %2 rw" << true;
    QTest::newRow("a folder inside a card") << "41 25 8:17 /sub %1 rw - vfat %2 rw" << false;
    QTest::newRow("another file system") << "42 25 8:17 / %1 rw - ext4 %2 rw" << false;
}

// No FAT volume can be mounted here, so the kernel's table of mounts is made up, and the image
// of a card stands for its device. A card is the same drive whichever device it comes up as,
// and whether it is opened as a folder or, copied with dd, as an image.
void TestDriveC::aFatVolumeIsKnownByItsOwnName()
{
    QFETCH(QString, mount);
    QFETCH(bool, known);
    QTemporaryDir dir;
    const QString card = dir.filePath(QStringLiteral("card.img"));
    const QString folder = dir.filePath(QStringLiteral("my card"));
    QVERIFY(QDir().mkdir(folder));
    runTool(QStringLiteral("mkfs.fat"),
            {QStringLiteral("-C"), QStringLiteral("-i"), QStringLiteral("1234ABCD"),
             QStringLiteral("-n"), QStringLiteral("CARD"), card, QStringLiteral("1440")});
    const QByteArray table =
        "20 1 0:20 / / rw - ext4 /dev/vda rw\n" +
        mount.arg(QString(folder).replace(QLatin1Char(' '), QLatin1String("\\040")), card).toUtf8();

    const std::optional<FatVolume> volume = fatVolumeMountedAt(folder, table);
    QCOMPARE(volume.has_value(), known);
    if (volume)
        QCOMPARE(fatIdentity(*volume), openDrive(card)->identity());
}

QTEST_GUILESS_MAIN(TestDriveC)
#include "tst_drivec.moc"
