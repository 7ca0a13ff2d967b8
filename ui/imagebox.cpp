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
    // Smooth scaling costs in proportion to the source's pixels, and far more for an indexed
    // picture than for a true-colour one. So a picture more than twice the box's size is
    // first cut quickly to twice its size, then turned to true colour, and the smooth step
    // from there still averages each shown pixel over four.
    QImage source = m_picture;
    const QSize twice = size * 2;
    if (source.width() > twice.width() && source.height() > twice.height())
        source = source.scaled(twice, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    source = source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
    m_shown =
        QPixmap::fromImage(source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
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

} // namespace bootvane
