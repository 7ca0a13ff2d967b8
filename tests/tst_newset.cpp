// The new set dialog driven as a user would: real controls found by name, real files in a
// temporary drive, the open-file dialog and message boxes answered by script.

#include "frmlogomain.h"
#include "frmnewset.h"
#include "imagebox.h"
#include "picture.h"
#include "scripteddialogs.h"
#include "tempdrive.h"
#include "viewlogo.h"
#include "windowdriver.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

const char* suffixes[] = {"Logo", "Logow", "Logos"};
const QString savingTitle = QStringLiteral("Saving Screen Sets");
const QString allThreeText =
    QStringLiteral("You must choose all three screen to make a Bootvane Set.");
const QString takenText = QStringLiteral("That set name already exists.");
const QString invalidText = QStringLiteral("That is not a valid set name.");

template <typename T> T* control(QWidget* window, const QString& name)
{
    T* found = window->findChild<T*>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

QPushButton* selectButton(QWidget* dialog, int slot)
{
    return control<QPushButton>(dialog,
                                QStringLiteral("cmdSelect") + QLatin1String(suffixes[slot]));
}

ImageBox* imageBox(QWidget* dialog, int slot)
{
    return control<ImageBox>(dialog, QStringLiteral("imgCreate") + QLatin1String(suffixes[slot]));
}

QLineEdit* nameBox(QWidget* dialog)
{
    return control<QLineEdit>(dialog, QStringLiteral("txtSaveSet"));
}

// A name of its own, so that a folder made next to the temporary folder can be told from
// whatever else the shared parent holds.
QString escapeName()
{
    return QStringLiteral("bootvane-escape-%1").arg(QCoreApplication::applicationPid());
}

void click(QWidget* dialog, const char* name)
{
    QTest::mouseClick(control<QPushButton>(dialog, QLatin1String(name)), Qt::LeftButton);
}

// Runs check on the window that becomes modal next, once it is up; check must close it.
void whenModal(const std::function<void(QWidget*)>& check)
{
    // Only the pending timer holds the poll; it refers to itself weakly, so that it is
    // freed once it stops.
    auto poll = std::make_shared<std::function<void(int)>>();
    const std::weak_ptr<std::function<void(int)>> self = poll;
    *poll = [check, self](int triesLeft) {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            check(modal);
            return;
        }
        if (auto again = self.lock(); again && triesLeft > 0)
            QTimer::singleShot(10, [again, triesLeft] { (*again)(triesLeft - 1); });
    };
    QTimer::singleShot(0, [poll] { (*poll)(500); });
}

} // namespace

class NewSetTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void frameAndKeyboard();
    void enterAndEscapeDoNothing();
    void cancelAndCloseBoxWriteNothing_data();
    void cancelAndCloseBoxWriteNothing();

    void selectAsksWithTheSlotsTitleAndFilters();
    void filterEntryIsKeptWithinOneOpening();
    void realFileDialogShowsAndKeepsThePickedEntry();
    void cancelInFileDialogEmptiesTheSlot();
    void noPictureFailsAndKeepsTheEarlierChoice();
    void doubleClickViewsTheFileAsItIsNow();
    void doubleClickOnAnEmptyBoxDoesNothing();

    void emptyName_data();
    void emptyName();
    void nameWithoutAllThreeScreens_data();
    void nameWithoutAllThreeScreens();
    void takenName_data();
    void takenName();
    void unsafeNameIsRefusedAndNothingIsMade_data();
    void unsafeNameIsRefusedAndNothingIsMade();
    void saveMakesTheSet_data();
    void saveMakesTheSet();
    void failedSaveLeavesNothingAndCanBeRetried_data();
    void failedSaveLeavesNothingAndCanBeRetried();

    void reopeningStartsAfresh();
    void newSetAppearsInTheMainWindowsTree();
    void closeBoxStillRebuildsTheTree();

private:
    // A BMP picture file outside the working directory.
    QString pictureFile(const QString& name, int seed);
    // Chooses path for slot through its "Select..." button.
    void choose(QWidget* dialog, int slot, const QString& path);
    // A shown dialog with all three screens chosen.
    void chooseAll(QWidget* dialog);

    std::unique_ptr<TempDrive> m_drive;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    QString m_pictures;
};

void NewSetTest::init()
{
    m_drive = std::make_unique<TempDrive>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_pictures = m_drive->root() + QStringLiteral("/pictures");
    QDir().mkpath(m_pictures);
}

void NewSetTest::cleanup()
{
    m_dialogs.reset();
    m_drive.reset();
}

QString NewSetTest::pictureFile(const QString& name, int seed)
{
    const QString path = m_pictures + QLatin1Char('/') + name;
    writeFile(path, encodeBmp(screenPicture(seed)));
    return path;
}

void NewSetTest::choose(QWidget* dialog, int slot, const QString& path)
{
    m_dialogs->answerFileDialog(path);
    QTest::mouseClick(selectButton(dialog, slot), Qt::LeftButton);
}

void NewSetTest::chooseAll(QWidget* dialog)
{
    for (int slot = 0; slot < 3; ++slot)
        choose(dialog, slot, pictureFile(QStringLiteral("screen%1.sys").arg(slot), slot));
}

void NewSetTest::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twipsGeometry");
    QTest::addColumn<bool>("centred");

    const auto row = [](const char* name, const char* caption, QRect geometry, bool centred) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption) << geometry
                            << centred;
    };
    row("lblSaveSet", "Save Set As...", {120, 360, 1095, 255}, false);
    row("txtSaveSet", "", {120, 720, 2055, 375}, false);
    row("cmdSaveSet", "Save", {120, 1200, 1215, 375}, false);
    row("cmdCancel", "Cancel", {120, 1680, 1215, 375}, false);
    row("cmdSelectLogo", "Select...", {2400, 240, 1215, 375}, false);
    row("cmdSelectLogow", "Select...", {3960, 240, 1215, 375}, false);
    row("cmdSelectLogos", "Select...", {5520, 240, 1215, 375}, false);
    row("imgCreateLogo", "", {2280, 720, 1455, 1335}, false);
    row("imgCreateLogow", "", {3840, 720, 1455, 1335}, false);
    row("imgCreateLogos", "", {5400, 720, 1455, 1335}, false);
    row("lblCreateLogo", "Logo.sys", {2640, 2160, 735, 255}, true);
    row("lblCreateLogow", "Logow.sys", {4200, 2160, 855, 255}, true);
    row("lblCreateLogos", "Logos.sys", {5760, 2160, 735, 255}, true);
}

void NewSetTest::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twipsGeometry);
    QFETCH(bool, centred);

    frmNewSet dialog;
    dialog.show();
    QWidget* widget = control<QWidget>(&dialog, name);
    QCOMPARE(widget->parentWidget(), &dialog);
    QCOMPARE(widget->geometry(), QRect(twipsGeometry.left() / 15, twipsGeometry.top() / 15,
                                       twipsGeometry.width() / 15, twipsGeometry.height() / 15));
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(label->text(), caption);
        QCOMPARE(bool(label->alignment() & Qt::AlignHCenter), centred);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), caption);
        QVERIFY(!button->autoDefault());
        QVERIFY(!button->isDefault());
    } else if (auto* box = qobject_cast<ImageBox*>(widget)) {
        QCOMPARE(box->pictureHandle(), qint64(0));
        QCOMPARE(box->focusPolicy(), Qt::TabFocus); // for the keyboard, after the controls
    } else {
        QCOMPARE(qobject_cast<QLineEdit*>(widget)->text(), caption);
    }

    const QFont font = widget->font();
    if (name == QLatin1String("lblSaveSet")) {
        QCOMPARE(font.family(), QStringLiteral("Times New Roman"));
        QCOMPARE(font.pointSizeF(), 9.75);
        QCOMPARE(font.weight(), QFont::Bold);
    } else {
        QCOMPARE(font.family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(font.pointSizeF(), 8.25);
        QCOMPARE(font.weight(), QFont::Normal);
    }
}

void NewSetTest::frameAndKeyboard()
{
    frmNewSet dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Make Your New Set"));
    QCOMPARE(dialog.size(), QSize(474, 174));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    const QPoint offCentre =
        dialog.geometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 2, "the dialog opens centred on the screen");

    QCOMPARE(dialog.focusWidget(), selectButton(&dialog, 0));
    const QStringList expectedOrder{
        QStringLiteral("cmdSelectLogo"),  QStringLiteral("cmdSelectLogow"),
        QStringLiteral("cmdSelectLogos"), QStringLiteral("txtSaveSet"),
        QStringLiteral("cmdSaveSet"),     QStringLiteral("cmdCancel"),
        QStringLiteral("imgCreateLogo"),  QStringLiteral("imgCreateLogow"),
        QStringLiteral("imgCreateLogos")};
    QStringList order;
    QWidget* widget = selectButton(&dialog, 0);
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            order.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != selectButton(&dialog, 0));
    QCOMPARE(order, expectedOrder);
}

void NewSetTest::enterAndEscapeDoNothing()
{
    frmNewSet dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    chooseAll(&dialog);
    QTest::keyClicks(nameBox(&dialog), QStringLiteral("Keys"));
    const QStringList before = entriesBelow(m_drive->root());

    for (const char* focused : {"txtSaveSet", "cmdSaveSet", "cmdCancel", "cmdSelectLogo"}) {
        QWidget* widget = control<QWidget>(&dialog, QLatin1String(focused));
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(widget, key);
        QVERIFY2(dialog.isVisible(), focused);
    }
    QCOMPARE(dialog.result(), 0);
    QCOMPARE(entriesBelow(m_drive->root()), before);
    QCOMPARE(nameBox(&dialog)->text(), QStringLiteral("Keys"));
    QVERIFY(m_dialogs->boxes.isEmpty());
}

void NewSetTest::cancelAndCloseBoxWriteNothing_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancel") << false;
    QTest::newRow("close box") << true;
}

void NewSetTest::cancelAndCloseBoxWriteNothing()
{
    QFETCH(bool, closeBox);
    frmNewSet dialog;
    dialog.show();
    chooseAll(&dialog);
    QTest::keyClicks(nameBox(&dialog), QStringLiteral("Dropped"));
    const QStringList before = entriesBelow(m_drive->root());

    if (closeBox)
        QVERIFY(dialog.close());
    else
        click(&dialog, "cmdCancel");
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(entriesBelow(m_drive->root()), before);
    QVERIFY(m_dialogs->boxes.isEmpty());
}

void NewSetTest::selectAsksWithTheSlotsTitleAndFilters()
{
    frmNewSet dialog;
    dialog.show();
    const QString titles[] = {QStringLiteral("Select a Startup Screen (Logo.sys)"),
                              QStringLiteral("Select a Waiting Screen (Logow.sys)"),
                              QStringLiteral("Select a Shutoff Screen (Logos.sys)")};
    const QString systemFile = pictureFile(QStringLiteral("LOGO.SYS"), 7);
    const QString bitmap = pictureFile(QStringLiteral("Sunset.BMP"), 8);
    const QString paths[] = {systemFile, bitmap, systemFile};

    for (int slot = 0; slot < 3; ++slot) {
        choose(&dialog, slot, paths[slot]);
        const ScriptedDialogs::FileRequest& request = m_dialogs->fileRequests.at(slot);
        QCOMPARE(request.title, titles[slot]);
        QCOMPARE(request.filters.size(), 4);
        QCOMPARE(request.filters[0].description, QStringLiteral("System Files (*.sys)"));
        QCOMPARE(request.filters[0].patterns, QStringList{QStringLiteral("*.sys")});
        QCOMPARE(request.filters[1].description, QStringLiteral("Bitmaps (*.bmp)"));
        QCOMPARE(request.filters[1].patterns, QStringList{QStringLiteral("*.bmp")});
        QCOMPARE(request.filters[2].description,
                 QStringLiteral("All Selectable Images (*.sys,*.bmp)"));
        QCOMPARE(request.filters[2].patterns,
                 (QStringList{QStringLiteral("*.sys"), QStringLiteral("*.bmp")}));
        // Photos besides: every format Bootvane reads.
        QVERIFY(request.filters[3].patterns.contains(QStringLiteral("*.jpg")) &&
                request.filters[3].patterns.contains(QStringLiteral("*.png")));

        QCOMPARE(dialog.chosenPath(slot), paths[slot]);
        QVERIFY(samePixels(imageBox(&dialog, slot)->picture(), loadPicture(paths[slot])));
    }
    QVERIFY(m_dialogs->boxes.isEmpty());
    QCOMPARE(QDir::currentPath(), m_drive->workDir());
}

void NewSetTest::filterEntryIsKeptWithinOneOpening()
{
    const QString path = pictureFile(QStringLiteral("a.sys"), 1);
    {
        frmNewSet dialog;
        dialog.show();
        m_dialogs->answerFileDialog(path, 2);
        QTest::mouseClick(selectButton(&dialog, 0), Qt::LeftButton);
        m_dialogs->answerFileDialog(QString(), 1);
        QTest::mouseClick(selectButton(&dialog, 2), Qt::LeftButton);
        choose(&dialog, 1, path);
    }
    frmNewSet again;
    again.show();
    choose(&again, 0, path);

    QList<int> shown;
    for (const ScriptedDialogs::FileRequest& request : m_dialogs->fileRequests)
        shown.append(request.filterIndexShown);
    QCOMPARE(shown, (QList<int>{0, 2, 1, 0}));
}

// Qt's own file dialog, as the program shows it: its entries read exactly as named, and the
// one the user picks is shown again at the next "Select..." of the same opening.
void NewSetTest::realFileDialogShowsAndKeepsThePickedEntry()
{
    m_dialogs.reset();
    const QString picture = pictureFile(QStringLiteral("SUNSET.BMP"), 2);
    frmNewSet dialog;
    dialog.show();

    QStringList entries;
    QString shownFirst;
    QString shownAgain;
    bool ownDialog = false;
    whenModal([&](QWidget* modal) {
        auto* fileDialog = qobject_cast<QFileDialog*>(modal);
        auto* entryBox = modal->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* nameEdit = modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (fileDialog && entryBox && nameEdit) {
            // The GTK dialog would cut every name at its first parenthesis.
            ownDialog = fileDialog->testOption(QFileDialog::DontUseNativeDialog);
            for (int i = 0; i < entryBox->count(); ++i)
                entries.append(entryBox->itemText(i));
            shownFirst = entryBox->currentText();
            QTest::keyClick(entryBox, Qt::Key_Down);
            nameEdit->setText(picture);
            QTest::keyClick(nameEdit, Qt::Key_Return);
        } else {
            modal->close();
        }
    });
    QTest::mouseClick(selectButton(&dialog, 0), Qt::LeftButton);
    QCOMPARE(dialog.chosenPath(0), QDir::toNativeSeparators(picture));

    whenModal([&](QWidget* modal) {
        if (auto* entryBox = modal->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            shownAgain = entryBox->currentText();
        modal->close();
    });
    QTest::mouseClick(selectButton(&dialog, 1), Qt::LeftButton);

    QVERIFY(ownDialog);
    QCOMPARE(entries,
             (QStringList{QStringLiteral("System Files (*.sys)"), QStringLiteral("Bitmaps (*.bmp)"),
                          QStringLiteral("All Selectable Images (*.sys,*.bmp)"),
                          QStringLiteral("Photos and Other Pictures")}));
    QCOMPARE(shownFirst, entries.value(0));
    QCOMPARE(shownAgain, entries.value(1));
    QCOMPARE(dialog.chosenPath(1), QString());
}

void NewSetTest::cancelInFileDialogEmptiesTheSlot()
{
    frmNewSet dialog;
    dialog.show();
    chooseAll(&dialog);
    const qint64 others[] = {imageBox(&dialog, 0)->pictureHandle(),
                             imageBox(&dialog, 2)->pictureHandle()};

    choose(&dialog, 1, QString());
    QCOMPARE(dialog.chosenPath(1), QString());
    QCOMPARE(imageBox(&dialog, 1)->pictureHandle(), qint64(0));
    QCOMPARE(imageBox(&dialog, 0)->pictureHandle(), others[0]);
    QCOMPARE(imageBox(&dialog, 2)->pictureHandle(), others[1]);

    QTest::keyClicks(nameBox(&dialog), QStringLiteral("Gap"));
    click(&dialog, "cmdSaveSet");
    QCOMPARE(m_dialogs->boxes.size(), 1);
    QCOMPARE(m_dialogs->boxes[0].text, allThreeText);
    QVERIFY(!QFileInfo::exists(m_drive->workDir() + QStringLiteral("/Gap")));
}

void NewSetTest::noPictureFailsAndKeepsTheEarlierChoice()
{
    frmNewSet dialog;
    dialog.show();
    const QString picture = pictureFile(QStringLiteral("good.sys"), 3);
    const QString text = m_pictures + QStringLiteral("/readme.sys");
    writeFile(text, "no picture at all");

    choose(&dialog, 0, picture);
    choose(&dialog, 0, text);
    QCOMPARE(m_dialogs->boxes.size(), 1);
    QCOMPARE(m_dialogs->boxes[0].kind, ScriptedDialogs::Box::Critical);
    QCOMPARE(m_dialogs->boxes[0].title, QStringLiteral("Bootvane"));
    QVERIFY(m_dialogs->boxes[0].text.contains(QStringLiteral("readme.sys")));
    // The path names the picture the box shows, which is what a save copies.
    QCOMPARE(dialog.chosenPath(0), picture);
    QVERIFY(samePixels(imageBox(&dialog, 0)->picture(), screenPicture(3)));
    QVERIFY(dialog.isVisible());
}

void NewSetTest::doubleClickViewsTheFileAsItIsNow()
{
    frmNewSet dialog;
    dialog.show();
    const QString path = pictureFile(QStringLiteral("changing.sys"), 4);
    choose(&dialog, 1, path);
    // The file changes on disk after it was chosen; the viewer shows it as it is now.
    writeFile(path, encodeBmp(screenPicture(5)));
    QGuiApplication::clipboard()->clear();

    QImage shown;
    QString viewerName;
    whenModal([&](QWidget* viewer) {
        viewerName = viewer->objectName();
        shown = viewer->grab().toImage();
        viewer->close();
    });
    QTest::mouseDClick(imageBox(&dialog, 1), Qt::LeftButton);

    QCOMPARE(viewerName, QStringLiteral("frmViewLogo"));
    QVERIFY(samePixels(shown, screenPicture(5).copy(QRect(QPoint(0, 0), shown.size()))));
    QVERIFY(samePixels(imageBox(&dialog, 1)->picture(), screenPicture(4)));
    QVERIFY(QGuiApplication::clipboard()->image().isNull());
    QVERIFY(m_dialogs->boxes.isEmpty());
    // Its context menu opens the view as Windows 95 shows the screen.
    whenModal([&](QWidget* view) {
        viewerName = view->objectName();
        view->close();
    });
    chooseFromContextMenu(imageBox(&dialog, 1), "mnuShowAsWindows95");
    QCOMPARE(viewerName, QStringLiteral("frmWin95View"));

    // A file gone since it was chosen is reported, not shown.
    QFile::remove(path);
    QTest::mouseDClick(imageBox(&dialog, 1), Qt::LeftButton);
    QCOMPARE(m_dialogs->boxes.size(), 1);
    QCOMPARE(m_dialogs->boxes[0].kind, ScriptedDialogs::Box::Critical);
}

void NewSetTest::doubleClickOnAnEmptyBoxDoesNothing()
{
    frmNewSet dialog;
    dialog.show();
    choose(&dialog, 0, pictureFile(QStringLiteral("one.sys"), 1));
    choose(&dialog, 0, QString());

    bool opened = false;
    for (int slot = 0; slot < 3; ++slot) {
        // Whatever might open is closed again, so that the test cannot hang on it.
        QTimer guard;
        connect(&guard, &QTimer::timeout, [&opened] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened = true;
                modal->close();
            }
        });
        guard.start(10);
        QTest::mouseDClick(imageBox(&dialog, slot), Qt::LeftButton);
        QTest::qWait(30);
    }
    QVERIFY(!opened);
    QVERIFY(m_dialogs->boxes.isEmpty());
}

void NewSetTest::emptyName_data()
{
    QTest::addColumn<int>("chosen");
    QTest::newRow("none chosen") << 0;
    QTest::newRow("one chosen") << 1;
    QTest::newRow("two chosen") << 2;
    QTest::newRow("all chosen") << 3;
}

void NewSetTest::emptyName()
{
    QFETCH(int, chosen);
    frmNewSet dialog;
    dialog.show();
    for (int slot = 0; slot < chosen; ++slot)
        choose(&dialog, slot, pictureFile(QStringLiteral("s%1.sys").arg(slot), slot));
    nameBox(&dialog)->setFocus();
    const QStringList before = entriesBelow(m_drive->root());

    // Pressed without moving the focus, to see that the save itself moves none.
    control<QPushButton>(&dialog, QStringLiteral("cmdSaveSet"))->click();

    if (chosen == 0) {
        QVERIFY(m_dialogs->boxes.isEmpty());
    } else {
        QCOMPARE(m_dialogs->boxes.size(), 1);
        QCOMPARE(m_dialogs->boxes[0].kind, ScriptedDialogs::Box::Information);
        QCOMPARE(m_dialogs->boxes[0].text, QStringLiteral("You must specify a filename."));
        QCOMPARE(m_dialogs->boxes[0].title, savingTitle);
    }
    QCOMPARE(dialog.focusWidget(), nameBox(&dialog));
    QVERIFY(dialog.isVisible());
    QCOMPARE(entriesBelow(m_drive->root()), before);
}

void NewSetTest::nameWithoutAllThreeScreens_data()
{
    QTest::addColumn<int>("missing");
    QTest::addColumn<QString>("name");
    QTest::newRow("Startup missing") << 0 << QStringLiteral("Fresh");
    QTest::newRow("Waiting missing") << 1 << QStringLiteral("Fresh");
    QTest::newRow("Shutoff missing") << 2 << QStringLiteral("Fresh");
    QTest::newRow("taken name, Shutoff missing") << 2 << QStringLiteral("Originals");
    QTest::newRow("unsafe name, Waiting missing") << 1 << QStringLiteral("../Fresh");
}

void NewSetTest::nameWithoutAllThreeScreens()
{
    QFETCH(int, missing);
    QFETCH(QString, name);
    m_drive->makeSet(QStringLiteral("Originals"));
    frmNewSet dialog;
    dialog.show();
    QList<qint64> handles;
    for (int slot = 0; slot < 3; ++slot) {
        if (slot != missing)
            choose(&dialog, slot, pictureFile(QStringLiteral("s%1.sys").arg(slot), slot));
        handles.append(imageBox(&dialog, slot)->pictureHandle());
    }
    QTest::keyClicks(nameBox(&dialog), name);
    const QStringList before = entriesBelow(m_drive->root());

    click(&dialog, "cmdSaveSet");

    QCOMPARE(m_dialogs->boxes.size(), 1);
    QCOMPARE(m_dialogs->boxes[0].kind, ScriptedDialogs::Box::Information);
    QCOMPARE(m_dialogs->boxes[0].text, allThreeText);
    QCOMPARE(m_dialogs->boxes[0].title, savingTitle);
    QCOMPARE(nameBox(&dialog)->text(), QString());
    QCOMPARE(dialog.focusWidget(), selectButton(&dialog, 0));
    for (int slot = 0; slot < 3; ++slot)
        QCOMPARE(imageBox(&dialog, slot)->pictureHandle(), handles[slot]);
    QVERIFY(dialog.isVisible());
    QCOMPARE(entriesBelow(m_drive->root()), before);
}

void NewSetTest::takenName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("a set") << QStringLiteral("Mine");
    QTest::newRow("a plain file") << QStringLiteral("notes.txt");
    QTest::newRow("* matches the first entry") << QStringLiteral("*");
    QTest::newRow("? matches a one-letter name") << QStringLiteral("?");
    QTest::newRow("an entry of a folder the name leads into") << QStringLiteral("Mine/logo.sys");
}

void NewSetTest::takenName()
{
    QFETCH(QString, name);
    m_drive->makeSet(QStringLiteral("Mine"));
    m_drive->makeSet(QStringLiteral("Originals"));
    m_drive->makeSet(QStringLiteral("Z"));
    writeFile(m_drive->workDir() + QStringLiteral("/notes.txt"), "a plain file");
    frmNewSet dialog;
    dialog.show();
    chooseAll(&dialog);
    QTest::keyClicks(nameBox(&dialog), name);
    const QStringList before = entriesBelow(m_drive->root());

    click(&dialog, "cmdSaveSet");

    QCOMPARE(m_dialogs->boxes.size(), 1);
    QCOMPARE(m_dialogs->boxes[0].kind, ScriptedDialogs::Box::Information);
    QCOMPARE(m_dialogs->boxes[0].text, takenText);
    QCOMPARE(m_dialogs->boxes[0].title, savingTitle);
    QCOMPARE(nameBox(&dialog)->text(), QString());
    QCOMPARE(dialog.focusWidget(), nameBox(&dialog));
    QVERIFY(dialog.isVisible());
    QCOMPARE(entriesBelow(m_drive->root()), before);
}

void NewSetTest::unsafeNameIsRefusedAndNothingIsMade_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("into the parent") << QStringLiteral("../x");
    QTest::newRow("past the temporary folder") << QStringLiteral("../../") + escapeName();
    QTest::newRow("absolute") << QStringLiteral("ABSOLUTE");
    QTest::newRow("nested in an existing folder") << QStringLiteral("Mine/inner");
    QTest::newRow("nested in a missing folder") << QStringLiteral("a/b");
    QTest::newRow("under a plain file") << QStringLiteral("notes.txt/x");
    QTest::newRow("trailing slash") << QStringLiteral("fresh/");
    QTest::newRow("DOS parent") << QStringLiteral("..\\Windows");
    QTest::newRow("backslash") << QStringLiteral("a\\b");
    QTest::newRow("dot") << QStringLiteral(".");
    QTest::newRow("dot dot") << QStringLiteral("..");
    QTest::newRow("colon") << QStringLiteral("c:set");
    QTest::newRow("star inside") << QStringLiteral("se*t");
    QTest::newRow("question mark inside") << QStringLiteral("what?");
    QTest::newRow("quote") << QStringLiteral("say \"hi\"");
    QTest::newRow("angle brackets") << QStringLiteral("<set>");
    QTest::newRow("pipe") << QStringLiteral("a|b");
    QTest::newRow("tab") << QStringLiteral("a\tb");
    QTest::newRow("delete") << QStringLiteral("a\x7f"
                                              "b");
    QTest::newRow("trailing space") << QStringLiteral("Sunset ");
    QTest::newRow("trailing dot") << QStringLiteral("Sunset.");
    QTest::newRow("CON") << QStringLiteral("CON");
    QTest::newRow("con with an extension") << QStringLiteral("con.txt");
    QTest::newRow("nul") << QStringLiteral("nul");
    QTest::newRow("COM1") << QStringLiteral("COM1");
    QTest::newRow("lpt9.sys") << QStringLiteral("lpt9.sys");
    QTest::newRow("256 bytes") << QString(256, QLatin1Char('a'));
    QTest::newRow("256 bytes in two-byte letters") << QString(128, QChar(0xe9));
    // A hidden folder is never listed, so such a set would vanish from the tree.
    QTest::newRow("hidden") << QStringLiteral(".Broken");
}

void NewSetTest::unsafeNameIsRefusedAndNothingIsMade()
{
    QFETCH(QString, name);
    if (name == QLatin1String("ABSOLUTE"))
        name = m_drive->root() + QStringLiteral("/outside");
    m_drive->makeSet(QStringLiteral("Mine"));
    writeFile(m_drive->workDir() + QStringLiteral("/notes.txt"), "a plain file");
    frmNewSet dialog;
    dialog.show();
    chooseAll(&dialog);
    nameBox(&dialog)->setText(name);
    const QStringList before = entriesBelow(m_drive->root());

    click(&dialog, "cmdSaveSet");

    QCOMPARE(m_dialogs->boxes.size(), 1);
    QCOMPARE(m_dialogs->boxes[0].kind, ScriptedDialogs::Box::Information);
    QCOMPARE(m_dialogs->boxes[0].text, invalidText);
    QCOMPARE(m_dialogs->boxes[0].title, savingTitle);
    QCOMPARE(nameBox(&dialog)->text(), QString());
    QCOMPARE(dialog.focusWidget(), nameBox(&dialog));
    QVERIFY(dialog.isVisible());
    QCOMPARE(entriesBelow(m_drive->root()), before);
    QVERIFY(!QFileInfo::exists(m_drive->root() + QStringLiteral("/../") + escapeName()));
    QCOMPARE(QDir::currentPath(), m_drive->workDir());
}

void NewSetTest::saveMakesTheSet_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QList<int>>("sources");
    QTest::newRow("three screen files")
        << QStringList{QStringLiteral("a.sys"), QStringLiteral("b.SYS"), QStringLiteral("c.sys")}
        << QList<int>{0, 1, 2};
    QTest::newRow("a bitmap under a .bmp name")
        << QStringList{QStringLiteral("Sunset.bmp"), QStringLiteral("b.sys"),
                       QStringLiteral("c.sys")}
        << QList<int>{0, 1, 2};
    QTest::newRow("one file for two slots")
        << QStringList{QStringLiteral("same.sys"), QStringLiteral("other.sys")}
        << QList<int>{0, 1, 0};
}

void NewSetTest::saveMakesTheSet()
{
    QFETCH(QStringList, files);
    QFETCH(QList<int>, sources);
    m_drive->makeSet(QStringLiteral("Originals"));
    QStringList paths;
    for (int i = 0; i < files.size(); ++i)
        paths.append(pictureFile(files[i], 20 + i));
    // A picture that is not a full screen is taken as it is, and copied byte for byte.
    writeFile(paths[0], encodeBmp(screenPicture(9, QSize(17, 5))));

    frmNewSet dialog;
    dialog.show();
    for (int slot = 0; slot < 3; ++slot)
        choose(&dialog, slot, paths[sources[slot]]);
    QTest::keyClicks(nameBox(&dialog), QStringLiteral("My Sunset"));
    const QStringList workBefore = entriesBelow(m_drive->workDir());

    click(&dialog, "cmdSaveSet");

    QVERIFY(m_dialogs->boxes.isEmpty());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(QDir::currentPath(), m_drive->workDir());
    const QString set = m_drive->workDir() + QStringLiteral("/My Sunset");
    QCOMPARE(entriesBelow(set),
             (QStringList{QStringLiteral("logo.sys"), QStringLiteral("logos.sys"),
                          QStringLiteral("logow.sys")}));
    const char* setFiles[] = {"logo.sys", "logow.sys", "logos.sys"};
    for (int slot = 0; slot < 3; ++slot) {
        const QByteArray copied = fileBytes(set + QLatin1Char('/') + QLatin1String(setFiles[slot]));
        QVERIFY(!copied.isEmpty());
        QCOMPARE(copied, fileBytes(paths[sources[slot]]));
    }
    // Nothing else appeared: no staging folder left behind, hidden or not.
    QStringList workAfter = workBefore;
    workAfter << QStringLiteral("My Sunset") << QStringLiteral("My Sunset/logo.sys")
              << QStringLiteral("My Sunset/logos.sys") << QStringLiteral("My Sunset/logow.sys");
    workAfter.sort();
    QCOMPARE(entriesBelow(m_drive->workDir()), workAfter);
}

void NewSetTest::failedSaveLeavesNothingAndCanBeRetried_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("chosen file deleted") << QStringLiteral("deleted");
    QTest::newRow("folder where the chosen file was") << QStringLiteral("folder");
    QTest::newRow("no room for the copies") << QStringLiteral("no room");
}

void NewSetTest::failedSaveLeavesNothingAndCanBeRetried()
{
    QFETCH(QString, fault);
    frmNewSet dialog;
    dialog.show();
    chooseAll(&dialog);
    const QString last = dialog.chosenPath(2);
    const QByteArray lastBytes = fileBytes(last);
    const QString name = QStringLiteral("Broken");
    const bool noRoom = fault == QLatin1String("no room");
    if (!noRoom)
        QVERIFY(QFile::remove(last));
    if (fault == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(last));
    QTest::keyClicks(nameBox(&dialog), name);
    const QStringList before = entriesBelow(m_drive->root());

    if (noRoom)
        QVERIFY(withFileSizeLimit(1000, [&] { click(&dialog, "cmdSaveSet"); }));
    else
        click(&dialog, "cmdSaveSet");

    QCOMPARE(m_dialogs->boxes.size(), 1);
    // Told as the user knows it: the set and the working folder, no hidden folder of ours.
    if (noRoom)
        QVERIFY2(m_dialogs->boxes[0].text.contains(name + QStringLiteral("\" in \"") +
                                                   m_drive->workDir() + QLatin1Char('"')),
                 qPrintable(m_dialogs->boxes[0].text));
    QCOMPARE(m_dialogs->boxes[0].kind, ScriptedDialogs::Box::Critical);
    QCOMPARE(m_dialogs->boxes[0].title, QStringLiteral("Bootvane"));
    QCOMPARE(entriesBelow(m_drive->root()), before);
    QCOMPARE(QDir::currentPath(), m_drive->workDir());
    QVERIFY(dialog.isVisible());
    QCOMPARE(nameBox(&dialog)->text(), name);
    QCOMPARE(dialog.chosenPath(2), last);
    for (int slot = 0; slot < 3; ++slot)
        QVERIFY(imageBox(&dialog, slot)->pictureHandle() != 0);

    // Once the cause is gone, "Save" again makes the set.
    QVERIFY(QDir().rmdir(last) || fault != QLatin1String("folder"));
    writeFile(last, lastBytes);
    click(&dialog, "cmdSaveSet");
    QCOMPARE(m_dialogs->boxes.size(), 1);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(fileBytes(m_drive->workDir() + QStringLiteral("/Broken/logos.sys")), lastBytes);
}

void NewSetTest::reopeningStartsAfresh()
{
    const QString path = pictureFile(QStringLiteral("any.sys"), 2);
    for (int slot = 0; slot < 3; ++slot)
        m_dialogs->answerFileDialog(path, 1);

    whenModal([](QWidget* dialog) {
        for (int slot = 0; slot < 3; ++slot)
            QTest::mouseClick(selectButton(dialog, slot), Qt::LeftButton);
        QTest::keyClicks(nameBox(dialog), QStringLiteral("Typed"));
        click(dialog, "cmdCancel");
    });
    showNewSetDialog();
    QCOMPARE(m_dialogs->fileRequests.size(), 3);

    QList<qint64> handles;
    QStringList chosen;
    QString typed = QStringLiteral("unset");
    QString focused;
    whenModal([&](QWidget* dialog) {
        auto* newSet = qobject_cast<frmNewSet*>(dialog);
        for (int slot = 0; slot < 3; ++slot) {
            handles.append(imageBox(dialog, slot)->pictureHandle());
            chosen.append(newSet ? newSet->chosenPath(slot) : QStringLiteral("?"));
        }
        typed = nameBox(dialog)->text();
        focused = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
        m_dialogs->answerFileDialog(path);
        QTest::mouseClick(selectButton(dialog, 0), Qt::LeftButton);
        dialog->close();
    });
    showNewSetDialog();

    QCOMPARE(handles, (QList<qint64>{0, 0, 0}));
    QCOMPARE(chosen, (QStringList{QString(), QString(), QString()}));
    QCOMPARE(typed, QString());
    QCOMPARE(focused, QStringLiteral("cmdSelectLogo"));
    QCOMPARE(m_dialogs->fileRequests.size(), 4);
    QCOMPARE(m_dialogs->fileRequests[3].filterIndexShown, 0);
}

void NewSetTest::newSetAppearsInTheMainWindowsTree()
{
    m_drive->writeSystemScreens();
    frmLogoMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* tree = control<QTreeWidget>(&window, QStringLiteral("TreeView1"));
    QCOMPARE(tree->topLevelItem(0)->childCount(), 0);

    for (int slot = 0; slot < 3; ++slot)
        m_dialogs->answerFileDialog(pictureFile(QStringLiteral("new%1.bmp").arg(slot), 40 + slot));
    QString opened;
    whenModal([&opened](QWidget* dialog) {
        opened = dialog->objectName();
        for (int slot = 0; slot < 3; ++slot)
            QTest::mouseClick(selectButton(dialog, slot), Qt::LeftButton);
        QTest::keyClicks(nameBox(dialog), QStringLiteral("Sunset"));
        click(dialog, "cmdSaveSet");
        dialog->close(); // should the save have failed
    });
    QTest::mouseClick(control<QPushButton>(&window, QStringLiteral("cmdNewSet")), Qt::LeftButton);

    QCOMPARE(opened, QStringLiteral("frmNewSet"));
    QTRY_COMPARE(tree->topLevelItem(0)->childCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Bootvane Sets"));
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("Sunset"));
    QCOMPARE(fileBytes(m_drive->workDir() + QStringLiteral("/Sunset/logow.sys")),
             encodeBmp(screenPicture(41)));
    QCOMPARE(QDir::currentPath(), m_drive->workDir());
    // The notice of the first start, and nothing from the save.
    QCOMPARE(m_dialogs->boxes.size(), 1);
}

void NewSetTest::closeBoxStillRebuildsTheTree()
{
    m_drive->writeSystemScreens();
    frmLogoMain window;
    window.show();
    auto* tree = control<QTreeWidget>(&window, QStringLiteral("TreeView1"));

    whenModal([this](QWidget* dialog) {
        // Made behind the program's back while the dialog is open.
        m_drive->makeSet(QStringLiteral("Elsewhere"));
        dialog->close();
    });
    QTest::mouseClick(control<QPushButton>(&window, QStringLiteral("cmdNewSet")), Qt::LeftButton);

    QCOMPARE(tree->topLevelItem(0)->childCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("Elsewhere"));
}

QTEST_MAIN(NewSetTest)
#include "tst_newset.moc"
