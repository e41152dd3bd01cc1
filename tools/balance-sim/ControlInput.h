#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace BalanceSim {

// Lines of control commands arriving on a file descriptor (standard input).
class ControlInput : public QObject {
    Q_OBJECT
public:
    explicit ControlInput(int fd, QObject* parent = nullptr);

signals:
    void LineReceived(const QByteArray& line);
    void Ended();

private:
    void ReadAvailable();

    int fd;
    QByteArray pending;
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace BalanceSim
