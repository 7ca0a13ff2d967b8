#include "imagebox.h"

#include "filedrop.h"
#include "picture.h"
#include "picturescaling.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

namespace bootvane {

ImageBox::ImageBox(int slot, QWidget* parent, ScreenPlace place)
    : QFrame(parent), m_slot(slot), m_place(place)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    // Reached with Tab, not with a click: a click leaves the focus where the user had it.
    setFocusPolicy(Qt::TabFocus);
    setOwner(QString());
}

void ImageBox::setOwner(const QString& owner)
{
    const QString slot = QLatin1String(screenSlots[m_slot].uiName);
    setAccessibleName(owner.isEmpty() ? slot : slot + QStringLiteral(", ") + owner);
}

void ImageBox::setPicture(const QImage& picture)
{
    m_picture = picture;
    // Scaled when it is next painted: a box set several times in one handler (blanked, then
    // given a picture) scales only what is shown, and the handler's work on disk does not
    // wait for it.
    m_shown = QPixmap();
    m_shownSize = QSize();
    describe();
    update();
}

void ImageBox::setPlace(ScreenPlace place)
{
    m_place = place;
    m_shownSize = QSize(); // a set's picture lies elsewhere in the box
    describe();
    update();
}

void ImageBox::setNote(const QString& note)
{
    m_note = note;
    describe();
}

void ImageBox::setWindows(const QString& windows)
{
    if (windows == m_windows)
        return;
    m_windows = windows;
    describe();
}

void ImageBox::describe()
{
    QString text = describeScreen(m_picture, screenSlots[m_slot], m_place, m_windows);
    if (!text.isEmpty() && !m_note.isEmpty())
        text += QLatin1Char('\n') + m_note;
    setToolTip(text);
    setAccessibleDescription(text.isEmpty() ? QStringLiteral("No picture") : text);
}

qint64 ImageBox::pictureHandle() const
{
    return bootvane::pictureHandle(m_picture);
}

void ImageBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    // Scaled once for the box's size, so that painting costs the same whatever the size of
    // the picture. Transparency shows over black, as it is written: blended after scaling,
    // which gives the same colours at a fraction of the cost. A set's picture of another shape
    // than the screen lies where applying puts it, black around it; a file on the drive or
    // among the originals is written as it is, and fills the box.
    const QSize size = contentsRect().size();
    if (m_shownSize != size) {
        m_shownArea = m_place == ScreenPlace::InSet && !m_picture.isNull()
                          ? areaOnScreen(m_picture.size(), size)
                          : QRect(QPoint(0, 0), size);
        m_shown =
            m_picture.isNull() || size.isEmpty()
                ? QPixmap()
                : QPixmap::fromImage(overBlack(scaledSmoothly(m_picture, m_shownArea.size())));
        m_shownSize = size;
    }
    QPainter painter(this);
    if (!m_shown.isNull()) {
        if (m_shownArea.size() != size)
            painter.fillRect(contentsRect(), Qt::black);
        painter.drawPixmap(contentsRect().topLeft() + m_shownArea.topLeft(), m_shown);
    }
    if (hasFocus()) {
        // A frame in the highlight colour, inside the border, that no picture hides.
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(contentsRect().adjusted(1, 1, -1, -1));
    }
}

void ImageBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QFrame::mouseDoubleClickEvent(event);
}

void ImageBox::contextMenuEvent(QContextMenuEvent* event)
{
    popUpContextMenu(event->reason() == QContextMenuEvent::Mouse
                         ? event->globalPos()
                         : mapToGlobal(contentsRect().center()));
    event->accept();
}

void ImageBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit doubleClicked();
    } else if (event->key() == Qt::Key_Menu ||
               (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        popUpContextMenu(mapToGlobal(contentsRect().center()));
    } else {
        QFrame::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ImageBox::acceptFileDrops()
{
    setAcceptDrops(true);
}

void ImageBox::dragEnterEvent(QDragEnterEvent* event)
{
    acceptFileDrag(event);
}

void ImageBox::dropEvent(QDropEvent* event)
{
    const QString path = takeDroppedFile(event, this);
    if (!path.isEmpty())
        emit fileDropped(path);
}

void ImageBox::addMenuItem(QAction* action)
{
    action->setParent(contextMenu()); // the menu's own, found among its items
    contextMenu()->addAction(action);
}

void ImageBox::popUpContextMenu(const QPoint& globalPosition)
{
    QMenu* menu = contextMenu();
    const bool showsPicture = pictureHandle() != 0;
    for (QAction* action : menu->actions())
        action->setEnabled(showsPicture);
    emit menuAboutToShow();
    menu->popup(globalPosition);
}

QMenu* ImageBox::contextMenu()
{
    if (m_contextMenu)
        return m_contextMenu;
    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("mnuImageBox"));
    QAction* viewFullSize = m_contextMenu->addAction(QStringLiteral("View Full Size"));
    viewFullSize->setObjectName(QStringLiteral("mnuViewFullSize"));
    // The double-click's own handler, so that both ways open the same view of the same file.
    connect(viewFullSize, &QAction::triggered, this, &ImageBox::doubleClicked);
    QAction* showAsWindows95 = m_contextMenu->addAction(QStringLiteral("Show as Windows 95 Does"));
    showAsWindows95->setObjectName(QStringLiteral("mnuShowAsWindows95"));
    connect(showAsWindows95, &QAction::triggered, this, &ImageBox::showAsWindows95Requested);
    return m_contextMenu;
}

} // namespace bootvane
