#pragma once

#include "LabServerSettings.h"

#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QWaitCondition>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThread;

namespace Pomiar {

// What the status bar shows of the lab database.
struct LabServerStatus {
    enum class State { Connecting, Connected, Failed };
    State state = State::Connecting;
    // Why the server cannot be reached, as libpq or the server put it.
    QString reason;
    // Readings stored here and not yet committed on the server.
    int queued = 0;
};

// Ships the outbox of the working database to the lab database on a thread
// of its own with connections of its own, so that acquisition never waits
// on the network. Each batch is one server transaction of idempotent
// upserts keyed by (station, series, lp), and (station, seq) for the
// journal: repeated after a lost
// acknowledgement it changes nothing. Rows leave the outbox only after the
// server committed them, oldest first, so the order is kept.
class LabServerSender : public QObject {
    Q_OBJECT
public:
    struct Timing {
        int idleMs = 100;     // how often an empty outbox is looked at again
        int retryMs = 2000;   // how soon a lost server is tried again
        int batchRows = 2000; // outbox rows per server transaction
    };

    LabServerSender(const LabServerSettings& settings, const QString& workingDatabasePath,
                    Timing timing, QObject* parent = nullptr);
    LabServerSender(const LabServerSettings& settings, const QString& workingDatabasePath,
                    QObject* parent = nullptr);
    // Stops the thread; what is queued stays for the next start.
    ~LabServerSender() override;

    void Start();
    // Stops after the batch in progress (bounded by libpq's time-outs).
    void Stop();

    LabServerStatus Status() const;

    // Called on the sender's thread after each commit with the Lp of the
    // readings the server took in it (for the benchmarks' latency figures).
    std::function<void(const std::vector<int>& lps)> committed;

signals:
    // The state or the number of queued readings changed.
    void StatusChanged(const Pomiar::LabServerStatus& status);
    // The server cannot be reached or refuses what is sent: told once for
    // each cause (the reason) met on two attempts in a row, not at every
    // retry, until the cause changes or the server took readings again.
    void Failed(const Pomiar::LabServerStatus& status);

private:
    class Worker;
    struct Pass;
    // What one pass of the worker did.
    enum class PassResult { Sent, Idle, Failed };

    void run();
    bool stopRequested();
    // One pass: the outbox opened, the server connected, the oldest batch
    // sent and taken out of the outbox. Failed leaves the reason in pass.
    PassResult sendOnce(Pass& pass);
    bool openOutbox(Pass& pass);
    bool connectServer(Pass& pass);
    bool readBatch(Pass& pass);
    bool sendBatch(Pass& pass);
    bool dropSent(Pass& pass);
    // Every failure ends in the same place: the server connection is
    // dropped, the rows stay queued and the server is tried again later.
    // False when the sender was stopped meanwhile.
    bool retryLater(Pass& pass);
    // The server takes what there is: a failure after this is news again,
    // even with a cause told before.
    void worked();
    bool waitOrStop(int ms);
    void publish(LabServerStatus::State state, const QString& reason, int queued);

    LabServerSettings settings;
    QString workingPath;
    Timing timing;
    QThread* thread = nullptr;
    mutable QMutex mutex;
    QWaitCondition wake;
    bool stopping = false;
    LabServerStatus status;
    // Since the server last took what there was: the reason of the last
    // failed attempt, and the one told last.
    std::optional<QString> lastFailure;
    std::optional<QString> told;
};

} // namespace Pomiar

Q_DECLARE_METATYPE(Pomiar::LabServerStatus)
