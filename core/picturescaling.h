#pragma once

#include <QImage>
#include <QSize>

namespace bootvane {

// The picture smoothly scaled to size, in true colour (with alpha where it has any).
//
// Smooth scaling costs in proportion to the source's pixels, and far more for an indexed
// picture than for a true-colour one. So each side longer than twice the target is first cut
// quickly to twice the target, while the picture still has its own format, and only then
// turned to true colour: a picture huge in one direction (100,000 x 40) never takes more
// memory than it took decoded. The smooth step from there still averages each pixel shown
// over four.
QImage scaledSmoothly(const QImage& picture, QSize size);

} // namespace bootvane
