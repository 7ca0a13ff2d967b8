#pragma once

#include "win95screen.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <vector>

namespace bootvane {

// A screen drawn at one size, as the 320 x 400 mode fills the monitor: each pixel of the
// frame shows the screen pixel under its centre, so screen pixels stay sharp and every one
// is twice as wide as tall on a 4:3 frame. The frame is true colour, made once for its size;
// it keeps the palette index behind each of its pixels, so that a step of the cycling
// recolours only the pixels of cycling entries and nothing is scaled again.
class Win95Frame {
public:
    Win95Frame(const Win95Screen& screen, QSize size);

    const QImage& image() const { return m_image; }

    // Recolours the frame as it is after steps steps of cycling, and gives the rectangle
    // that may have changed.
    QRect showStep(qint64 steps);

private:
    void drawIndexed(const std::vector<int>& columns, const std::vector<int>& rows);

    Win95Screen m_screen;
    QImage m_image;
    QImage m_indexes;    // one byte a pixel: the palette entry behind each pixel of m_image
    QRect m_cyclingArea; // the smallest rectangle that holds every pixel of a cycling entry
};

} // namespace bootvane
