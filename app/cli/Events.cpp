#include "Events.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace Trevalo::Events {

namespace {

int wakePipe[2] = {-1, -1};
bool interrupted = false;

void OnSignal(int) {
    const char byte = 1;
    // Nothing else is safe in a signal handler; a full pipe already wakes.
    [[maybe_unused]] const auto written = ::write(wakePipe[1], &byte, 1);
}

} // namespace

bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    bool expired = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&expired] { expired = true; });
    if (timeoutMs >= 0)
        deadline.start(timeoutMs);
    bool result = done();
    while (!result && !expired) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        result = done();
    }
    return result;
}

void CatchInterrupts() {
    if (wakePipe[0] >= 0)
        return;
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char bytes[16];
        while (::read(wakePipe[0], bytes, sizeof bytes) > 0) {
        }
        interrupted = true;
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
    return interrupted;
}

} // namespace Trevalo::Events
