#include "picturescaling.h"

namespace bootvane {

QImage scaledSmoothly(const QImage& picture, QSize size)
{
    if (picture.isNull() || size.isEmpty())
        return {};
    QImage source = picture;
    const QSize cut(qMin(source.width(), 2 * size.width()),
                    qMin(source.height(), 2 * size.height()));
    if (cut != source.size())
        source = source.scaled(cut, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    source = source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
    if (source.size() == size)
        return source;
    return source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace bootvane
