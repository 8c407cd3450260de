#include "app/SessionEnd.h"

#include <QPointer>
#include <QWidget>

#ifdef Q_OS_LINUX
#include <ibase.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace {

sigset_t TerminationSignals() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGINT);
    return held;
}

// Asked before the Firebird client shuts down; non-zero refuses.
int RefuseShutdownOnSignal(const int reason, const int /*mask*/, void* /*arg*/) {
    return reason == fb_shutrsn_signal ? 1 : 0;
}

}  // namespace

void HoldTerminationSignals() {
    const sigset_t held = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

void CloseOnTerminationRequest(QWidget* window) {
    static int descriptor = -1;
    if (descriptor >= 0) return;
    const sigset_t held = TerminationSignals();
    descriptor = ::signalfd(-1, &held, SFD_CLOEXEC | SFD_NONBLOCK);
    if (descriptor < 0) return;

    auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, window);
    QPointer<QWidget> target(window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [target] {
        signalfd_siginfo info{};
        while (::read(descriptor, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        if (target) target->close();
    });

    // Should a signal reach the Firebird client after all, its shutdown of
    // the engines is refused.
    ISC_STATUS status[20] = {};
    fb_shutdown_callback(status, RefuseShutdownOnSignal, fb_shut_confirmation, nullptr);
}

#else

void HoldTerminationSignals() {}
void CloseOnTerminationRequest(QWidget* /*window*/) {}

#endif
