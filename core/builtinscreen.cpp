#include "builtinscreen.h"

#include "screenformat.h"

#include <QPainter>

namespace bootvane {

QFont screenTextFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

namespace {

const char folderKey[] = "Bootvane.FolderInPlace";

} // namespace

QImage builtInScreen(const ScreenSlot& slot, const QString& windows, const QString& folder)
{
    const QString behaviour = QString::fromLatin1(slot.builtInBehaviour).arg(windows);
    // A dark screen framed by a dashed line, plainly no picture of the user's.
    QImage screen(windowsScreenSize, QImage::Format_RGB32);
    screen.fill(QColor(16, 24, 48));
    {
        QPainter painter(&screen);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setPen(QPen(QColor(110, 130, 170), 2, Qt::DashLine));
        painter.drawRect(screen.rect().adjusted(8, 8, -9, -9));

        const QRect textArea = screen.rect().adjusted(28, 0, -28, 0);
        painter.setPen(Qt::white);
        // Large enough to read in the small image boxes, where the screen is shown a third of
        // its size.
        painter.setFont(screenTextFont(40, true));
        painter.drawText(QRect(textArea.left(), 70, textArea.width(), 130),
                         Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap,
                         QStringLiteral("No %1").arg(QLatin1String(slot.setFileName)));
        painter.setPen(QColor(200, 210, 230));
        painter.setFont(screenTextFont(27, false));
        painter.drawText(
            QRect(textArea.left(), 220, textArea.width(), 150),
            Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
            folder.isEmpty()
                ? behaviour
                : QStringLiteral("%1 is a folder, not a file: %2").arg(folder, behaviour));
    }
    screen.setText(QLatin1String(builtInScreenKey), QLatin1String(slot.suffix));
    if (!folder.isEmpty())
        screen.setText(QLatin1String(folderKey), folder);
    return screen;
}

QString folderInPlace(const QImage& picture)
{
    return picture.text(QLatin1String(folderKey));
}

bool isBuiltInScreen(const QImage& picture)
{
    return !picture.text(QLatin1String(builtInScreenKey)).isEmpty();
}

} // namespace bootvane
