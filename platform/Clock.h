#pragma once
// The local clock behind one small interface, so that the schedule trigger
// and the backup file stamps can be tried at chosen instants.

#include <QDateTime>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time.
    virtual QDateTime Now() const { return QDateTime::currentDateTime(); }
};

namespace detail {
inline Clock*& ClockInForce() {
    static Clock* clock = nullptr;
    return clock;
}
}  // namespace detail

// The clock in force: the system's clock unless a test set another.
inline Clock& CurrentClock() {
    static Clock system;
    Clock* clock = detail::ClockInForce();
    return clock != nullptr ? *clock : system;
}

// Replaces the clock in force (nullptr brings back the system's clock).
inline void SetClock(Clock* clock) { detail::ClockInForce() = clock; }

}  // namespace platform
