#pragma once

// Drives the real windows the way a user does: clicks on tree nodes and buttons,
// double-clicks on image boxes, keys, and modal windows closed from inside their own
// event loop.

#include "frmlogomain.h"
#include "imagebox.h"
#include "look.h"
#include "scripteddialogs.h"
#include "tempdrive.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <stdexcept>

namespace bootvane::testing {

template <typename T> T* control(const QObject* window, const char* name)
{
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        throw std::runtime_error(std::string("no control named ") + name);
    return found;
}

inline QTreeWidget* tree(const frmLogoMain& window)
{
    return control<QTreeWidget>(&window, "TreeView1");
}

inline ImageBox* imgCur(const frmLogoMain& window, int slot)
{
    static const char* names[] = {"imgCurLogo", "imgCurLogow", "imgCurLogos"};
    return control<ImageBox>(&window, names[slot]);
}

inline ImageBox* imgNew(const frmLogoMain& window, int slot)
{
    static const char* names[] = {"imgNewLogo", "imgNewLogow", "imgNewLogos"};
    return control<ImageBox>(&window, names[slot]);
}

// The node with this text: a top-level node, or else a child of the sets root.
inline QTreeWidgetItem* node(const frmLogoMain& window, const QString& text)
{
    QTreeWidget* view = tree(window);
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = view->topLevelItem(i);
        if (top->text(0) == text)
            return top;
    }
    if (QTreeWidgetItem* root = view->topLevelItem(0)) {
        for (int i = 0; i < root->childCount(); ++i) {
            if (root->child(i)->text(0) == text)
                return root->child(i);
        }
    }
    throw std::runtime_error("no node " + text.toStdString());
}

// A mouse click on the node's text, after opening its parent as a user would.
inline void clickNode(const frmLogoMain& window, const QString& text)
{
    QTreeWidget* view = tree(window);
    QTreeWidgetItem* item = node(window, text);
    if (item->parent())
        item->parent()->setExpanded(true);
    view->scrollToItem(item);
    const QRect place = view->visualItemRect(item);
    if (!place.isValid())
        throw std::runtime_error("node not on screen: " + text.toStdString());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, place.center());
}

// Chooses the node with the keyboard as a user does: Down onto it from the node above, or
// Enter or Space on it once the highlight is there.
inline void keyNode(const frmLogoMain& window, const QString& text, Qt::Key key)
{
    QTreeWidget* view = tree(window);
    QTreeWidgetItem* item = node(window, text);
    if (item->parent())
        item->parent()->setExpanded(true);
    view->setFocus();
    view->setCurrentItem(key == Qt::Key_Down ? view->itemAbove(item) : item);
    QTest::keyClick(view, key);
}

inline void clickButton(const QWidget* window, const char* name)
{
    QTest::mouseClick(control<QPushButton>(window, name), Qt::LeftButton);
}

// Shows a window and waits until it is the active one.
inline void showAndWait(QWidget& window)
{
    window.show();
    if (!QTest::qWaitForWindowActive(&window))
        throw std::runtime_error("the window did not become active");
}

inline const char* const setFileNames[] = {"logo.sys", "logow.sys", "logos.sys"};

// The main window on a temporary drive C with three system screens (screenPicture(100 +
// slot)) and a set "Sunset", plus what prepare() adds before start-up. It has started,
// made "Originals", and is shown and active; the first-start notice is no longer among the
// recorded boxes, and rebuilds counts the rebuilds of the tree from here on.
struct Desk {
    explicit Desk(const std::function<void(TempDrive&)>& prepare = {})
    {
        drive.writeSystemScreens();
        drive.makeSet(QStringLiteral("Sunset"));
        if (prepare)
            prepare(drive);
        window = std::make_unique<frmLogoMain>();
        showAndWait(*window);
        dialogs.boxes.clear();
        rebuilds = std::make_unique<QSignalSpy>(window.get(), &frmLogoMain::treeRebuilt);
    }

    frmLogoMain& main() const { return *window; }

    QString setFile(const QString& set, int slot) const
    {
        return drive.workDir() + QLatin1Char('/') + set + QLatin1Char('/') +
               QLatin1String(setFileNames[slot]);
    }

    QList<QByteArray> systemBytes() const
    {
        return {fileBytes(drive.systemFile(0)), fileBytes(drive.systemFile(1)),
                fileBytes(drive.systemFile(2))};
    }

    TempDrive drive;
    ScriptedDialogs dialogs;
    std::unique_ptr<frmLogoMain> window;
    std::unique_ptr<QSignalSpy> rebuilds;
};

// Watches for a modal window while a handler runs: when one opens, look() sees it inside
// its own event loop and act() closes it the way the test wants. Whatever act() leaves
// open is closed afterwards so that no test can hang; closedByAct tells whether act()
// closed it itself.
class ModalVisit {
public:
    using Look = std::function<void(QWidget*)>;

    explicit ModalVisit(Look act, Look look = {}) : m_act(std::move(act)), m_look(std::move(look))
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { poll(); });
        m_timer.start();
    }

    int opened = 0;
    bool closedByAct = false;

private:
    void poll()
    {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (m_busy || !modal || !modal->isVisible())
            return;
        m_busy = true;
        ++opened;
        QTest::qWait(10); // let it lay itself out and paint once
        if (m_look && modal)
            m_look(modal);
        if (m_act && modal)
            m_act(modal);
        QCoreApplication::processEvents();
        closedByAct = !modal || !modal->isVisible();
        if (modal && modal->isVisible())
            modal->close();
        m_busy = false;
    }

    Look m_act;
    Look m_look;
    QTimer m_timer;
    bool m_busy = false;
};

// Closes a modal window with a double-click in its middle.
inline void doubleClickIt(QWidget* modal)
{
    QTest::mouseDClick(modal, Qt::LeftButton, {}, modal->rect().center());
}

// What a right-click on the box gives, and the item of its context menu named item chosen:
// the menu closes first, and a disabled item does nothing. Tells whether it was enabled.
inline bool chooseFromContextMenu(QWidget* box, const char* item)
{
    const QPoint place = box->rect().center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, place, box->mapToGlobal(place));
    QApplication::sendEvent(box, &rightClick);
    auto* menu = control<QMenu>(box, "mnuImageBox");
    QAction* action = control<QAction>(menu, item);
    menu->hide();
    action->trigger();
    return action->isEnabled();
}

// Closes a modal window with its close box.
inline void closeBox(QWidget* modal)
{
    modal->close();
}

// Pixels of a window's client area as shown on screen.
inline QImage shown(QWidget* window)
{
    return window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace bootvane::testing
