#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRect>

class QWidget;

namespace bootvane {

// Layouts are given in twips, 15 to a pixel at 96 dots per inch.
inline constexpr int twipsPerPixel = 15;
constexpr int twips(int value)
{
    return value / twipsPerPixel;
}
constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return {twips(left), twips(top), twips(width), twips(height)};
}

// Width of each slot's file-name label, in twips; "Logow.sys" needs a wider one.
inline constexpr int slotLabelWidth[] = {735, 855, 735};
// The columns of the three slots stand this far apart, in twips.
inline constexpr int slotColumnStep = 1560;

// MS Sans Serif 8.25 pt, the font of every control that names none.
QFont controlFont();
// Times New Roman, bold, for headings.
QFont headingFont(qreal pointSize);

// The program icon: the first picture of the main window's image list, the icon of every
// window and the picture of the About box. Silver is its mask colour.
QPixmap programIconPixmap();
QIcon programIcon();
// The bundle icon of the set nodes.
QPixmap bundlePixmap();

// A fixed dialog frame with a close box only, no task-bar button of its own, the program
// icon and the given client size.
void makeFixedDialog(QWidget* dialog, QSize clientSize);

} // namespace bootvane
