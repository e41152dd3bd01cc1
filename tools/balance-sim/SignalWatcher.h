#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace BalanceSim {

// Turns SIGINT and SIGTERM into a signal on the event loop, so the program
// ends through its destructors and removes what it published.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void Caught(int signalNumber);

private:
    void Drain();

    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace BalanceSim
