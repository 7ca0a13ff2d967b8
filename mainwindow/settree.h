#pragma once

#include <QTreeWidget>

namespace bootvane {

// The tree of sets. A node chosen with the keyboard, by moving onto it or by Enter or Space on
// it, or with a right-click, is chosen as a click chooses it; a node made current by the
// program is not. Del, F2,
// the Menu key and Shift+F10 ask for the chosen node's commands, and a folder, zip or picture
// dropped on the tree is offered for import.
class SetTree final : public QTreeWidget {
    Q_OBJECT
public:
    explicit SetTree(QWidget* parent = nullptr);

signals:
    void chosen();
    void deleteRequested();
    void renameRequested();
    // The context menu, at a place on the screen: the node under it is the current one.
    void menuRequested(const QPoint& globalPosition);
    void dropped(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

} // namespace bootvane
