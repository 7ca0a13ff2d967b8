#include "frmlogomain.h"

#include "about.h"
#include "busycursor.h"
#include "drivechoice.h"
#include "error.h"
#include "filenames.h"
#include "filesystem.h"
#include "firststartnotice.h"
#include "frmmovingband.h"
#include "frmnewset.h"
#include "frmwin95view.h"
#include "handler.h"
#include "history.h"
#include "imagebox.h"
#include "knowndrives.h"
#include "look.h"
#include "originals.h"
#include "paths.h"
#include "picture.h"
#include "rawdisk.h"
#include "setarchive.h"
#include "setnamedialog.h"
#include "setstore.h"
#include "settree.h"
#include "systemscreens.h"
#include "userdialogs.h"
#include "viewlogo.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyleFactory>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <utility>

namespace bootvane {

namespace {

constexpr QSize clientSize(twips(8280), twips(4920));

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QRect geometry)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

// The node shows a name that is not UTF-8 as Qt decodes it, and keeps the name itself, from
// which every path is made: the text alone would lead to no folder.
QTreeWidgetItem* makeNode(const QString& name, const QString& key, int image, const QIcon& icon)
{
    const QString text = displayFileName(name);
    auto* node = new QTreeWidgetItem(QStringList{text});
    if (text != name)
        node->setData(0, frmLogoMain::nodeNameRole, name);
    if (!key.isEmpty()) // set nodes have none, and there may be thousands of them
        node->setData(0, frmLogoMain::nodeKeyRole, key);
    node->setData(0, frmLogoMain::nodeImageRole, image);
    node->setIcon(0, icon);
    return node;
}

// Import and Export start in the folder the user last took a set from or put one in.
const QString sharingFolderKey = QStringLiteral("sharing/folder");

QString sharingFolder()
{
    const QString folder = QSettings().value(sharingFolderKey).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void rememberSharingFolder(const QString& file)
{
    QSettings().setValue(sharingFolderKey, QFileInfo(file).absolutePath());
}

// Whether the user takes drive, just picked, as drive C: a folder that holds nothing of
// Windows is asked about before its screens are ever saved, as it is most often picked by
// mistake (the home folder, a folder of pictures).
bool takenAsDriveC(QWidget* parent, const QString& base, const Drive& drive)
{
    if (looksLikeDriveC(drive) || Originals::of(base, drive))
        return true;
    return userDialogs().question(
        parent,
        QStringLiteral("This folder does not look like a Windows drive C: it holds no "
                       "MSDOS.SYS, no Windows folder and no screen file.\n\n%1\n\nSave its "
                       "screens as its originals and use it as drive C all the same?")
            .arg(QDir::toNativeSeparators(drive.place())),
        QStringLiteral("Open Folder"));
}

} // namespace

frmLogoMain::frmLogoMain(std::unique_ptr<Drive> drive, QWidget* parent, SetsFolder setsFolder)
    : QMainWindow(parent), m_drive(drive ? std::move(drive) : defaultDrive()),
      m_setsFolder(setsFolder)
{
    build();
}

frmLogoMain::frmLogoMain(NoDrive, QWidget* parent, SetsFolder setsFolder)
    : QMainWindow(parent), m_setsFolder(setsFolder)
{
    build();
}

void frmLogoMain::build()
{
    setObjectName(QStringLiteral("frmLogoMain"));
    setWindowTitle(QStringLiteral("Bootvane"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(programIcon());
    setFont(controlFont());
    ImageList1 = {QIcon(programIconPixmap()), QIcon(bundlePixmap())};

    buildMenu();
    buildControls();
    connectHandlers();
    setFixedSize(clientSize.width(), clientSize.height() + menuBar()->sizeHint().height());
    centreOnScreen();

    runHandler(this, [this] { Form_Load(); });
}

frmLogoMain::~frmLogoMain() = default;

std::unique_ptr<frmLogoMain> frmLogoMain::start(const QString& drivePath, const QString& setsPath)
{
    // Cheap: it lists a private folder, and there is most often none.
    sweepAbandonedExports();
    std::unique_ptr<Drive> drive;
    SetsFolder sets;
    bool startable = false;
    runHandler(nullptr, [&] {
        try {
            // A drive named on the command line is found from the folder Bootvane was started
            // in, before the sets folder takes its place.
            if (!drivePath.isEmpty())
                drive = openDrive(drivePath);
            sets = enterSetsFolder(setsPath);
            if (drive) {
                refuseDriveAmongSets(*drive, basePath());
                startable = takenAsDriveC(nullptr, basePath(), *drive);
                return;
            }
            startable = true;
            QSettings settings;
            std::optional<Error> gone;
            try {
                drive = recallDrive(settings, basePath());
            } catch (const Error& error) {
                gone = error;
            }
            if (!drive)
                drive = mappedWineDrive();
            // Started in Wine's drive_c, say: its sets and "Originals" would be written into
            // drive C, and its folders listed as sets. The window opens on no drive.
            try {
                if (drive)
                    refuseDriveAmongSets(*drive, basePath());
            } catch (const Error&) {
                drive.reset();
                if (!gone)
                    throw;
            }
            // Said once, with what the window opens on instead.
            if (gone)
                fail(gone->operation(), gone->path(),
                     gone->reason() + (drive ? QStringLiteral("; Bootvane shows Wine's drive C")
                                             : QStringLiteral("; open it, or another drive C, "
                                                              "from the Drive menu")));
        } catch (const Error& error) {
            std::fprintf(stderr, "bootvane: %s\n", error.message().toLocal8Bit().constData());
            throw;
        }
    });
    if (!startable)
        return nullptr;
    if (!drive)
        return std::make_unique<frmLogoMain>(NoDrive{}, nullptr, sets);
    return std::make_unique<frmLogoMain>(std::move(drive), nullptr, sets);
}

void frmLogoMain::buildMenu()
{
    QMenu* mnuDrive = menuBar()->addMenu(QStringLiteral("&Drive"));
    mnuDrive->setObjectName(QStringLiteral("mnuDrive"));
    QAction* mnuOpenImage = mnuDrive->addAction(QStringLiteral("Open Disk &Image..."));
    mnuOpenImage->setObjectName(QStringLiteral("mnuOpenImage"));
    connectHandler(mnuOpenImage, &QAction::triggered, this, &frmLogoMain::mnuOpenImage_Click);
    QAction* mnuOpenFolder = mnuDrive->addAction(QStringLiteral("Open &Folder..."));
    mnuOpenFolder->setObjectName(QStringLiteral("mnuOpenFolder"));
    connectHandler(mnuOpenFolder, &QAction::triggered, this, &frmLogoMain::mnuOpenFolder_Click);
#ifndef Q_OS_WIN
    QAction* mnuWineDrive = mnuDrive->addAction(QStringLiteral("&Wine's Drive C"));
    mnuWineDrive->setObjectName(QStringLiteral("mnuWineDrive"));
    connectHandler(mnuWineDrive, &QAction::triggered, this, &frmLogoMain::mnuWineDrive_Click);
#endif

    QMenu* mnuSets = menuBar()->addMenu(QStringLiteral("&Sets"));
    mnuSets->setObjectName(QStringLiteral("mnuSets"));
    buildSetCommands(mnuSets);

    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction* mnuAbout = mnuHelp->addAction(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    connectHandler(mnuAbout, &QAction::triggered, this, &frmLogoMain::mnuAbout_Click);
}

void frmLogoMain::buildControls()
{
    auto* client = new QWidget(this);
    client->setFixedSize(clientSize);
    setCentralWidget(client);

    auto* tree = new SetTree(client);
    connect(tree, &SetTree::chosen, this, &frmLogoMain::treeNodeChosen);
    connectHandler(tree, &SetTree::deleteRequested, this, &frmLogoMain::mnuDeleteSet_Click);
    connectHandler(tree, &SetTree::renameRequested, this, &frmLogoMain::mnuRenameSet_Click);
    connect(tree, &SetTree::menuRequested, this, &frmLogoMain::showTreeMenu);
    connect(tree, &SetTree::dropped, this,
            [this](const QString& path) { runHandler(this, [this, &path] { importSet(path); }); });
    TreeView1 = tree;
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setGeometry(twipsRect(120, 120, 3135, 3735));
    TreeView1->setHeaderHidden(true);
    TreeView1->setIconSize(QSize(16, 16));
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The classic style draws the dotted lines that join the nodes.
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) {
        classic->setParent(TreeView1);
        TreeView1->setStyle(classic);
    }

    cmdNewSet = makeButton(client, "cmdNewSet", QStringLiteral("Create New Set"),
                           twipsRect(120, 4080, 1335, 375));
    cmdExit =
        makeButton(client, "cmdExit", QStringLiteral("Exit"), twipsRect(1920, 4080, 1335, 375));
    lblNewSet = makeLabel(client, "lblNewSet", QStringLiteral("New Logo Settings"),
                          twipsRect(3480, 120, 1935, 375));
    cmdSetCur = makeButton(client, "cmdSetCur", QStringLiteral("Set as Current"),
                           twipsRect(6600, 120, 1455, 375));
    lblCurSet = makeLabel(client, "lblCurSet", QStringLiteral("Current Logo Settings"),
                          twipsRect(3480, 2640, 2295, 375));
    cmdRestore = makeButton(client, "cmdRestore", QStringLiteral("Restore originals"),
                            twipsRect(6600, 2640, 1455, 375));
    lblNewSet->setFont(headingFont(12));
    lblCurSet->setFont(headingFont(12));
    lblNewSet->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblCurSet->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    for (int i = 0; i < slotCount; ++i) {
        const ScreenSlot& slot = screenSlots[i];
        const QString suffix = QLatin1String(slot.suffix);
        const QString caption = QLatin1String(slot.caption);
        const int imageLeft = 3480 + i * slotColumnStep;
        const int labelLeft = 3840 + i * slotColumnStep;
        SlotControls& controls = m_slots[i];
        for (auto [box, name, top, place] :
             {std::tuple{&controls.imgNew, QStringLiteral("imgNew"), 600, ScreenPlace::InSet},
              std::tuple{&controls.imgCur, QStringLiteral("imgCur"), 3120, ScreenPlace::OnDrive}}) {
            *box = new ImageBox(i, client, place);
            (*box)->setObjectName(name + suffix);
            (*box)->setGeometry(twipsRect(imageLeft, top, 1455, 1335));
        }
        for (auto [label, name, top] :
             {std::tuple{&controls.lblNew, QStringLiteral("lblNew"), 2040},
              std::tuple{&controls.lblCur, QStringLiteral("lblCur"), 4560}}) {
            *label = new QLabel(caption, client);
            (*label)->setObjectName(name + suffix);
            (*label)->setGeometry(twipsRect(labelLeft, top, slotLabelWidth[i], 255));
            (*label)->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        }
    }

    // Over the place of the screens in use, while there are none.
    lblNoDrive = makeLabel(client, "lblNoDrive",
                           QStringLiteral("No drive C is open. Choose one from the Drive menu: "
                                          "your emulator's disk image, the folder of a mounted "
                                          "disk or card, or Wine's drive C."),
                           twipsRect(3480, 3120, 2 * slotColumnStep + 1455, 1335));
    lblNoDrive->setFrameShape(QFrame::Box);
    lblNoDrive->setWordWrap(true);
    lblNoDrive->setAlignment(Qt::AlignCenter);
    lblNoDrive->setMargin(twips(120));
    lblNoDrive->hide();

    // The screens come after the controls, in reading order: the chosen set's, then those in use.
    QWidget* previous = cmdSetCur;
    QList<QWidget*> order{cmdRestore, cmdNewSet, TreeView1, cmdExit};
    for (const SlotControls& controls : m_slots)
        order.append(controls.imgNew);
    for (const SlotControls& controls : m_slots)
        order.append(controls.imgCur);
    for (QWidget* next : order) {
        setTabOrder(previous, next);
        previous = next;
    }
    for (const SlotControls& controls : m_slots)
        controls.imgCur->setOwner(QStringLiteral("in use"));
    cmdSetCur->setFocus();
}

void frmLogoMain::connectHandlers()
{
    connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this] { updateCommands(); });
    connect(TreeView1, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* node) {
        if (node != m_renaming)
            return;
        // Handled once the editor has closed: the tree is rebuilt, and the node with it.
        m_renaming = nullptr;
        QMetaObject::invokeMethod(
            this,
            [this, from = m_renamingFrom, to = node->text(0)] {
                runHandler(this, [this, &from, &to] { TreeView1_Renamed(from, to); });
            },
            Qt::QueuedConnection);
    });
    // Esc, or a commit already handled: the node is no longer being renamed. The tree's edit
    // triggers are off, so an editable node can be edited only when the program asks.
    connect(TreeView1->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this] { m_renaming = nullptr; });
    for (int i = 0; i < slotCount; ++i) {
        mnuReplaceScreen[i] = new QAction(QStringLiteral("Replace Screen..."), this);
        mnuReplaceScreen[i]->setObjectName(QStringLiteral("mnuReplaceScreen"));
        m_slots[i].imgNew->addMenuItem(mnuReplaceScreen[i]);
        connect(mnuReplaceScreen[i], &QAction::triggered, this,
                [this, i] { runHandler(this, [this, i] { imgNew_ReplaceScreen(i); }); });
        connect(m_slots[i].imgNew, &ImageBox::menuAboutToShow, this,
                [this, i] { mnuReplaceScreen[i]->setEnabled(whyScreenStays().isEmpty()); });
        for (ImageBox* box : {m_slots[i].imgNew, m_slots[i].imgCur})
            box->acceptFileDrops();
        connect(m_slots[i].imgNew, &ImageBox::fileDropped, this, [this, i](const QString& path) {
            runHandler(this, [this, i, &path] { imgNew_DragDrop(i, path); });
        });
        connect(m_slots[i].imgCur, &ImageBox::fileDropped, this,
                [this] { runHandler(this, [this] { imgCur_DragDrop(); }); });
    }
    connect(TreeView1, &QTreeWidget::itemClicked, this, &frmLogoMain::treeNodeChosen);
    // Whatever the two commands did, or failed to do, the buttons follow.
    for (auto [button, handler] : {std::pair{cmdSetCur, &frmLogoMain::cmdSetCur_Click},
                                   std::pair{cmdRestore, &frmLogoMain::cmdRestore_Click}}) {
        connect(button, &QPushButton::clicked, this, [this, handler] {
            runHandler(this, [this, handler] { (this->*handler)(); });
            updateCommands();
        });
    }
    connectHandler(cmdNewSet, &QPushButton::clicked, this, &frmLogoMain::cmdNewSet_Click);
    connectHandler(cmdExit, &QPushButton::clicked, this, &frmLogoMain::cmdExit_Click);
    for (int i = 0; i < slotCount; ++i) {
        connectHandler(m_slots[i].imgCur, &ImageBox::doubleClicked, this, currentScreenCallers[i]);
        connectHandler(m_slots[i].imgNew, &ImageBox::doubleClicked, this, previewCallers[i]);
        connect(m_slots[i].imgCur, &ImageBox::showAsWindows95Requested, this,
                [this, i] { runHandler(this, [this, i] { imgCur_ShowAsWindows95(i); }); });
        connect(m_slots[i].imgNew, &ImageBox::showAsWindows95Requested, this,
                [this, i] { runHandler(this, [this, i] { imgNew_ShowAsWindows95(i); }); });
    }
    // The set saved with a band takes its other two screens from where the picture came from.
    addMovingBandItem(*m_slots[0].imgNew, this, [this] {
        SetSources screens;
        for (int i = 0; i < slotCount; ++i)
            screens[i] =
                setScreenSource(newPath(i), screenSlots[i], recordedAbsent(i), m_msdosSys.windows);
        visitModal([&] { showMovingBand(strAppPath, screens, strSetName); });
    });
    addMovingBandItem(*m_slots[0].imgCur, this, [this] {
        if (!m_drive)
            return;
        const SetSources screens = sourcesInUse(*m_drive, m_msdosSys.windows);
        visitModal([&] { showMovingBand(strAppPath, screens); });
    });
}

void frmLogoMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_shownBefore)
        return; // restoring from the task bar is no activation of ours
    m_shownBefore = true;
    // The frame is known only now that the window is shown; centre the whole window, frame
    // and all, not just its inside.
    centreOnScreen();
    runHandler(this, [this] { Form_Activate(); });
}

void frmLogoMain::centreOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect frame = frameGeometry();
    move(screen->availableGeometry().center() - (frame.center() - frame.topLeft()));
}

void frmLogoMain::visitModal(const std::function<void()>& show)
{
    show();
    Form_Activate();
}

void frmLogoMain::showFullSize(const QImage& picture)
{
    visitModal([&picture] { showScreenFullSize(picture); });
}

void frmLogoMain::Form_Load()
{
    strAppPath = basePath();
    loadDrive();
}

void frmLogoMain::loadDrive()
{
    showWhetherDriveOpen();
    if (!m_drive) {
        setWindowTitle(QStringLiteral("Bootvane"));
        readMsdosSys();
        return;
    }
    const QString driveTitle = m_drive->title();
    setWindowTitle(driveTitle.isEmpty() ? QStringLiteral("Bootvane")
                                        : QStringLiteral("Bootvane - ") + driveTitle);
    QSettings settings;
    noteImageOpened(settings, *m_drive);
    // MSDOS.SYS says where the Windows folder is, which all below needs; on a disk image
    // each read of it is an mtools command, so it is read once, here.
    readMsdosSys();
    m_msdosSysFresh = true;
    // What copies of Bootvane killed half-way left in the working folder and beside the
    // system files goes next. That needs drive C: without it nothing below can work, and
    // that is one error, not one per screen.
    removeWorkLeftByDeadCopies(strAppPath, *m_drive);
    // Which of the drives whose records the working folder keeps this is: a copy of a disk
    // image whose screens now differ from the other's is a drive of its own. The screens read
    // to tell are the ones shown.
    m_copyOf.clear();
    const std::vector<DriveFile> files = readScreenFiles();
    if (!files.empty()) {
        ScreensInUse screens;
        for (int i = 0; i < slotCount; ++i)
            screens[size_t(i)] = files[size_t(i)].bytes;
        runHandler(this, [this, &screens] {
            const DriveRecognition recognition = recognizeDrive(strAppPath, *m_drive, screens);
            m_copyOf = recognition.copyOf;
            if (recognition.keptApart)
                userDialogs().information(isVisible() ? this : nullptr, copyNotice(m_copyOf),
                                          QStringLiteral("Original Screen Settings"));
        });
    }
    // A screen that cannot be shown is reported on its own, and the other screens and the
    // backup go on: the backup copies bytes and needs no picture, and without it the first
    // "Set as Current" would overwrite the user's screens with no copy anywhere. The backup
    // reads the screens again, after the first-start notice: another program may change them
    // while the user reads it.
    showScreens(files, true);
    for (const SlotControls& controls : m_slots)
        controls.imgNew->setPicture(loadPicture(QString()));
    m_shownSet.clear();
    saveOriginalsIfMissing();
}

void frmLogoMain::showWhetherDriveOpen()
{
    lblNoDrive->setVisible(!m_drive);
    for (const SlotControls& controls : m_slots) {
        controls.imgCur->setVisible(m_drive != nullptr);
        controls.lblCur->setVisible(m_drive != nullptr);
        controls.imgCur->setPicture(QImage());
    }
}

void frmLogoMain::saveOriginalsIfMissing()
{
    if (const std::optional<QString> kept = claimOlderOriginals(strAppPath, *m_drive))
        userDialogs().information(
            isVisible() ? this : nullptr,
            QStringLiteral("\"%1\" holds screens saved by an earlier Bootvane, which did not "
                           "record their drive C. Bootvane takes them as the originals of this "
                           "drive C. The screens it shows now differ from them, and were saved as "
                           "the set \"%2\".")
                .arg(originalsName, *kept),
            QStringLiteral("Original Screen Settings"));
    if (Originals::of(strAppPath, *m_drive))
        return;
    userDialogs().information(isVisible() ? this : nullptr,
                              firstStartNotice({strAppPath, m_setsFolder, m_copyOf}),
                              QStringLiteral("Original Screen Settings"));
    backupOriginals(strAppPath, *m_drive);
    // Nothing may overwrite the user's screens unless their copy can be found again.
    (void)Originals::required(strAppPath, *m_drive);
}

void frmLogoMain::readMsdosSys()
{
    m_msdosSys = m_drive ? m_drive->rereadMsdosSys() : MsdosSys();
    for (const SlotControls& controls : m_slots) {
        controls.imgCur->setWindows(m_msdosSys.windows);
        controls.imgNew->setWindows(m_msdosSys.windows);
    }
    m_slots[0].imgCur->setNote(
        m_msdosSys.startupScreenOff
            ? QStringLiteral("C:\\MSDOS.SYS has Logo=0: %1 is set not to show it.")
                  .arg(m_msdosSys.windows)
            : QString());
}

void frmLogoMain::Form_Activate()
{
    // MSDOS.SYS is another program's to change; it is read again whenever the window comes
    // back, as the sets are, unless the drive was loaded just now.
    if (!std::exchange(m_msdosSysFresh, false))
        readMsdosSys();
    strSetName.clear();
    TreeView1->setRootIsDecorated(true); // lines also join the top-level nodes
    TreeView1->clear();
    QTreeWidgetItem* setsRoot = makeNode(setsRootText, setsRootKey, 1, ImageList1[0]);
    TreeView1->addTopLevelItem(setsRoot);

    QList<QTreeWidgetItem*> setNodes;
    const QStringList names = setFolderNames(strAppPath);
    setNodes.reserve(names.size());
    for (const QString& name : names)
        setNodes.append(makeNode(name, QString(), 2, ImageList1[1]));
    setsRoot->addChildren(setNodes);

    TreeView1->addTopLevelItem(makeNode(originalsName, originalsName, 1, ImageList1[0]));
    updateCommands();
    emit treeRebuilt();
}

void frmLogoMain::treeNodeChosen()
{
    runHandler(this, [this] { TreeView1_NodeClick(); });
    updateCommands();
}

void frmLogoMain::updateCommands()
{
    // "Set as Current" is offered exactly when it would write something.
    const QString noDrive =
        m_drive ? QString() : QStringLiteral("No drive C is open: choose one from the Drive menu.");
    QString whyNot;
    const QTreeWidgetItem* selected = TreeView1->currentItem();
    if (!m_drive)
        whyNot = noDrive;
    else if (strSetName.isEmpty() || !selected)
        whyNot = QStringLiteral("Choose a set in the tree first.");
    else if (selected->text(0) == setsRootText)
        whyNot = QStringLiteral("\"%1\" holds the sets: choose one of them.").arg(setsRootText);
    else if (std::any_of(m_slots.begin(), m_slots.end(), [](const SlotControls& controls) {
                 return controls.imgNew->pictureHandle() == 0;
             }))
        whyNot = QStringLiteral("Not all three screens of the chosen set could be shown.");
    cmdSetCur->setEnabled(whyNot.isEmpty());
    cmdSetCur->setToolTip(whyNot);

    bool saved = false;
    try {
        saved = m_drive && Originals::of(strAppPath, *m_drive).has_value();
    } catch (const Error&) {
        // No drive C, no copy of its screens: the button says so.
    }
    cmdRestore->setEnabled(saved);
    cmdRestore->setToolTip(!m_drive ? noDrive
                           : saved  ? QString()
                                    : QStringLiteral("The screens of this drive C have not been "
                                                      "saved yet, so there is nothing to restore."));

    bool undoable = false;
    try {
        undoable = m_drive && ScreenHistory(strAppPath, *m_drive).newest().has_value();
    } catch (const Error&) {
    }
    mnuUndo->setEnabled(undoable);
    mnuUndo->setToolTip(noDrive.isEmpty() ? mnuUndo->text().remove(QLatin1Char('&')) : noDrive);

    // The commands on one set: not on the sets root, not on the user's own screens.
    QTreeWidgetItem* node = TreeView1->currentItem();
    QString notASet;
    if (!node || (!node->parent() && TreeView1->indexOfTopLevelItem(node) == 0))
        notASet = QStringLiteral("Choose one of the sets under \"%1\" first.").arg(setsRootText);
    else if (!node->parent())
        notASet = QStringLiteral("\"%1\" holds your own screens, which are kept as they are.")
                      .arg(originalsName);
    // A folder of the user's own among the sets can be looked at, not deleted or renamed.
    QString notOnlyScreens = notASet;
    if (notASet.isEmpty()) {
        if (const std::optional<QString> why = whyNotASet(strAppPath, nodeName(node)))
            notOnlyScreens = why->at(0).toUpper() + why->mid(1) + QLatin1Char('.');
    }
    for (QAction* action : {mnuDeleteSet, mnuRenameSet, mnuOpenSetFolder, mnuExportSet}) {
        const QString& whyNot =
            action == mnuDeleteSet || action == mnuRenameSet ? notOnlyScreens : notASet;
        action->setEnabled(whyNot.isEmpty());
        action->setToolTip(whyNot.isEmpty() ? action->text().remove(QLatin1Char('&')) : whyNot);
    }
}

void frmLogoMain::TreeView1_NodeClick()
{
    for (const SlotControls& controls : m_slots)
        controls.imgNew->setPicture(loadPicture(QString()));
    // A click that fails shows no set: a drop or Replace Screen must not act on the set shown
    // before (strSetName keeps its name until a click gets that far).
    m_shownSet.clear();
    m_previewedOriginals.reset();
    const QTreeWidgetItem* selected = TreeView1->currentItem();
    if (!selected)
        return;
    const QVariant name = selected->data(0, nodeNameRole);
    const QString text = name.isValid() ? name.toString() : selected->text(0);
    // Without a drive there are no originals to show.
    if (text != setsRootText && (text != originalsName || m_drive)) {
        // The Originals node shows the originals of the drive in use, wherever they are kept.
        m_previewedOriginals = text == originalsName
                                   ? std::optional(Originals::required(strAppPath, *m_drive))
                                   : std::nullopt;
        for (int i = 0; i < slotCount; ++i) {
            strNew(i) = m_previewedOriginals ? m_previewedOriginals->filePath(screenSlots[i])
                                             : setFilePath(strAppPath, text, screenSlots[i]);
        }
        // Shown from here on, if only in part: a screen that cannot be read can be replaced.
        m_shownSet = text;
        for (int i = 0; i < slotCount; ++i) {
            m_slots[i].imgNew->setOwner(QStringLiteral("set \"%1\"").arg(selected->text(0)));
            m_slots[i].imgNew->setPlace(m_previewedOriginals ? ScreenPlace::InOriginals
                                                             : ScreenPlace::InSet);
            m_slots[i].imgNew->setPicture(previewFile(i));
        }
    }
    strSetName = text;
}

void frmLogoMain::cmdSetCur_Click()
{
    if (strSetName.isEmpty() || !m_drive)
        return;
    const QTreeWidgetItem* selected = TreeView1->currentItem();
    if (!selected || selected->text(0) == setsRootText)
        return;
    // A preview that is not whole writes nothing; the screens in use stay as they are.
    for (const SlotControls& controls : m_slots) {
        if (controls.imgNew->pictureHandle() == 0)
            return;
    }
    // The originals record the system files the drive did not have, so applying them is
    // restoring, byte for byte and removals included.
    if (m_previewedOriginals)
        m_previewedOriginals->checkComplete();
    installScreens([this](int i) {
        return prepareScreenUpdate(strNew(i), screenSlots[i], recordedAbsent(i), m_msdosSys.windows,
                                   m_previewedOriginals ? Writing::ByteForByte
                                                        : Writing::ForWindows);
    });
}

void frmLogoMain::cmdRestore_Click()
{
    if (!m_drive)
        return;
    const Originals originals = Originals::required(strAppPath, *m_drive);
    originals.checkComplete();
    installScreens([this, &originals](int i) {
        return prepareScreenUpdate(originals.filePath(screenSlots[i]), screenSlots[i],
                                   originals.recordsAbsent(i), m_msdosSys.windows,
                                   Writing::ByteForByte);
    });
}

void frmLogoMain::installScreens(const std::function<ScreenUpdate(int)>& prepare)
{
    // Every screen is read, and converted where Windows could not show it, before the first
    // system file changes; the screens in use then show what was written. Nothing replaced is
    // lost: what is in use goes to the drive's history first.
    try {
        std::array<ScreenUpdate, slotCount> updates;
        for (int i = 0; i < slotCount; ++i)
            updates[i] = prepare(i);
        saveOriginalsIfMissing();
        installKeepingHistory(strAppPath, *m_drive, updates);
        for (int i = 0; i < slotCount; ++i)
            m_slots[i].imgCur->setPicture(updates[i].shown);
    } catch (const Error&) {
        // Nothing, or part, was written: the screens in use show what drive C holds now.
        showScreensInUse();
        throw;
    }
}

std::vector<DriveFile> frmLogoMain::readScreenFiles() const
{
    // Read together, a disk image's folders are listed once for the three.
    try {
        return m_drive->readFiles(systemFiles(*m_drive));
    } catch (const Error&) {
        return {};
    }
}

void frmLogoMain::showScreensInUse()
{
    showScreens(readScreenFiles(), false);
}

void frmLogoMain::showScreens(const std::vector<DriveFile>& files, bool reportEach)
{
    // Without files, each screen is read again on its own: one that cannot be read keeps no
    // other from showing.
    for (int i = 0; i < slotCount; ++i) {
        const auto show = [this, i, &files] {
            m_slots[i].imgCur->setPicture(
                files.empty()
                    ? currentScreenFile(i)
                    : systemScreen(*m_drive, files[size_t(i)], screenSlots[i], m_msdosSys.windows));
        };
        if (reportEach) {
            runHandler(this, show);
            continue;
        }
        try {
            show();
        } catch (const Error&) {
            // Reported already, by whatever failed first; an unreadable screen shows nothing.
            m_slots[i].imgCur->setPicture(QImage());
        }
    }
}

void frmLogoMain::switchDrive(std::unique_ptr<Drive> drive)
{
    m_drive = std::move(drive);
    m_previewedOriginals.reset(); // the other drive's
    QSettings settings;
    rememberDrive(settings, strAppPath, *m_drive);
    // The tree is rebuilt whatever the new drive's screens give.
    runHandler(this, [this] { loadDrive(); });
    Form_Activate();
}

void frmLogoMain::mnuOpenImage_Click()
{
    // Every kind of image Bootvane opens, as emulators name them.
    QStringList patterns;
    for (const char* suffix :
         {"img", "ima", "raw", "hdd", "vhd", "vhdx", "qcow2", "vdi", "vmdk", "hdi", "hdx"})
        patterns.append(QStringLiteral("*.") + QLatin1String(suffix));
    int filterIndex = 0;
    QSettings settings;
    const QString path = userDialogs().openFileName(
        this, QStringLiteral("Open Disk Image"),
        {{QStringLiteral("Disk Images (%1)").arg(patterns.join(QLatin1Char(' '))), patterns},
         {QStringLiteral("All Files (*)"), {QStringLiteral("*")}}},
        filterIndex, imageFolder(settings));
    if (!path.isEmpty())
        switchDrive(openDrive(path));
}

void frmLogoMain::mnuOpenFolder_Click()
{
    const QString folder =
        userDialogs().existingFolder(this, QStringLiteral("Open the Folder of Drive C"), QString());
    if (folder.isEmpty())
        return;
    std::unique_ptr<Drive> drive = openDrive(folder);
    refuseDriveAmongSets(*drive, strAppPath);
    if (takenAsDriveC(this, strAppPath, *drive))
        switchDrive(std::move(drive));
}

void frmLogoMain::mnuWineDrive_Click()
{
    // Where Wine maps no drive C, the drive in use stays, and the error names Wine's link.
    std::unique_ptr<Drive> wine = defaultDrive();
    (void)wine->place();
    refuseDriveAmongSets(*wine, strAppPath);
    switchDrive(std::move(wine));
}

void frmLogoMain::buildSetCommands(QMenu* mnuSets)
{
    auto command = [this](const QString& text, const char* name, void (frmLogoMain::*handler)()) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        connectHandler(action, &QAction::triggered, this, handler);
        return action;
    };
    mnuDeleteSet =
        command(QStringLiteral("&Delete Set"), "mnuDeleteSet", &frmLogoMain::mnuDeleteSet_Click);
    mnuRenameSet =
        command(QStringLiteral("&Rename Set"), "mnuRenameSet", &frmLogoMain::mnuRenameSet_Click);
    mnuOpenSetFolder = command(QStringLiteral("&Open Set Folder"), "mnuOpenSetFolder",
                               &frmLogoMain::mnuOpenSetFolder_Click);
    QAction* mnuImportSet =
        command(QStringLiteral("&Import Set..."), "mnuImportSet", &frmLogoMain::mnuImportSet_Click);
    // A file dialog chooses files only: a shared folder has a command of its own.
    QAction* mnuImportFolder = command(QStringLiteral("Import Set from &Folder..."),
                                       "mnuImportFolder", &frmLogoMain::mnuImportFolder_Click);
    mnuExportSet =
        command(QStringLiteral("&Export Set..."), "mnuExportSet", &frmLogoMain::mnuExportSet_Click);
    mnuUndo =
        command(QStringLiteral("&Undo Set as Current"), "mnuUndo", &frmLogoMain::mnuUndo_Click);
    mnuUndo->setShortcut(QKeySequence::Undo);

    mnuSets->addActions({mnuImportSet, mnuImportFolder, mnuExportSet});
    mnuSets->addSeparator();
    mnuSets->addAction(mnuUndo);
    mnuSets->setToolTipsVisible(true); // a greyed command says why
    mnuTree = new QMenu(this);
    mnuTree->setObjectName(QStringLiteral("mnuTree"));
    mnuTree->setToolTipsVisible(true); // a greyed command says why
    mnuTree->addActions({mnuDeleteSet, mnuRenameSet, mnuOpenSetFolder});
    mnuTree->addSeparator();
    mnuTree->addActions({mnuImportSet, mnuImportFolder, mnuExportSet});
}

void frmLogoMain::showTreeMenu(const QPoint& globalPosition)
{
    updateCommands();
    mnuTree->popup(globalPosition);
}

QTreeWidgetItem* frmLogoMain::chosenSetNode() const
{
    QTreeWidgetItem* node = TreeView1->currentItem();
    return node && node->parent() ? node : nullptr;
}

QString frmLogoMain::nodeName(const QTreeWidgetItem* node)
{
    const QVariant name = node->data(0, nodeNameRole);
    return name.isValid() ? name.toString() : node->text(0);
}

void frmLogoMain::showSet(const QString& name)
{
    Form_Activate();
    QTreeWidgetItem* root = TreeView1->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (nodeName(root->child(i)) == name) {
            root->setExpanded(true);
            TreeView1->setCurrentItem(root->child(i));
            treeNodeChosen();
            return;
        }
    }
}

void frmLogoMain::mnuDeleteSet_Click()
{
    const QTreeWidgetItem* node = chosenSetNode();
    if (!node)
        return;
    const QString name = nodeName(node);
    requireASet(strAppPath, name, QStringLiteral("move to the trash"));
    // The trash can give it back, so Return says yes.
    if (!userDialogs().question(
            this, QStringLiteral("Move the set \"%1\" to the trash?").arg(displayFileName(name)),
            QStringLiteral("Delete Set")))
        return;
    moveSetToTrash(strAppPath, name);
    // The preview showed the set that is gone; the user stays among the others.
    Form_Activate();
    for (const SlotControls& controls : m_slots)
        controls.imgNew->setPicture(QImage());
    m_shownSet.clear();
    TreeView1->topLevelItem(0)->setExpanded(true);
    updateCommands();
}

void frmLogoMain::mnuRenameSet_Click()
{
    QTreeWidgetItem* node = chosenSetNode();
    if (!node)
        return;
    requireASet(strAppPath, nodeName(node), QStringLiteral("rename"));
    // Flags first: changing them is a change of the node, which must not pass for the rename.
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    m_renaming = node;
    m_renamingFrom = nodeName(node);
    TreeView1->editItem(node);
}

void frmLogoMain::TreeView1_Renamed(const QString& from, const QString& name)
{
    if (name == displayFileName(from)) {
        Form_Activate();
        return;
    }
    if (const std::optional<QString> refusal = refusalOfSetName(strAppPath, name)) {
        userDialogs().information(this, *refusal, QStringLiteral("Rename Set"));
        Form_Activate(); // the node shows its name again
        return;
    }
    try {
        renameSet(strAppPath, from, name);
    } catch (const Error&) {
        Form_Activate();
        throw;
    }
    showSet(name);
}

void frmLogoMain::mnuOpenSetFolder_Click()
{
    const QTreeWidgetItem* node = chosenSetNode();
    if (!node)
        return;
    const QString folder = strAppPath + nodeName(node);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        fail(QStringLiteral("show the folder"), folder,
             QStringLiteral("no file manager could be started for it"));
}

void frmLogoMain::importSet(const QString& path)
{
    // Everything is checked, and the screens read, before the user is asked for a name; those
    // the import lacks are copies of the screens in use, read once.
    const SharedSet shared = readSharedSet(path);
    const bool lacksAScreen = std::any_of(shared.screens.begin(), shared.screens.end(),
                                          [](const auto& screen) { return !screen; });
    const ScreensInUse inUse =
        lacksAScreen && m_drive ? readScreensInUse(*m_drive) : ScreensInUse();
    // Only a role the user gives a picture can make up for a screen that neither has, and
    // only where a drive C has the screens to copy.
    if (!shared.roleOpen || !m_drive)
        (void)completedSet(shared, inUse, m_drive.get(), path);

    const QFileInfo source(path);
    ScreenOrigins origins;
    origins.roleOpen = shared.roleOpen;
    for (int i = 0; i < slotCount; ++i) {
        origins.inUse[i] = inUse[i].has_value();
        if (lacksAScreen && m_drive)
            origins.inUseFiles[i] = m_drive->systemFile(screenSlots[i]);
        const QString name = displayFileName(shared.names[i]);
        if (shared.screens[i])
            origins.shared[i] = shared.names[i] == source.fileName()
                                    ? name
                                    : QStringLiteral("%1, from %2").arg(name, source.fileName());
    }
    const QString proposed = !shared.folder.isEmpty() ? displayFileName(shared.folder)
                             : source.isDir()         ? source.fileName()
                                                      : source.completeBaseName();
    const std::optional<SetNameDialog::Answer> answer =
        SetNameDialog::askForImport(this, strAppPath, proposed, origins);
    if (!answer) {
        Form_Activate();
        return;
    }
    const SetScreens screens =
        completedSet(shared.withRole(answer->role), inUse, m_drive.get(), path);
    if (!makeSetFromScreens(strAppPath, answer->name, screens)) {
        userDialogs().information(this, setNameTaken, QStringLiteral("Import Set"));
        Form_Activate();
        return;
    }
    showSet(answer->name);
}

void frmLogoMain::mnuImportSet_Click()
{
    QStringList shared{QStringLiteral("*.zip")};
    for (const QString& suffix : screenFileSuffixes())
        shared.append(QStringLiteral("*.") + suffix);
    int filterIndex = 0;
    const QString path = userDialogs().openFileName(
        this, QStringLiteral("Import Set"),
        {{QStringLiteral("Shared Sets and Pictures"), shared},
         {QStringLiteral("Zip Files (*.zip)"), {QStringLiteral("*.zip")}},
         {QStringLiteral("All Files (*)"), {QStringLiteral("*")}}},
        filterIndex, sharingFolder());
    if (path.isEmpty())
        return;
    rememberSharingFolder(path);
    importSet(path);
}

void frmLogoMain::mnuImportFolder_Click()
{
    const QString folder = userDialogs().existingFolder(
        this, QStringLiteral("Import Set from Folder"), sharingFolder());
    if (folder.isEmpty())
        return;
    rememberSharingFolder(folder);
    importSet(folder);
}

void frmLogoMain::mnuExportSet_Click()
{
    const QTreeWidgetItem* node = chosenSetNode();
    if (!node)
        return;
    const QString name = nodeName(node);
    QString path = userDialogs().saveFileName(
        this, QStringLiteral("Export Set"),
        {{QStringLiteral("Zip Files (*.zip)"), {QStringLiteral("*.zip")}}},
        sharingFolder() + QLatin1Char('/') + displayFileName(name) + QStringLiteral(".zip"));
    if (path.isEmpty())
        return;
    rememberSharingFolder(path);
    // The dialog asked about the name as typed; a zip of that name is asked about here.
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".zip");
        if (!isAbsent(path) &&
            !userDialogs().question(this,
                                    QStringLiteral("\"%1\" already exists. Replace it?").arg(path),
                                    QStringLiteral("Export Set")))
            return;
    }
    const BusyCursor busy; // a photo is converted as applying would convert it
    exportSet(strAppPath, name, path, m_drive.get());
}

void frmLogoMain::mnuUndo_Click()
{
    if (!m_drive)
        return;
    try {
        undoLastInstall(strAppPath, *m_drive);
    } catch (const Error&) {
        showScreensInUse();
        throw;
    }
    showScreensInUse();
    updateCommands();
}

QString frmLogoMain::whyScreenStays() const
{
    const QTreeWidgetItem* selected = TreeView1->currentItem();
    // The preview stays when the tree is rebuilt (after another window has closed), but no set
    // is chosen then until it is clicked again.
    if (!m_shownSet.isEmpty() && strSetName.isEmpty())
        return QStringLiteral("Click \"%1\" in the tree again to choose it: a picture dropped on "
                              "one of its screens then replaces that screen.")
            .arg(displayFileName(m_shownSet));
    // strSetName outlives a click that failed: only the set whose screens the preview shows
    // is changed, and only while its node is the one chosen.
    if (m_shownSet.isEmpty() || !selected || nodeName(selected) != m_shownSet)
        return QStringLiteral("Choose a set in the tree first: a picture dropped on one of its "
                              "screens replaces that screen.");
    if (m_previewedOriginals)
        return QStringLiteral("\"%1\" holds your own screens, which are kept as they are.")
            .arg(originalsName);
    if (const std::optional<QString> why = whyNotASet(strAppPath, m_shownSet))
        return QStringLiteral("\"%1\" is no set: %2.").arg(displayFileName(m_shownSet), *why);
    return {};
}

void frmLogoMain::imgNew_ReplaceScreen(int slot)
{
    int filterIndex = 0;
    const QString chosen =
        userDialogs().openFileName(this, QLatin1String(screenSlots[slot].selectTitle),
                                   frmNewSet::selectableFilters(), filterIndex, QString());
    if (!chosen.isEmpty())
        replaceScreenWith(slot, chosen);
}

void frmLogoMain::replaceScreenWith(int slot, const QString& path)
{
    (void)loadPicture(path); // what is no picture is refused before the set changes
    replaceSetScreen(strAppPath, strNew(slot), path);
    m_slots[slot].imgNew->setPicture(previewFile(slot));
    updateCommands();
}

void frmLogoMain::imgNew_DragDrop(int slot, const QString& path)
{
    const QString title = QStringLiteral("Replace Screen");
    if (const QString whyNot = whyScreenStays(); !whyNot.isEmpty()) {
        userDialogs().information(this, whyNot, title);
        return;
    }
    (void)loadPicture(path); // what is no picture is refused before the question
    if (userDialogs().question(this,
                               QStringLiteral("Replace the %1 of the set \"%2\" with \"%3\"?")
                                   .arg(QLatin1String(screenSlots[slot].uiName),
                                        displayFileName(m_shownSet),
                                        displayFileName(QFileInfo(path).fileName())),
                               title))
        replaceScreenWith(slot, path);
}

void frmLogoMain::imgCur_DragDrop()
{
    userDialogs().information(
        this,
        QStringLiteral("The screens in use change only with \"Set as Current\". Drop the picture "
                       "on a screen of a set to replace it there, or on the tree to make a set "
                       "of it."),
        QStringLiteral("Replace Screen"));
}

void frmLogoMain::cmdNewSet_Click()
{
    visitModal([] { showNewSetDialog(); });
}

void frmLogoMain::cmdExit_Click()
{
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
}

void frmLogoMain::mnuAbout_Click()
{
    visitModal([] { showAboutBox(); });
}

QImage frmLogoMain::currentScreenFile(int slot) const
{
    return loadSystemScreen(*m_drive, screenSlots[slot], m_msdosSys.windows);
}

QImage frmLogoMain::previewFile(int slot) const
{
    return loadSetScreen(newPath(slot), screenSlots[slot], recordedAbsent(slot),
                         m_msdosSys.windows);
}

void frmLogoMain::imgCur_DblClick(int slot)
{
    showFullSize(currentScreenFile(slot));
}

void frmLogoMain::imgNew_DblClick(int slot)
{
    if (m_slots[slot].imgNew->pictureHandle() == 0)
        return;
    showFullSize(previewFile(slot));
}

void frmLogoMain::imgCur_ShowAsWindows95(int slot)
{
    if (m_slots[slot].imgCur->pictureHandle() == 0)
        return;
    const QImage picture = currentScreenFile(slot);
    visitModal([&picture, slot] { showAsWindows95(picture, slot); });
}

void frmLogoMain::imgNew_ShowAsWindows95(int slot)
{
    if (m_slots[slot].imgNew->pictureHandle() == 0)
        return;
    const QImage picture = previewFile(slot);
    visitModal([&picture, slot] { showAsWindows95(picture, slot); });
}

} // namespace bootvane
