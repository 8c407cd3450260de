#pragma once
// The application's general error report and the hourglass cursor.

#include <QString>

#include <exception>
#include <utility>

namespace platform {

// The report of an error that an operation does not handle: an error box
// titled with the application's title whose text is the message, with a full
// stop appended when its last character comes after "." in code order.
QString UnhandledErrorText(const QString& message);
void ReportUnhandledError(const QString& message);
void ReportUnhandledError(const std::exception& error);

// Runs an event handler; an error it does not handle ends it and is shown
// by the general error report, so that no exception reaches the event loop.
template <typename Handler>
void Guarded(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        ReportUnhandledError(error);
    }
}

// Shows the hourglass cursor for its lifetime; the destructor restores the
// previous cursor on every way out, errors included.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool active_;  // a cursor was set: there was a GUI application
};

}  // namespace platform
