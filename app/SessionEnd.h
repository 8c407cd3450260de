#pragma once
// A request to end the program from outside (the session ending, `kill`,
// Ctrl+C in a terminal) closes the main window the way its close button
// does: the close warning still decides whether the program ends or goes on
// in the notification area. On Windows the window system delivers such a
// request to the window itself; elsewhere it comes as SIGTERM or SIGINT,
// turned here into a close on the GUI thread.
//
// The Firebird client has handlers of its own for those two signals: it
// tries to shut its engines down, which would leave a backup or restore in
// progress dead under the program's feet, and even when that is refused the
// embedded engine can no longer detach at the end (the program never ends).
// So the signals are held in every thread and read from a descriptor
// instead: the client never sees them. The ordinary end of the program shuts
// Firebird down as usual.

class QWidget;

// Blocks the two signals in the calling thread and in every thread it
// starts later; call first thing in main, before any thread exists.
void HoldTerminationSignals();

// Installs the handling for the life of the process; `window` is the
// application's main window.
void CloseOnTerminationRequest(QWidget* window);
