#pragma once

#include "screenslots.h"

#include <QFont>
#include <QImage>

namespace bootvane {

// A slot whose system file is absent is no error: Windows 95 then uses a screen of its own.
// Bootvane shows a placeholder for it, drawn here, that says so. It is never written to a
// file: applying it means removing the system file.
// windows names the Windows that will show the screen. folder names a folder that stands
// where the system file would be ("C:\\LOGO.SYS"), which Windows does not take for the file.
QImage builtInScreen(const ScreenSlot& slot, const QString& windows = QLatin1String(defaultWindows),
                     const QString& folder = QString());

// The sans-serif font that text drawn on a screen is set in, pixelSize pixels high.
QFont screenTextFont(int pixelSize, bool bold);

// Whether picture is such a placeholder.
bool isBuiltInScreen(const QImage& picture);

// The folder that stands where the placeholder's file would be, or "".
QString folderInPlace(const QImage& picture);

// The key under which a placeholder names its slot; no picture read from a file has it.
inline constexpr char builtInScreenKey[] = "Bootvane.BuiltInScreen";

} // namespace bootvane
