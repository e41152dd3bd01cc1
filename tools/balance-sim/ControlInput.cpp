#include "ControlInput.h"

#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace BalanceSim {

ControlInput::ControlInput(int fd, QObject* parent) : QObject(parent), fd(fd) {
    if (::fcntl(fd, F_GETFD) < 0) {
        QTimer::singleShot(0, this, &ControlInput::Ended);
        return;
    }
    notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &ControlInput::ReadAvailable);
}

void ControlInput::ReadAvailable() {
    // One read per notice: the descriptor stays blocking because it may be
    // the terminal of the shell that started us.
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n > 0) {
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            emit LineReceived(line);
        }
        return;
    }
    notifier->setEnabled(false);
    if (!pending.isEmpty())
        emit LineReceived(std::exchange(pending, QByteArray()));
    emit Ended();
}

} // namespace BalanceSim
