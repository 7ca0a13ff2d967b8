#include "look.h"

#include <QBitmap>
#include <QWidget>

namespace bootvane {

namespace {

QPixmap iconWithMask(const QString& resource)
{
    QPixmap pixmap(resource);
    pixmap.setMask(pixmap.createMaskFromColor(QColor(192, 192, 192), Qt::MaskInColor));
    return pixmap;
}

} // namespace

QFont controlFont()
{
    // Hosts without the Windows font get the closest sans serif they have.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    return font;
}

QFont headingFont(qreal pointSize)
{
    QFont::insertSubstitutions(
        QStringLiteral("Times New Roman"),
        {QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif")});
    QFont font(QStringLiteral("Times New Roman"));
    font.setPointSizeF(pointSize);
    font.setBold(true);
    return font;
}

QPixmap programIconPixmap()
{
    return iconWithMask(QStringLiteral(":/icons/bootvane.xpm"));
}

QIcon programIcon()
{
    return QIcon(programIconPixmap());
}

QPixmap bundlePixmap()
{
    return iconWithMask(QStringLiteral(":/icons/bundle.xpm"));
}

void makeFixedDialog(QWidget* dialog, QSize clientSize)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog->setFixedSize(clientSize);
    dialog->setWindowIcon(programIcon());
    dialog->setFont(controlFont());
}

} // namespace bootvane
