// C:\MSDOS.SYS of a drive or disk image: an INI file whose [Options] tell whether the
// start-up screen is off and which Windows shows the screens.

#include "support.h"
#include "systemscreens.h"

using namespace bootvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const MsdosSys facts = parseMsdosSys(fuzz::inputBytes(data, size));
    // The name goes into the one line of a built-in screen's text.
    FUZZ_REQUIRE(!facts.windows.isEmpty() && !facts.windows.contains(QLatin1Char('\n')));
    return 0;
}
