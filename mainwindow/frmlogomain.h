#pragma once

#include "drive.h"
#include "originals.h"
#include "paths.h"
#include "screenslots.h"
#include "systemscreens.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace bootvane {

class ImageBox;

// The main window: the tree of sets on the left, the chosen set's three screens above the
// three screens in use on the right.
class frmLogoMain : public QMainWindow {
    Q_OBJECT
public:
    // Roles under which a tree node keeps its key and its image index (1 or 2), and the
    // folder name it stands for when that differs from its text (a name not in UTF-8).
    static constexpr int nodeKeyRole = Qt::UserRole;
    static constexpr int nodeImageRole = Qt::UserRole + 1;
    static constexpr int nodeNameRole = Qt::UserRole + 2;

    // Builds the window and runs its start-up on drive C (Wine's when none is given): the
    // screens in use are shown and, the first time this working directory meets the drive,
    // the user's own screens are saved.
    // setsFolder says why the working folder holds the sets, for the first-start notice.
    explicit frmLogoMain(std::unique_ptr<Drive> drive = nullptr, QWidget* parent = nullptr,
                         SetsFolder setsFolder = {});
    // Builds the window with no drive C open: the screens in use stay blank, the commands that
    // need a drive are greyed, and the Drive menu is the way on.
    struct NoDrive {};
    explicit frmLogoMain(NoDrive, QWidget* parent = nullptr, SetsFolder setsFolder = {});
    ~frmLogoMain() override;

    // The window on the drive the program starts with: the image or folder at drivePath, else
    // the drive last used with the sets folder, else Wine's drive C where Wine maps one, else
    // no drive. The sets folder is setsPath, or as enterSetsFolder chooses it. A drive that
    // cannot be opened is reported: given on the command line it gives no window, and so does
    // a folder among the sets, or one the user would not take as drive C; remembered, it gives
    // way to Wine's drive C or to none. A sets folder that cannot be used gives no window.
    static std::unique_ptr<frmLogoMain> start(const QString& drivePath,
                                              const QString& setsPath = QString());

    // The drive in use, or nothing, for what looks at the window from outside (tests).
    const Drive* drive() const { return m_drive.get(); }

    // The window's state, read-only, for what looks at it from outside (tests).
    const QString& appPath() const { return strAppPath; }
    const QString& setName() const { return strSetName; }
    QString newPath(int slot) const { return this->*newPathMembers[slot]; }

    // Rebuilds the tree from the disk and forgets the chosen node. It runs when the window
    // is first shown and each time a modal window it opened has closed; public so that a
    // benchmark can time it.
    void Form_Activate();

signals:
    // After every rebuild of the tree.
    void treeRebuilt();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct SlotControls {
        ImageBox* imgCur;
        ImageBox* imgNew;
        QLabel* lblCur;
        QLabel* lblNew;
    };

    // What both constructors build, once the drive is in place.
    void build();
    void buildControls();
    void buildMenu();
    void connectHandlers();
    void centreOnScreen();

    QString& strNew(int slot) { return this->*newPathMembers[slot]; }
    // Whether the set previewed records that the drive had no such file: the originals do,
    // and there an absent file means Windows' built-in screen.
    bool recordedAbsent(int slot) const
    {
        return m_previewedOriginals && m_previewedOriginals->recordsAbsent(slot);
    }

    // Every modal window this window opens goes through here: show() returns when the
    // window has closed, and this window, active again, rebuilds its tree.
    void visitModal(const std::function<void()>& show);
    void showFullSize(const QImage& picture);
    // The picture behind an image box, read afresh from its file for every view of it.
    QImage currentScreenFile(int slot) const;
    QImage previewFile(int slot) const;
    // Saves the user's own screens as the drive's originals, telling the user first, unless
    // they are saved already.
    void saveOriginalsIfMissing();
    // Writes the three screens that prepare(slot) gives over the system files; what they
    // replace is kept in the drive's history first.
    void installScreens(const std::function<ScreenUpdate(int)>& prepare);
    // Reads what C:\MSDOS.SYS says of the screens: whether the start-up screen is switched
    // off, noted on the screen in use, and which Windows shows them, named by every box.
    void readMsdosSys();

    void Form_Load();
    // A node chosen in the tree, by a click or the keyboard: previewed, and the commands follow.
    void treeNodeChosen();
    // Greys out each command that would do nothing now, with a tooltip that says why.
    void updateCommands();
    // What stands at the three system files of drive C, or nothing when they cannot be read
    // together.
    std::vector<DriveFile> readScreenFiles() const;
    // Reads the three screens in use from drive C again and shows them.
    void showScreensInUse();
    // Shows the screens in use that files hold, or, without files, each read on its own.
    // reportEach: a screen that cannot be read is reported, else it shows nothing: what failed
    // was reported already.
    void showScreens(const std::vector<DriveFile>& files, bool reportEach);
    // What start-up does with drive C, and switching to another drive does again: the
    // window's title, the work dead copies left, the screens in use, a blank preview, the
    // first-start backup.
    void loadDrive();
    // Shows the screens in use, or where there is no drive what to do.
    void showWhetherDriveOpen();
    // Makes drive the drive in use, remembered for the working folder.
    void switchDrive(std::unique_ptr<Drive> drive);
    void mnuOpenImage_Click();
    void mnuOpenFolder_Click();
    void mnuWineDrive_Click();

    // The commands on the sets: in the tree's context menu and the Sets menu.
    void buildSetCommands(QMenu* mnuSets);
    void showTreeMenu(const QPoint& globalPosition);
    // The chosen node when it is a set of the tree, else nothing.
    QTreeWidgetItem* chosenSetNode() const;
    // The folder name a node stands for.
    static QString nodeName(const QTreeWidgetItem* node);
    // Rebuilds the tree and chooses the set name in it, as a click would.
    void showSet(const QString& name);
    void importSet(const QString& path);
    void mnuDeleteSet_Click();
    void mnuRenameSet_Click();
    void mnuOpenSetFolder_Click();
    void mnuImportSet_Click();
    void mnuExportSet_Click();
    void mnuUndo_Click();
    // The node whose set is from was given the name to in place.
    void TreeView1_Renamed(const QString& from, const QString& to);
    // Why the screens of the set previewed cannot be replaced now, in the user's words; ""
    // when they can: a set's screen can, also one it lacks, never one of the user's own.
    QString whyScreenStays() const;
    void imgNew_ReplaceScreen(int slot);
    // Writes the picture at path as the screen of the set previewed, and shows it.
    void replaceScreenWith(int slot, const QString& path);
    // A picture dropped on a screen of the set previewed replaces it, once the user agrees.
    void imgNew_DragDrop(int slot, const QString& path);
    // A drop on a screen in use changes nothing, and says so.
    void imgCur_DragDrop();
    void TreeView1_NodeClick();
    void cmdSetCur_Click();
    void cmdRestore_Click();
    void cmdNewSet_Click();
    void cmdExit_Click();
    void mnuAbout_Click();
    void imgCur_DblClick(int slot);
    void imgNew_DblClick(int slot);
    void imgCur_ShowAsWindows95(int slot);
    void imgNew_ShowAsWindows95(int slot);
    void imgCurLogo_DblClick() { imgCur_DblClick(0); }
    void imgCurLogow_DblClick() { imgCur_DblClick(1); }
    void imgCurLogos_DblClick() { imgCur_DblClick(2); }
    void imgNewLogo_DblClick() { imgNew_DblClick(0); }
    void imgNewLogow_DblClick() { imgNew_DblClick(1); }
    void imgNewLogos_DblClick() { imgNew_DblClick(2); }

    QTreeWidget* TreeView1 = nullptr;
    QPushButton* cmdNewSet = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdSetCur = nullptr;
    QPushButton* cmdRestore = nullptr;
    QLabel* lblNewSet = nullptr;
    QLabel* lblCurSet = nullptr;
    QLabel* lblNoDrive = nullptr; // in place of the screens in use while no drive is open
    std::array<SlotControls, slotCount> m_slots{};
    QList<QIcon> ImageList1;
    QMenu* mnuTree = nullptr;
    QAction* mnuDeleteSet = nullptr;
    QAction* mnuRenameSet = nullptr;
    QAction* mnuOpenSetFolder = nullptr;
    QAction* mnuExportSet = nullptr;
    QAction* mnuUndo = nullptr;
    std::array<QAction*, slotCount> mnuReplaceScreen{};
    // The node being renamed in place, and the folder name it had.
    QTreeWidgetItem* m_renaming = nullptr;
    QString m_renamingFrom;

    QString strAppPath;
    QString strNewLogo;
    QString strNewLogow;
    QString strNewLogos;
    QString strSetName;
    std::unique_ptr<Drive> m_drive; // none until the user opens one, where none could be
    SetsFolder m_setsFolder;
    MsdosSys m_msdosSys;
    bool m_msdosSysFresh = false; // read by the drive's loading, for the activation after it
    // Where the drive in use was copied from, when its loading told it apart from that drive.
    QString m_copyOf;
    // The originals previewed, when the Originals node was the node clicked last.
    std::optional<Originals> m_previewedOriginals;
    bool m_shownBefore = false;

    static constexpr std::array<QString frmLogoMain::*, slotCount> newPathMembers{
        &frmLogoMain::strNewLogo, &frmLogoMain::strNewLogow, &frmLogoMain::strNewLogos};
    static constexpr std::array<void (frmLogoMain::*)(), slotCount> currentScreenCallers{
        &frmLogoMain::imgCurLogo_DblClick, &frmLogoMain::imgCurLogow_DblClick,
        &frmLogoMain::imgCurLogos_DblClick};
    static constexpr std::array<void (frmLogoMain::*)(), slotCount> previewCallers{
        &frmLogoMain::imgNewLogo_DblClick, &frmLogoMain::imgNewLogow_DblClick,
        &frmLogoMain::imgNewLogos_DblClick};
};

} // namespace bootvane
