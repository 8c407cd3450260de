#pragma once
// What the program needs to know of the desktop session it runs in: which
// window system to use, and what kind of notification area takes its icon.

namespace platform {

// In a Wayland session with XWayland, and unless the operator has chosen a
// Qt platform, the program runs as an X11 client: only there do the
// operator's windows keep what it asks of them (the error window of an
// unattended run above the others, the main window centred, a minimise
// that the program notices). Called before QApplication exists; true when
// it chose, so that the choice can be kept from the programs it starts.
bool ChooseWindowSystem();

// Whether the notification area draws the icon's menu itself, beside the
// icon: a StatusNotifierItem host (KDE Plasma, GNOME's AppIndicator
// extension, XFCE, waybar; the usual kind on Wayland) reads the items of
// the icon's exported menu over the session bus. An XEmbed area (X11)
// leaves the menu to the program. Qt picks the kind for the whole process
// the first time it looks for a notification area, by this same test; this
// answer is fixed at its first call too, so it is asked just before Qt
// looks.
bool HostDrawsTrayMenu();

}  // namespace platform
