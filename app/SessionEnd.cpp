#include "app/SessionEnd.h"

#include <QPointer>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <ibase.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace {

// The signal handler may only write to a descriptor; the GUI thread reads
// the other end.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

// Asked before the Firebird client shuts down; non-zero refuses.
int RefuseShutdownOnSignal(const int reason, const int /*mask*/, void* /*arg*/) {
    return reason == fb_shutrsn_signal ? 1 : 0;
}

}  // namespace

void CloseOnTerminationRequest(QWidget* window) {
    if (g_signalPipe[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;

    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, window);
    QPointer<QWidget> target(window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [target] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_signalPipe[1], &byte, 1);
        if (target) target->close();
    });

    ISC_STATUS status[20] = {};
    fb_shutdown_callback(status, RefuseShutdownOnSignal, fb_shut_confirmation, nullptr);

    // Installed before the Firebird client first runs, which then passes the
    // signals on to this handler as well.
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

#else

void CloseOnTerminationRequest(QWidget* /*window*/) {}

#endif
