// The main window on a temporary drive C: start-up and the first-start backup, the layout,
// the set tree, the preview, applying a set and restoring the originals.

#include "builtinscreen.h"
#include "filenames.h"
#include "filesystem.h"
#include "frmlogomain.h"
#include "picture.h"
#include "screenformat.h"
#include "scripteddialogs.h"
#include "setarchive.h"
#include "tempdrive.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

QString originalsFile(const TempDrive& drive, int slot)
{
    return drive.workDir() + QStringLiteral("/Originals/") + QLatin1String(setFileNames[slot]);
}

// Everything in a folder, hidden entries included.
QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The files a user sees in a folder.
QStringList filesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

QList<QByteArray> systemBytes(const TempDrive& drive)
{
    return {fileBytes(drive.systemFile(0)), fileBytes(drive.systemFile(1)),
            fileBytes(drive.systemFile(2))};
}

// The file behind a system file as drive C's link resolves it: the name errors give.
QString resolvedSystemFile(const TempDrive& drive, int slot)
{
    static const char* relative[] = {"/logo.sys", "/windows/logow.sys", "/windows/logos.sys"};
    return QDir::toNativeSeparators(QFileInfo(drive.driveC()).canonicalFilePath() +
                                    QLatin1String(relative[slot]));
}

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32);
}

// A picture of many more than 256 colours.
QImage trueColourPicture(int seed)
{
    QImage picture(320, 400, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x + seed) & 0xff, (y + seed * 3) & 0xff, (x * y) & 0xff));
    }
    return picture;
}

// A smooth photo-like picture of any size, made of more than 256 colours.
QImage photoPicture(QSize size, int seed)
{
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y,
                             qRgb(x * 255 / size.width(), y * 255 / size.height(),
                                  (seed * 80 + (x + y) * 64 / size.width()) & 0xff));
    }
    return picture;
}

// A 320 x 400 screen of 256 colours run-length coded, as some tools store it, cycling from
// entry 236.
QByteArray runLengthScreen(int seed)
{
    // Compression 1, run-length coded 8 bits, no length given for the code.
    QByteArray bytes = encodeBmp(screenPicture(seed)).left(54 + 1024);
    bytes.replace(30, 8, QByteArray("\1\0\0\0\0\0\0\0", 8)).replace(50, 1, "\xec", 1);
    for (int y = 0; y < 400; ++y)
        bytes +=
            QByteArray(1, char(160)) + char(seed + y) + char(160) + char(seed * y) + '\0' + '\0';
    return bytes + QByteArray("\0\1", 2);
}

bool showsSystemScreens(const frmLogoMain& window, int firstSeed = 100)
{
    for (int slot = 0; slot < 3; ++slot) {
        if (!samePixels(imgCur(window, slot)->picture(), screenPicture(firstSeed + slot)))
            return false;
    }
    return true;
}

// Message boxes that let the test change the world while the first-start notice is open,
// as other programs may while the user reads it.
class NoticeDialogs final : public UserDialogs {
public:
    void information(QWidget*, const QString& text, const QString& title) override
    {
        boxes.append({ScriptedDialogs::Box::Information, text, title});
        if (whileNoticeOpen)
            whileNoticeOpen();
    }
    void critical(QWidget*, const QString& text, const QString& title) override
    {
        boxes.append({ScriptedDialogs::Box::Critical, text, title});
    }
    QString openFileName(QWidget*, const QString&, const QList<FileFilter>&, int&,
                         const QString&) override
    {
        throw std::logic_error("no file dialog expected");
    }
    QString existingFolder(QWidget*, const QString&, const QString&) override
    {
        throw std::logic_error("no folder dialog expected");
    }
    bool question(QWidget*, const QString&, const QString&) override
    {
        throw std::logic_error("no question expected");
    }
    QString saveFileName(QWidget*, const QString&, const QList<FileFilter>&,
                         const QString&) override
    {
        throw std::logic_error("no file dialog expected");
    }

    QList<ScriptedDialogs::Box> boxes;
    std::function<void()> whileNoticeOpen;

private:
    ScopedUserDialogs m_installed{*this};
};

// Exactly one error box was shown, and it names file.
#define VERIFY_ONE_ERROR_NAMING(boxes, file)                                                       \
    do {                                                                                           \
        QCOMPARE((boxes).size(), 1);                                                               \
        QCOMPARE((boxes)[0].kind, ScriptedDialogs::Box::Critical);                                 \
        QCOMPARE((boxes)[0].title, QStringLiteral("Bootvane"));                                    \
        QVERIFY2((boxes)[0].text.contains(file), qPrintable((boxes)[0].text));                     \
    } while (false)

void verifyFirstStartNotice(const QList<ScriptedDialogs::Box>& boxes)
{
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].kind, ScriptedDialogs::Box::Information);
    QCOMPARE(boxes[0].text.section(QStringLiteral("\n\n"), 0, 0),
             QStringLiteral("Your current screen settings will be saved as your original set."));
    QVERIFY2(boxes[0].text.contains(QDir::currentPath()), qPrintable(boxes[0].text));
    QCOMPARE(boxes[0].title, QStringLiteral("Original Screen Settings"));
}

// One file dragged onto target and dropped there, as a file manager does it.
void dropOn(QWidget* target, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
}

void openAndCloseAboutBox(frmLogoMain& window)
{
    ModalVisit visit(closeBox);
    control<QAction>(&window, "mnuAbout")->trigger();
    QCOMPARE(visit.opened, 1);
}

} // namespace

class tst_MainWindow : public QObject {
    Q_OBJECT
private slots:
    // Start-up and the first-start backup
    void firstStartSavesTheOriginals();
    void laterStartLeavesTheOriginalsAlone();
    void plainFileNamedOriginalsCounts();
    void anotherWorkingDirectoryStartsAfresh();
    void eachDriveHasItsOwnOriginals();
    void failedBackupLeavesNothingAndIsRetried_data();
    void failedBackupLeavesNothingAndIsRetried();
    void eachStateOfASystemFile_data();
    void eachStateOfASystemFile();
    void startupScreenTooltip_data();
    void startupScreenTooltip();
    void previewIsBlankAfterStartUp();

    // Layout
    void windowFrame();
    void controlsSitWhereTheLayoutSays_data();
    void controlsSitWhereTheLayoutSays();
    void tabOrderAndFocus();
    void enterAndEscapePressNothing();

    // Activation and the tree
    void treeIsRebuiltOnlyOnFirstShowAndAfterModalWindows();
    void treeListsTheSets_data();
    void treeListsTheSets();
    void rebuildForgetsTheChosenNodeButKeepsThePreview();
    void treeHasNoLimitOnTheNumberOfSets();

    // Preview
    void clickPreviewsTheNode_data();
    void clickPreviewsTheNode();
    void setsRootBlanksThePreviewAndKeepsThePaths();
    void setWithAnUnreadableFileStopsAtThatFile_data();
    void setWithAnUnreadableFileStopsAtThatFile();

    // Applying a set
    void applyDoesNothingWithoutAChosenSet_data();
    void applyDoesNothingWithoutAChosenSet();
    void applyWritesTheSetAsBmpFiles_data();
    void applyWritesTheSetAsBmpFiles();
    void applyStopsAtASystemFileThatCannotBeWritten_data();
    void applyStopsAtASystemFileThatCannotBeWritten();

    // Restoring the originals
    void restoreWritesTheOriginalsBack();
    void restorePutsBackWhatOriginalsHolds_data();
    void restorePutsBackWhatOriginalsHolds();
    void twoRestoresGiveTheSameFilesAsOne();

    // Looking after the sets
    void setCommandsKeepWhatTheUserHad_data();
    void setCommandsKeepWhatTheUserHad();

    // Last: once Exit has asked the application to quit, no later event loop runs.
    void exitClosesWithoutWriting();
};

// ---------------------------------------------------------------------------------------
// Start-up and the first-start backup

void tst_MainWindow::firstStartSavesTheOriginals()
{
    TempDrive drive;
    drive.writeSystemScreens();
    NoticeDialogs dialogs;
    bool originalsBeforeNotice = true;
    dialogs.whileNoticeOpen = [&] {
        originalsBeforeNotice = QFileInfo::exists(drive.workDir() + QStringLiteral("/Originals"));
    };

    frmLogoMain window;

    verifyFirstStartNotice(dialogs.boxes);
    QVERIFY2(!originalsBeforeNotice, "the user is told before the copies are made");
    QCOMPARE(entriesOf(drive.workDir()), QStringList{QStringLiteral("Originals")});
    QCOMPARE(filesOf(drive.workDir() + QStringLiteral("/Originals")),
             (QStringList{"logo.sys", "logos.sys", "logow.sys"}));
    for (int slot = 0; slot < 3; ++slot)
        QCOMPARE(fileBytes(originalsFile(drive, slot)), fileBytes(drive.systemFile(slot)));
    QVERIFY(showsSystemScreens(window));
    QCOMPARE(window.appPath(), QDir::currentPath() + QDir::separator());
}

void tst_MainWindow::laterStartLeavesTheOriginalsAlone()
{
    TempDrive drive;
    drive.writeSystemScreens();
    QList<QByteArray> firstBytes = systemBytes(drive);
    {
        ScriptedDialogs dialogs;
        frmLogoMain first;
        verifyFirstStartNotice(dialogs.boxes);
    }
    for (int slot = 0; slot < 3; ++slot)
        drive.writeSystemScreen(slot, screenPicture(200 + slot));

    ScriptedDialogs dialogs;
    frmLogoMain second;

    QCOMPARE(dialogs.boxes.size(), 0);
    for (int slot = 0; slot < 3; ++slot)
        QCOMPARE(fileBytes(originalsFile(drive, slot)), firstBytes[slot]);
    QVERIFY(showsSystemScreens(second, 200));
}

void tst_MainWindow::plainFileNamedOriginalsCounts()
{
    TempDrive drive;
    drive.writeSystemScreens();
    const QString originals = drive.workDir() + QStringLiteral("/Originals");
    writeFile(originals, "not a folder");
    ScriptedDialogs dialogs;

    frmLogoMain window;
    showAndWait(window);

    // The file is no copy of the user's screens: they are saved out of its way, and the
    // Originals node shows them.
    verifyFirstStartNotice(dialogs.boxes);
    QCOMPARE(fileBytes(originals), QByteArray("not a folder"));
    QCOMPARE(tree(window)->topLevelItemCount(), 2);
    QCOMPARE(tree(window)->topLevelItem(1)->text(0), QStringLiteral("Originals"));
    clickNode(window, QStringLiteral("Originals"));
    for (int slot = 0; slot < 3; ++slot)
        QVERIFY(samePixels(imgNew(window, slot)->picture(), screenPicture(100 + slot)));
}

void tst_MainWindow::anotherWorkingDirectoryStartsAfresh()
{
    TempDrive drive;
    drive.writeSystemScreens();
    {
        ScriptedDialogs dialogs;
        frmLogoMain first;
        verifyFirstStartNotice(dialogs.boxes);
    }
    const QString other = drive.root() + QStringLiteral("/other");
    QVERIFY(QDir().mkdir(other));
    QVERIFY(QDir::setCurrent(other));

    ScriptedDialogs dialogs;
    frmLogoMain second;

    verifyFirstStartNotice(dialogs.boxes);
    QCOMPARE(second.appPath(), QDir::currentPath() + QDir::separator());
    for (int slot = 0; slot < 3; ++slot) {
        QCOMPARE(
            fileBytes(other + QStringLiteral("/Originals/") + QLatin1String(setFileNames[slot])),
            fileBytes(drive.systemFile(slot)));
    }
}

// One working folder, three Wine prefixes: the second's drive C is another folder, the
// third's c: leads to the first's drive.
void tst_MainWindow::eachDriveHasItsOwnOriginals()
{
    TempDrive drive;
    drive.writeSystemScreens();
    drive.makeSet(QStringLiteral("Sunset"));
    const QList<QByteArray> first = systemBytes(drive);
    {
        ScriptedDialogs dialogs;
        frmLogoMain window;
    }
    const QString other = drive.root() + QStringLiteral("/other");
    const QString link = other + QStringLiteral("/dosdevices/c:");
    auto otherFile = [&](int slot) {
        return QString(drive.systemFile(slot)).replace(drive.driveC(), other);
    };
    QVERIFY(QDir().mkpath(other + QStringLiteral("/dosdevices")));
    QVERIFY(QDir().mkpath(other + QStringLiteral("/windows")));
    QVERIFY(QFile::link(other, link));
    for (int slot = 0; slot < 3; ++slot)
        writeFile(otherFile(slot), encodeBmp(screenPicture(200 + slot)));
    qputenv("WINEPREFIX", QFile::encodeName(other));
    {
        ScriptedDialogs dialogs;
        frmLogoMain window;
        showAndWait(window);
        verifyFirstStartNotice(dialogs.boxes);
        clickNode(window, QStringLiteral("Originals"));
        for (int slot = 0; slot < 3; ++slot)
            QVERIFY(samePixels(imgNew(window, slot)->picture(), screenPicture(200 + slot)));
        clickNode(window, QStringLiteral("Sunset"));
        clickButton(&window, "cmdSetCur");
        clickButton(&window, "cmdRestore");
        QCOMPARE(dialogs.boxes.size(), 1);
    }
    for (int slot = 0; slot < 3; ++slot) {
        QCOMPARE(fileBytes(otherFile(slot)), encodeBmp(screenPicture(200 + slot)));
        QCOMPARE(fileBytes(originalsFile(drive, slot)), first[slot]);
    }
    QCOMPARE(systemBytes(drive), first);

    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(drive.driveC(), link));
    ScriptedDialogs dialogs;
    frmLogoMain same;
    QCOMPARE(dialogs.boxes.size(), 0);
}

void tst_MainWindow::failedBackupLeavesNothingAndIsRetried_data()
{
    QTest::addColumn<int>("failingSlot");
    QTest::newRow("logo.sys") << 0;
    QTest::newRow("logow.sys") << 1;
    QTest::newRow("logos.sys") << 2;
}

void tst_MainWindow::failedBackupLeavesNothingAndIsRetried()
{
    QFETCH(int, failingSlot);
    TempDrive drive;
    drive.writeSystemScreens();
    const QString system = drive.systemFile(failingSlot);
    const QByteArray kept = fileBytes(system);
    {
        // The screens have been read; while the notice is open the file turns into a socket,
        // which is never read, also not as root.
        NoticeDialogs dialogs;
        dialogs.whileNoticeOpen = [&] {
            QVERIFY(QFile::remove(system));
            QVERIFY(::mknod(QFile::encodeName(system).constData(), S_IFSOCK | 0600, 0) == 0);
        };
        frmLogoMain window;

        QCOMPARE(dialogs.boxes.size(), 2);
        verifyFirstStartNotice(dialogs.boxes.mid(0, 1));
        VERIFY_ONE_ERROR_NAMING(dialogs.boxes.mid(1), resolvedSystemFile(drive, failingSlot));
        QCOMPARE(entriesOf(drive.workDir()), QStringList()); // no staging folder either
        QVERIFY(showsSystemScreens(window));
    }

    QVERIFY(QFile::remove(system));
    writeFile(system, kept);
    ScriptedDialogs dialogs;
    frmLogoMain again;

    verifyFirstStartNotice(dialogs.boxes);
    QCOMPARE(entriesOf(drive.workDir()), QStringList{QStringLiteral("Originals")});
    for (int slot = 0; slot < 3; ++slot)
        QCOMPARE(fileBytes(originalsFile(drive, slot)), fileBytes(drive.systemFile(slot)));
}

void tst_MainWindow::eachStateOfASystemFile_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("state");
    QTest::newRow("all three present") << 0 << "present";
    QTest::newRow("no logo.sys, as on a plain Windows 95") << 0 << "absent";
    QTest::newRow("no logos.sys, Originals applied from the tree") << 2 << "absent";
    QTest::newRow("logow.sys unreadable (a socket)") << 1 << "unreadable";
    // The user's: Windows finds no file there, and Bootvane changes nothing of it.
    QTest::newRow("logow.sys a folder") << 1 << "folder";
    QTest::newRow("logos.sys no picture") << 2 << "text";
}

// Start-up, the backup, then applying a set and restoring the originals, with one system
// file in each state a real drive C can have it in.
void tst_MainWindow::eachStateOfASystemFile()
{
    QFETCH(int, slot);
    QFETCH(QString, state);
    TempDrive drive;
    drive.writeSystemScreens();
    drive.makeSet(QStringLiteral("Sunset"));
    const QString file = drive.systemFile(slot);
    if (state != QLatin1String("present"))
        QVERIFY(QFile::remove(file));
    const bool folder = state == QLatin1String("folder");
    if (state == QLatin1String("unreadable"))
        QVERIFY(::mknod(QFile::encodeName(file).constData(), S_IFSOCK | 0600, 0) == 0);
    else if (folder)
        QVERIFY(QDir().mkdir(file));
    else if (state == QLatin1String("text"))
        writeFile(file, "these are not pixels");
    const QList<QByteArray> before = systemBytes(drive);
    const bool showable =
        state == QLatin1String("present") || state == QLatin1String("absent") || folder;
    auto only = [](QList<ScriptedDialogs::Box> boxes, ScriptedDialogs::Box::Kind kind) {
        boxes.removeIf([kind](const auto& box) { return box.kind != kind; });
        return boxes;
    };
    auto errors = [&only](const auto& boxes) {
        return only(boxes, ScriptedDialogs::Box::Critical);
    };

    ScriptedDialogs dialogs;
    frmLogoMain window;
    showAndWait(window);

    // The notice comes whatever the state; a screen that cannot be read is reported, and so
    // is the backup it stops, but the other screens are shown all the same.
    verifyFirstStartNotice(only(dialogs.boxes, ScriptedDialogs::Box::Information));
    const QList<ScriptedDialogs::Box> startErrors = errors(dialogs.boxes);
    QCOMPARE(startErrors.size(), showable ? 0 : state == QLatin1String("unreadable") ? 2 : 1);
    for (const ScriptedDialogs::Box& box : startErrors)
        QVERIFY2(box.text.contains(resolvedSystemFile(drive, slot)), qPrintable(box.text));
    for (int other = 0; other < 3; ++other) {
        const QImage shown = imgCur(window, other)->picture();
        if (other != slot || state == QLatin1String("present"))
            QVERIFY(samePixels(shown, screenPicture(100 + other)));
        else
            QCOMPARE(isBuiltInScreen(shown), state == QLatin1String("absent") || folder);
    }
    QCOMPARE(imgCur(window, slot)->toolTip().contains(QLatin1String("folder")), folder);
    QStringList saved{"logo.sys", "logos.sys", "logow.sys"};
    if (state == QLatin1String("absent") || folder)
        saved.removeOne(QLatin1String(setFileNames[slot]));
    const QString originals = drive.workDir() + QStringLiteral("/Originals");
    QCOMPARE(filesOf(originals), state == QLatin1String("unreadable") ? QStringList() : saved);

    dialogs.boxes.clear();
    clickNode(window, QStringLiteral("Sunset"));
    clickButton(&window, "cmdSetCur");
    if (state == QLatin1String("unreadable") || folder) {
        // Nothing is overwritten while the user's own screens have no copy anywhere, nor
        // anything at all while a folder stands where a file would be written.
        VERIFY_ONE_ERROR_NAMING(errors(dialogs.boxes), resolvedSystemFile(drive, slot));
        QCOMPARE(systemBytes(drive), before);
        QCOMPARE(QFileInfo(file).isDir(), folder);
        QCOMPARE(QFileInfo::exists(originals), folder);
        return;
    }
    QCOMPARE(errors(dialogs.boxes).size(), 0);
    for (int other = 0; other < 3; ++other)
        QVERIFY(samePixels(loadPicture(drive.systemFile(other)), imgNew(window, other)->picture()));

    // Applying the Originals node is restoring, removals included.
    if (slot == 2 && state == QLatin1String("absent")) {
        clickNode(window, QStringLiteral("Originals"));
        QVERIFY(isBuiltInScreen(imgNew(window, slot)->picture()));
        clickButton(&window, "cmdSetCur");
    } else {
        clickButton(&window, "cmdRestore");
    }
    // What the drive had comes back as it was, picture or not.
    QCOMPARE(dialogs.boxes.size(), 0);
    QCOMPARE(systemBytes(drive), before);
    QCOMPARE(QFileInfo::exists(file), state != QLatin1String("absent"));
    QCOMPARE(isBuiltInScreen(imgCur(window, slot)->picture()), state == QLatin1String("absent"));
}

void tst_MainWindow::startupScreenTooltip_data()
{
    QTest::addColumn<QByteArray>("msdosSys");
    QTest::addColumn<bool>("switchedOff");
    QTest::newRow("no MSDOS.SYS") << QByteArray() << false;
    QTest::newRow("Logo=0 under [Options]")
        << QByteArray("[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootGUI=1\r\nLogo=0\r\n")
        << true;
    QTest::newRow("spaced, in any case") << QByteArray("[options]\n  logo = 0 \n") << true;
    QTest::newRow("Logo=1") << QByteArray("[Options]\r\nLogo=1\r\n") << false;
    QTest::newRow("Logo=0 in another section")
        << QByteArray("[Paths]\r\nLogo=0\r\n[Options]\r\nBootGUI=1\r\n") << false;
    QTest::newRow("Windows 98 SE, Logo=0")
        << QByteArray("[Options]\r\nWinVer=4.10.2222\r\nLogo=0\r\n") << true;
    QTest::newRow("Windows ME") << QByteArray("[Options]\r\nWinVer=4.90.3000\r\n") << false;
}

void tst_MainWindow::startupScreenTooltip()
{
    QFETCH(QByteArray, msdosSys);
    QFETCH(bool, switchedOff);
    Desk desk([&](TempDrive& drive) {
        if (!msdosSys.isEmpty())
            writeFile(drive.driveC() + QStringLiteral("/MSDOS.SYS"), msdosSys);
        // Windows reads only the low byte of biClrImportant: 492 cycles from entry 236.
        QImage cycling = screenPicture(100);
        cycling.setText(QLatin1String(bmpImportantColoursKey), QStringLiteral("492"));
        drive.writeSystemScreen(0, cycling);
        // A photo that Windows cannot show: applying would convert it, but as it is on the
        // drive it is shown not at all.
        writeFile(drive.systemFile(1), encodeBmp(photoPicture(QSize(64, 48), 1)));
    });

    const QString startup = imgCur(desk.main(), 0)->toolTip();
    QVERIFY2(startup.contains(QLatin1String("236")), qPrintable(startup));
    // The Windows that will show the screens is the one MSDOS.SYS names.
    const QByteArray version = msdosSys.mid(msdosSys.indexOf("WinVer=") + 7, 4);
    const char* windows = version == "4.10"   ? "Windows 98"
                          : version == "4.90" ? "Windows ME"
                                              : "Windows 95";
    QVERIFY2(startup.contains(QLatin1String(windows)), qPrintable(startup));
    QVERIFY(!startup.contains(QLatin1String("492")));
    // The note is a line of its own, on the Startup Screen in use only.
    QCOMPARE(startup.contains(QLatin1Char('\n')), switchedOff);
    for (int slot = 1; slot < 3; ++slot)
        QVERIFY(!imgCur(desk.main(), slot)->toolTip().contains(QLatin1Char('\n')));
    clickNode(desk.main(), QStringLiteral("Originals"));
    QVERIFY(!imgNew(desk.main(), 0)->toolTip().contains(QLatin1Char('\n')));
    QVERIFY(imgNew(desk.main(), 0)->toolTip().contains(QLatin1String("236")));
    QVERIFY(imgNew(desk.main(), 1)->toolTip() != imgCur(desk.main(), 1)->toolTip());
    QCOMPARE(imgNew(desk.main(), 2)->toolTip(), imgCur(desk.main(), 2)->toolTip());
}

void tst_MainWindow::previewIsBlankAfterStartUp()
{
    Desk earlier;
    clickNode(earlier.main(), QStringLiteral("Sunset"));
    QVERIFY(imgNew(earlier.main(), 0)->pictureHandle() != 0);

    frmLogoMain window;
    showAndWait(window);

    for (int slot = 0; slot < 3; ++slot) {
        QCOMPARE(imgNew(window, slot)->pictureHandle(), 0);
        QVERIFY(window.newPath(slot).isEmpty());
    }
    QVERIFY(window.setName().isEmpty());
}

// ---------------------------------------------------------------------------------------
// Layout

void tst_MainWindow::windowFrame()
{
    Desk desk;
    const frmLogoMain& window = desk.main();

    QCOMPARE(window.windowTitle(), QStringLiteral("Bootvane"));
    QCOMPARE(iconImage(window.windowIcon()), iconImage(programIcon()));
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(window.minimumSize(), window.maximumSize());

    // The client area, 8280 x 4920 twips, lies under the menu bar.
    const QWidget* menu = window.menuBar();
    QCOMPARE(menu->geometry().topLeft(), QPoint(0, 0));
    QCOMPARE(window.centralWidget()->geometry(), QRect(0, menu->height(), 552, 328));
    QCOMPARE(window.size(), QSize(552, 328 + menu->height()));

    // Centred on the screen, frame and all.
    const QPoint offCentre =
        window.frameGeometry().center() - window.screen()->availableGeometry().center();
    QVERIFY2(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1,
             qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));

    // Three menus: Drive, Sets, then Help with one item, About.
    const QList<QAction*> menus = window.menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[0]->menu()->objectName(), QStringLiteral("mnuDrive"));
    QCOMPARE(menus[1]->menu()->objectName(), QStringLiteral("mnuSets"));
    QCOMPARE(menus[2]->text(), QStringLiteral("&Help"));
    QCOMPARE(menus[2]->menu()->objectName(), QStringLiteral("mnuHelp"));
    const QList<QAction*> items = menus[2]->menu()->actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0]->text(), QStringLiteral("&About"));
    QCOMPARE(items[0]->objectName(), QStringLiteral("mnuAbout"));
}

void tst_MainWindow::controlsSitWhereTheLayoutSays_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twipsPlace");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("heading");

    auto row = [](const char* name, QRect place, const char* caption = "", bool heading = false) {
        QTest::newRow(name) << QString::fromLatin1(name) << place << QString::fromLatin1(caption)
                            << heading;
    };
    row("TreeView1", {120, 120, 3135, 3735});
    row("cmdNewSet", {120, 4080, 1335, 375}, "Create New Set");
    row("cmdExit", {1920, 4080, 1335, 375}, "Exit");
    row("lblNewSet", {3480, 120, 1935, 375}, "New Logo Settings", true);
    row("cmdSetCur", {6600, 120, 1455, 375}, "Set as Current");
    row("imgNewLogo", {3480, 600, 1455, 1335});
    row("imgNewLogow", {5040, 600, 1455, 1335});
    row("imgNewLogos", {6600, 600, 1455, 1335});
    row("lblNewLogo", {3840, 2040, 735, 255}, "Logo.sys");
    row("lblNewLogow", {5400, 2040, 855, 255}, "Logow.sys");
    row("lblNewLogos", {6960, 2040, 735, 255}, "Logos.sys");
    row("lblCurSet", {3480, 2640, 2295, 375}, "Current Logo Settings", true);
    row("cmdRestore", {6600, 2640, 1455, 375}, "Restore originals");
    row("imgCurLogo", {3480, 3120, 1455, 1335});
    row("imgCurLogow", {5040, 3120, 1455, 1335});
    row("imgCurLogos", {6600, 3120, 1455, 1335});
    row("lblCurLogo", {3840, 4560, 735, 255}, "Logo.sys");
    row("lblCurLogow", {5400, 4560, 855, 255}, "Logow.sys");
    row("lblCurLogos", {6960, 4560, 735, 255}, "Logos.sys");
}

void tst_MainWindow::controlsSitWhereTheLayoutSays()
{
    QFETCH(QString, name);
    QFETCH(QRect, twipsPlace);
    QFETCH(QString, caption);
    QFETCH(bool, heading);
    Desk desk;

    const auto* widget = control<QWidget>(desk.window.get(), qPrintable(name));
    QCOMPARE(widget->parentWidget(), desk.main().centralWidget());
    QCOMPARE(widget->geometry(), QRect(twipsPlace.x() / 15, twipsPlace.y() / 15,
                                       twipsPlace.width() / 15, twipsPlace.height() / 15));
    QVERIFY(widget->isVisible());

    const QFont font = widget->font();
    QCOMPARE(font.family(),
             heading ? QStringLiteral("Times New Roman") : QStringLiteral("MS Sans Serif"));
    QCOMPARE(font.pointSizeF(), heading ? 12.0 : 8.25);
    QCOMPARE(font.weight(), heading ? QFont::Bold : QFont::Normal);

    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        QCOMPARE(button->text(), caption);
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    } else if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        QCOMPARE(label->text(), caption);
        if (name.contains(QLatin1String("Logo")))
            QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        // The whole caption can be read in its label.
        QVERIFY2(label->fontMetrics().horizontalAdvance(caption) <= label->width(),
                 qPrintable(caption));
    } else if (const auto* box = qobject_cast<const ImageBox*>(widget)) {
        QCOMPARE(box->frameWidth(), 1);
        QCOMPARE(box->pictureHandle() == 0, name.startsWith(QLatin1String("imgNew")));
    }
}

void tst_MainWindow::tabOrderAndFocus()
{
    Desk desk;

    // "Set as Current" is greyed until a set is chosen: the focus starts on the next control.
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(desk.window.get(), "cmdRestore"));
    QStringList order;
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(order, (QStringList{"cmdNewSet", "TreeView1", "cmdExit", "imgNewLogo", "imgNewLogow",
                                 "imgNewLogos", "imgCurLogo", "imgCurLogow", "imgCurLogos",
                                 "cmdRestore"}));

    // On a screen: the Menu key or Shift+F10 opens its menu, Enter the full-size view.
    ImageBox* box = imgCur(desk.main(), 1);
    box->setFocus();
    for (const QKeyCombination keys :
         {QKeyCombination(Qt::Key_Menu), QKeyCombination(Qt::ShiftModifier, Qt::Key_F10)}) {
        QTest::keyClick(box, keys.key(), keys.keyboardModifiers());
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
        QApplication::activePopupWidget()->close();
    }
    ModalVisit visit(closeBox);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(visit.opened, 1);
    // A screen reader hears which screen it is, whose, and what the tooltip says.
    QVERIFY(box->accessibleName().contains(QLatin1String(screenSlots[1].uiName)));
    QCOMPARE(box->accessibleDescription(), box->toolTip());
}

void tst_MainWindow::enterAndEscapePressNothing()
{
    Desk desk;
    clickNode(desk.main(), QStringLiteral("Sunset"));
    // The files in use now differ from the originals, so that a restore would show.
    for (int slot = 0; slot < 3; ++slot)
        desk.drive.writeSystemScreen(slot, screenPicture(300 + slot));
    const QList<QByteArray> before = desk.systemBytes();

    ModalVisit visit(closeBox);
    for (const char* name : {"cmdSetCur", "cmdRestore", "cmdNewSet", "TreeView1", "cmdExit"}) {
        auto* focused = control<QWidget>(desk.window.get(), name);
        focused->setFocus();
        QCOMPARE(QApplication::focusWidget(), focused);
        for (const int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(focused, Qt::Key(key));
        QVERIFY2(desk.main().isVisible(), name);
    }
    QTest::qWait(20);

    QCOMPARE(visit.opened, 0);
    QCOMPARE(desk.rebuilds->count(), 0);
    QCOMPARE(desk.systemBytes(), before);
    QCOMPARE(desk.dialogs.boxes.size(), 0);
    QVERIFY(showsSystemScreens(desk.main()));
}

// ---------------------------------------------------------------------------------------
// Activation and the tree

void tst_MainWindow::treeIsRebuiltOnlyOnFirstShowAndAfterModalWindows()
{
    TempDrive drive;
    drive.writeSystemScreens();
    ScriptedDialogs dialogs;
    frmLogoMain window;
    QSignalSpy rebuilds(&window, &frmLogoMain::treeRebuilt);
    QCOMPARE(tree(window)->topLevelItemCount(), 0);

    showAndWait(window);
    QCOMPARE(rebuilds.count(), 1);

    // The window system saying the window is active again is no return from a window of ours.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activate);
    QCOMPARE(rebuilds.count(), 1);

    // Switching to another application's window and back.
    QWidget elsewhere;
    elsewhere.resize(100, 100);
    showAndWait(elsewhere);
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(rebuilds.count(), 1);

    // Minimising and restoring.
    window.showMinimized();
    QTest::qWait(10);
    window.showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(rebuilds.count(), 1);

    openAndCloseAboutBox(window);
    QCOMPARE(rebuilds.count(), 2);
}

void tst_MainWindow::treeListsTheSets_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("plainFiles");
    QTest::addColumn<QStringList>("setNodes");

    QTest::newRow("no sets") << QStringList() << QStringList() << QStringList();
    QTest::newRow("three sets in listing order")
        << QStringList{"Charlie", "alpha", "Bravo"} << QStringList{"notes.txt", "Zulu"}
        << QStringList{"alpha", "Bravo", "Charlie"};
    QTest::newRow("hidden folder")
        << QStringList{".hidden", "Shown"} << QStringList() << QStringList{"Shown"};
    QTest::newRow("folder named First")
        << QStringList{"First", "Second"} << QStringList() << QStringList{"First", "Second"};
    QTest::newRow("folder named originals")
        << QStringList{"originals"} << QStringList() << QStringList{"originals"};
    QTest::newRow("folder named Bootvane Sets")
        << QStringList{"Bootvane Sets"} << QStringList() << QStringList{"Bootvane Sets"};
    QTest::newRow("folder without screen files")
        << QStringList{"Empty"} << QStringList() << QStringList{"Empty"};
}

void tst_MainWindow::treeListsTheSets()
{
    QFETCH(QStringList, folders);
    QFETCH(QStringList, plainFiles);
    QFETCH(QStringList, setNodes);
    TempDrive drive;
    drive.writeSystemScreens();
    for (const QString& folder : folders)
        QVERIFY(QDir(drive.workDir()).mkdir(folder));
    for (const QString& file : plainFiles)
        writeFile(drive.workDir() + QLatin1Char('/') + file, "plain");
    ScriptedDialogs dialogs;
    frmLogoMain window;
    showAndWait(window);
    verifyFirstStartNotice(dialogs.boxes);

    const QTreeWidget* view = tree(window);
    QVERIFY(view->rootIsDecorated()); // lines join the top-level nodes too
    QVERIFY(!view->isSortingEnabled());
    QCOMPARE(view->topLevelItemCount(), 2);

    const QTreeWidgetItem* root = view->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("Bootvane Sets"));
    QCOMPARE(root->data(0, frmLogoMain::nodeKeyRole).toString(), QStringLiteral("First"));
    QCOMPARE(root->data(0, frmLogoMain::nodeImageRole).toInt(), 1);
    QCOMPARE(iconImage(root->icon(0)), iconImage(programIcon()));

    QStringList children;
    for (int i = 0; i < root->childCount(); ++i) {
        const QTreeWidgetItem* child = root->child(i);
        children.append(child->text(0));
        QVERIFY(child->data(0, frmLogoMain::nodeKeyRole).toString().isEmpty());
        QCOMPARE(child->data(0, frmLogoMain::nodeImageRole).toInt(), 2);
        QCOMPARE(iconImage(child->icon(0)), iconImage(QIcon(bundlePixmap())));
        QCOMPARE(child->childCount(), 0);
    }
    QCOMPARE(children, setNodes);

    const QTreeWidgetItem* originals = view->topLevelItem(1);
    QCOMPARE(originals->text(0), QStringLiteral("Originals"));
    QCOMPARE(originals->data(0, frmLogoMain::nodeKeyRole).toString(), QStringLiteral("Originals"));
    QCOMPARE(originals->data(0, frmLogoMain::nodeImageRole).toInt(), 1);
    QCOMPARE(iconImage(originals->icon(0)), iconImage(programIcon()));
    QCOMPARE(originals->childCount(), 0);
}

void tst_MainWindow::rebuildForgetsTheChosenNodeButKeepsThePreview()
{
    Desk desk;
    clickNode(desk.main(), QStringLiteral("Sunset"));
    QCOMPARE(desk.main().setName(), QStringLiteral("Sunset"));
    qint64 handles[3];
    QString paths[3];
    for (int slot = 0; slot < 3; ++slot) {
        handles[slot] = imgNew(desk.main(), slot)->pictureHandle();
        paths[slot] = desk.main().newPath(slot);
    }
    // A set that appeared meanwhile is listed after the rebuild.
    desk.drive.makeSet(QStringLiteral("Aurora"));

    openAndCloseAboutBox(desk.main());

    QCOMPARE(desk.rebuilds->count(), 1);
    QVERIFY(desk.main().setName().isEmpty());
    QCOMPARE(tree(desk.main())->currentItem(), nullptr);
    QCOMPARE(tree(desk.main())->topLevelItem(0)->childCount(), 2);
    for (int slot = 0; slot < 3; ++slot) {
        QCOMPARE(imgNew(desk.main(), slot)->pictureHandle(), handles[slot]);
        QCOMPARE(desk.main().newPath(slot), paths[slot]);
    }
}

void tst_MainWindow::treeHasNoLimitOnTheNumberOfSets()
{
    constexpr int setCount = 1000;
    Desk desk([](TempDrive& drive) {
        QDir work(drive.workDir());
        for (int i = 0; i < setCount; ++i)
            work.mkdir(QStringLiteral("Empty %1").arg(i, 5, 10, QLatin1Char('0')));
    });

    const QTreeWidget* view = tree(desk.main());
    QCOMPARE(view->topLevelItemCount(), 2);
    const QTreeWidgetItem* root = view->topLevelItem(0);
    QCOMPARE(root->childCount(), setCount + 1);
    for (int i = 0; i < setCount; ++i)
        QCOMPARE(root->child(i)->data(0, frmLogoMain::nodeImageRole).toInt(), 2);
    QCOMPARE(root->child(setCount)->text(0), QStringLiteral("Sunset"));
    QCOMPARE(view->topLevelItem(1)->text(0), QStringLiteral("Originals"));
    QCOMPARE(view->topLevelItem(1)->data(0, frmLogoMain::nodeImageRole).toInt(), 1);

    clickNode(desk.main(), QStringLiteral("Sunset"));
    QCOMPARE(desk.main().setName(), QStringLiteral("Sunset"));
    QVERIFY(imgNew(desk.main(), 2)->pictureHandle() != 0);
}

// ---------------------------------------------------------------------------------------
// Preview

void tst_MainWindow::clickPreviewsTheNode_data()
{
    QTest::addColumn<QString>("nodeText");
    QTest::addColumn<bool>("clickTwice");
    QTest::addColumn<bool>("latin1Names"); // a set and a working folder named in Latin-1
    QTest::addColumn<int>("key");          // chosen with this key rather than a click
    QTest::newRow("set") << "Sunset" << false << false << 0;
    QTest::newRow("set named First") << "First" << false << false << 0;
    QTest::newRow("Originals") << "Originals" << false << false << 0;
    QTest::newRow("set clicked again after its files changed") << "Sunset" << true << false << 0;
    QTest::newRow("names not in UTF-8") << QStringLiteral("caf\ufffd") << false << true << 0;
    QTest::newRow("set reached with the Down key")
        << "Sunset" << false << false << int(Qt::Key_Down);
    QTest::newRow("set chosen with Enter") << "First" << false << false << int(Qt::Key_Return);
    QTest::newRow("Originals chosen with Space")
        << "Originals" << false << false << int(Qt::Key_Space);
}

void tst_MainWindow::clickPreviewsTheNode()
{
    QFETCH(QString, nodeText);
    QFETCH(bool, clickTwice);
    QFETCH(bool, latin1Names);
    QFETCH(int, key);
    Desk desk([&](TempDrive& drive) {
        drive.makeSet(QStringLiteral("First"));
        if (!latin1Names)
            return;
        drive.makeSet(QStringLiteral("Cafe"));
        const QByteArray work = QFile::encodeName(drive.workDir());
        const QByteArray renamed = QFile::encodeName(drive.root()) + "/w\xf6rk";
        QVERIFY(::rename(work + "/Cafe", work + "/caf\xe9") == 0);
        QVERIFY(::rename(work, renamed) == 0 && ::chdir(renamed) == 0);
    });
    const QList<QByteArray> before = desk.systemBytes();

    if (key)
        keyNode(desk.main(), nodeText, Qt::Key(key));
    else
        clickNode(desk.main(), nodeText);
    // Chosen, the set can be applied.
    QVERIFY(control<QPushButton>(desk.window.get(), "cmdSetCur")->isEnabled());
    if (clickTwice) {
        for (int slot = 0; slot < 3; ++slot)
            writeFile(desk.setFile(nodeText, slot), encodeBmp(screenPicture(77 + slot)));
        clickNode(desk.main(), nodeText);
    }

    QCOMPARE(desk.dialogs.boxes.size(), 0);
    QCOMPARE(displayFileName(desk.main().setName()), nodeText);
    for (int slot = 0; slot < 3; ++slot) {
        const QString path = desk.main().newPath(slot);
        QCOMPARE(displayFileName(path), displayFileName(desk.main().appPath()) + nodeText +
                                            QDir::separator() + QLatin1String(setFileNames[slot]));
        QVERIFY(samePixels(imgNew(desk.main(), slot)->picture(), loadPicture(path)));
        if (clickTwice)
            QVERIFY(samePixels(imgNew(desk.main(), slot)->picture(), screenPicture(77 + slot)));
    }
    QCOMPARE(desk.systemBytes(), before);
    QVERIFY(fileAttributes(desk.main().appPath() + QStringLiteral("Originals")) & attributeFolder);
}

void tst_MainWindow::setsRootBlanksThePreviewAndKeepsThePaths()
{
    Desk desk([](TempDrive& drive) { drive.makeSet(QStringLiteral("Bootvane Sets")); });
    clickNode(desk.main(), QStringLiteral("Sunset"));
    QString paths[3];
    for (int slot = 0; slot < 3; ++slot)
        paths[slot] = desk.main().newPath(slot);
    const QList<QByteArray> before = desk.systemBytes();

    // The root, and a set folder that carries the root's name, are alike.
    QTreeWidget* view = tree(desk.main());
    QTreeWidgetItem* root = view->topLevelItem(0);
    for (QTreeWidgetItem* item : {root, root->child(0)}) {
        QCOMPARE(item->text(0), QStringLiteral("Bootvane Sets"));
        view->scrollToItem(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualItemRect(item).center());
        QCOMPARE(view->currentItem(), item);

        QCOMPARE(desk.main().setName(), QStringLiteral("Bootvane Sets"));
        for (int slot = 0; slot < 3; ++slot) {
            QCOMPARE(imgNew(desk.main(), slot)->pictureHandle(), 0);
            QCOMPARE(desk.main().newPath(slot), paths[slot]);
        }
        clickButton(desk.window.get(), "cmdSetCur");
        QCOMPARE(desk.systemBytes(), before);
        QVERIFY(showsSystemScreens(desk.main()));
    }
    QCOMPARE(desk.dialogs.boxes.size(), 0);
}

void tst_MainWindow::setWithAnUnreadableFileStopsAtThatFile_data()
{
    QTest::addColumn<int>("failingSlot");
    QTest::addColumn<bool>("noPicture");
    QTest::newRow("logo.sys missing") << 0 << false;
    QTest::newRow("logow.sys missing") << 1 << false;
    QTest::newRow("logos.sys missing") << 2 << false;
    QTest::newRow("logow.sys no picture") << 1 << true;
}

void tst_MainWindow::setWithAnUnreadableFileStopsAtThatFile()
{
    QFETCH(int, failingSlot);
    QFETCH(bool, noPicture);
    Desk desk([](TempDrive& drive) { drive.makeSet(QStringLiteral("Broken")); });
    const QString broken = desk.setFile(QStringLiteral("Broken"), failingSlot);
    QVERIFY(QFile::remove(broken));
    if (noPicture)
        writeFile(broken, "text, not a picture");
    clickNode(desk.main(), QStringLiteral("Sunset"));

    clickNode(desk.main(), QStringLiteral("Broken"));

    VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes, QDir::toNativeSeparators(broken));
    QCOMPARE(desk.main().setName(), QStringLiteral("Sunset"));
    for (int slot = 0; slot < 3; ++slot) {
        QCOMPARE(desk.main().newPath(slot), desk.main().appPath() + QStringLiteral("Broken") +
                                                QDir::separator() +
                                                QLatin1String(setFileNames[slot]));
        if (slot < failingSlot) {
            QVERIFY(samePixels(imgNew(desk.main(), slot)->picture(),
                               loadPicture(desk.setFile(QStringLiteral("Broken"), slot))));
        } else {
            QCOMPARE(imgNew(desk.main(), slot)->pictureHandle(), 0);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Applying a set

void tst_MainWindow::applyDoesNothingWithoutAChosenSet_data()
{
    QTest::addColumn<QString>("before");
    QTest::newRow("no node clicked yet") << "nothing";
    QTest::newRow("after a rebuild") << "rebuild";
    QTest::newRow("sets root clicked") << "root";
    QTest::newRow("set named Bootvane Sets clicked") << "namesake";
    QTest::newRow("set selected after the root, preview blank") << "moved";
    QTest::newRow("a set that lacks a screen clicked") << "incomplete";
}

void tst_MainWindow::applyDoesNothingWithoutAChosenSet()
{
    QFETCH(QString, before);
    Desk desk([](TempDrive& drive) {
        drive.makeSet(QStringLiteral("Bootvane Sets"));
        const QImage lacking[3] = {screenPicture(1), QImage(), screenPicture(3)};
        drive.makeSet(QStringLiteral("Lacking"), lacking);
    });
    QTreeWidget* view = tree(desk.main());
    QTreeWidgetItem* sunset = node(desk.main(), QStringLiteral("Sunset"));

    if (before == QLatin1String("rebuild")) {
        clickNode(desk.main(), QStringLiteral("Sunset"));
        openAndCloseAboutBox(desk.main());
        // The set is selected again, but no node was clicked since the rebuild.
        view->setCurrentItem(node(desk.main(), QStringLiteral("Sunset")));
    } else if (before == QLatin1String("root")) {
        clickNode(desk.main(), QStringLiteral("Sunset"));
        clickNode(desk.main(), QStringLiteral("Bootvane Sets"));
    } else if (before == QLatin1String("namesake")) {
        QTreeWidgetItem* namesake = view->topLevelItem(0)->child(0);
        view->topLevelItem(0)->setExpanded(true);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualItemRect(namesake).center());
        QCOMPARE(view->currentItem(), namesake);
    } else if (before == QLatin1String("moved")) {
        clickNode(desk.main(), QStringLiteral("Sunset"));
        clickNode(desk.main(), QStringLiteral("Bootvane Sets"));
        // A selection that the preview did not follow.
        view->setCurrentItem(sunset);
    } else if (before == QLatin1String("incomplete")) {
        clickNode(desk.main(), QStringLiteral("Lacking"));
        desk.dialogs.boxes.clear(); // the preview's own error
    }
    const QList<QByteArray> files = desk.systemBytes();

    // Greyed out, saying why; a click does nothing, and the screens in use stay.
    auto* button = control<QPushButton>(desk.window.get(), "cmdSetCur");
    QVERIFY(!button->isEnabled() && !button->toolTip().isEmpty());
    clickButton(desk.window.get(), "cmdSetCur");

    QCOMPARE(desk.systemBytes(), files);
    QCOMPARE(desk.dialogs.boxes.size(), 0);
    QVERIFY(showsSystemScreens(desk.main()));
}

void tst_MainWindow::applyWritesTheSetAsBmpFiles_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("photo"); // empty: a screen picture of 256 colours
    QTest::addColumn<QString>("nodeText");
    QTest::addColumn<bool>("changedAfterPreview");
    QTest::addColumn<bool>("capitalNames");

    QTest::newRow("BMP set") << "BMP" << QSize() << "Chosen" << false << false;
    QTest::newRow("PNG set") << "PNG" << QSize() << "Chosen" << false << false;
    QTest::newRow("PNG of many colours, 320 x 400")
        << "PNG" << QSize(320, 400) << "Chosen" << false << false;
    QTest::newRow("JPEG photo, 1024 x 768")
        << "JPG" << QSize(1024, 768) << "Chosen" << false << false;
    QTest::newRow("wide photo, 1000 x 300")
        << "PNG" << QSize(1000, 300) << "Chosen" << false << false;
    QTest::newRow("set file changed after the preview")
        << "BMP" << QSize() << "Chosen" << true << false;
    QTest::newRow("Originals") << "BMP" << QSize() << "Originals" << false << false;
    // Windows shows no transparency: hidden colours must not show through, whatever the size.
    QTest::newRow("transparent rows, 320 x 400, 256 colours")
        << "PNG transparent" << QSize() << "Chosen" << false << false;
    QTest::newRow("transparent rows, 321 x 400")
        << "PNG transparent" << QSize(321, 400) << "Chosen" << false << false;
    QTest::newRow("system files spelt in capitals")
        << "BMP" << QSize() << "Chosen" << false << true;
}

void tst_MainWindow::applyWritesTheSetAsBmpFiles()
{
    QFETCH(QString, format);
    QFETCH(QSize, photo);
    QFETCH(QString, nodeText);
    QFETCH(bool, changedAfterPreview);
    QFETCH(bool, capitalNames);
    const bool transparent = format.endsWith(QLatin1String("transparent"));
    QImage pictures[3];
    for (int slot = 0; slot < 3; ++slot) {
        pictures[slot] = photo.isEmpty() ? screenPicture(40 + slot) : photoPicture(photo, slot);
        if (transparent) {
            // Entry 0 a transparent red, as a PNG with a palette keeps it, and the top rows in it.
            pictures[slot] = screenPicture(40 + slot, photo.isEmpty() ? QSize(320, 400) : photo);
            pictures[slot].setColor(0, qRgba(255, 0, 0, 0));
            for (int y = 0; y < 10; ++y)
                memset(pictures[slot].scanLine(y), 0, size_t(pictures[slot].width()));
        }
    }
    QString systemFiles[3];
    Desk desk([&](TempDrive& drive) {
        drive.makeSet(QStringLiteral("Chosen"), pictures,
                      qPrintable(format.section(QLatin1Char(' '), 0, 0)));
        for (int slot = 0; slot < 3; ++slot) {
            systemFiles[slot] = drive.systemFile(slot);
            // Header bytes that no encoder of ours writes: a screen BMP goes over as it is.
            const QString file =
                drive.workDir() + QStringLiteral("/Chosen/") + QLatin1String(setFileNames[slot]);
            if (format == QLatin1String("BMP"))
                writeFile(file, fileBytes(file).replace(6, 4, "Demo"));
        }
        if (capitalNames) {
            QDir c(drive.driveC());
            c.rename(QStringLiteral("logo.sys"), QStringLiteral("LOGO.SYS"));
            c.rename(QStringLiteral("windows/logow.sys"), QStringLiteral("windows/LOGOW.SYS"));
            c.rename(QStringLiteral("windows/logos.sys"), QStringLiteral("windows/LOGOS.SYS"));
            c.rename(QStringLiteral("windows"), QStringLiteral("WINDOWS"));
            systemFiles[0] = c.filePath(QStringLiteral("LOGO.SYS"));
            systemFiles[1] = c.filePath(QStringLiteral("WINDOWS/LOGOW.SYS"));
            systemFiles[2] = c.filePath(QStringLiteral("WINDOWS/LOGOS.SYS"));
        }
    });
    QVERIFY(showsSystemScreens(desk.main()));
    QImage expected[3];
    for (int slot = 0; slot < 3; ++slot)
        expected[slot] =
            nodeText == QLatin1String("Originals") ? screenPicture(100 + slot) : pictures[slot];
    if (nodeText == QLatin1String("Originals")) {
        // Something else is in use now; applying the Originals node puts the originals back.
        for (int slot = 0; slot < 3; ++slot)
            writeFile(systemFiles[slot], encodeBmp(screenPicture(300 + slot)));
    }
    clickNode(desk.main(), nodeText);
    if (changedAfterPreview) {
        expected[1] = screenPicture(99);
        writeFile(desk.setFile(nodeText, 1), encodeBmp(expected[1]));
    }
    const qint64 previewHandle = imgNew(desk.main(), 0)->pictureHandle();
    QList<QByteArray> setBytes;
    for (int slot = 0; slot < 3; ++slot)
        setBytes.append(fileBytes(desk.setFile(nodeText, slot)));

    clickButton(desk.window.get(), "cmdSetCur");

    QCOMPARE(desk.dialogs.boxes.size(), 0);
    for (int slot = 0; slot < 3; ++slot) {
        QCOMPARE(fileBytes(desk.setFile(nodeText, slot)), setBytes[slot]); // sets never change
        // Whatever the set held, Windows 95 gets an 8-bit 320 x 400 BMP, and the screen in
        // use shows exactly what it got.
        const QByteArray written = fileBytes(systemFiles[slot]);
        QVERIFY2(written.startsWith("BM"), "written as a BMP");
        QCOMPARE(written.size(), 129078);
        const QImage back = loadPicture(systemFiles[slot]);
        QCOMPARE(back.depth(), 8);
        QVERIFY(samePixels(imgCur(desk.main(), slot)->picture(), back));
        if (transparent) {
            QCOMPARE(back.pixel(160, 0), qRgb(0, 0, 0));
            continue;
        }
        if (photo.isEmpty()) {
            QVERIFY(samePixels(back, expected[slot]));
            if (format == QLatin1String("BMP"))
                QCOMPARE(written, setBytes[slot]);
            continue;
        }
        // A converted photo looks like the photo, fitted to the 4:3 screen on black.
        const double quality = psnr(back, fitToScreen(pictures[slot]));
        QVERIFY2(quality > 30, qPrintable(QString::number(quality)));
        const bool letterboxed = photo == QSize(1000, 300);
        QCOMPARE(back.pixel(0, 0) == qRgb(0, 0, 0), letterboxed);
        QCOMPARE(back.pixel(160, 399) == qRgb(0, 0, 0), letterboxed);
    }
    // Each file replaced the one that was there, however it was spelt.
    const QString windows = capitalNames ? QStringLiteral("WINDOWS") : QStringLiteral("windows");
    QCOMPARE(entriesOf(desk.drive.driveC()).size(), 2);
    QCOMPARE(entriesOf(desk.drive.driveC() + QLatin1Char('/') + windows).size(), 2);
    // The choice and its preview stay: a second click applies the same set again.
    QCOMPARE(desk.main().setName(), nodeText);
    QCOMPARE(imgNew(desk.main(), 0)->pictureHandle(), previewHandle);
}

void tst_MainWindow::applyStopsAtASystemFileThatCannotBeWritten_data()
{
    QTest::addColumn<int>("failingSlot");
    QTest::addColumn<QString>("kind");
    QTest::newRow("logo.sys is a folder") << 0 << "folder";
    QTest::newRow("logow.sys is a folder") << 1 << "folder";
    QTest::newRow("logos.sys is a folder") << 2 << "folder";
    QTest::newRow("no Windows folder, a file instead") << 1 << "windows file";
    // Writing through it would change the very set applied: refused before anything is written.
    QTest::newRow("logos.sys links into the working folder") << 2 << "link";
}

void tst_MainWindow::applyStopsAtASystemFileThatCannotBeWritten()
{
    QFETCH(int, failingSlot);
    QFETCH(QString, kind);
    const bool windowsFolderIsAFile = kind == QLatin1String("windows file");
    Desk desk;
    clickNode(desk.main(), QStringLiteral("Sunset"));
    const QString windowsFolder = desk.drive.driveC() + QStringLiteral("/windows");
    const QString setFile = desk.setFile(QStringLiteral("Sunset"), failingSlot);
    const QByteArray setBytes = fileBytes(setFile);
    if (windowsFolderIsAFile) {
        QVERIFY(QDir(windowsFolder).removeRecursively());
        writeFile(windowsFolder, "a file where the folder was");
    } else if (kind == QLatin1String("link")) {
        QVERIFY(QFile::remove(desk.drive.systemFile(failingSlot)));
        QVERIFY(QFile::link(setFile, desk.drive.systemFile(failingSlot)));
    } else {
        QVERIFY(QFile::remove(desk.drive.systemFile(failingSlot)));
        QVERIFY(QDir().mkdir(desk.drive.systemFile(failingSlot)));
    }
    const QList<QByteArray> before = desk.systemBytes();
    const QStringList driveEntries = entriesOf(desk.drive.driveC());
    const QStringList windowsEntries = entriesOf(windowsFolder);

    clickButton(desk.window.get(), "cmdSetCur");

    VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes, resolvedSystemFile(desk.drive, failingSlot));
    QCOMPARE(fileBytes(setFile), setBytes);
    // The screens in use show what drive C holds, written or not.
    for (int slot = 0; slot < 3; ++slot) {
        const QFileInfo file(desk.drive.systemFile(slot));
        const QImage shown = imgCur(desk.main(), slot)->picture();
        if (file.isFile())
            QVERIFY(samePixels(shown, loadPicture(file.filePath())));
        else // Windows' own screen, where there is no file
            QVERIFY(isBuiltInScreen(shown));
    }
    // A file that can be neither kept nor written stops the apply before anything changes,
    // and so there is nothing to undo.
    QCOMPARE(desk.systemBytes(), before);
    QVERIFY(!control<QAction>(desk.window.get(), "mnuUndo")->isEnabled());
    if (windowsFolderIsAFile)
        QCOMPARE(fileBytes(windowsFolder), QByteArray("a file where the folder was"));
    else if (kind != QLatin1String("link"))
        QVERIFY(QFileInfo(desk.drive.systemFile(failingSlot)).isDir());
    // No half-written or temporary file is left beside the system files.
    QCOMPARE(entriesOf(desk.drive.driveC()), driveEntries);
    QCOMPARE(entriesOf(windowsFolder), windowsEntries);
}

// ---------------------------------------------------------------------------------------
// Restoring the originals

void tst_MainWindow::restoreWritesTheOriginalsBack()
{
    Desk desk;
    clickNode(desk.main(), QStringLiteral("Sunset"));
    clickButton(desk.window.get(), "cmdSetCur");
    QVERIFY(!showsSystemScreens(desk.main()));
    clickNode(desk.main(), QStringLiteral("Bootvane Sets"));

    clickButton(desk.window.get(), "cmdRestore");

    QCOMPARE(desk.dialogs.boxes.size(), 0);
    for (int slot = 0; slot < 3; ++slot) {
        const QImage original = loadPicture(originalsFile(desk.drive, slot));
        QCOMPARE(fileBytes(desk.drive.systemFile(slot)), encodeBmp(original));
        QCOMPARE(imgNew(desk.main(), slot)->pictureHandle(), 0);
    }
    QVERIFY(showsSystemScreens(desk.main()));
    QCOMPARE(desk.main().setName(), QStringLiteral("Bootvane Sets"));
    QCOMPARE(desk.main().newPath(0), desk.main().appPath() + QStringLiteral("Sunset") +
                                         QDir::separator() + QStringLiteral("logo.sys"));
}

void tst_MainWindow::restorePutsBackWhatOriginalsHolds_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("fault");
    // Only what the backup recorded as absent is removed: a file lost since is no removal.
    QTest::newRow("Originals/logo.sys lost") << 0 << "absent";
    QTest::newRow("Originals/logos.sys lost") << 2 << "absent";
    QTest::newRow("Originals/logow.sys a folder") << 1 << "folder";
    QTest::newRow("Originals/logos.sys no picture") << 2 << "text";
    QTest::newRow("no Originals folder") << 0 << "no folder";
    // Run-length coded on the drive, and in the set: applying re-encodes, restoring does not.
    QTest::newRow("a run-length original, restored") << 1 << "run-length";
    QTest::newRow("a run-length original, Set as Current on Originals") << 0 << "run-length set";
}

void tst_MainWindow::restorePutsBackWhatOriginalsHolds()
{
    QFETCH(int, slot);
    QFETCH(QString, fault);
    const bool runLength = fault.startsWith(QLatin1String("run-length"));
    Desk desk([&](TempDrive& drive) {
        if (runLength)
            writeFile(drive.systemFile(slot), runLengthScreen(slot));
    });
    if (runLength)
        writeFile(desk.setFile(QStringLiteral("Sunset"), slot), runLengthScreen(slot + 7));
    clickNode(desk.main(), QStringLiteral("Sunset"));
    QStringList tips{imgNew(desk.main(), slot)->toolTip()};
    clickButton(desk.window.get(), "cmdSetCur");
    if (runLength) {
        clickNode(desk.main(), QStringLiteral("Originals"));
        tips << imgNew(desk.main(), slot)->toolTip();
        clickButton(desk.window.get(),
                    fault.endsWith(QLatin1String("set")) ? "cmdSetCur" : "cmdRestore");
        QCOMPARE(fileBytes(desk.drive.systemFile(slot)), runLengthScreen(slot));
        for (const QString& tip : tips << imgCur(desk.main(), slot)->toolTip())
            QVERIFY2(!tip.contains(QLatin1String("as it is")), qPrintable(tip));
        QCOMPARE(desk.dialogs.boxes.size(), 0);
        return;
    }
    const QString original = originalsFile(desk.drive, slot);
    if (fault == QLatin1String("no folder")) {
        QVERIFY(QDir(desk.drive.workDir() + QStringLiteral("/Originals")).removeRecursively());
    } else {
        QVERIFY(QFile::remove(original));
        if (fault == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(original));
        else if (fault == QLatin1String("text"))
            writeFile(original, "not a picture");
    }
    const QList<QByteArray> before = desk.systemBytes();

    clickButton(desk.window.get(), "cmdRestore");

    VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes, fault == QLatin1String("no folder")
                                                    ? QStringLiteral("Originals")
                                                    : QLatin1String(setFileNames[slot]));
    QCOMPARE(desk.systemBytes(), before);
    // The screens in use show what drive C holds: the set applied before.
    for (int other = 0; other < 3; ++other) {
        QVERIFY(samePixels(imgCur(desk.main(), other)->picture(),
                           loadPicture(desk.drive.systemFile(other))));
    }
}

void tst_MainWindow::twoRestoresGiveTheSameFilesAsOne()
{
    Desk desk;
    for (int slot = 0; slot < 3; ++slot)
        desk.drive.writeSystemScreen(slot, trueColourPicture(slot));

    clickButton(desk.window.get(), "cmdRestore");
    const QList<QByteArray> once = desk.systemBytes();
    clickButton(desk.window.get(), "cmdRestore");

    QCOMPARE(desk.systemBytes(), once);
    for (int slot = 0; slot < 3; ++slot)
        QVERIFY(samePixels(loadPicture(desk.drive.systemFile(slot)), screenPicture(100 + slot)));
    QCOMPARE(desk.dialogs.boxes.size(), 0);
}

void tst_MainWindow::setCommandsKeepWhatTheUserHad_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("Del moves the set to the trash") << "delete";
    QTest::newRow("Del with a relative data folder keeps the set") << "relative trash";
    QTest::newRow("F2 renames it in place") << "rename";
    QTest::newRow("a name refused in place") << "refused";
    QTest::newRow("Replace Screen writes one file") << "replace";
    QTest::newRow("Replace Screen in a set leading to the originals") << "linked set";
    QTest::newRow("Undo puts back what an apply replaced") << "undo";
    QTest::newRow("Undo keeps a screen changed since the apply") << "changed";
    QTest::newRow("Del on the originals does nothing") << "originals";
    QTest::newRow("a zip dropped on the tree becomes a set") << "drop";
    QTest::newRow("a picture dropped on the tree, given another role") << "drop picture";
    QTest::newRow("a picture dropped on a screen replaces it, once asked") << "drop on screen";
    QTest::newRow("a drop after Originals could not be shown changes no set") << "originals gone";
    QTest::newRow("a folder imported from the Sets menu") << "import folder";
    QTest::newRow("a right-click previews the node it is on") << "right-click";
    // A working folder shared with its hidden folders may hold links made on purpose.
    QTest::newRow("a step linked to the originals is never forgotten") << "step to originals";
    QTest::newRow("a step linked to a folder of the user's is never forgotten") << "step outside";
    QTest::newRow("what a cut-short forget left goes at the next start") << "step forgotten";
    // A downloaded Wine prefix may hold links to anything.
    QTest::newRow("Set as Current refuses a screen linked outside drive C") << "outside file";
    QTest::newRow("Set as Current refuses a folder linked outside drive C") << "outside folder";
    QTest::newRow("Set as Current refuses a screen linked to nothing") << "outside, gone";
    QTest::newRow("started in the home folder, the sets are kept apart") << "home";
    // A folder of the user's that happens to lie among the sets, documents and all.
    QTest::newRow("Del on a folder of documents keeps it") << "documents, delete";
    QTest::newRow("F2 on a folder of documents keeps it") << "documents, rename";
    QTest::newRow("a drop on a folder of documents keeps it") << "documents, drop";
    // Picking drive C: the sets are no drive, nor is a folder picked by mistake unasked.
    QTest::newRow("Open Folder refuses the sets folder") << "pick sets";
    QTest::newRow("Open Folder and --drive refuse a folder among the sets") << "pick Sunset";
    QTest::newRow("Open Folder on a folder of no Windows, answered No") << "pick empty, no";
    QTest::newRow("Open Folder on a folder of no Windows, answered Yes") << "pick empty, yes";
    QTest::newRow("a remembered drive gone gives way to Wine's") << "gone, Wine";
    QTest::newRow("a remembered drive gone and no Wine: no drive") << "gone, no Wine";
    QTest::newRow("Wine's drive C that is the sets folder is refused") << "Wine among sets";
}

void tst_MainWindow::setCommandsKeepWhatTheUserHad()
{
    QFETCH(QString, command);
    Desk desk;
    const QString sunset = desk.drive.workDir() + QStringLiteral("/Sunset");
    const QByteArray logo = fileBytes(desk.setFile(QStringLiteral("Sunset"), 0));
    clickNode(desk.main(), QStringLiteral("Sunset"));
    QTreeWidget* view = tree(desk.main());
    view->setFocus();

    if (command.startsWith(QLatin1String("pick"))) {
        const bool amongSets = !command.contains(QLatin1String("empty"));
        const QString folder = command == QLatin1String("pick sets") ? desk.drive.workDir()
                               : amongSets                           ? sunset
                                           : desk.drive.root() + QStringLiteral("/empty");
        QVERIFY(QDir().mkpath(folder));
        desk.dialogs.answerQuestion(command.endsWith(QLatin1String("yes")));
        desk.dialogs.answerFileDialog(folder);
        control<QAction>(desk.window.get(), "mnuOpenFolder")->trigger();
        const bool taken = command.endsWith(QLatin1String("yes"));
        QCOMPARE(desk.main().windowTitle().contains(QLatin1String("empty")), taken);
        QCOMPARE(QSettings().allKeys().isEmpty(), !taken);  // nothing remembered
        QCOMPARE(desk.dialogs.boxes.size(), taken ? 2 : 1); // and the first-start notice
        QCOMPARE(desk.dialogs.boxes[0].kind == ScriptedDialogs::Box::Critical, amongSets);
        QVERIFY(desk.dialogs.boxes[0].text.contains(QFileInfo(folder).canonicalFilePath()));
        if (command.endsWith(QLatin1String("Sunset")))
            QVERIFY(!frmLogoMain::start(QStringLiteral("Sunset")));
        return;
    } else if (command == QLatin1String("Wine among sets")) {
        const QString link = desk.drive.root() + QStringLiteral("/prefix/dosdevices/c:");
        QVERIFY(QFile::remove(link) && QFile::link(desk.drive.workDir(), link));
        const QString sets = QFileInfo(desk.drive.workDir()).canonicalFilePath();
        control<QAction>(desk.window.get(), "mnuWineDrive")->trigger();
        VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes, sets);
        QSettings().clear();
        desk.dialogs.boxes.clear();
        std::unique_ptr<frmLogoMain> window = frmLogoMain::start(QString());
        VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes, sets);
        QVERIFY(window && !window->drive());
        return;
    } else if (command.startsWith(QLatin1String("gone"))) {
        const QString card = desk.drive.root() + QStringLiteral("/card");
        QVERIFY(QDir().mkpath(card));
        desk.dialogs.answerFileDialog(card);
        control<QAction>(desk.window.get(), "mnuOpenFolder")->trigger();
        QVERIFY(QDir(card).removeRecursively());
        const bool wine = command.endsWith(QLatin1String(" Wine"));
        if (!wine)
            QVERIFY(QFile::remove(desk.drive.root() + QStringLiteral("/prefix/dosdevices/c:")));
        desk.dialogs.boxes.clear();
        std::unique_ptr<frmLogoMain> window = frmLogoMain::start(QString());
        VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes, card);
        QCOMPARE(window->drive() != nullptr, wine);
        QCOMPARE(control<QLabel>(window.get(), "lblNoDrive")->isHidden(), wine);
        if (wine) {
            QVERIFY(showsSystemScreens(*window));
            return;
        }
        showAndWait(*window);
        clickNode(*window, QStringLiteral("Sunset"));
        for (const char* name : {"cmdSetCur", "cmdRestore"}) {
            const QPushButton* button = control<QPushButton>(window.get(), name);
            QVERIFY(!button->isEnabled() && button->toolTip().contains(QLatin1String("Drive")));
        }
        QVERIFY(!control<QAction>(window.get(), "mnuUndo")->isEnabled());
        // The way on: the Drive menu. Wine's drive C, which is not there, leaves it as it is.
        control<QAction>(window.get(), "mnuWineDrive")->trigger();
        QVERIFY(desk.dialogs.boxes[1].text.contains(QLatin1String("dosdevices")));
        QCOMPARE(window->drive(), nullptr);
        desk.dialogs.answerFileDialog(desk.drive.driveC());
        control<QAction>(window.get(), "mnuOpenFolder")->trigger();
        QVERIFY(showsSystemScreens(*window) && window->drive());
        QSettings().clear(); // nothing remembered and no Wine: no drive, and no error either
        QVERIFY(!frmLogoMain::start(QString())->drive());
        QCOMPARE(desk.dialogs.boxes.size(), 2);
        return;
    } else if (command == QLatin1String("home")) {
        // Typed in a terminal in the home folder, which holds the user's own folders.
        const QString home = desk.drive.root() + QStringLiteral("/home");
        const auto restore = qScopeGuard([old = qgetenv("HOME")] { qputenv("HOME", old); });
        qputenv("HOME", QFile::encodeName(home));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/Documents")) && QDir::setCurrent(home));
        QVERIFY(frmLogoMain::start(QStringLiteral("../prefix/drive_c")));
        QCOMPARE(entriesOf(home), (QStringList{"Bootvane", "Documents"}));
        verifyFirstStartNotice(desk.dialogs.boxes);
        QVERIFY(!frmLogoMain::start({}, home + QStringLiteral("/Bootvane/Originals/logo.sys")));
        return;
    } else if (command.startsWith(QLatin1String("documents"))) {
        const QString thesis = desk.drive.workDir() + QStringLiteral("/Documents/thesis.txt");
        QVERIFY(QDir().mkdir(QFileInfo(thesis).path()));
        writeFile(thesis, "chapter 1");
        const bool drop = command.endsWith(QLatin1String("drop"));
        for (int slot = 0; drop && slot < 3; ++slot)
            QVERIFY(QFile::copy(
                desk.setFile(QStringLiteral("Sunset"), slot),
                QFileInfo(thesis).path() + QLatin1Char('/') +
                    QFileInfo(desk.setFile(QStringLiteral("Sunset"), slot)).fileName()));
        desk.main().Form_Activate();
        clickNode(desk.main(), QStringLiteral("Documents"));
        desk.dialogs.boxes.clear(); // its preview, which finds no screens
        if (drop) {
            dropOn(imgNew(desk.main(), 0), desk.setFile(QStringLiteral("Sunset"), 1));
            QCOMPARE(fileBytes(QFileInfo(thesis).path() + QLatin1Char('/') +
                               QFileInfo(desk.setFile(QStringLiteral("Sunset"), 0)).fileName()),
                     logo);
            QVERIFY(desk.dialogs.boxes.size() == 1 &&
                    desk.dialogs.boxes[0].text.contains(QLatin1String("thesis.txt")));
            return;
        }
        auto action = [&](const char* name) { return control<QAction>(desk.window.get(), name); };
        QVERIFY(action("mnuDeleteSet")->toolTip().contains(QLatin1String("thesis.txt")));
        QVERIFY(!action("mnuDeleteSet")->isEnabled() && !action("mnuRenameSet")->isEnabled() &&
                action("mnuOpenSetFolder")->isEnabled());
        QTest::keyClick(view,
                        command.endsWith(QLatin1String("delete")) ? Qt::Key_Delete : Qt::Key_F2);
        QCOMPARE(fileBytes(thesis), QByteArray("chapter 1"));
        VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes, QStringLiteral("thesis.txt"));
        return;
    } else if (command == QLatin1String("delete")) {
        QTest::keyClick(view, Qt::Key_Delete);
        QVERIFY(!QFileInfo::exists(sunset));
        // In the desktop's trash, from where the user can get it back.
        QCOMPARE(fileBytes(desk.drive.root() + QStringLiteral("/data/Trash/files/Sunset/logo.sys")),
                 logo);
        QCOMPARE(desk.dialogs.boxes.size(), 1);               // the question, answered yes
        QCOMPARE(imgNew(desk.main(), 0)->pictureHandle(), 0); // no preview of what is gone
    } else if (command == QLatin1String("relative trash")) {
        // Qt would take it as a folder of the working folder, where it would be a set.
        qputenv("XDG_DATA_HOME", "data");
        QTest::keyClick(view, Qt::Key_Delete);
        qputenv("XDG_DATA_HOME", QFile::encodeName(desk.drive.root() + QStringLiteral("/data")));
        QCOMPARE(fileBytes(desk.setFile(QStringLiteral("Sunset"), 0)), logo);
        QVERIFY(!QFileInfo::exists(desk.drive.workDir() + QStringLiteral("/data")));
        VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes.mid(1), QStringLiteral("Sunset"));
        return;
    } else if (command == QLatin1String("linked set")) {
        const QString own = desk.drive.workDir() + QStringLiteral("/Originals");
        const QByteArray ownBytes = fileBytes(own + QStringLiteral("/logo.sys"));
        QVERIFY(QDir(sunset).removeRecursively() && QFile::link(own, sunset));
        const QString picture = desk.drive.root() + QStringLiteral("/new.bmp");
        writeFile(picture, encodeBmp(screenPicture(88)));
        desk.dialogs.answerFileDialog(picture);
        QVERIFY(chooseFromContextMenu(imgNew(desk.main(), 0), "mnuReplaceScreen"));
        QCOMPARE(fileBytes(own + QStringLiteral("/logo.sys")), ownBytes);
        VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes, QStringLiteral("Sunset"));
        return;
    } else if (command == QLatin1String("rename") || command == QLatin1String("refused")) {
        const QString name = command == QLatin1String("rename") ? QStringLiteral("Dusk")
                                                                : QStringLiteral("originals");
        QTest::keyClick(view, Qt::Key_F2);
        auto* editor = view->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, name);
        QTest::keyClick(editor, Qt::Key_Return);
        const bool renamed = command == QLatin1String("rename");
        if (renamed)
            QTRY_VERIFY(!QFileInfo::exists(sunset));
        else
            QTRY_COMPARE(desk.dialogs.boxes.size(), 1);
        QCOMPARE(
            fileBytes(desk.drive.workDir() + QLatin1Char('/') + name + QStringLiteral("/logo.sys")),
            renamed ? logo : QByteArray());
        QCOMPARE(QFileInfo::exists(sunset), !renamed);
        QCOMPARE(desk.dialogs.boxes.size(), renamed ? 0 : 1);
        QCOMPARE(node(desk.main(), renamed ? name : QStringLiteral("Sunset"))->text(0),
                 renamed ? name : QStringLiteral("Sunset"));
    } else if (command == QLatin1String("replace")) {
        const QString picture = desk.drive.root() + QStringLiteral("/new.bmp");
        writeFile(picture, encodeBmp(screenPicture(88)));
        // A set's file may be a link to the user's own screen, which must stay as it is.
        const QString own = desk.drive.workDir() + QStringLiteral("/Originals/logow.sys");
        const QByteArray ownBytes = fileBytes(own);
        QFile::remove(desk.setFile(QStringLiteral("Sunset"), 1));
        QVERIFY(QFile::link(own, desk.setFile(QStringLiteral("Sunset"), 1)));
        desk.dialogs.answerFileDialog(picture);
        QVERIFY(chooseFromContextMenu(imgNew(desk.main(), 1), "mnuReplaceScreen"));
        QCOMPARE(fileBytes(desk.setFile(QStringLiteral("Sunset"), 1)), fileBytes(picture));
        QCOMPARE(fileBytes(own), ownBytes);
        QCOMPARE(fileBytes(desk.setFile(QStringLiteral("Sunset"), 0)), logo);
        QVERIFY(samePixels(imgNew(desk.main(), 1)->picture(), screenPicture(88)));
    } else if (command.startsWith(QLatin1String("step"))) {
        clickButton(desk.window.get(), "cmdSetCur");
        const QString history = desk.drive.workDir() + QStringLiteral("/.bootvane-history/");
        const QString steps = history + entriesOf(history).value(0) + QLatin1Char('/');
        const QString first = entriesOf(steps).value(0);
        const QString target = command.endsWith(QLatin1String("originals"))
                                   ? desk.drive.workDir() + QStringLiteral("/Originals")
                                   : desk.drive.root() + QStringLiteral("/mine");
        QVERIFY(QDir().mkpath(target));
        writeFile(target + QStringLiteral("/thesis.txt"), "mine");
        const QStringList held = entriesBelow(target);
        const bool forgotten = command.endsWith(QLatin1String("forgotten"));
        const QString link = steps + (forgotten ? QStringLiteral(".bootvane-forgotten-1234-link")
                                                : QStringLiteral("0000"));
        QVERIFY(QFile::link(target, link));
        if (forgotten) {
            QVERIFY(QDir().rename(steps + first,
                                  steps + QStringLiteral(".bootvane-forgotten-5678-") + first));
            // On drive C a folder is the user's, whatever its name.
            const QString own = desk.drive.driveC() + QStringLiteral("/windows/.bootvane-new-1");
            QVERIFY(QDir().mkpath(own));
            desk.window = std::make_unique<frmLogoMain>();
            QCOMPARE(entriesOf(steps), QStringList{QFileInfo(link).fileName()});
            QVERIFY(QFileInfo(own).isDir());
        }
        // Applies until the first step is forgotten, with any step older than it.
        for (int i = 0; i < 40 && QFileInfo::exists(steps + first); ++i) {
            clickButton(desk.window.get(), "cmdRestore");
            clickButton(desk.window.get(), "cmdSetCur");
        }
        QVERIFY(!QFileInfo::exists(steps + first));
        QCOMPARE(entriesBelow(target), held);
        QVERIFY(QFileInfo(link).isSymLink());
    } else if (command.startsWith(QLatin1String("outside"))) {
        const QString link = command.endsWith(QLatin1String("folder"))
                                 ? desk.drive.driveC() + QStringLiteral("/windows")
                                 : desk.drive.systemFile(1);
        const QString target = desk.drive.root() + QStringLiteral("/anything");
        QVERIFY(QFile::rename(link, target) && QFile::link(target, link));
        if (command.endsWith(QLatin1String("gone")))
            QVERIFY(QFile::rename(target, target + QStringLiteral(".moved")));
        const QList<QByteArray> before = desk.systemBytes();
        const QStringList everything = entriesBelow(desk.drive.root());
        clickButton(desk.window.get(), "cmdSetCur");
        VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes,
                                QFileInfo(desk.drive.driveC()).canonicalFilePath() +
                                    link.mid(desk.drive.driveC().size()));
        QVERIFY(desk.dialogs.boxes[0].text.contains(
            QFileInfo(QFileInfo(target).path()).canonicalFilePath() + QStringLiteral("/anything")));
        QCOMPARE(desk.systemBytes(), before);
        QCOMPARE(entriesBelow(desk.drive.root()), everything);
        QVERIFY(QFileInfo(link).isSymLink());
        return;
    } else if (command == QLatin1String("originals")) {
        clickNode(desk.main(), QStringLiteral("Originals"));
        auto* remove = control<QAction>(desk.window.get(), "mnuDeleteSet");
        QVERIFY(!remove->isEnabled() && !remove->toolTip().isEmpty());
        QTest::keyClick(view, Qt::Key_Delete);
        QVERIFY(QFileInfo::exists(desk.drive.workDir() + QStringLiteral("/Originals/logo.sys")));
        QVERIFY(desk.dialogs.boxes.isEmpty());
    } else if (command == QLatin1String("right-click")) {
        const QRect originals =
            view->visualItemRect(node(desk.main(), QStringLiteral("Originals")));
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, originals.center());
        QCOMPARE(desk.main().setName(), QStringLiteral("Originals"));
    } else if (command == QLatin1String("drop on screen")) {
        // Once asked, on a screen of a set; refused, saying why, on a screen in use, on the
        // originals and with no set chosen (the boxes keep the set's paths).
        const QString picture = desk.drive.root() + QStringLiteral("/new.bmp");
        writeFile(picture, encodeBmp(screenPicture(88)));
        writeFile(desk.drive.root() + QStringLiteral("/notes.txt"), "no picture");
        dropOn(imgNew(desk.main(), 0), desk.drive.root() + QStringLiteral("/notes.txt"));
        desk.dialogs.answerQuestion(false);
        dropOn(imgNew(desk.main(), 0), picture);
        dropOn(imgNew(desk.main(), 2), picture);
        QCOMPARE(fileBytes(desk.setFile(QStringLiteral("Sunset"), 2)), fileBytes(picture));
        dropOn(imgCur(desk.main(), 0), picture);
        clickNode(desk.main(), QStringLiteral("Originals"));
        dropOn(imgNew(desk.main(), 1), picture);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualItemRect(view->topLevelItem(0)).center());
        dropOn(imgNew(desk.main(), 0), picture);
        QCOMPARE(fileBytes(desk.setFile(QStringLiteral("Sunset"), 0)), logo);
        QCOMPARE(fileBytes(originalsFile(desk.drive, 1)), fileBytes(desk.drive.systemFile(1)));
        QCOMPARE(desk.dialogs.boxes.size(), 6); // no picture, two questions, three refusals
    } else if (command == QLatin1String("originals gone")) {
        QVERIFY(QDir().rename(desk.drive.workDir() + QStringLiteral("/Originals"),
                              desk.drive.root() + QStringLiteral("/away")));
        clickNode(desk.main(), QStringLiteral("Originals"));
        dropOn(imgNew(desk.main(), 0), desk.setFile(QStringLiteral("Sunset"), 1));
        QCOMPARE(fileBytes(desk.setFile(QStringLiteral("Sunset"), 0)), logo);
        QCOMPARE(desk.dialogs.boxes.size(), 2); // the click's error, the drop's refusal
    } else if (command.startsWith(QLatin1String("drop")) ||
               command == QLatin1String("import folder")) {
        // A picture's role is chosen, and the screens it lacks are copies of those in use.
        const bool picture = command == QLatin1String("drop picture");
        const bool folder = command == QLatin1String("import folder");
        const QString dropped = desk.drive.root() + (picture  ? QStringLiteral("/sunrise.png")
                                                     : folder ? QStringLiteral("/Cool Screens")
                                                              : QStringLiteral("/Sunset.zip"));
        if (picture)
            QVERIFY(screenPicture(88).save(dropped));
        else if (folder)
            QVERIFY(QDir().mkdir(dropped) && QFile::copy(sunset + QStringLiteral("/logo.sys"),
                                                         dropped + QStringLiteral("/LOGO.SYS")));
        else
            exportSet(desk.main().appPath(), QStringLiteral("Sunset"), dropped,
                      desk.main().drive());
        QString origins;
        ModalVisit visit([&](QWidget* modal) {
            auto* name = modal->findChild<QLineEdit*>();
            if (picture)
                modal->findChild<QComboBox*>()->setCurrentIndex(1);
            origins = control<QLabel>(modal, "lblFromLogo")->text() +
                      control<QLabel>(modal, "lblFromLogow")->text();
            name->setText(QStringLiteral("Shared"));
            QTest::keyClick(name, Qt::Key_Return);
        });
        if (folder) {
            desk.dialogs.answerFileDialog(dropped);
            control<QAction>(desk.window.get(), "mnuImportFolder")->trigger();
        } else {
            dropOn(view->viewport(), dropped);
        }
        QCOMPARE(visit.opened, 1);
        QVERIFY(origins.contains(QFileInfo(dropped).fileName()));
        QCOMPARE(origins.contains(QStringLiteral("C:\\logo.sys"), Qt::CaseInsensitive), picture);
        for (int slot = 0; slot < 3; ++slot) {
            QCOMPARE(fileBytes(desk.setFile(QStringLiteral("Shared"), slot)),
                     !picture && (!folder || slot == 0)
                         ? fileBytes(desk.setFile(QStringLiteral("Sunset"), slot))
                     : slot == 1 && picture ? fileBytes(dropped)
                                            : fileBytes(desk.drive.systemFile(slot)));
        }
        QCOMPARE(desk.main().setName(), QStringLiteral("Shared"));
    } else {
        const QList<QByteArray> before = desk.systemBytes();
        clickButton(desk.window.get(), "cmdSetCur");
        QVERIFY(desk.systemBytes() != before);
        const bool changed = command == QLatin1String("changed");
        if (changed)
            desk.drive.writeSystemScreen(1, screenPicture(77));
        const QList<QByteArray> applied = desk.systemBytes();
        control<QAction>(desk.window.get(), "mnuUndo")->trigger();
        QCOMPARE(desk.systemBytes(), changed ? applied : before);
        if (changed) {
            VERIFY_ONE_ERROR_NAMING(desk.dialogs.boxes, QLatin1String(setFileNames[1]));
            return;
        }
        QVERIFY(showsSystemScreens(desk.main()));
    }
    QCOMPARE(desk.dialogs.boxes.size() > 0 &&
                 desk.dialogs.boxes.constLast().kind == ScriptedDialogs::Box::Critical,
             false);
}

void tst_MainWindow::exitClosesWithoutWriting()
{
    Desk desk;
    clickNode(desk.main(), QStringLiteral("Sunset"));
    const QList<QByteArray> before = desk.systemBytes();
    const QStringList work = entriesOf(desk.drive.workDir());

    clickButton(desk.window.get(), "cmdExit");

    QVERIFY(!desk.main().isVisible());
    QCOMPARE(desk.systemBytes(), before);
    QCOMPARE(entriesOf(desk.drive.workDir()), work);
    QCOMPARE(desk.dialogs.boxes.size(), 0);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
