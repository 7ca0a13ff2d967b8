#pragma once

#include "screenslots.h"

#include <QImage>
#include <QList>
#include <chrono>

namespace bootvane {

// How often Windows 95 moves its cycling palette entries. No document we could reach gives
// the figure and no Windows 95 machine was at hand to time it, so it is a guess: the PC's
// timer tick (65536 / 1193182 s, 18.2 a second), the clock that DOS-era code usually paces
// itself by. The stock band of 20 entries then goes round once in 1.1 seconds.
inline constexpr std::chrono::milliseconds paletteStepInterval(55);

// What Windows 95 puts on the screen for one screen picture: the picture as it is written
// over the system file, as palette indexes, with its palette as the VGA shows it, and the
// entries that Windows cycles. A built-in screen is shown still, as it is drawn.
class Win95Screen {
public:
    // Converts the picture when Windows could not show it as it is; throws when that fails.
    Win95Screen(const QImage& picture, const ScreenSlot& slot);

    // The 320 x 400 palette indexes, or the null image for a built-in screen.
    const QImage& indexes() const { return m_indexes; }
    // The built-in screen in true colour, or the null image for a picture of the user's.
    const QImage& builtIn() const { return m_builtIn; }

    // The first palette entry that cycles, or 0 when the colours stand still.
    int firstCycling() const { return m_firstCycling; }
    bool cycles() const { return m_firstCycling != 0; }
    // The 256 colours after steps steps of cycling. Each step gives every entry from
    // firstCycling() up the colour of the entry above it, and entry 255 that of the lowest.
    QList<QRgb> palette(qint64 steps) const;

private:
    QImage m_indexes;
    QImage m_builtIn;
    QList<QRgb> m_palette; // as the VGA shows it, before any step
    int m_firstCycling = 0;
};

// A colour as the VGA shows it: each channel kept to 6 bits, spread again over 0..255 so
// that the brightest step is full brightness.
QRgb vgaColour(QRgb colour);

} // namespace bootvane
