// The full-size viewer with its six callers on the main window, and the About box.

#include "about.h"
#include "builtinscreen.h"
#include "frmlogomain.h"
#include "frmwin95view.h"
#include "picture.h"
#include "scripteddialogs.h"
#include "tempdrive.h"
#include "viewlogo.h"
#include "win95frame.h"
#include "windowdriver.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

const QSize viewerClient(319, 400);

QImage truncatedTo(const QImage& picture, QSize size)
{
    return picture.copy(QRect(QPoint(0, 0), size).intersected(picture.rect()))
        .convertToFormat(QImage::Format_RGB32);
}

// What a viewer showed, seen from inside its modal loop.
struct Viewing {
    QImage pixels;
    QRect geometry;
    QString title;
    Qt::WindowFlags flags;
    QSize minimumSize;
    QSize maximumSize;
    bool modal = false;
    QWidget* parent = nullptr;
    QColor background;
    QString clipboardText;
    QString className;
};

ModalVisit::Look recordInto(Viewing& viewing)
{
    return [&viewing](QWidget* modal) {
        viewing.pixels = shown(modal);
        viewing.geometry = modal->geometry();
        viewing.title = modal->windowTitle();
        viewing.flags = modal->windowFlags();
        viewing.minimumSize = modal->minimumSize();
        viewing.maximumSize = modal->maximumSize();
        viewing.modal = modal->isModal();
        viewing.parent = modal->parentWidget();
        viewing.background = modal->palette().color(QPalette::Window);
        viewing.clipboardText = QGuiApplication::clipboard()->text();
        viewing.className = QString::fromLatin1(modal->metaObject()->className());
    };
}

// A screen cycling from entry first (none for 0) in a band at its bottom, like the stock one.
QImage cyclingScreen(int first)
{
    QImage screen = screenPicture(40);
    for (int i = 0; i < 256; ++i)
        screen.setColor(i, qRgb(i, (i % 4) * 64, 0)); // no two alike at 6 bits a channel
    for (int y = 0; first > 0 && y < screen.height(); ++y) {
        uchar* line = screen.scanLine(y);
        for (int x = 0; x < screen.width(); ++x)
            line[x] = uchar(y < 360 ? line[x] % first : first + x % (256 - first));
    }
    screen.setText(QLatin1String(bmpImportantColoursKey), QString::number(first));
    return screen;
}

// Whether a view shows every pixel of the 320 x 400 screen where the 4:3 fit puts it: the
// view's pixel under the centre of each screen pixel has its colour.
bool showsEveryPixel(const QImage& view, const QImage& screen)
{
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x) {
            if (view.pixel((2 * x + 1) * view.width() / (2 * screen.width()),
                           (2 * y + 1) * view.height() / (2 * screen.height())) !=
                screen.pixel(x, y))
                return false;
        }
    }
    return true;
}

const char* const imgCurNames[] = {"imgCurLogo", "imgCurLogow", "imgCurLogos"};
const char* const imgNewNames[] = {"imgNewLogo", "imgNewLogow", "imgNewLogos"};

} // namespace

class tst_Viewer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    // The viewer itself
    void viewerWindow();
    void viewerShowsThePictureAtItsNaturalSize_data();
    void viewerShowsThePictureAtItsNaturalSize();
    void viewerCloses_data();
    void viewerCloses();
    void secondViewingShowsTheSecondPicture();

    // Its callers on the main window
    void currentScreenShowsTheFileOnDisk_data();
    void currentScreenShowsTheFileOnDisk();
    void previewShowsItsFileAfresh_data();
    void previewShowsItsFileAfresh();
    void emptyPreviewOpensNothing_data();
    void emptyPreviewOpensNothing();
    void vanishedFileOpensNothing_data();
    void vanishedFileOpensNothing();
    void clipboardIsLeftAsItWas_data();
    void clipboardIsLeftAsItWas();
    void closingRebuildsTheTreeOnceAndKeepsThePreview_data();
    void closingRebuildsTheTreeOnceAndKeepsThePreview();

    // The view as Windows 95 shows a screen
    void cyclingPalette_data();
    void cyclingPalette();
    void windows95ViewDrawsTheScreenAsWritten_data();
    void windows95ViewDrawsTheScreenAsWritten();
    void windows95ViewStaysFourByThree();

    // The About box
    void aboutWindow();
    void aboutControls_data();
    void aboutControls();
    void aboutTextsFitTheirLabels();
    void aboutKeyboard();
    void aboutCloses_data();
    void aboutCloses();
    void aboutOpensAtTheSamePlaceAfterTheMainWindowMoved();
    void helpAboutFromTheKeyboard();

private:
    void drawPictureAndWatch(const QImage& picture, Viewing& viewing, ModalVisit::Look act);
};

void tst_Viewer::initTestCase()
{
    QVERIFY(QGuiApplication::clipboard());
}

void tst_Viewer::drawPictureAndWatch(const QImage& picture, Viewing& viewing, ModalVisit::Look act)
{
    ModalVisit visit(std::move(act), recordInto(viewing));
    showScreenFullSize(picture);
    QCOMPARE(visit.opened, 1);
    QVERIFY(visit.closedByAct);
}

// ---------------------------------------------------------------------------------------
// The viewer itself

void tst_Viewer::viewerWindow()
{
    Viewing viewing;
    drawPictureAndWatch(screenPicture(1), viewing, doubleClickIt);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(viewing.className, QStringLiteral("bootvane::frmViewLogo"));
    QVERIFY(viewing.title.trimmed().isEmpty());
    QVERIFY(viewing.flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(viewing.flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!viewing.flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!viewing.flags.testFlag(Qt::WindowMinimizeButtonHint));
    QCOMPARE(viewing.geometry.size(), viewerClient);
    QCOMPARE(viewing.minimumSize, viewerClient);
    QCOMPARE(viewing.maximumSize, viewerClient);
    QVERIFY(viewing.modal);
    QCOMPARE(viewing.parent, nullptr);
    const QPoint offCentre =
        viewing.geometry.center() - QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1,
             qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
}

void tst_Viewer::viewerShowsThePictureAtItsNaturalSize_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::newRow("a screen, 320 x 400") << screenPicture(2);
    QTest::newRow("larger both ways") << screenPicture(3, QSize(640, 480));
    QTest::newRow("taller, narrower") << screenPicture(4, QSize(200, 700));
    QTest::newRow("smaller") << screenPicture(5, QSize(100, 80));
    QImage trueColour(500, 500, QImage::Format_RGB32);
    for (int y = 0; y < trueColour.height(); ++y) {
        for (int x = 0; x < trueColour.width(); ++x)
            trueColour.setPixel(x, y, qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff));
    }
    QTest::newRow("true colour, larger") << trueColour;
}

void tst_Viewer::viewerShowsThePictureAtItsNaturalSize()
{
    QFETCH(QImage, picture);
    Viewing viewing;
    drawPictureAndWatch(picture, viewing, doubleClickIt);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(viewing.geometry.size(), viewerClient);
    QCOMPARE(viewing.pixels.size(), viewerClient);
    const QImage expected = truncatedTo(picture, viewerClient);
    QCOMPARE(viewing.pixels.copy(expected.rect()), expected);
    // Beyond a smaller picture, the window's own background.
    const QRgb background = viewing.background.rgb();
    for (int y = 0; y < viewerClient.height(); y += 7) {
        for (int x = 0; x < viewerClient.width(); x += 7) {
            if (!expected.rect().contains(x, y)) {
                QVERIFY2(viewing.pixels.pixel(x, y) == background,
                         qPrintable(QStringLiteral("at %1,%2").arg(x).arg(y)));
            }
        }
    }
}

void tst_Viewer::viewerCloses_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QPoint>("place");
    QTest::addColumn<bool>("closes");
    QTest::newRow("double-click top left") << "double-click" << QPoint(0, 0) << true;
    QTest::newRow("double-click in the middle") << "double-click" << QPoint(160, 200) << true;
    QTest::newRow("double-click bottom right") << "double-click" << QPoint(318, 399) << true;
    QTest::newRow("double-click beside a small picture")
        << "double-click" << QPoint(300, 300) << true;
    QTest::newRow("close box") << "close box" << QPoint() << true;
    QTest::newRow("single click") << "click" << QPoint(10, 10) << false;
    QTest::newRow("Escape") << "Escape" << QPoint() << false;
    QTest::newRow("Return") << "Return" << QPoint() << false;
}

void tst_Viewer::viewerCloses()
{
    QFETCH(QString, action);
    QFETCH(QPoint, place);
    QFETCH(bool, closes);
    ModalVisit visit([&](QWidget* modal) {
        if (action == QLatin1String("close box"))
            modal->close();
        else if (action == QLatin1String("double-click"))
            QTest::mouseDClick(modal, Qt::LeftButton, {}, place);
        else if (action == QLatin1String("click"))
            QTest::mouseClick(modal, Qt::LeftButton, {}, place);
        else
            QTest::keyClick(modal,
                            action == QLatin1String("Escape") ? Qt::Key_Escape : Qt::Key_Return);
    });
    showScreenFullSize(screenPicture(6, QSize(50, 50)));
    QCOMPARE(visit.opened, 1);
    QCOMPARE(visit.closedByAct, closes);
}

void tst_Viewer::secondViewingShowsTheSecondPicture()
{
    Viewing first;
    Viewing second;
    drawPictureAndWatch(screenPicture(7), first, doubleClickIt);
    drawPictureAndWatch(screenPicture(8, QSize(120, 90)), second, doubleClickIt);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(first.pixels, truncatedTo(screenPicture(7), viewerClient));
    QCOMPARE(second.pixels.copy(0, 0, 120, 90),
             truncatedTo(screenPicture(8, {120, 90}), {120, 90}));
    QCOMPARE(second.pixels.pixel(200, 200), second.background.rgb());
}

// ---------------------------------------------------------------------------------------
// The callers on the main window

void tst_Viewer::currentScreenShowsTheFileOnDisk_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("before");
    for (int slot = 0; slot < 3; ++slot) {
        QTest::addRow("%s as started", imgCurNames[slot]) << slot << "nothing";
        QTest::addRow("%s changed on disk", imgCurNames[slot]) << slot << "changed";
        QTest::addRow("%s blank", imgCurNames[slot]) << slot << "blank";
    }
    QTest::addRow("%s, no system file", imgCurNames[0]) << 0 << "absent";
    QTest::addRow("%s, no system file", imgCurNames[2]) << 2 << "absent";
}

void tst_Viewer::currentScreenShowsTheFileOnDisk()
{
    QFETCH(int, slot);
    QFETCH(QString, before);
    Desk desk;
    if (before == QLatin1String("changed")) {
        desk.drive.writeSystemScreen(slot, screenPicture(60 + slot));
    } else if (before == QLatin1String("blank")) {
        // Apply after the sets root, with the set selected but not previewed: nothing is
        // written, and the screens in use are not blanked.
        clickNode(*desk.window, QStringLiteral("Sunset"));
        clickNode(*desk.window, QStringLiteral("Bootvane Sets"));
        tree(*desk.window)->setCurrentItem(node(*desk.window, QStringLiteral("Sunset")));
        clickButton(desk.window.get(), "cmdSetCur");
        QVERIFY(imgCur(*desk.window, slot)->pictureHandle() != 0);
        desk.rebuilds->clear();
    } else if (before == QLatin1String("absent")) {
        QVERIFY(QFile::remove(desk.drive.systemFile(slot)));
    }
    const QImage onDisk = before == QLatin1String("absent")
                              ? builtInScreen(screenSlots[slot])
                              : loadPicture(desk.drive.systemFile(slot));
    // The viewer is centred on the screen, not on the window that opened it.
    desk.window->move(20, 30);

    Viewing viewing;
    ModalVisit visit(doubleClickIt, recordInto(viewing));
    QTest::mouseDClick(imgCur(*desk.window, slot), Qt::LeftButton);

    QCOMPARE(visit.opened, 1);
    QVERIFY(visit.closedByAct);
    QCOMPARE(viewing.pixels, truncatedTo(onDisk, viewerClient));
    QCOMPARE(viewing.parent, nullptr);
    const QPoint offCentre =
        viewing.geometry.center() - QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1);
    QVERIFY(viewing.modal);
    QCOMPARE(desk.dialogs.boxes.size(), 0);
    QCOMPARE(desk.rebuilds->count(), 1);
}

void tst_Viewer::previewShowsItsFileAfresh_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("set");
    for (int slot = 0; slot < 3; ++slot)
        QTest::newRow(imgNewNames[slot]) << slot << "Sunset";
    QTest::newRow("imgNewLogo of Originals of a drive without logo.sys") << 0 << "Originals";
}

void tst_Viewer::previewShowsItsFileAfresh()
{
    QFETCH(int, slot);
    QFETCH(QString, set);
    const bool originals = set == QLatin1String("Originals");
    Desk desk([&](TempDrive& drive) {
        if (originals)
            QVERIFY(QFile::remove(drive.systemFile(slot)));
    });
    clickNode(*desk.window, set);
    desk.rebuilds->clear();
    // The file changes after the click; the viewer reads it again.
    QImage expected = screenPicture(70 + slot);
    if (originals)
        expected = builtInScreen(screenSlots[slot]);
    else
        writeFile(desk.setFile(set, slot), encodeBmp(expected));

    Viewing viewing;
    ModalVisit visit(doubleClickIt, recordInto(viewing));
    QTest::mouseDClick(imgNew(*desk.window, slot), Qt::LeftButton);

    QCOMPARE(visit.opened, 1);
    QCOMPARE(viewing.pixels, truncatedTo(expected, viewerClient));
    QCOMPARE(desk.dialogs.boxes.size(), 0);
    QCOMPARE(desk.rebuilds->count(), 1);
}

void tst_Viewer::emptyPreviewOpensNothing_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<bool>("afterSetsRoot");
    for (int slot = 0; slot < 3; ++slot) {
        QTest::addRow("%s before any click", imgNewNames[slot]) << slot << false;
        QTest::addRow("%s after the sets root", imgNewNames[slot]) << slot << true;
    }
}

void tst_Viewer::emptyPreviewOpensNothing()
{
    QFETCH(int, slot);
    QFETCH(bool, afterSetsRoot);
    Desk desk;
    if (afterSetsRoot) {
        clickNode(*desk.window, QStringLiteral("Sunset"));
        clickNode(*desk.window, QStringLiteral("Bootvane Sets"));
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("the user's words"));

    ModalVisit visit(closeBox);
    QTest::mouseDClick(imgNew(*desk.window, slot), Qt::LeftButton);
    QVERIFY(!chooseFromContextMenu(imgNew(*desk.window, slot), "mnuViewFullSize"));
    QVERIFY(!chooseFromContextMenu(imgNew(*desk.window, slot), "mnuShowAsWindows95"));
    QTest::qWait(20);

    QCOMPARE(visit.opened, 0);
    QCOMPARE(desk.rebuilds->count(), 0);
    QCOMPARE(desk.dialogs.boxes.size(), 0);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("the user's words"));
    QCOMPARE(desk.window->setName(), afterSetsRoot ? QStringLiteral("Bootvane Sets") : QString());
}

void tst_Viewer::vanishedFileOpensNothing_data()
{
    QTest::addColumn<bool>("preview");
    QTest::addColumn<int>("slot");
    QTest::newRow("preview file gone") << true << 1;
    QTest::newRow("system file turned into a socket") << false << 2;
}

void tst_Viewer::vanishedFileOpensNothing()
{
    QFETCH(bool, preview);
    QFETCH(int, slot);
    Desk desk;
    clickNode(*desk.window, QStringLiteral("Sunset"));
    const QString gone =
        preview ? desk.setFile(QStringLiteral("Sunset"), slot) : desk.drive.systemFile(slot);
    QVERIFY(QFile::remove(gone));
    if (!preview) // an absent system file is Windows' built-in screen, no error
        QVERIFY(::mknod(QFile::encodeName(gone).constData(), S_IFSOCK | 0600, 0) == 0);

    ModalVisit visit(closeBox);
    QTest::mouseDClick(preview ? imgNew(*desk.window, slot) : imgCur(*desk.window, slot),
                       Qt::LeftButton);
    QTest::qWait(20);

    QCOMPARE(visit.opened, 0);
    QCOMPARE(desk.rebuilds->count(), 0);
    QCOMPARE(desk.dialogs.boxes.size(), 1);
    QCOMPARE(desk.dialogs.boxes[0].title, QStringLiteral("Bootvane"));
    QVERIFY2(desk.dialogs.boxes[0].text.contains(QFileInfo(gone).fileName()),
             qPrintable(desk.dialogs.boxes[0].text));
    QCOMPARE(desk.window->setName(), QStringLiteral("Sunset"));
}

void tst_Viewer::clipboardIsLeftAsItWas_data()
{
    QTest::addColumn<bool>("preview");
    QTest::addColumn<bool>("picture");
    QTest::newRow("text, current screen") << false << false;
    QTest::newRow("text, preview") << true << false;
    QTest::newRow("picture, current screen") << false << true;
}

void tst_Viewer::clipboardIsLeftAsItWas()
{
    QFETCH(bool, preview);
    QFETCH(bool, picture);
    Desk desk;
    clickNode(*desk.window, QStringLiteral("Sunset"));
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QImage copied = screenPicture(90, QSize(16, 16)).convertToFormat(QImage::Format_RGB32);
    if (picture)
        clipboard->setImage(copied);
    else
        clipboard->setText(QStringLiteral("copied before the viewing"));
    const QStringList formats = clipboard->mimeData()->formats();

    Viewing viewing;
    ModalVisit visit(doubleClickIt, recordInto(viewing));
    QTest::mouseDClick(preview ? imgNew(*desk.window, 0) : imgCur(*desk.window, 0), Qt::LeftButton);

    QCOMPARE(visit.opened, 1);
    QCOMPARE(clipboard->mimeData()->formats(), formats);
    if (picture) {
        QCOMPARE(clipboard->image().convertToFormat(QImage::Format_RGB32), copied);
    } else {
        QCOMPARE(viewing.clipboardText, QStringLiteral("copied before the viewing"));
        QCOMPARE(clipboard->text(), QStringLiteral("copied before the viewing"));
    }
}

void tst_Viewer::closingRebuildsTheTreeOnceAndKeepsThePreview_data()
{
    QTest::addColumn<QString>("opener");
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("viewer of a preview, double-click") << "imgNewLogow" << false;
    QTest::newRow("viewer of a preview, close box") << "imgNewLogos" << true;
    QTest::newRow("viewer of a screen in use") << "imgCurLogo" << false;
    QTest::newRow("About box, OK") << "mnuAbout" << false;
    QTest::newRow("About box, close box") << "mnuAbout" << true;
    QTest::newRow("new set dialog, closed without saving") << "cmdNewSet" << true;
    QTest::newRow("viewer from the context menu") << "imgNewLogow mnuViewFullSize" << false;
    QTest::newRow("Windows 95 view of a preview, double-click")
        << "imgNewLogo mnuShowAsWindows95" << false;
    QTest::newRow("Windows 95 view of a screen in use, close box")
        << "imgCurLogos mnuShowAsWindows95" << true;
}

void tst_Viewer::closingRebuildsTheTreeOnceAndKeepsThePreview()
{
    QFETCH(QString, opener);
    QFETCH(bool, closeBox);
    Desk desk;
    desk.drive.makeSet(QStringLiteral("Aurora"));
    clickNode(*desk.window, QStringLiteral("Sunset"));
    qint64 handles[3];
    QString paths[3];
    for (int slot = 0; slot < 3; ++slot) {
        handles[slot] = imgNew(*desk.window, slot)->pictureHandle();
        paths[slot] = desk.window->newPath(slot);
    }
    const QList<QByteArray> system = {fileBytes(desk.drive.systemFile(0)),
                                      fileBytes(desk.drive.systemFile(1)),
                                      fileBytes(desk.drive.systemFile(2))};

    ModalVisit visit([&](QWidget* modal) {
        if (closeBox)
            modal->close();
        else if (auto* ok = modal->findChild<QPushButton*>(QStringLiteral("cmdOK")))
            QTest::mouseClick(ok, Qt::LeftButton);
        else
            doubleClickIt(modal);
    });
    if (const QStringList boxAndItem = opener.split(QLatin1Char(' ')); boxAndItem.size() == 2)
        chooseFromContextMenu(control<QWidget>(desk.window.get(), qPrintable(boxAndItem[0])),
                              qPrintable(boxAndItem[1]));
    else if (opener == QLatin1String("mnuAbout"))
        control<QAction>(desk.window.get(), "mnuAbout")->trigger();
    else if (opener.startsWith(QLatin1String("cmd")))
        clickButton(desk.window.get(), qPrintable(opener));
    else
        QTest::mouseDClick(control<QWidget>(desk.window.get(), qPrintable(opener)), Qt::LeftButton);
    QTest::qWait(20);

    QCOMPARE(visit.opened, 1);
    QVERIFY(visit.closedByAct);
    QCOMPARE(desk.rebuilds->count(), 1);
    QVERIFY(desk.window->setName().isEmpty());
    QCOMPARE(tree(*desk.window)->topLevelItem(0)->childCount(), 2); // Aurora is listed now
    for (int slot = 0; slot < 3; ++slot) {
        QCOMPARE(imgNew(*desk.window, slot)->pictureHandle(), handles[slot]);
        QCOMPARE(desk.window->newPath(slot), paths[slot]);
    }
    // With no node clicked since the rebuild, "Set as Current" does nothing.
    clickButton(desk.window.get(), "cmdSetCur");
    for (int slot = 0; slot < 3; ++slot)
        QCOMPARE(fileBytes(desk.drive.systemFile(slot)), system[slot]);
    QCOMPARE(desk.dialogs.boxes.size(), 0);
}

// ---------------------------------------------------------------------------------------
// The view as Windows 95 shows a screen

void tst_Viewer::cyclingPalette_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("showsColourOf");
    QTest::newRow("from 236, 1 step: 236 takes 237's colour") << 236 << 0 << 1 << 236 << 237;
    QTest::newRow("from 236, 1 step: 255 takes 236's") << 236 << 0 << 1 << 255 << 236;
    QTest::newRow("from 236, 23 steps") << 236 << 0 << 23 << 250 << 253;
    QTest::newRow("from 1, 300 steps") << 1 << 0 << 300 << 255 << 45;
    QTest::newRow("from 255: one entry, nothing moves") << 255 << 0 << 7 << 255 << 255;
    QTest::newRow("0: nothing cycles") << 0 << 0 << 7 << 200 << 200;
    QTest::newRow("Waiting Screen: still") << 236 << 1 << 1 << 236 << 236;
}

void tst_Viewer::cyclingPalette()
{
    QFETCH(int, first);
    QFETCH(int, slot);
    QFETCH(int, steps);
    QFETCH(int, entry);
    QFETCH(int, showsColourOf);
    QImage picture = cyclingScreen(first);
    const Win95Screen screen(picture, screenSlots[slot]);
    QCOMPARE(screen.palette(steps)[entry], screen.palette(0)[showsColourOf]);
    // A frame recolours the band and nothing above it.
    Win95Frame frame(screen, QSize(800, 600));
    const QImage before = frame.image().copy();
    const QRect changed = frame.showStep(steps);
    QVERIFY(changed.isEmpty() || changed.top() > 450);
    QCOMPARE(frame.image().copy(0, 0, 800, 450), before.copy(0, 0, 800, 450));
    picture.setColorTable(screen.palette(steps));
    QVERIFY(showsEveryPixel(frame.image(), picture));
}

void tst_Viewer::windows95ViewDrawsTheScreenAsWritten_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a picture of another size, converted") << "converted";
    QTest::newRow("a screen shown as it is, at 6 bits a channel") << "as it is";
    QTest::newRow("no file: the built-in screen") << "built-in";
    QTest::newRow("a transparent picture, previewed over black") << "transparent";
}

void tst_Viewer::windows95ViewDrawsTheScreenAsWritten()
{
    QFETCH(QString, kind);
    QImage asItIs = screenPicture(41);
    asItIs.setColorTable(QList<QRgb>(256, qRgb(0x81, 0x7f, 0xff)));
    QImage clear(320, 400, QImage::Format_ARGB32);
    clear.fill(qRgba(255, 105, 180, 96));
    const bool transparent = kind == QLatin1String("transparent");
    Desk desk([&](TempDrive& drive) {
        const QImage wide = transparent ? clear : screenPicture(42, QSize(900, 500));
        const QImage pictures[3] = {wide, wide, wide};
        drive.makeSet(QStringLiteral("Wide"), pictures, transparent ? "PNG" : "BMP");
        if (kind == QLatin1String("as it is"))
            drive.writeSystemScreen(1, asItIs);
        else if (kind == QLatin1String("built-in"))
            QFile::remove(drive.systemFile(1));
    });

    QImage expected = builtInScreen(screenSlots[1]);
    ImageBox* box = imgCur(*desk.window, 1);
    if (kind == QLatin1String("converted") || transparent) {
        // What apply writes, against the preview of the set it came from.
        clickNode(*desk.window, QStringLiteral("Wide"));
        clickButton(desk.window.get(), "cmdSetCur");
        expected = loadPicture(desk.drive.systemFile(1));
        box = imgNew(*desk.window, 1);
    } else if (kind == QLatin1String("as it is")) {
        expected = asItIs;
        expected.setColorTable(QList<QRgb>(256, qRgb(0x82, 0x7d, 0xff)));
    }
    QImage view;
    ModalVisit visit(doubleClickIt, [&view](QWidget* modal) { view = shown(modal); });
    chooseFromContextMenu(box, "mnuShowAsWindows95");
    QCOMPARE(visit.opened, 1);
    if (transparent || kind == QLatin1String("converted")) {
        // The preview shows what the view does, but for the VGA's 6 bits a channel: the
        // middle of a transparent picture, the black above a wide one.
        const QImage preview = box->grab().toImage();
        const double y = transparent ? 0.5 : 0.05;
        const QColor previewed = preview.pixelColor(preview.width() / 2, int(preview.height() * y));
        const QColor seen = view.pixelColor(view.width() / 2, int(view.height() * y));
        QVERIFY(qAbs(previewed.red() - seen.red()) + qAbs(previewed.green() - seen.green()) < 8);
        if (transparent)
            return;
    }
    QVERIFY(showsEveryPixel(view, expected));
}

void tst_Viewer::windows95ViewStaysFourByThree()
{
    QList<QSize> sizes;
    QList<bool> cycling; // shown, minimised, restored
    ModalVisit visit(
        [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); },
        [&](QWidget* modal) {
            auto* view = qobject_cast<frmWin95View*>(modal);
            sizes = {view->size()};
            cycling = {view->isCycling()};
            for (auto show : {&QWidget::showMinimized, &QWidget::showNormal}) {
                (view->*show)();
                QCoreApplication::processEvents();
                cycling.append(view->isCycling());
            }
            for (const QSize asked : {QSize(1000, 500), QSize(500, 900), QSize(641, 480)}) {
                view->resize(asked);
                for (int i = 0; i < 100 && view->size() == asked; ++i)
                    QTest::qWait(5);
                sizes.append(view->size());
            }
        });
    showAsWindows95(cyclingScreen(236), 0);

    QCOMPARE(visit.opened, 1);
    QVERIFY(visit.closedByAct);
    for (const QSize size : sizes)
        QCOMPARE(size.width() * 3, size.height() * 4);
    QCOMPARE(cycling, (QList<bool>{true, false, true}));
}

// ---------------------------------------------------------------------------------------
// The About box

void tst_Viewer::aboutWindow()
{
    Viewing viewing;
    QIcon icon;
    ModalVisit visit(closeBox, [&](QWidget* modal) {
        recordInto(viewing)(modal);
        icon = modal->windowIcon();
    });
    showAboutBox();
    QCOMPARE(visit.opened, 1);

    QCOMPARE(viewing.className, QStringLiteral("bootvane::frmAbout"));
    QCOMPARE(viewing.title, QStringLiteral("About Bootvane 1.0"));
    QVERIFY(viewing.flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!viewing.flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!viewing.flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!viewing.flags.testFlag(Qt::WindowContextHelpButtonHint));
    QCOMPARE(viewing.geometry, QRect(156, 129, 382, 212));
    QCOMPARE(viewing.minimumSize, QSize(382, 212));
    QCOMPARE(viewing.maximumSize, QSize(382, 212));
    QVERIFY(viewing.modal);
    QCOMPARE(viewing.parent, nullptr);
    QCOMPARE(icon.pixmap(32).toImage(), programIcon().pixmap(32).toImage());
}

void tst_Viewer::aboutControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twipsPlace");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("bold");

    const QString sans = QStringLiteral("MS Sans Serif");
    QTest::newRow("picIcon") << "picIcon" << QRect(240, 120, 540, 540) << "" << sans << 8.25
                             << false;
    QTest::newRow("lblTitle") << "lblTitle" << QRect(1050, 240, 4365, 480) << "Bootvane"
                              << "Times New Roman" << 15.75 << true;
    QTest::newRow("lblDescription")
        << "lblDescription" << QRect(1080, 1080, 3975, 615)
        << "Bootvane is designed to allow the user to change those boring Startup/Shutdown "
           "screens that come with Windows 95 and categorize them into sets."
        << sans << 8.25 << false;
    QTest::newRow("cmdOK") << "cmdOK" << QRect(4245, 2025, 1260, 345) << "OK" << sans << 8.25
                           << false;
    QTest::newRow("lblVisit") << "lblVisit" << QRect(240, 2760, 735, 255) << "Visit us at:" << sans
                              << 8.25 << false;
    QTest::newRow("lblWebPage") << "lblWebPage" << QRect(1080, 2760, 4575, 255)
                                << QLatin1Char(' ') + QLatin1String(webPageAddress) << sans << 8.25
                                << true;
}

void tst_Viewer::aboutControls()
{
    QFETCH(QString, name);
    QFETCH(QRect, twipsPlace);
    QFETCH(QString, text);
    QFETCH(QString, family);
    QFETCH(double, points);
    QFETCH(bool, bold);
    frmAbout box;

    const auto* widget = control<QWidget>(&box, qPrintable(name));
    const QRect place =
        twipsRect(twipsPlace.x(), twipsPlace.y(), twipsPlace.width(), twipsPlace.height());
    const auto* label = qobject_cast<const QLabel*>(widget);
    if (label && label->width() > place.width()) {
        // A one-line label may only grow where the host's font needs it to show its text.
        QCOMPARE(widget->geometry().topLeft(), place.topLeft());
        QCOMPARE(widget->height(), place.height());
        QCOMPARE(widget->width(),
                 label->fontMetrics().tightBoundingRect(label->text()).right() + 1);
    } else {
        QCOMPARE(widget->geometry(), place);
    }
    QCOMPARE(widget->font().family(), family);
    QCOMPARE(widget->font().pointSizeF(), points);
    QCOMPARE(widget->font().bold(), bold);
    if (label) {
        if (!text.isEmpty())
            QCOMPARE(label->text(), text);
        if (name == QLatin1String("lblWebPage")) {
            // Plain text: clicking the address does nothing.
            QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
            QVERIFY(!label->openExternalLinks());
            QVERIFY(!Qt::mightBeRichText(label->text()));
        }
    } else if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        QCOMPARE(button->text(), text);
    }
    if (name == QLatin1String("lblTitle") || name == QLatin1String("lblDescription"))
        QCOMPARE(widget->palette().color(QPalette::WindowText), QColor(Qt::black));
}

// Every text can be read whole where the layout puts it, and the rule, the version line
// and the notice stand where the layout describes them.
void tst_Viewer::aboutTextsFitTheirLabels()
{
    frmAbout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    for (const char* name :
         {"lblTitle", "lblVersion", "lblDescription", "lblDisclaimer", "lblVisit", "lblWebPage"}) {
        const auto* label = control<QLabel>(&box, name);
        // A label that wraps breaks its text at its width; one that does not shows its
        // lines as they are, and only their ink has to fit.
        const QFontMetrics metrics = label->fontMetrics();
        QRect needed;
        if (label->wordWrap()) {
            needed = metrics.boundingRect(QRect(0, 0, label->width(), 10000),
                                          Qt::TextWordWrap | label->alignment(), label->text());
        } else {
            const QStringList lines = label->text().split(QLatin1Char('\n'));
            for (const QString& line : lines)
                needed.setWidth(qMax(needed.width(), metrics.tightBoundingRect(line).right() + 1));
            needed.setHeight(int(lines.size()) * metrics.height());
        }
        QVERIFY2(needed.width() <= label->width() && needed.height() <= label->height(),
                 qPrintable(QStringLiteral("%1 needs %2 x %3, has %4 x %5")
                                .arg(QLatin1String(name))
                                .arg(needed.width())
                                .arg(needed.height())
                                .arg(label->width())
                                .arg(label->height())));
    }

    const auto* title = control<QLabel>(&box, "lblTitle");
    const auto* version = control<QLabel>(&box, "lblVersion");
    const auto* description = control<QLabel>(&box, "lblDescription");
    QCOMPARE(version->text(), QStringLiteral("Version 1.00"));
    QVERIFY(version->font().bold());
    QVERIFY(version->geometry().top() >= title->geometry().top() + title->fontMetrics().height());
    QVERIFY(version->geometry().bottom() < description->geometry().top());

    const auto* notice = control<QLabel>(&box, "lblDisclaimer");
    const auto* ok = control<QPushButton>(&box, "cmdOK");
    QCOMPARE(notice->text().count(QLatin1Char('\n')), 1);
    QVERIFY(notice->geometry().right() < ok->geometry().left());
    QVERIFY(notice->geometry().top() > twips(1845));
    QVERIFY(notice->geometry().bottom() < control<QLabel>(&box, "lblVisit")->geometry().top());

    // The grey rule, one pixel high, from 90 to 5654 twips across at 1845 twips down.
    const QImage pixels = shown(&box);
    const int ruleY = twips(1845);
    for (const int x : {twips(90), twips(2000), twips(5654) - 1})
        QCOMPARE(QColor(pixels.pixel(x, ruleY)), QColor(128, 128, 128));
    QVERIFY(QColor(pixels.pixel(twips(2000), ruleY - 1)) != QColor(128, 128, 128));
    QVERIFY(QColor(pixels.pixel(twips(2000), ruleY + 1)) != QColor(128, 128, 128));
    QVERIFY(QColor(pixels.pixel(twips(90) - 2, ruleY)) != QColor(128, 128, 128));

    // The icon at its full 32 x 32 inside its sunken box.
    const auto* icon = control<QLabel>(&box, "picIcon");
    QVERIFY(icon->pixmap().size() == QSize(32, 32));
    QVERIFY(icon->frameShadow() == QFrame::Sunken);
}

void tst_Viewer::aboutKeyboard()
{
    QStringList order;
    QString focusAtOpen;
    bool okIsDefault = false;
    ModalVisit visit(closeBox, [&](QWidget* modal) {
        focusAtOpen =
            QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
        okIsDefault = control<QPushButton>(modal, "cmdOK")->isDefault();
        for (int i = 0; i < 2; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order.append(QApplication::focusWidget()->objectName());
        }
    });
    showAboutBox();

    QCOMPARE(visit.opened, 1);
    QCOMPARE(focusAtOpen, QStringLiteral("cmdOK"));
    QVERIFY(okIsDefault);
    QCOMPARE(order, (QStringList{"picIcon", "cmdOK"}));
}

void tst_Viewer::aboutCloses_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("fromIcon");
    QTest::newRow("Return") << int(Qt::Key_Return) << false;
    QTest::newRow("Enter") << int(Qt::Key_Enter) << false;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
    QTest::newRow("Space on OK") << int(Qt::Key_Space) << false;
    QTest::newRow("Return with the icon focused") << int(Qt::Key_Return) << true;
    QTest::newRow("Escape with the icon focused") << int(Qt::Key_Escape) << true;
}

void tst_Viewer::aboutCloses()
{
    QFETCH(int, key);
    QFETCH(bool, fromIcon);
    Desk desk;
    ModalVisit visit([&](QWidget* modal) {
        if (fromIcon)
            control<QWidget>(modal, "picIcon")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    });
    control<QAction>(desk.window.get(), "mnuAbout")->trigger();

    QCOMPARE(visit.opened, 1);
    QVERIFY(visit.closedByAct);
    QCOMPARE(desk.rebuilds->count(), 1);
}

void tst_Viewer::aboutOpensAtTheSamePlaceAfterTheMainWindowMoved()
{
    Desk desk;
    QList<QRect> places;
    ModalVisit visit(closeBox, [&](QWidget* modal) { places.append(modal->geometry()); });
    control<QAction>(desk.window.get(), "mnuAbout")->trigger();
    desk.window->move(desk.window->pos() + QPoint(170, 90));
    QTest::qWait(20);
    control<QAction>(desk.window.get(), "mnuAbout")->trigger();

    QCOMPARE(visit.opened, 2);
    QCOMPARE(places.size(), 2);
    QCOMPARE(places[0], QRect(156, 129, 382, 212));
    QCOMPARE(places[1], places[0]);
}

void tst_Viewer::helpAboutFromTheKeyboard()
{
    Desk desk;
    QString opened;
    ModalVisit visit(closeBox, [&](QWidget* modal) { opened = modal->windowTitle(); });

    QTest::keyClick(desk.window.get(), Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_A);
    QTRY_COMPARE(visit.opened, 1);

    QCOMPARE(opened, QStringLiteral("About Bootvane 1.0"));
    QCOMPARE(desk.rebuilds->count(), 1);
}

QTEST_MAIN(tst_Viewer)
#include "tst_viewer.moc"
