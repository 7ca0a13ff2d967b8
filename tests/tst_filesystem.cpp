// The file-system operations under the sets and the screen files: DOS-style listing, copies,
// the atomic replace and the staging folder, each on real files in a temporary folder.

#include "error.h"
#include "filesystem.h"
#include "tempdrive.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

QStringList everything(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray someBytes(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

mode_t modeOf(const QString& path)
{
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

// Expects call to throw a bootvane::Error about path whose reason contains reason.
template <typename Call> void expectError(Call call, const QString& path, const QString& reason)
{
    try {
        call();
        QFAIL("the operation did not fail");
    } catch (const Error& error) {
        QCOMPARE(error.path(), path);
        QVERIFY2(error.reason().contains(reason), qPrintable(error.message()));
        QVERIFY2(error.message().contains(QLatin1Char('"') + path + QLatin1Char('"')),
                 qPrintable(error.message()));
    }
}

} // namespace

class TestFileSystem : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listFolder_data();
    void listFolder();
    void listingAMissingFolderFails_data();
    void listingAMissingFolderFails();
    void firstMatch();
    void fileAttributes_data();
    void fileAttributes();
    void makeFolder();
    void copyFileIsByteForByte_data();
    void copyFileIsByteForByte();
    void copyFileRefuses_data();
    void copyFileRefuses();
    void copyFromAPipeDoesNotWait();
    void aFailedCopyLeavesNoFile();
    void replaceWritesTheNewBytesAndNothingElse();
    void replaceThroughALinkKeepsTheLink();
    void replaceKeepsTheFileMode();
    void replaceRefusesAFolder();
    void replaceInAMissingFolderFails();
    void aFailedReplaceKeepsTheOldBytes();
    void replaceRefusesAReadOnlyFileForAnOrdinaryUser();
    void renameWithoutReplacing_data();
    void renameWithoutReplacing();
    void stagingFolderIsHiddenAndGoesAway();
    void stagingFolderCommits();
    void stagingFolderDoesNotReplace();
    void stagingFolderInAMissingParentFails();

private:
    std::optional<QTemporaryDir> m_dir; // a fresh one for every test function
    QString path(const QString& name) const { return m_dir->filePath(name); }
};

void TestFileSystem::init()
{
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
}

void TestFileSystem::cleanup()
{
    // Qt cannot name what is not UTF-8, so it cannot remove it either.
    std::filesystem::remove_all(QFile::encodeName(m_dir->path()).toStdString());
    m_dir.reset();
}

void TestFileSystem::listFolder_data()
{
    QTest::addColumn<QString>("pattern"); // relative to the test folder
    QTest::addColumn<int>("mask");
    QTest::addColumn<QStringList>("expected");

    // Without regard to case, as Windows sorts: "A" before "a.txt", "1" before "[".
    const QStringList filesSorted = {"A",        "a.txt",  "b",      "B.TXT",    "C",
                                     "dangling", "readme", "x1.bmp", "x[1].bmp", "Ünïcødé 雪"};
    const QStringList allSorted = {"A",      "a.txt", "b",    "B.TXT",  "C",        "dangling",
                                   "readme", "Sub",   "sub2", "x1.bmp", "x[1].bmp", "Ünïcødé 雪"};

    QTest::newRow("whole folder, folders too")
        << "" << int(attributeFolder) << QStringList{".", ".."} + allSorted;
    QTest::newRow("whole folder, files only") << "" << 0 << filesSorted;
    QTest::newRow("star, folders too") << "*" << int(attributeFolder) << allSorted;
    QTest::newRow("star, files only") << "*" << 0 << filesSorted;
    QTest::newRow("star dot star matches names without a dot too")
        << "*.*" << int(attributeFolder) << allSorted;
    QTest::newRow("name dot star matches the bare name")
        << "readme.*" << 0 << QStringList{"readme"};
    QTest::newRow("extension, case as the file system has it")
        << "*.txt" << 0 << QStringList{"a.txt"};
    QTest::newRow("one character") << "?" << 0 << QStringList{"A", "b", "C"};
    QTest::newRow("question marks") << "x?.bmp" << 0 << QStringList{"x1.bmp"};
    QTest::newRow("brackets are plain characters") << "x[1]*" << 0 << QStringList{"x[1].bmp"};
    QTest::newRow("brackets in a literal name") << "x[1].bmp" << 0 << QStringList{"x[1].bmp"};
    QTest::newRow("no match") << "*.gif" << int(attributeFolder) << QStringList{};
    QTest::newRow("literal folder name, folders asked for")
        << "Sub" << int(attributeFolder) << QStringList{"Sub"};
    QTest::newRow("literal folder name, files only") << "Sub" << 0 << QStringList{};
    QTest::newRow("literal name in the other case")
        << "sub" << int(attributeFolder) << QStringList{};
    QTest::newRow("hidden names are never listed") << ".*" << int(attributeFolder) << QStringList{};
    QTest::newRow("hidden name given literally")
        << ".hidden" << int(attributeFolder) << QStringList{};
    // Sub also holds names that are no UTF-8 or that Qt would change: each is listed as a
    // name that leads back to its own file.
    const QString latin1 = QStringLiteral("caf") + QChar(0xdce9);
    const QString bom = QChar(0xfeff) + QStringLiteral("bom");
    const QString beyondBmp = QString::fromUcs4(U"\U00010080");
    QTest::newRow("inside a subfolder")
        << "Sub/*" << int(attributeFolder) << QStringList{latin1, "inner.sys", bom, beyondBmp};
    QTest::newRow("subfolder as a whole")
        << "Sub/" << int(attributeFolder)
        << QStringList{".", "..", latin1, "inner.sys", bom, beyondBmp};
    QTest::newRow("a name not in UTF-8") << "Sub/caf*" << 0 << QStringList{latin1};
    QTest::newRow("a byte not in UTF-8 is one character") << "Sub/caf?" << 0 << QStringList{latin1};
    QTest::newRow("unicode name") << "Ü*" << 0 << QStringList{"Ünïcødé 雪"};
    QTest::newRow("question mark takes one whole character")
        << "Ünïcødé ?" << 0 << QStringList{"Ünïcødé 雪"};
}

void TestFileSystem::listFolder()
{
    QFETCH(QString, pattern);
    QFETCH(int, mask);
    QFETCH(QStringList, expected);

    for (const char* name :
         {"b", "A", "C", "a.txt", "B.TXT", "readme", "x[1].bmp", "x1.bmp", ".hidden", "Ünïcødé 雪"})
        writeFile(path(QString::fromUtf8(name)), "x");
    QDir folder(m_dir->path());
    for (const char* name : {"Sub", "sub2", ".hiddenfolder", ".bootvane-staging-abc123"})
        QVERIFY(folder.mkdir(QString::fromUtf8(name)));
    writeFile(path(QStringLiteral("Sub/inner.sys")), "x");
    writeFile(path(QStringLiteral("Sub/.inner")), "x");
    for (const char* raw : {"caf\xe9",
                            "\xef\xbb\xbf"
                            "bom",
                            "\xf0\x90\x82\x80"})
        QVERIFY(::close(::creat(QFile::encodeName(path(QStringLiteral("Sub/"))) + raw, 0644)) == 0);
    QVERIFY(QFile::link(path(QStringLiteral("gone")), path(QStringLiteral("dangling"))));

    const QString full = m_dir->path() + QLatin1Char('/') + pattern;
    const QStringList names = bootvane::listFolder(full, mask);
    QCOMPARE(names, expected);
    const QString listed = full.left(full.lastIndexOf(QLatin1Char('/')) + 1);
    for (const QString& name : names)
        QVERIFY2(bootvane::fileAttributesIfPresent(listed + name), qPrintable(name));
}

void TestFileSystem::listingAMissingFolderFails_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("reason");
    QTest::newRow("whole folder") << "missing/"
                                  << "missing/"
                                  << "No such file or directory";
    QTest::newRow("pattern") << "missing/*.sys"
                             << "missing/"
                             << "No such file or directory";
    QTest::newRow("a file taken for a folder") << "file/"
                                               << "file/"
                                               << "Not a directory";
}

void TestFileSystem::listingAMissingFolderFails()
{
    QFETCH(QString, pattern);
    QFETCH(QString, folder);
    QFETCH(QString, reason);
    writeFile(path(QStringLiteral("file")), "x");
    expectError([&] { bootvane::listFolder(path(pattern), attributeFolder); }, path(folder),
                reason);
}

void TestFileSystem::firstMatch()
{
    writeFile(path(QStringLiteral("beta.sys")), "x");
    writeFile(path(QStringLiteral("Alpha.sys")), "x");
    QCOMPARE(bootvane::firstMatch(path(QStringLiteral("*.sys")), 0), QStringLiteral("Alpha.sys"));
    QCOMPARE(bootvane::firstMatch(path(QStringLiteral("*.bmp")), attributeFolder), QString());
    QCOMPARE(bootvane::firstMatch(path(QStringLiteral("beta.sys")), 0), QStringLiteral("beta.sys"));
}

void TestFileSystem::fileAttributes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("attributes");
    QTest::newRow("plain file") << "file.sys" << 0;
    QTest::newRow("folder") << "folder" << int(attributeFolder);
    QTest::newRow("hidden folder") << ".folder" << int(attributeFolder | attributeHidden);
    QTest::newRow("hidden file") << ".file" << int(attributeHidden);
    QTest::newRow("link to a folder") << "folderlink" << int(attributeFolder);
    // Listed by the folder listing, so its attributes must be readable: it is no folder.
    QTest::newRow("dangling link") << "dangling" << 0;
}

void TestFileSystem::fileAttributes()
{
    QFETCH(QString, name);
    QFETCH(int, attributes);
    writeFile(path(QStringLiteral("file.sys")), "x");
    writeFile(path(QStringLiteral(".file")), "x");
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral(".folder")));
    QVERIFY(QFile::link(path(QStringLiteral("folder")), path(QStringLiteral("folderlink"))));
    QVERIFY(QFile::link(path(QStringLiteral("gone")), path(QStringLiteral("dangling"))));
    QCOMPARE(bootvane::fileAttributes(path(name)), attributes);
}

void TestFileSystem::makeFolder()
{
    const QString folder = path(QStringLiteral("New set"));
    bootvane::makeFolder(folder);
    QVERIFY(QFileInfo(folder).isDir());
    expectError([&] { bootvane::makeFolder(folder); }, folder, QStringLiteral("File exists"));
    const QString orphan = path(QStringLiteral("missing/child"));
    expectError([&] { bootvane::makeFolder(orphan); }, orphan,
                QStringLiteral("No such file or directory"));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("missing"))));
    expectError([&] { bootvane::fileAttributes(orphan); }, orphan,
                QStringLiteral("No such file or directory"));
}

void TestFileSystem::copyFileIsByteForByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray every;
    for (int i = 0; i < 256; ++i)
        every.append(char(i));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("every byte value") << every;
    QTest::newRow("line ends are not touched") << QByteArray("a\r\nb\nc\r\x1a\0d", 11);
    QTest::newRow("larger than one chunk") << someBytes(200001, 7);
}

void TestFileSystem::copyFileIsByteForByte()
{
    QFETCH(QByteArray, bytes);
    writeFile(path(QStringLiteral("source")), bytes);
    bootvane::copyFile(path(QStringLiteral("source")), path(QStringLiteral("copy.sys")));
    QCOMPARE(fileBytes(path(QStringLiteral("copy.sys"))), bytes);
    QCOMPARE(QFileInfo(path(QStringLiteral("copy.sys"))).size(), qint64(bytes.size()));
}

void TestFileSystem::copyFileRefuses_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("failingPath"); // "source" or "destination"
    QTest::addColumn<QString>("reason");
    QTest::newRow("destination exists") << "source"
                                        << "existing"
                                        << "destination"
                                        << "File exists";
    QTest::newRow("destination is a folder") << "source"
                                             << "folder"
                                             << "destination"
                                             << "File exists";
    QTest::newRow("destination folder missing") << "source"
                                                << "missing/copy"
                                                << "destination"
                                                << "No such file or directory";
    QTest::newRow("source missing") << "nothing"
                                    << "copy"
                                    << "source"
                                    << "No such file or directory";
    QTest::newRow("source is a folder") << "folder"
                                        << "copy"
                                        << "source"
                                        << "Is a directory";
    QTest::newRow("source is a dangling link") << "dangling"
                                               << "copy"
                                               << "source"
                                               << "No such file or directory";
}

void TestFileSystem::copyFileRefuses()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, failingPath);
    QFETCH(QString, reason);
    writeFile(path(QStringLiteral("source")), "new bytes");
    writeFile(path(QStringLiteral("existing")), "old bytes");
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    QVERIFY(QFile::link(path(QStringLiteral("gone")), path(QStringLiteral("dangling"))));
    const QStringList before = everything(m_dir->path());

    expectError([&] { bootvane::copyFile(path(source), path(destination)); },
                path(failingPath == QLatin1String("source") ? source : destination), reason);
    QCOMPARE(everything(m_dir->path()), before);
    QCOMPARE(fileBytes(path(QStringLiteral("existing"))), QByteArray("old bytes"));
    QVERIFY(QDir(path(QStringLiteral("folder"))).isEmpty());
}

void TestFileSystem::copyFromAPipeDoesNotWait()
{
    const QString fifo = path(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::mutex mutex;
    std::condition_variable done;
    bool returned = false;
    std::atomic<bool> hadToRelease = false;
    std::thread releaser([&] {
        std::unique_lock lock(mutex);
        if (!done.wait_for(lock, std::chrono::seconds(5), [&] { return returned; })) {
            hadToRelease = true;
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDWR);
            if (fd >= 0)
                ::close(fd);
        }
    });
    std::optional<Error> failure;
    try {
        bootvane::copyFile(fifo, path(QStringLiteral("copy")));
    } catch (const Error& error) {
        failure = error;
    }
    {
        std::lock_guard lock(mutex);
        returned = true;
    }
    done.notify_one();
    releaser.join();
    QVERIFY2(!hadToRelease, "copying a pipe waited for a writer");
    QVERIFY(failure.has_value());
    QCOMPARE(failure->path(), fifo);
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("copy"))));
}

void TestFileSystem::aFailedCopyLeavesNoFile()
{
    writeFile(path(QStringLiteral("source")), someBytes(100000, 3));
    const QString copy = path(QStringLiteral("copy.sys"));
    QVERIFY(withFileSizeLimit(4096, [&] {
        expectError([&] { bootvane::copyFile(path(QStringLiteral("source")), copy); }, copy,
                    QStringLiteral("File too large"));
    }));
    QVERIFY2(!QFileInfo::exists(copy), "a half-made copy was left behind");
}

void TestFileSystem::replaceWritesTheNewBytesAndNothingElse()
{
    const QString file = path(QStringLiteral("logo.sys"));
    replaceFileAtomically(file, "first");
    QCOMPARE(fileBytes(file), QByteArray("first"));
    const QByteArray large = someBytes(300000, 11);
    replaceFileAtomically(file, large);
    QCOMPARE(fileBytes(file), large);
    replaceFileAtomically(file, QByteArray());
    QCOMPARE(fileBytes(file), QByteArray());
    QCOMPARE(everything(m_dir->path()), QStringList{QStringLiteral("logo.sys")});
}

void TestFileSystem::replaceThroughALinkKeepsTheLink()
{
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("real")));
    writeFile(path(QStringLiteral("real/LOGO.SYS")), "old");
    QVERIFY(QFile::link(QStringLiteral("real/LOGO.SYS"), path(QStringLiteral("logo.sys"))));
    replaceFileAtomically(path(QStringLiteral("logo.sys")), "new");
    QVERIFY(QFileInfo(path(QStringLiteral("logo.sys"))).isSymLink());
    QCOMPARE(fileBytes(path(QStringLiteral("real/LOGO.SYS"))), QByteArray("new"));
    QCOMPARE(everything(path(QStringLiteral("real"))), QStringList{QStringLiteral("LOGO.SYS")});
}

void TestFileSystem::replaceKeepsTheFileMode()
{
    const QString file = path(QStringLiteral("logo.sys"));
    writeFile(file, "old");
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    replaceFileAtomically(file, "new");
    QCOMPARE(modeOf(file), mode_t(0640));
    const QString fresh = path(QStringLiteral("logow.sys"));
    replaceFileAtomically(fresh, "new");
    QCOMPARE(modeOf(fresh), mode_t(0666 & ~currentUmask()));
}

void TestFileSystem::replaceRefusesAFolder()
{
    const QString folder = path(QStringLiteral("logo.sys"));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("logo.sys")));
    writeFile(path(QStringLiteral("logo.sys/inside")), "kept");
    expectError([&] { replaceFileAtomically(folder, "new"); }, folder,
                QStringLiteral("Is a directory"));
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(fileBytes(path(QStringLiteral("logo.sys/inside"))), QByteArray("kept"));
    QCOMPARE(everything(m_dir->path()), QStringList{QStringLiteral("logo.sys")});
}

void TestFileSystem::replaceInAMissingFolderFails()
{
    const QString file = path(QStringLiteral("windows/logow.sys"));
    expectError([&] { replaceFileAtomically(file, "new"); }, file,
                QStringLiteral("No such file or directory"));
    QVERIFY(everything(m_dir->path()).isEmpty());
}

void TestFileSystem::aFailedReplaceKeepsTheOldBytes()
{
    const QString file = path(QStringLiteral("logo.sys"));
    const QByteArray old = someBytes(3000, 5);
    writeFile(file, old);
    QVERIFY(withFileSizeLimit(4096, [&] {
        expectError([&] { replaceFileAtomically(file, someBytes(129078, 6)); }, file,
                    QStringLiteral("File too large"));
    }));
    QCOMPARE(fileBytes(file), old);
    QCOMPARE(everything(m_dir->path()), QStringList{QStringLiteral("logo.sys")});
}

void TestFileSystem::replaceRefusesAReadOnlyFileForAnOrdinaryUser()
{
    if (::geteuid() == 0)
        QSKIP("running as root, which may write any file whatever its mode");
    const QString file = path(QStringLiteral("logo.sys"));
    writeFile(file, "old");
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner));
    expectError([&] { replaceFileAtomically(file, "new"); }, file,
                QStringLiteral("Permission denied"));
    QCOMPARE(fileBytes(file), QByteArray("old"));
}

void TestFileSystem::renameWithoutReplacing_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("reason"); // empty: the rename succeeds
    QTest::newRow("free name") << "Set"
                               << "";
    QTest::newRow("a folder is there") << "Folder"
                                       << "File exists";
    QTest::newRow("an empty folder is there") << "Empty"
                                              << "File exists";
    QTest::newRow("a file is there") << "file"
                                     << "File exists";
    QTest::newRow("a dangling link is there") << "dangling"
                                              << "File exists";
    QTest::newRow("the parent is missing") << "missing/Set"
                                           << "No such file or directory";
}

void TestFileSystem::renameWithoutReplacing()
{
    QFETCH(QString, destination);
    QFETCH(QString, reason);
    QDir folder(m_dir->path());
    QVERIFY(folder.mkdir(QStringLiteral("source")));
    writeFile(path(QStringLiteral("source/logo.sys")), "source");
    QVERIFY(folder.mkdir(QStringLiteral("Folder")));
    writeFile(path(QStringLiteral("Folder/logo.sys")), "kept");
    QVERIFY(folder.mkdir(QStringLiteral("Empty")));
    writeFile(path(QStringLiteral("file")), "kept");
    QVERIFY(QFile::link(path(QStringLiteral("gone")), path(QStringLiteral("dangling"))));

    if (reason.isEmpty()) {
        bootvane::renameWithoutReplacing(path(QStringLiteral("source")), path(destination));
        QCOMPARE(fileBytes(path(destination + QStringLiteral("/logo.sys"))), QByteArray("source"));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("source"))));
        return;
    }
    expectError(
        [&] {
            bootvane::renameWithoutReplacing(path(QStringLiteral("source")), path(destination));
        },
        path(destination), reason);
    QCOMPARE(fileBytes(path(QStringLiteral("source/logo.sys"))), QByteArray("source"));
    QCOMPARE(fileBytes(path(QStringLiteral("Folder/logo.sys"))), QByteArray("kept"));
    QCOMPARE(fileBytes(path(QStringLiteral("file"))), QByteArray("kept"));
    QVERIFY(QDir(path(QStringLiteral("Empty"))).isEmpty());
    QVERIFY(QFileInfo(path(QStringLiteral("dangling"))).isSymLink());
}

void TestFileSystem::stagingFolderIsHiddenAndGoesAway()
{
    QString staged;
    {
        StagingFolder staging(m_dir->path());
        staged = QFileInfo(staging.filePath(QStringLiteral("logo.sys"))).absolutePath();
        writeFile(staging.filePath(QStringLiteral("logo.sys")), "x");
        QVERIFY(QDir(m_dir->path()).mkdir(staging.filePath(QStringLiteral("deeper"))));
        writeFile(staging.filePath(QStringLiteral("deeper/file")), "x");
        QCOMPARE(QFileInfo(staged).dir().absolutePath(), QDir(m_dir->path()).absolutePath());
        QVERIFY2(QFileInfo(staged).fileName().startsWith(QLatin1String(".bootvane-staging-")),
                 qPrintable(staged));
        QVERIFY(QFileInfo(staged).isDir());
        QVERIFY(bootvane::listFolder(m_dir->path() + QLatin1Char('/'), attributeFolder) ==
                (QStringList{".", ".."}));
    }
    QVERIFY(!QFileInfo::exists(staged));
    QVERIFY(everything(m_dir->path()).isEmpty());
}

void TestFileSystem::stagingFolderCommits()
{
    const QString destination = path(QStringLiteral("My set (2)"));
    {
        StagingFolder staging(m_dir->path());
        writeFile(staging.filePath(QStringLiteral("logo.sys")), "one");
        writeFile(staging.filePath(QStringLiteral("logow.sys")), "two");
        QVERIFY(staging.commitAs(destination));
    }
    QCOMPARE(everything(m_dir->path()), QStringList{QStringLiteral("My set (2)")});
    QCOMPARE(everything(destination), (QStringList{"logo.sys", "logow.sys"}));
    QCOMPARE(fileBytes(destination + QStringLiteral("/logow.sys")), QByteArray("two"));
    // The set is an ordinary folder, not one kept for its owner alone.
    QCOMPARE(modeOf(destination), mode_t(0777 & ~currentUmask()));
}

void TestFileSystem::stagingFolderDoesNotReplace()
{
    const QString destination = path(QStringLiteral("Taken"));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Taken")));
    {
        StagingFolder staging(m_dir->path());
        writeFile(staging.filePath(QStringLiteral("logo.sys")), "new");
        QVERIFY(!staging.commitAs(destination));
    }
    QCOMPARE(everything(m_dir->path()), QStringList{QStringLiteral("Taken")});
    QVERIFY(QDir(destination).isEmpty());
}

void TestFileSystem::stagingFolderInAMissingParentFails()
{
    const QString parent = path(QStringLiteral("missing"));
    try {
        StagingFolder staging(parent);
        QFAIL("a staging folder was made in a missing folder");
    } catch (const Error& error) {
        QCOMPARE(error.path(), parent);
        QVERIFY2(!error.reason().isEmpty(), qPrintable(error.message()));
    }
    QVERIFY(everything(m_dir->path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_filesystem.moc"
