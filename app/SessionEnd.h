#pragma once
// A request to end the program from outside (the session ending, `kill`,
// Ctrl+C in a terminal) closes the main window the way its close button
// does: the close warning still decides whether the program ends or goes on
// in the notification area. On Windows the window system delivers such a
// request to the window itself; elsewhere it comes as SIGTERM or SIGINT,
// turned here into a close on the GUI thread.
//
// The Firebird client answers those two signals by shutting its engines
// down, which would leave a backup or restore in progress, and the embedded
// engine with it, dead under the program's feet. That shutdown is refused;
// the ordinary end of the program shuts Firebird down as usual.

class QWidget;

// Installs the handling for the life of the process; `window` is the
// application's main window.
void CloseOnTerminationRequest(QWidget* window);
