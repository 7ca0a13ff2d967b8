#include "settree.h"

#include "filedrop.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace bootvane {

SetTree::SetTree(QWidget* parent) : QTreeWidget(parent)
{
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
}

void SetTree::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        emit deleteRequested();
        return;
    }
    if (event->key() == Qt::Key_F2) {
        emit renameRequested();
        return;
    }
    if (event->key() == Qt::Key_Menu ||
        (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        const QRect place = currentItem() ? visualItemRect(currentItem()) : QRect();
        emit menuRequested(viewport()->mapToGlobal(place.isValid() ? place.center()
                                                                   : viewport()->rect().center()));
        return;
    }
    const QTreeWidgetItem* before = currentItem();
    QTreeWidget::keyPressEvent(event);
    const bool confirmed = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                           event->key() == Qt::Key_Space;
    if (confirmed)
        event->accept(); // the window has no default button for it to press
    if (currentItem() && (currentItem() != before || confirmed))
        emit chosen();
}

void SetTree::mousePressEvent(QMouseEvent* event)
{
    // A right-click makes the node under it current; the menu's commands then act on the set
    // the preview shows.
    const QTreeWidgetItem* before = currentItem();
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::RightButton && currentItem() && currentItem() != before)
        emit chosen();
}

void SetTree::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Mouse) {
        if (QTreeWidgetItem* node = itemAt(viewport()->mapFromGlobal(event->globalPos())))
            setCurrentItem(node);
        emit menuRequested(event->globalPos());
    } else {
        const QRect place = currentItem() ? visualItemRect(currentItem()) : QRect();
        emit menuRequested(viewport()->mapToGlobal(place.isValid() ? place.center()
                                                                   : viewport()->rect().center()));
    }
    event->accept();
}

void SetTree::dragEnterEvent(QDragEnterEvent* event)
{
    acceptFileDrag(event);
}

void SetTree::dragMoveEvent(QDragMoveEvent* event)
{
    acceptFileDrag(event);
}

void SetTree::dropEvent(QDropEvent* event)
{
    const QString path = takeDroppedFile(event, this);
    if (!path.isEmpty())
        emit dropped(path);
}

} // namespace bootvane
