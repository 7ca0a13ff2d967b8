#include "picturememory.h"

#include <QImageReader>
#include <cstdlib> // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace bootvane {

void keepPictureMemoryAtHand()
{
#if defined(__GLIBC__)
    constexpr int fromTheSystemAbove = 4 * 1024 * 1024;
    constexpr int keptAtMost = 16 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, fromTheSystemAbove);
    mallopt(M_TRIM_THRESHOLD, keptAtMost);
#endif
}

void allowLargePictures()
{
    QImageReader::setAllocationLimit(256);
}

} // namespace bootvane
