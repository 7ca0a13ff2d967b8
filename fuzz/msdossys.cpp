// C:\MSDOS.SYS of a drive or disk image: an INI file whose [Options] tell whether the
// start-up screen is off and which Windows shows the screens.

#include "msdossys.h"

#include "support.h"

#include <QStringList>

using namespace bootvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const MsdosSys facts = parseMsdosSys(fuzz::inputBytes(data, size));
    // The name goes into the one line of a built-in screen's text.
    FUZZ_REQUIRE(!facts.windows.isEmpty() && !facts.windows.contains(QLatin1Char('\n')));
    // The Windows folder becomes a path on drive C that mtools and the folder drive follow: it
    // may never climb out, name another drive or hold a wildcard.
    const QString& folder = facts.windowsFolder;
    FUZZ_REQUIRE(folder.startsWith(QLatin1String("C:\\")) && folder.size() > 3);
    for (const QString& name : folder.mid(3).split(QLatin1Char('\\'))) {
        FUZZ_REQUIRE(!name.isEmpty() && name != QLatin1String(".") && name != QLatin1String(".."));
        FUZZ_REQUIRE(!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?')) &&
                     !name.contains(QLatin1Char('/')));
    }
    return 0;
}
