#include "support.h"

#include "picturememory.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace bootvane::fuzz {

void startApplicationOnce()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "bootvane-fuzz";
    static char* argv[] = {name, nullptr};
    allowLargePictures();
    // Never destroyed: inputs run until the process ends.
    new QCoreApplication(argc, argv);
}

void propertyFailed(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
    std::abort();
}

} // namespace bootvane::fuzz
