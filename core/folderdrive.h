#pragma once

#include <QString>

namespace bootvane {

// Turns a DOS path on drive C ("C:\Windows\logow.sys") into the file it names here. On
// Windows that is the path itself. Elsewhere drive C is where Wine maps it: the folder that
// $WINEPREFIX/dosdevices/c: points to (WINEPREFIX defaults to ~/.wine). Each name below the
// drive is matched without regard to case, as DOS does, so "c:\windows\logow.sys" reaches
// WINDOWS/LOGOW.SYS on a mounted disk, and a file about to be written replaces the one that
// is there in whatever case it is spelt. Throws when drive C is not mapped.
QString driveCPath(const QString& dosPath);

// The link that maps drive C ($WINEPREFIX/dosdevices/c:); empty on Windows.
QString driveCLink();

} // namespace bootvane
