#pragma once

#include "screenformat.h"

#include <QFrame>
#include <QImage>
#include <QPixmap>

class QMenu;

namespace bootvane {

// A small image box with a thin border for one screen slot. It keeps the whole picture it
// is given (to save it, and for its handle) and shows it as the box's screen shows it once
// written: a set's picture of another shape fitted inside with black around it, any other
// stretched to fill the box, over black where it is transparent; scaled once when it is first
// painted so that painting costs the same whatever the picture's size. Its tooltip says what the
// picture is and what Windows 95 makes of it. Its context menu offers the full-size view, as a
// double-click does, and the view as Windows 95 shows the screen. It takes the focus from the
// keyboard and shows it: Enter opens the full-size view, the Menu key or Shift+F10 the context
// menu. A screen reader hears the slot, whose screen it is and what the tooltip says.
class ImageBox : public QFrame {
    Q_OBJECT
public:
    // place tells what the tooltip says of a picture Windows cannot show as it is: a set's is
    // converted when applied, a file on the drive is not shown at all, an original is restored
    // byte for byte.
    explicit ImageBox(int slot, QWidget* parent = nullptr, ScreenPlace place = ScreenPlace::InSet);
    void setPlace(ScreenPlace place);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }
    qint64 pictureHandle() const;
    int slot() const { return m_slot; }

    // A line added to the tooltip while the box shows a picture.
    void setNote(const QString& note);
    // The Windows the tooltip says shows the screen: Windows 95 unless drive C says otherwise.
    void setWindows(const QString& windows);
    // Whose screen the box shows, for screen readers: "in use", "set \"Sunset\"".
    void setOwner(const QString& owner);

    // Lets the user drop a picture file on the box, which fileDropped then names; a drop of
    // several files, or of no local one, is refused in a box that says why.
    void acceptFileDrops();

    // Adds an item of the window's own to the box's context menu, after the box's items. Like
    // them it is greyed out while the box shows no picture; menuAboutToShow lets the window
    // say more.
    void addMenuItem(QAction* action);

signals:
    // A double-click, or "View Full Size" from the context menu.
    void doubleClicked();
    void showAsWindows95Requested();
    // The context menu is about to show, its items enabled by whether the box has a picture.
    void menuAboutToShow();
    // A local file dropped on the box.
    void fileDropped(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void describe();
    QMenu* contextMenu();
    void popUpContextMenu(const QPoint& globalPosition);

    int m_slot;
    ScreenPlace m_place;
    QString m_windows = QLatin1String(defaultWindows);
    QString m_note;
    QImage m_picture;
    QPixmap m_shown;
    QSize m_shownSize; // the box size m_shown was scaled for; invalid when the picture changed
    QRect m_shownArea; // where in the box m_shown lies
    QMenu* m_contextMenu = nullptr; // made at its first use: most boxes never need one
};

} // namespace bootvane
