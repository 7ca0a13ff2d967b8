#include "frmlogomain.h"

#include "about.h"
#include "drivec.h"
#include "filenames.h"
#include "frmnewset.h"
#include "handler.h"
#include "imagebox.h"
#include "look.h"
#include "paths.h"
#include "picture.h"
#include "setstore.h"
#include "userdialogs.h"
#include "viewlogo.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QTreeWidget>

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

} // namespace

frmLogoMain::frmLogoMain(QWidget* parent) : QMainWindow(parent)
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

void frmLogoMain::buildMenu()
{
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

    TreeView1 = new QTreeWidget(client);
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
        for (auto [box, name, top] :
             {std::tuple{&controls.imgNew, QStringLiteral("imgNew"), 600},
              std::tuple{&controls.imgCur, QStringLiteral("imgCur"), 3120}}) {
            *box = new ImageBox(client);
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

    setTabOrder(cmdSetCur, cmdRestore);
    setTabOrder(cmdRestore, cmdNewSet);
    setTabOrder(cmdNewSet, TreeView1);
    setTabOrder(TreeView1, cmdExit);
    cmdSetCur->setFocus();
}

void frmLogoMain::connectHandlers()
{
    connectHandler(TreeView1, &QTreeWidget::itemClicked, this, &frmLogoMain::TreeView1_NodeClick);
    connectHandler(cmdSetCur, &QPushButton::clicked, this, &frmLogoMain::cmdSetCur_Click);
    connectHandler(cmdRestore, &QPushButton::clicked, this, &frmLogoMain::cmdRestore_Click);
    connectHandler(cmdNewSet, &QPushButton::clicked, this, &frmLogoMain::cmdNewSet_Click);
    connectHandler(cmdExit, &QPushButton::clicked, this, &frmLogoMain::cmdExit_Click);
    for (int i = 0; i < slotCount; ++i) {
        connectHandler(m_slots[i].imgCur, &ImageBox::doubleClicked, this, currentScreenCallers[i]);
        connectHandler(m_slots[i].imgNew, &ImageBox::doubleClicked, this, previewCallers[i]);
    }
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
    removeWorkLeftByDeadCopies(strAppPath);
    for (int i = 0; i < slotCount; ++i)
        m_slots[i].imgCur->setPicture(
            loadPicture(driveCPath(QLatin1String(screenSlots[i].systemFileShown))));
    for (const SlotControls& controls : m_slots)
        controls.imgNew->setPicture(loadPicture(QString()));

    if (originalsMissing()) {
        userDialogs().information(nullptr,
                                  QStringLiteral("Your current screen settings will be saved "
                                                 "as your original set."),
                                  QStringLiteral("Original Screen Settings"));
        backupOriginals();
    }
}

void frmLogoMain::Form_Activate()
{
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
    emit treeRebuilt();
}

void frmLogoMain::TreeView1_NodeClick()
{
    for (const SlotControls& controls : m_slots)
        controls.imgNew->setPicture(loadPicture(QString()));
    const QTreeWidgetItem* selected = TreeView1->currentItem();
    if (!selected)
        return;
    const QVariant name = selected->data(0, nodeNameRole);
    const QString text = name.isValid() ? name.toString() : selected->text(0);
    if (text != setsRootText) {
        for (int i = 0; i < slotCount; ++i)
            strNew(i) = setFilePath(strAppPath, text, screenSlots[i]);
        for (int i = 0; i < slotCount; ++i)
            m_slots[i].imgNew->setPicture(loadPicture(strNew(i)));
    }
    strSetName = text;
}

void frmLogoMain::cmdSetCur_Click()
{
    if (strSetName.isEmpty())
        return;
    const QTreeWidgetItem* selected = TreeView1->currentItem();
    if (!selected || selected->text(0) == setsRootText)
        return;
    for (const SlotControls& controls : m_slots)
        controls.imgCur->setPicture(loadPicture(QString()));
    for (const SlotControls& controls : m_slots) {
        if (controls.imgNew->pictureHandle() == 0)
            return;
    }
    for (int i = 0; i < slotCount; ++i)
        m_slots[i].imgCur->setPicture(loadPicture(strNew(i)));
    for (int i = 0; i < slotCount; ++i)
        savePicture(m_slots[i].imgCur->picture(),
                    driveCPath(QLatin1String(screenSlots[i].systemFileWritten)));
}

void frmLogoMain::cmdRestore_Click()
{
    for (int i = 0; i < slotCount; ++i)
        m_slots[i].imgCur->setPicture(loadPicture(originalsFilePath(screenSlots[i])));
    for (int i = 0; i < slotCount; ++i)
        savePicture(m_slots[i].imgCur->picture(),
                    driveCPath(QLatin1String(screenSlots[i].systemFileWritten)));
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

void frmLogoMain::imgCur_DblClick(int slot)
{
    showFullSize(loadPicture(driveCPath(QLatin1String(screenSlots[slot].systemFileShown))));
}

void frmLogoMain::imgNew_DblClick(int slot)
{
    if (m_slots[slot].imgNew->pictureHandle() == 0)
        return;
    showFullSize(loadPicture(strNew(slot)));
}

} // namespace bootvane
