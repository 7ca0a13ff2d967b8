// The band screen as its file has it, and "Save as New Set..." driven from the main window.

#include "movingband.h"
#include "picture.h"
#include "setstore.h"
#include "windowdriver.h"

#include <QLineEdit>
#include <QRandomGenerator>
#include <QtEndian>

using namespace bootvane;
using namespace bootvane::testing;

Q_DECLARE_METATYPE(bootvane::MovingBand)

namespace {

QImage photo(QSize size, QImage::Format format)
{
    QImage picture(size, format);
    QRandomGenerator random(7);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y,
                             qRgba(x * 255 / size.width(), random.bounded(256),
                                   y * 255 / size.height(), (x + y) % 256));
    }
    return picture;
}

// The smallest shift (in columns, towards the right for +1) that turns row before into
// row after where both overlap; the width when none does.
int shiftBetween(const QList<QRgb>& before, const QList<QRgb>& after, int towards)
{
    const int width = int(before.size());
    for (int shift = 1; shift < width; ++shift) {
        bool matches = true;
        for (int x = shift; x < width && matches; ++x)
            matches = towards > 0 ? after[x] == before[x - shift] : after[x - shift] == before[x];
        if (matches)
            return shift;
    }
    return width;
}

// Answers the set name dialog when it opens: the name, then Return, then Esc if it stays; a
// null name cancels at once.
void nameTheSet(const QString& name)
{
    QTimer::singleShot(10, [name] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->objectName() != QLatin1String("frmSetName"))
            return nameTheSet(name);
        if (!name.isNull()) {
            control<QLineEdit>(dialog, "txtName")->setText(name);
            QTest::keyClick(control<QLineEdit>(dialog, "txtName"), Qt::Key_Return);
        }
        if (dialog->isVisible())
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
}

// A right-click on the box, then its "Add Moving Band..." chosen; tells whether it was enabled.
bool addMovingBand(QWidget* box)
{
    const QPoint place = box->rect().center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, place, box->mapToGlobal(place));
    QApplication::sendEvent(box, &rightClick);
    control<QMenu>(box, "mnuImageBox")->hide();
    auto* item = control<QAction>(box, "mnuAddMovingBand");
    item->trigger();
    return item->isEnabled();
}

} // namespace

class tst_MovingBand : public QObject {
    Q_OBJECT
private slots:
    void bandScreenFile_data();
    void bandScreenFile();
    void saveAsNewSet_data();
    void saveAsNewSet();
    void noBandOnAnEmptyBoxOrWindowsOwnScreen();
};

void tst_MovingBand::bandScreenFile_data()
{
    QImage cycling = screenPicture(3);
    cycling.setText(QLatin1String(bmpImportantColoursKey), QStringLiteral("200"));
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<MovingBand>("band");
    const QList<QColor> custom{QColor(10, 200, 30), QColor(250, 250, 0)};
    const QList<BandColours> named = namedBandColours();
    QTest::newRow("photo, bottom, flowing right")
        << photo(QSize(1600, 1200), QImage::Format_RGB32)
        << MovingBand{BandPosition::Bottom, 20, named[0].stops, BandFlow::Right};
    QTest::newRow("wide transparent picture, top, lowest, flowing left")
        << photo(QSize(900, 300), QImage::Format_ARGB32)
        << MovingBand{BandPosition::Top, 4, named[1].stops, BandFlow::Left};
    QTest::newRow("a screen that cycles from 200, highest band, flowing left")
        << cycling << MovingBand{BandPosition::Bottom, 100, named.last().stops, BandFlow::Left};
    QTest::newRow("two colours of the user's, top, flowing right")
        << cycling << MovingBand{BandPosition::Top, 57, custom, BandFlow::Right};
}

void tst_MovingBand::bandScreenFile()
{
    QFETCH(QImage, picture);
    QFETCH(MovingBand, band);
    const QByteArray file = encodeBmp(withMovingBand(picture, band));
    QCOMPARE(qFromLittleEndian<quint32>(file.constData() + 50), quint32(236));
    QByteArray asTheyAre;
    const QImage screen = decodePicture(file, QStringLiteral("logo.sys"), &asTheyAre);
    QCOMPARE(asTheyAre, file); // Windows shows it as it is: applied byte for byte

    const int firstBandRow = band.position == BandPosition::Top ? 0 : 400 - band.height;
    for (int y = 0; y < 400; ++y) {
        const bool inBand = y >= firstBandRow && y < firstBandRow + band.height;
        for (int x = 0; x < 320; ++x) {
            if ((screen.pixelIndex(x, y) >= 236) != inBand)
                QFAIL(qPrintable(QStringLiteral("entry %1 at %2, %3")
                                     .arg(screen.pixelIndex(x, y))
                                     .arg(x)
                                     .arg(y)));
        }
    }
    // One step of Windows' rotation: each of the 20 entries takes the colour of the next.
    const QList<QRgb> palette = screen.colorTable();
    QList<QRgb> before, after;
    for (int x = 0; x < 320; ++x) {
        const int entry = screen.pixelIndex(x, firstBandRow);
        before.append(palette[entry]);
        after.append(palette[236 + (entry - 236 + 1) % 20]);
    }
    const int right = shiftBetween(before, after, +1);
    const int left = shiftBetween(before, after, -1);
    QVERIFY2(band.flow == BandFlow::Right ? right < left : left < right,
             qPrintable(QStringLiteral("right %1, left %2").arg(right).arg(left)));
}

void tst_MovingBand::saveAsNewSet_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("name"); // a null name cancels
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<bool>("waitingInUse");
    QTest::newRow("the chosen set's screen") << "imgNewLogo"
                                             << "Sunset Band"
                                             << "" << true;
    QTest::newRow("the screen in use") << "imgCurLogo"
                                       << "In Use"
                                       << "" << true;
    QTest::newRow("no name") << "imgNewLogo"
                             << "" << setNameMissing << true;
    QTest::newRow("a set's name") << "imgCurLogo"
                                  << "Sunset" << setNameTaken << true;
    QTest::newRow("the originals' name") << "imgNewLogo"
                                         << "ORIGINALS" << setNameInvalid << true;
    QTest::newRow("a path") << "imgNewLogo"
                            << "../Out" << setNameInvalid << true;
    QTest::newRow("cancelled") << "imgNewLogo" << QString() << "" << true;
    QTest::newRow("Windows' own Waiting Screen in use cannot be copied") << "imgCurLogo"
                                                                         << "In Use"
                                                                         << "" << false;
}

void tst_MovingBand::saveAsNewSet()
{
    QFETCH(QString, box);
    QFETCH(QString, name);
    QFETCH(QString, refusal);
    QFETCH(bool, waitingInUse);
    Desk desk([&](TempDrive& drive) {
        if (!waitingInUse)
            QFile::remove(drive.systemFile(1));
    });
    clickNode(desk.main(), QStringLiteral("Sunset"));
    const QStringList before = entriesBelow(desk.drive.workDir());
    const bool fromSet = box == QLatin1String("imgNewLogo");
    QList<QByteArray> sources = fromSet ? QList<QByteArray>{} : desk.systemBytes();
    for (int slot = 0; fromSet && slot < 3; ++slot)
        sources.append(fileBytes(desk.setFile(QStringLiteral("Sunset"), slot)));

    bool saveOffered = false;
    ModalVisit visit([&](QWidget* window) {
        auto* save = control<QPushButton>(window, "cmdSave");
        saveOffered = save->isEnabled();
        if (saveOffered)
            nameTheSet(name);
        QTest::mouseClick(save, Qt::LeftButton);
    });
    QVERIFY(addMovingBand(control<ImageBox>(desk.window.get(), qPrintable(box))));
    QCOMPARE(visit.opened, 1);
    QCOMPARE(saveOffered, waitingInUse);

    const bool made = saveOffered && !name.isNull() && refusal.isEmpty();
    QCOMPARE(visit.closedByAct, made);
    QCOMPARE(desk.dialogs.boxes.size(), refusal.isEmpty() ? 0 : 1);
    if (!refusal.isEmpty())
        QCOMPARE(desk.dialogs.boxes.first().text, refusal);
    for (int slot = 0; fromSet && slot < 3; ++slot)
        QCOMPARE(fileBytes(desk.setFile(QStringLiteral("Sunset"), slot)), sources[slot]);
    if (!made) {
        QCOMPARE(entriesBelow(desk.drive.workDir()), before);
        return;
    }
    const QByteArray logo = fileBytes(desk.setFile(name, 0));
    QCOMPARE(qFromLittleEndian<quint32>(logo.constData() + 50), quint32(236));
    for (int slot = 1; slot < 3; ++slot)
        QCOMPARE(fileBytes(desk.setFile(name, slot)), sources[slot]);
    clickNode(desk.main(), name); // the tree lists it
    clickButton(desk.window.get(), "cmdSetCur");
    QCOMPARE(fileBytes(desk.drive.systemFile(0)), logo);
}

void tst_MovingBand::noBandOnAnEmptyBoxOrWindowsOwnScreen()
{
    Desk desk([](TempDrive& drive) { QFile::remove(drive.systemFile(0)); });
    ModalVisit visit(closeBox);
    QVERIFY(!addMovingBand(imgNew(desk.main(), 0))); // no set chosen yet
    QVERIFY(!addMovingBand(imgCur(desk.main(), 0)));
    QCOMPARE(visit.opened, 0);
}

QTEST_MAIN(tst_MovingBand)
#include "tst_movingband.moc"
