#pragma once

#include "OutputQueue.h"
#include "Session.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace BalanceSim {

class BalanceModel;
class Dialect;
class ReplyScript;
struct Behaviour;

// One place where the instrument can be reached. It owns the conversation
// with its client and the timing of everything it sends; subclasses only
// move bytes.
class Endpoint : public QObject {
    Q_OBJECT
public:
    Endpoint(const QString& name, BalanceModel& model, ReplyScript& script,
             const Behaviour& behaviour, const Dialect& dialect, QObject* parent = nullptr);
    ~Endpoint() override;

    QString Name() const { return name; }
    void SetLogging(bool on) { logging = on; }
    virtual bool HasClient() const = 0;

    // Sends bytes behind whatever is already waiting; without a client they
    // are lost, as on a line nobody listens to.
    void Send(const QByteArray& bytes);
    void SetRate(double linesPerSecond);
    // Streams while the client asked for it or the balance prints on its own.
    void FollowContinuousState();

protected:
    void Receive(const QByteArray& bytes);
    // A new client starts with continuous transmission off and nothing
    // left over from the previous one.
    void StartConversation();
    virtual void Write(const QByteArray& bytes) = 0;
    void Log(const char* direction, const QByteArray& bytes) const;

private:
    void Flush();
    void Stream();

    QString name;
    BalanceModel& model;
    ReplyScript& script;
    const Behaviour& behaviour;
    const Dialect& dialect;
    std::unique_ptr<Session> session;
    OutputQueue queue;
    QElapsedTimer clock;
    QTimer flushTimer;
    QTimer streamTimer;
    bool logging = false;
};

} // namespace BalanceSim
