#pragma once

#include <array>

namespace bootvane {

// The three full-screen pictures of Windows 95. Everything done per screen walks this
// table, always in this order: Startup, Waiting, Shutoff.
struct ScreenSlot {
    const char* uiName;            // "Startup Screen"
    const char* suffix;            // ends the names of the slot's controls: imgCur<suffix>
    const char* setFileName;       // the slot's file inside a set folder
    const char* systemFileShown;   // the system file as the viewer and start-up name it
    const char* systemFileWritten; // the same file as apply, restore and the backup name it
    const char* caption;           // caption of the slot's file-name labels
    const char* selectTitle;       // title of the open-file dialog that chooses it
    // What Windows (%1: "Windows 95", "Windows 98") does when the system file is absent: it
    // has a start-up picture of its own, and for the other two it prints a line of text instead.
    const char* builtInBehaviour;
    bool cyclesColours; // Windows animates this screen by rotating part of its palette
};

inline constexpr std::array<ScreenSlot, 3> screenSlots{{
    {"Startup Screen", "Logo", "logo.sys", "c:\\logo.sys", "C:\\logo.sys", "Logo.sys",
     "Select a Startup Screen (Logo.sys)", "%1 shows its built-in start-up picture", true},
    {"Waiting Screen", "Logow", "logow.sys", "c:\\windows\\logow.sys", "C:\\Windows\\logow.sys",
     "Logow.sys", "Select a Waiting Screen (Logow.sys)", "%1 prints its own text instead", false},
    {"Shutoff Screen", "Logos", "logos.sys", "c:\\windows\\logos.sys", "C:\\Windows\\logos.sys",
     "Logos.sys", "Select a Shutoff Screen (Logos.sys)", "%1 prints its own text instead", false},
}};

inline constexpr int slotCount = int(screenSlots.size());

// The Windows that shows the screens, unless drive C says it is another.
inline constexpr char defaultWindows[] = "Windows 95";

} // namespace bootvane
