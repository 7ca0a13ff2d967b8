// The set store: the backup of the system's own screens, the sets listed from the working
// directory and new sets, each made whole or not at all.

#include "error.h"
#include "folderdrive.h"
#include "originals.h"
#include "paths.h"
#include "picture.h"
#include "setarchive.h"
#include "setstore.h"
#include "systemscreens.h"
#include "tempdrive.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QtEndian>
#include <atomic>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <zip.h>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

const QStringList setFiles = {"logo.sys", "logos.sys", "logow.sys"}; // as QDir sorts them

// The originals of Wine's drive C in the working folder, as the program finds them.
std::optional<Originals> originalsOfDriveC()
{
    return Originals::of(basePath(), *FolderDrive::wine());
}

void backUpDriveC()
{
    backupOriginals(basePath(), *FolderDrive::wine());
}

// One entry of a zip made for a test: its name, bytes and Unix mode, maybe encrypted.
struct ZipEntry {
    QByteArray name;
    QByteArray bytes;
    quint32 mode = 0100644;
    bool encrypted = false;
};

QByteArray zipOf(const QList<ZipEntry>& entries, const QString& path)
{
    zip_t* archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    for (const ZipEntry& entry : entries) {
        zip_source_t* source = zip_source_buffer(archive, entry.bytes.constData(),
                                                 zip_uint64_t(entry.bytes.size()), 0);
        const zip_int64_t index = zip_file_add(archive, entry.name.constData(), source, 0);
        zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                         entry.mode << 16);
        if (entry.encrypted)
            zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256, "secret");
    }
    zip_close(archive);
    return fileBytes(path);
}

// A photo as people share it.
QByteArray photoBytes()
{
    QBuffer buffer;
    screenPicture(54, QSize(640, 480)).save(&buffer, "JPG");
    return buffer.data();
}

QStringList files(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// Three distinct files of different kinds to make a set from, outside the working directory.
std::array<QString, slotCount> sourceFiles(const TempDrive& drive)
{
    QDir(drive.root()).mkdir(QStringLiteral("chosen"));
    const QString folder = drive.root() + QStringLiteral("/chosen/");
    writeFile(folder + QStringLiteral("start.bmp"), encodeBmp(screenPicture(31)));
    if (!screenPicture(32).save(folder + QStringLiteral("wait.png")))
        throw std::runtime_error("cannot write a test picture");
    writeFile(folder + QStringLiteral("LOGOS.SYS"), encodeBmp(screenPicture(33)));
    return {folder + QStringLiteral("start.bmp"), folder + QStringLiteral("wait.png"),
            folder + QStringLiteral("LOGOS.SYS")};
}

} // namespace

Q_DECLARE_METATYPE(QList<ZipEntry>)

class TestSetStore : public QObject {
    Q_OBJECT

private slots:
    void backupCopiesTheThreeSystemFiles_data();
    void backupCopiesTheThreeSystemFiles();
    void aFailedBackupLeavesNothing_data();
    void aFailedBackupLeavesNothing();
    void backupDoesNotReplaceOriginals_data();
    void backupDoesNotReplaceOriginals();
    void originalsMissing_data();
    void originalsMissing();
    void setFolderNames();
    void makeSetCopiesTheChosenFiles();
    void makeSetLeavesOutEmptySlots();
    void aFailedMakeSetLeavesNothing_data();
    void aFailedMakeSetLeavesNothing();
    void makeSetDoesNotReplace_data();
    void makeSetDoesNotReplace();
    void onlyAFolderOfScreensIsDeletedOrRenamed_data();
    void onlyAFolderOfScreensIsDeletedOrRenamed();
    void isPlainFolderName_data();
    void isPlainFolderName();
    void pathsAreJoinedAsTheyAre();
    void sharedSetsAreImportedWholeOrNotAtAll_data();
    void sharedSetsAreImportedWholeOrNotAtAll();
};

void TestSetStore::backupCopiesTheThreeSystemFiles_data()
{
    QTest::addColumn<bool>("upperCaseOnDisk");
    QTest::addColumn<int>("absentSlot");
    QTest::newRow("names as Wine makes them") << false << -1;
    QTest::newRow("names in capitals on disk") << true << -1;
    QTest::newRow("no logo.sys, as on a plain Windows 95") << false << 0;
    QTest::newRow("no logos.sys") << true << 2;
}

void TestSetStore::backupCopiesTheThreeSystemFiles()
{
    QFETCH(bool, upperCaseOnDisk);
    QFETCH(int, absentSlot);
    TempDrive drive;
    drive.writeSystemScreens();
    QStringList systemFiles = {drive.systemFile(0), drive.systemFile(1), drive.systemFile(2)};
    if (upperCaseOnDisk) {
        QDir c(drive.driveC());
        QVERIFY(c.rename(QStringLiteral("logo.sys"), QStringLiteral("LOGO.SYS")));
        QVERIFY(c.rename(QStringLiteral("windows/logow.sys"), QStringLiteral("windows/LOGOW.SYS")));
        QVERIFY(c.rename(QStringLiteral("windows"), QStringLiteral("WINDOWS")));
        systemFiles = {c.filePath(QStringLiteral("LOGO.SYS")),
                       c.filePath(QStringLiteral("WINDOWS/LOGOW.SYS")),
                       c.filePath(QStringLiteral("WINDOWS/logos.sys"))};
    }
    // Bytes that no picture encoder would write: the copy must not decode anything.
    writeFile(systemFiles[2], fileBytes(systemFiles[2]) + QByteArray("\0trailing\r\n", 11));
    QStringList expected = setFiles;
    if (absentSlot >= 0) {
        QVERIFY(QFile::remove(systemFiles[absentSlot]));
        expected.removeOne(QLatin1String(screenSlots[absentSlot].setFileName));
    }

    QVERIFY(!originalsOfDriveC());
    backUpDriveC();

    QCOMPARE(entries(drive.workDir()), QStringList{QStringLiteral("Originals")});
    const QString originals = drive.workDir() + QStringLiteral("/Originals");
    QCOMPARE(files(originals), expected);
    for (int slot = 0; slot < slotCount; ++slot) {
        QCOMPARE(
            fileBytes(originals + QLatin1Char('/') + QLatin1String(screenSlots[slot].setFileName)),
            fileBytes(systemFiles[slot]));
        QCOMPARE(originalsOfDriveC()->recordsAbsent(slot), slot == absentSlot);
    }
}

void TestSetStore::aFailedBackupLeavesNothing_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    for (int slot = 0; slot < slotCount; ++slot) {
        const QByteArray name = screenSlots[slot].systemFileWritten;
        QTest::newRow(name + " is a socket") << slot << "socket"
                                             << "device";
    }
    QTest::newRow("drive C not mapped") << 0 << "unmapped"
                                        << "not mapped";
}

void TestSetStore::aFailedBackupLeavesNothing()
{
    QFETCH(int, slot);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    TempDrive drive;
    drive.writeSystemScreens();
    const QString link = drive.root() + QStringLiteral("/prefix/dosdevices/c:");
    QString failing = drive.systemFile(slot);
    if (kind == QLatin1String("socket")) {
        QVERIFY(QFile::remove(failing));
        QVERIFY(::mknod(QFile::encodeName(failing).constData(), S_IFSOCK | 0600, 0) == 0);
    } else {
        QVERIFY(QFile::rename(link, link + QStringLiteral(".away")));
        failing = link;
    }

    try {
        backUpDriveC();
        QFAIL("the backup was made without a readable system file");
    } catch (const Error& error) {
        QCOMPARE(QFileInfo(error.path()).fileName(), QFileInfo(failing).fileName());
        QVERIFY2(error.reason().contains(reason), qPrintable(error.message()));
    }
    QVERIFY2(entries(drive.workDir()).isEmpty(),
             qPrintable(entries(drive.workDir()).join(QLatin1Char(' '))));

    // Mended, the next start makes the backup.
    if (kind == QLatin1String("unmapped")) {
        QVERIFY(QFile::rename(link + QStringLiteral(".away"), link));
    } else {
        if (kind == QLatin1String("socket"))
            QVERIFY(QFile::remove(failing));
        drive.writeSystemScreen(slot, screenPicture(100 + slot));
    }
    backUpDriveC();
    QCOMPARE(entries(drive.workDir()), QStringList{QStringLiteral("Originals")});
    QCOMPARE(files(drive.workDir() + QStringLiteral("/Originals")), setFiles);
    QCOMPARE(fileBytes(drive.workDir() + QStringLiteral("/Originals/") +
                       QLatin1String(screenSlots[slot].setFileName)),
             fileBytes(drive.systemFile(slot)));
}

void TestSetStore::backupDoesNotReplaceOriginals_data()
{
    QTest::addColumn<bool>("asFile");
    QTest::newRow("an Originals folder") << false;
    QTest::newRow("a plain file named Originals") << true;
}

void TestSetStore::backupDoesNotReplaceOriginals()
{
    QFETCH(bool, asFile);
    TempDrive drive;
    drive.writeSystemScreens();
    const QString originals = drive.workDir() + QStringLiteral("/Originals");
    if (asFile) {
        writeFile(originals, "mine");
    } else {
        QVERIFY(QDir().mkdir(originals));
        writeFile(originals + QStringLiteral("/logo.sys"), "first start");
    }
    // As when a second copy of Bootvane started at the same moment made it first: no error.
    backUpDriveC();
    if (asFile) {
        // No copy of the user's screens at all: they are saved out of the file's way.
        QCOMPARE(fileBytes(originals), QByteArray("mine"));
        QCOMPARE(fileBytes(originalsOfDriveC()->filePath(screenSlots[1])),
                 fileBytes(drive.systemFile(1)));
    } else {
        QCOMPARE(entries(drive.workDir()), QStringList{QStringLiteral("Originals")});
        QCOMPARE(entries(originals), QStringList{QStringLiteral("logo.sys")});
        QCOMPARE(fileBytes(originals + QStringLiteral("/logo.sys")), QByteArray("first start"));
    }
}

void TestSetStore::originalsMissing_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("missing");
    QTest::addColumn<QString>("kind");
    QTest::newRow("nothing") << "" << true << "";
    QTest::newRow("folder") << "Originals" << false << "folder";
    QTest::newRow("plain file") << "Originals" << true << "file";
    QTest::newRow("other case") << "originals" << true << "folder";
    QTest::newRow("longer name") << "Originals2" << true << "folder";
    QTest::newRow("hidden") << ".Originals" << true << "folder";
    // A link, in a working folder shared with its hidden folders, is never followed.
    QTest::newRow("link") << "Originals" << true << "link";
    QTest::newRow("link among other drives'") << ".bootvane-drives/drive-1" << true << "link";
    // Carried to another Wine prefix: the screens it shows are kept before any apply.
    QTest::newRow("an earlier Bootvane's, of other screens") << "Originals" << false << "older";
}

void TestSetStore::originalsMissing()
{
    QFETCH(QString, entry);
    QFETCH(bool, missing);
    QFETCH(QString, kind);
    TempDrive drive;
    const QString path = drive.workDir() + QLatin1Char('/') + entry;
    if (kind == QLatin1String("link")) {
        // To a copy of the very screens of this drive, made by Bootvane.
        backUpDriveC();
        const QString elsewhere = drive.root() + QStringLiteral("/elsewhere");
        QVERIFY(QDir().rename(drive.workDir() + QStringLiteral("/Originals"), elsewhere));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile::link(elsewhere, path));
    } else if (!entry.isEmpty()) {
        if (kind == QLatin1String("file"))
            writeFile(path, "x");
        else
            QVERIFY(QDir().mkdir(path));
    }
    if (kind == QLatin1String("older")) {
        drive.writeSystemScreens();
        for (const ScreenSlot& slot : screenSlots)
            writeFile(path + QLatin1Char('/') + QLatin1String(slot.setFileName), "another's");
        const std::optional<QString> kept = claimOlderOriginals(basePath(), *FolderDrive::wine());
        QVERIFY(kept);
        for (int slot = 0; slot < slotCount; ++slot)
            QCOMPARE(fileBytes(setFilePath(basePath(), *kept, screenSlots[slot])),
                     fileBytes(drive.systemFile(slot)));
    }
    QCOMPARE(!originalsOfDriveC(), missing);
}

void TestSetStore::setFolderNames()
{
    TempDrive drive;
    QDir work(drive.workDir());
    for (const char* name : {"Originals", "originals", "set b", "Set A", "Bootvane Sets", ".hidden",
                             ".bootvane-staging-Xy12ab", "Empty", "Ünïcødé 雪"})
        QVERIFY(work.mkdir(QString::fromUtf8(name)));
    writeFile(work.filePath(QStringLiteral("Plain file")), "x");
    writeFile(work.filePath(QStringLiteral("logo.sys")), "x");
    QVERIFY(
        QFile::link(work.filePath(QStringLiteral("gone")), work.filePath(QStringLiteral("Gone"))));
    QVERIFY(QFile::link(work.filePath(QStringLiteral("Set A")),
                        work.filePath(QStringLiteral("Linked"))));

    const QStringList expected = {"Bootvane Sets", "Empty", "Linked",    "originals",
                                  "Set A",         "set b", "Ünïcødé 雪"};
    QCOMPARE(bootvane::setFolderNames(basePath()), expected);

    // A folder listed and then removed before its attributes are read is no set, and no error.
    std::atomic<int> changes = 0;
    std::thread other([&] {
        for (bool make = true; changes < 400; make = !make) {
            for (int i = 0; i < 50; ++i, ++changes) {
                const QByteArray name =
                    QFile::encodeName(work.filePath(QStringLiteral("Gone %1").arg(i)));
                make ? ::mkdir(name.constData(), 0755) : ::rmdir(name.constData());
            }
        }
    });
    QString failure;
    while (changes < 400 && failure.isEmpty()) {
        try {
            (void)bootvane::setFolderNames(basePath());
        } catch (const Error& error) {
            failure = error.message();
        }
    }
    other.join();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestSetStore::makeSetCopiesTheChosenFiles()
{
    TempDrive drive;
    const std::array<QString, slotCount> chosen = sourceFiles(drive);
    QVERIFY(bootvane::makeSet(basePath(), QStringLiteral("My set (2)"), chosen));

    QCOMPARE(entries(drive.workDir()), QStringList{QStringLiteral("My set (2)")});
    const QString set = drive.workDir() + QStringLiteral("/My set (2)/");
    QCOMPARE(entries(set), setFiles);
    for (int slot = 0; slot < slotCount; ++slot)
        QCOMPARE(fileBytes(set + QLatin1String(screenSlots[slot].setFileName)),
                 fileBytes(chosen[slot]));
    QCOMPARE(bootvane::setFolderNames(basePath()), QStringList{QStringLiteral("My set (2)")});

    // The same file for two slots is copied twice.
    QVERIFY(
        bootvane::makeSet(basePath(), QStringLiteral("Twice"), {chosen[0], chosen[0], chosen[2]}));
    QCOMPARE(fileBytes(drive.workDir() + QStringLiteral("/Twice/logow.sys")), fileBytes(chosen[0]));
}

void TestSetStore::makeSetLeavesOutEmptySlots()
{
    TempDrive drive;
    const std::array<QString, slotCount> chosen = sourceFiles(drive);
    QVERIFY(bootvane::makeSet(basePath(), QStringLiteral("Partial"),
                              {chosen[0], QString(), chosen[2]}));
    QCOMPARE(entries(drive.workDir() + QStringLiteral("/Partial")),
             (QStringList{"logo.sys", "logos.sys"}));
}

void TestSetStore::aFailedMakeSetLeavesNothing_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    for (int slot = 0; slot < slotCount; ++slot) {
        const QByteArray name = screenSlots[slot].uiName;
        QTest::newRow(name + ", file missing") << slot << "missing"
                                               << "No such file or directory";
        QTest::newRow(name + ", a folder chosen") << slot << "folder"
                                                  << "Is a directory";
    }
}

void TestSetStore::aFailedMakeSetLeavesNothing()
{
    QFETCH(int, slot);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    TempDrive drive;
    drive.makeSet(QStringLiteral("Existing"));
    const QStringList before = entries(drive.workDir());
    std::array<QString, slotCount> chosen = sourceFiles(drive);
    QVERIFY(QFile::remove(chosen[slot]));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(chosen[slot]));

    try {
        (void)bootvane::makeSet(basePath(), QStringLiteral("New"), chosen);
        QFAIL("a set was made without one of its files");
    } catch (const Error& error) {
        QCOMPARE(error.path(), chosen[slot]);
        QVERIFY2(error.reason().contains(reason), qPrintable(error.message()));
    }
    QCOMPARE(entries(drive.workDir()), before);

    // With the file back the same set can be made.
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().rmdir(chosen[slot]));
    writeFile(chosen[slot], "back");
    QVERIFY(bootvane::makeSet(basePath(), QStringLiteral("New"), chosen));
    QCOMPARE(entries(drive.workDir() + QStringLiteral("/New")), setFiles);
}

void TestSetStore::makeSetDoesNotReplace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("asFile");
    QTest::newRow("a set") << "Existing" << false;
    QTest::newRow("Originals") << "Originals" << false;
    QTest::newRow("a plain file") << "notes.txt" << true;
}

void TestSetStore::makeSetDoesNotReplace()
{
    QFETCH(QString, name);
    QFETCH(bool, asFile);
    TempDrive drive;
    const QString existing = drive.workDir() + QLatin1Char('/') + name;
    if (asFile) {
        writeFile(existing, "notes");
    } else {
        QVERIFY(QDir().mkdir(existing));
        writeFile(existing + QStringLiteral("/logo.sys"), "old");
    }
    const std::array<QString, slotCount> chosen = sourceFiles(drive);
    // Refused as a name taken, not failed: another program may make it after the check.
    QVERIFY(!bootvane::makeSet(basePath(), name, chosen));
    QCOMPARE(entries(drive.workDir()), QStringList{name});
    if (asFile) {
        QCOMPARE(fileBytes(existing), QByteArray("notes"));
    } else {
        QCOMPARE(entries(existing), QStringList{QStringLiteral("logo.sys")});
        QCOMPARE(fileBytes(existing + QStringLiteral("/logo.sys")), QByteArray("old"));
    }
}

void TestSetStore::onlyAFolderOfScreensIsDeletedOrRenamed_data()
{
    QTest::addColumn<QStringList>("files"); // a name ending in "/" is a folder
    QTest::addColumn<bool>("aSet");
    QTest::newRow("screens in capitals, Bootvane's own file")
        << QStringList{"LOGO.SYS", "Logow.Sys", "logos.sys", ".bootvane-new-x1"} << true;
    QTest::newRow("a document") << QStringList{"logo.sys", "thesis.txt"} << false;
    QTest::newRow("a hidden file") << QStringList{".directory"} << false;
    QTest::newRow("a folder named as a screen") << QStringList{"logow.sys/"} << false;
}

void TestSetStore::onlyAFolderOfScreensIsDeletedOrRenamed()
{
    QFETCH(QStringList, files);
    QFETCH(bool, aSet);
    TempDrive drive;
    const QString folder = drive.workDir() + QStringLiteral("/Set/");
    QVERIFY(QDir().mkdir(folder));
    for (const QString& file : files)
        file.endsWith(QLatin1Char('/')) ? (void)QDir().mkdir(folder + file)
                                        : writeFile(folder + file, "x");
    QCOMPARE(!whyNotASet(basePath(), QStringLiteral("Set")), aSet);
    if (!aSet) // refused again when the folder has changed since the command was offered
        QVERIFY_THROWS_EXCEPTION(Error, moveSetToTrash(basePath(), QStringLiteral("Set")));
}

void TestSetStore::isPlainFolderName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("plain");

    const char* refused[] = {"", "../x", "..\\x", "/abs", "C:\\x", "a/b", "a\\b", ".", "..", "   ",
                             "name.", "name ", "CON", "con", "con.txt", "Con.tar.gz", "PRN", "AUX",
                             "NUL", "NUL.bmp", "COM1", "com9.sys", "LPT1", "LPT9", "star*", "what?",
                             "less<", "more>", "pipe|", "quote\"", "colon:", "tab\there",
                             "new\nline", "bell\a", "escape\x1b", "del\x7f",
                             // Hidden on this system, so never listed as a set.
                             ".hidden", ".bootvane-staging-abc123"};
    for (const char* name : refused)
        QTest::newRow("refused: " + QByteArray(name).toPercentEncoding(" \\/:.*?<>|\"()"))
            << QString::fromUtf8(name) << false;
    QTest::newRow("refused: 256 bytes") << QString(256, QLatin1Char('a')) << false;
    QTest::newRow("refused: 128 two-byte characters") << QString(128, QChar(0xe9)) << false;
    QTest::newRow("refused: NUL inside")
        << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << false;

    const char* accepted[] = {"Ünïcødé 雪",
                              "My set (2)",
                              "First",
                              "Bootvane Sets",
                              "Originals2",
                              "a",
                              "set.v2",
                              " leading space",
                              "CONSOLE",
                              "COM10",
                              "LPT",
                              "nul-ish",
                              "100% [draft] #1 & more",
                              "emoji 😀"};
    for (const char* name : accepted)
        QTest::newRow(qPrintable(QStringLiteral("accepted: ") + QString::fromUtf8(name)))
            << QString::fromUtf8(name) << true;
    QTest::newRow("accepted: 255 bytes") << QString(255, QLatin1Char('a')) << true;
}

void TestSetStore::isPlainFolderName()
{
    QFETCH(QString, name);
    QFETCH(bool, plain);
    QCOMPARE(bootvane::isPlainFolderName(name), plain);
}

void TestSetStore::sharedSetsAreImportedWholeOrNotAtAll_data()
{
    QTest::addColumn<QList<ZipEntry>>("zipEntries");
    // "alone": the first entry is shared by itself; "folder": the entries are shared unpacked;
    // "photos": the zip is exported from a set of photos; "into the set", "over drive C": an
    // export aimed there.
    QTest::addColumn<QString>("damage"); // done to the zip's bytes after it is made
    QTest::addColumn<bool>("imported");
    const QByteArray screens[3] = {encodeBmp(screenPicture(51)), encodeBmp(screenPicture(52)),
                                   encodeBmp(screenPicture(53))};
    auto set = [&](const QByteArray& folder, const char* windows = "") {
        return QList<ZipEntry>{{folder + "logo.sys", screens[0]},
                               {folder + windows + "LOGOW.SYS", screens[1]},
                               {folder + windows + "Logos.Sys", screens[2]}};
    };
    QTest::newRow("at the top") << set("") << "" << true;
    QTest::newRow("inside one folder") << set("Sunset/") << "" << true;
    QTest::newRow("as on drive C") << set("", "WINDOWS/") << "" << true;
    QTest::newRow("made by Export") << QList<ZipEntry>() << "" << true;
    QTest::newRow("made by Export from photos") << QList<ZipEntry>() << "photos" << true;
    QTest::newRow("a screen missing") << set("").mid(0, 2) << "" << true;
    QTest::newRow("only LOGO.SYS") << QList<ZipEntry>{{"LOGO.SYS", screens[0]}} << "" << true;
    QTest::newRow("only LOGOW.SYS and LOGOS.SYS") << set("").mid(1) << "" << true;
    QTest::newRow("three .BMP names in a folder")
        << QList<ZipEntry>{{"Cool Screens/LOGO.BMP", screens[0]},
                           {"Cool Screens/logow.bmp", screens[1]},
                           {"Cool Screens/Logos.Bmp", screens[2]},
                           {"Cool Screens/README.TXT", "Copy them to drive C"}}
        << "" << true;
    QTest::newRow("one JPEG whose name says nothing")
        << QList<ZipEntry>{{"sunrise.jpg", photoBytes()}} << "alone" << true;
    QTest::newRow("a picture over 16 MB, alone")
        << QList<ZipEntry>{{"poster.bmp", encodeBmp(screenPicture(55, QSize(4200, 4200)))}}
        << "alone" << true;
    QTest::newRow("dots and backslashes in its paths")
        << QList<ZipEntry>{{"Cool/logo.sys", screens[0]},
                           {"./Cool/LOGOW.SYS", screens[1]},
                           {"Cool\\.\\Logos.Sys", screens[2]}}
        << "" << true;
    QTest::newRow("a folder holding one") << set("Cool/") << "folder" << true;
    QTest::newRow("three screens in a folder WINDOWS") << set("Windows/") << "" << true;
    QList<ZipEntry> wine = set("Cool/") << ZipEntry{"Cool/Desktop", {}};
    wine.last().mode = 0120777;
    QTest::newRow("a folder with a link of its own") << wine << "folder" << true;
    const QList<ZipEntry> windowsLink{{"logo.sys", screens[0]}, {"WINDOWS", {}, 0120777}};
    QTest::newRow("a folder whose WINDOWS is a link") << windowsLink << "folder" << false;
    QList<ZipEntry> deepLink = set("") << ZipEntry{"Program Files/App/logo.png", {}, 0120777};
    QTest::newRow("a folder with a link named as a screen where none is")
        << deepLink << "folder" << true;
    QTest::newRow("screens of two sets")
        << QList<ZipEntry>{{"SetA/logo.sys", screens[0]}, {"SetB/LOGOW.SYS", screens[1]}} << ""
        << false;
    QTest::newRow("exported into the set") << QList<ZipEntry>() << "into the set" << false;
    QTest::newRow("exported over drive C") << QList<ZipEntry>() << "over drive C" << false;
    QTest::newRow("exported over a disk image") << QList<ZipEntry>() << "over base.img" << false;
    QTest::newRow("exported over a document") << QList<ZipEntry>() << "over report.docx" << false;
    QTest::newRow("no screen at all")
        << QList<ZipEntry>{{"README.TXT", "x"}, {"sunrise.bmp", screens[0]}} << "" << false;
    QTest::newRow("a screen twice by two names")
        << QList<ZipEntry>{{"logo.sys", screens[0]}, {"Cool/LOGO.PNG", screens[0]}} << "" << false;
    QTest::newRow("an entry climbing out") << set("../") << "" << false;
    QTest::newRow("an absolute entry") << set("/tmp/") << "" << false;
    QList<ZipEntry> link = set("");
    link[1].mode = 0120777;
    QTest::newRow("a link") << link << "" << false;
    QTest::newRow("a folder whose screen is a link") << link << "folder" << false;
    QList<ZipEntry> pipe = set("");
    pipe[2].mode = 010644;
    QTest::newRow("a folder whose screen is a pipe") << pipe << "folder" << false;
    QList<ZipEntry> crowd = set("");
    for (int i = 0; i < 62; ++i)
        crowd.append({QByteArray("readme") + QByteArray::number(i) + ".txt", "x"});
    QTest::newRow("65 entries") << crowd << "" << false;
    QList<ZipEntry> huge = set("");
    huge[2].bytes = QByteArray(16 * 1024 * 1024 + 1, '\0');
    QTest::newRow("a file over 16 MB") << huge << "" << false;
    QList<ZipEntry> secret = set("");
    secret[0].encrypted = true;
    QTest::newRow("encrypted") << secret << "" << false;
    QTest::newRow("more unpacked than it says") << set("") << "undersized" << false;
    QTest::newRow("damaged") << set("") << "flipped" << false;
    QTest::newRow("cut short") << set("") << "cut" << false;
    QTest::newRow("a screen twice") << set("") + set("Copy/") << "" << false;
    QList<ZipEntry> text = set("");
    text[1].bytes = "[Options]\r\nLogo=0\r\n";
    QTest::newRow("a screen that is no picture") << text << "" << false;
}

void TestSetStore::sharedSetsAreImportedWholeOrNotAtAll()
{
    QFETCH(QList<ZipEntry>, zipEntries);
    QFETCH(QString, damage);
    QFETCH(bool, imported);
    TempDrive drive;
    drive.writeSystemScreens();
    QString path = drive.root() + QStringLiteral("/shared.zip");
    const auto driveC = FolderDrive::wine();
    QByteArray zip;
    if (damage == QLatin1String("alone")) {
        path = drive.root() + QLatin1Char('/') + QString::fromUtf8(zipEntries[0].name);
        zip = zipEntries[0].bytes;
    } else if (zipEntries.isEmpty()) {
        const bool photos = damage == QLatin1String("photos");
        const QSize size = photos ? QSize(800, 600) : QSize(320, 400);
        const QImage pictures[3] = {screenPicture(61, size), screenPicture(62, size),
                                    screenPicture(63, size)};
        drive.makeSet(QStringLiteral("Exported"), pictures, photos ? "JPG" : "BMP");
        if (!imported) {
            const QString over = damage == QLatin1String("over drive C") ? drive.systemFile(0)
                                 : damage.startsWith(QLatin1String("over "))
                                     ? drive.root() + QLatin1Char('/') + damage.mid(5)
                                     : drive.workDir() + QStringLiteral("/Exported/logo.sys");
            if (!QFileInfo::exists(over))
                writeFile(over, "PK\x03\x04" + QByteArray(4096, '\0'));
            const QByteArray kept = fileBytes(over);
            QVERIFY_THROWS_EXCEPTION(
                Error, exportSet(basePath(), QStringLiteral("Exported"), over, driveC.get()));
            QCOMPARE(fileBytes(over), kept);
            return;
        }
        exportSet(basePath(), QStringLiteral("Exported"), path, driveC.get());
        zip = fileBytes(path);
        // Where the files go, for those who copy them by hand, in DOS text.
        zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
        zip_file_t* readme = zip_fopen(archive, "README.TXT", 0);
        QByteArray text(4096, '\0');
        text.truncate(readme ? zip_fread(readme, text.data(), 4096) : 0);
        zip_fclose(readme);
        zip_discard(archive);
        QVERIFY2(text.contains("C:\\WINDOWS\\LOGOW.SYS") && text.endsWith("\r\n"),
                 text.constData());
    } else if (damage == QLatin1String("folder")) {
        path = drive.root() + QStringLiteral("/shared");
        for (const ZipEntry& entry : zipEntries) {
            const QString file = path + QLatin1Char('/') + QString::fromUtf8(entry.name);
            QVERIFY(QDir().mkpath(QFileInfo(file).path()));
            if (S_ISLNK(entry.mode))
                QVERIFY(QFile::link(drive.systemFile(0), file));
            else if (S_ISFIFO(entry.mode))
                QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0644) == 0);
            else
                writeFile(file, entry.bytes);
        }
    } else {
        zip = zipOf(zipEntries, path);
    }
    // The sizes a zip gives of its files stand in its local headers and its central directory.
    if (damage == QLatin1String("undersized")) {
        for (qsizetype at = zip.indexOf("PK\x01\x02"); at >= 0;
             at = zip.indexOf("PK\x01\x02", at + 4))
            qToLittleEndian<quint32>(qFromLittleEndian<quint32>(zip.constData() + at + 24) - 1,
                                     zip.data() + at + 24);
        for (qsizetype at = zip.indexOf("PK\x03\x04"); at >= 0;
             at = zip.indexOf("PK\x03\x04", at + 4))
            qToLittleEndian<quint32>(qFromLittleEndian<quint32>(zip.constData() + at + 22) - 1,
                                     zip.data() + at + 22);
    } else if (damage == QLatin1String("flipped")) {
        zip[zip.size() / 3] = char(~zip[zip.size() / 3]);
    } else if (damage == QLatin1String("cut")) {
        zip.truncate(zip.size() / 2);
    }
    if (damage != QLatin1String("folder"))
        writeFile(path, zip);
    const QStringList before = entries(drive.workDir());

    try {
        const SharedSet shared = readSharedSet(path);
        QVERIFY2(imported, "a hostile zip was read");
        // The folder its sharer put the screens in names the set.
        QCOMPARE(shared.folder, QString(zipEntries.value(0).name).section('/', 0, -2));
        QVERIFY(makeSetFromScreens(
            basePath(), QStringLiteral("Imported"),
            completedSet(shared, readScreensInUse(*driveC), driveC.get(), path)));
    } catch (const Error& error) {
        QVERIFY2(!imported, qPrintable(error.message()));
        QCOMPARE(error.path(), path);
        QCOMPARE(entries(drive.workDir()), before);
        return;
    }
    // Byte for byte what was shared, under the set's own names, or what Set as Current writes
    // of an exported set; a screen not shared is a copy of the one in use.
    for (int slot = 0; slot < slotCount; ++slot) {
        QByteArray expected = fileBytes(drive.systemFile(slot));
        for (const ZipEntry& entry : zipEntries) {
            if (entry.bytes == encodeBmp(screenPicture(51 + slot)) ||
                (damage == QLatin1String("alone") && slot == 0))
                expected = entry.bytes;
        }
        if (zipEntries.isEmpty())
            expected = prepareScreenUpdate(
                           setFilePath(basePath(), QStringLiteral("Exported"), screenSlots[slot]),
                           screenSlots[slot], false)
                           .bytes;
        QCOMPARE(fileBytes(drive.workDir() + QStringLiteral("/Imported/") +
                           QLatin1String(screenSlots[slot].setFileName)),
                 expected);
    }
}

void TestSetStore::pathsAreJoinedAsTheyAre()
{
    TempDrive drive;
    QCOMPARE(basePath(), drive.workDir() + QLatin1Char('/'));
    QCOMPARE(setFilePath(basePath(), QStringLiteral("My set"), screenSlots[1]),
             drive.workDir() + QStringLiteral("/My set/logow.sys"));
    // At the root the separator is added all the same: nothing is shortened.
    QVERIFY(QDir::setCurrent(QStringLiteral("/")));
    const QString atRoot = basePath();
    QVERIFY(QDir::setCurrent(drive.workDir()));
    QCOMPARE(atRoot, QStringLiteral("//"));

    // A working folder deleted under the program is named, never taken for the root.
    QVERIFY(QDir().rmdir(drive.workDir()));
    try {
        QFAIL(qPrintable(basePath()));
    } catch (const Error& error) {
        QCOMPARE(error.path(), drive.workDir());
    }
    const QStringList rootBefore = entries(QStringLiteral("/"));
    QVERIFY_THROWS_EXCEPTION(
        Error, (void)bootvane::makeSet(QString(), QStringLiteral("Set"), sourceFiles(drive)));
    QCOMPARE(entries(QStringLiteral("/")), rootBefore);
}

QTEST_GUILESS_MAIN(TestSetStore)
#include "tst_setstore.moc"
