#include "imagebox.h"

#include "picture.h"
#include "picturescaling.h"
#include "screenformat.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

namespace bootvane {

ImageBox::ImageBox(int slot, QWidget* parent) : QFrame(parent), m_slot(slot)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setFocusPolicy(Qt::NoFocus);
}

void ImageBox::setPicture(const QImage& picture)
{
    m_picture = picture;
    rescale();
    describe();
    update();
}

void ImageBox::setNote(const QString& note)
{
    m_note = note;
    describe();
}

void ImageBox::describe()
{
    QString text = describeScreen(m_picture, screenSlots[m_slot]);
    if (!text.isEmpty() && !m_note.isEmpty())
        text += QLatin1Char('\n') + m_note;
    setToolTip(text);
}

qint64 ImageBox::pictureHandle() const
{
    return bootvane::pictureHandle(m_picture);
}

void ImageBox::rescale()
{
    const QSize size = contentsRect().size();
    if (m_picture.isNull() || size.isEmpty()) {
        m_shown = QPixmap();
        return;
    }
    m_shown = QPixmap::fromImage(scaledSmoothly(m_picture, size));
}

void ImageBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (m_shown.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(contentsRect().topLeft(), m_shown);
}

void ImageBox::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    // A box laid out while hidden gets its resize only when first shown, after its picture
    // was set and scaled for that very size.
    if (m_shown.size() != contentsRect().size())
        rescale();
}

void ImageBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QFrame::mouseDoubleClickEvent(event);
}

void ImageBox::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = contextMenu();
    const bool showsPicture = pictureHandle() != 0;
    for (QAction* action : menu->actions())
        action->setEnabled(showsPicture);
    menu->popup(event->globalPos());
    event->accept();
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
