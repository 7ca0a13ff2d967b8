#include "imagebox.h"

#include "picture.h"

#include <QMouseEvent>
#include <QPainter>

namespace bootvane {

ImageBox::ImageBox(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setFocusPolicy(Qt::NoFocus);
}

void ImageBox::setPicture(const QImage& picture)
{
    m_picture = picture;
    rescale();
    update();
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
    m_shown = QPixmap::fromImage(
        m_picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
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
    rescale();
}

void ImageBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QFrame::mouseDoubleClickEvent(event);
}

} // namespace bootvane
