#pragma once

#include "screenslots.h"

#include <QByteArray>
#include <QString>

namespace bootvane {

// The Windows folder when C:\MSDOS.SYS names none: where Windows 95 installs itself.
inline constexpr char defaultWindowsFolder[] = "C:\\Windows";

// What C:\MSDOS.SYS says of the screens: under [Options], whether Logo=0 switches the start-up
// screen off and which Windows shows them (WinVer=); under [Paths], the folder Windows is
// installed in (WinDir=, else WinBootDir=), where it looks for the Waiting and Shutoff screens.
// Bootvane only reads it; an absent or unreadable file says nothing.
struct MsdosSys {
    bool startupScreenOff = false;
    QString windows = QLatin1String(defaultWindows);
    // "C:\WIN95" as a DOS path on drive C, upper case as DOS keeps it; the default spelt as above.
    QString windowsFolder = QLatin1String(defaultWindowsFolder);
    // Why the folder MSDOS.SYS names cannot be the one Bootvane writes to (on another drive, or no
    // name DOS takes), or empty. Then nobody can say where Windows looks for its screens.
    QString windowsFolderProblem;
};

MsdosSys parseMsdosSys(const QByteArray& text);

// The DOS path of a file in the folder, "C:\WIN95" and "logow.sys" giving "C:\WIN95\logow.sys".
QString dosPathIn(const QString& folder, const QString& name);

} // namespace bootvane
