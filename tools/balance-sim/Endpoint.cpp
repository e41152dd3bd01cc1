#include "Endpoint.h"

#include "BalanceModel.h"
#include "EscapeText.h"

#include <cmath>
#include <cstdio>

namespace BalanceSim {

Endpoint::Endpoint(const QString& name, BalanceModel& model, ReplyScript& script,
                   const Behaviour& behaviour, const Dialect& dialect, QObject* parent)
    : QObject(parent), name(name), model(model), script(script), behaviour(behaviour),
      dialect(dialect), session(std::make_unique<Session>(model, script, behaviour, dialect)) {
    clock.start();
    flushTimer.setSingleShot(true);
    flushTimer.setTimerType(Qt::PreciseTimer);
    streamTimer.setTimerType(Qt::PreciseTimer);
    connect(&flushTimer, &QTimer::timeout, this, &Endpoint::Flush);
    connect(&streamTimer, &QTimer::timeout, this, &Endpoint::Stream);
    SetRate(10.0);
}

Endpoint::~Endpoint() = default;

void Endpoint::Send(const QByteArray& bytes) {
    if (!HasClient())
        return;
    queue.Push(clock.elapsed(), 0, bytes);
    Flush();
}

void Endpoint::SetRate(double linesPerSecond) {
    streamTimer.setInterval(std::max(1, int(std::lround(1000.0 / linesPerSecond))));
}

void Endpoint::Receive(const QByteArray& bytes) {
    Log("<-", bytes);
    const qint64 now = clock.elapsed();
    for (const TimedOutput& output : session->Receive(bytes))
        queue.Push(now, output.afterMs, output.bytes);
    FollowContinuousState();
    Flush();
}

void Endpoint::StartConversation() {
    session = std::make_unique<Session>(model, script, behaviour, dialect);
    queue.Clear();
    flushTimer.stop();
    streamTimer.stop();
    FollowContinuousState();
}

void Endpoint::Flush() {
    const qint64 now = clock.elapsed();
    const QByteArray due = queue.TakeDue(now);
    if (!due.isEmpty()) {
        Log("->", due);
        Write(due);
    }
    if (const auto next = queue.NextDue())
        flushTimer.start(int(std::max<qint64>(0, *next - now)));
}

void Endpoint::Stream() {
    if (!HasClient())
        return;
    queue.Push(clock.elapsed(), 0, session->StreamLine());
    Flush();
}

void Endpoint::FollowContinuousState() {
    const bool streaming = session->IsContinuous() || model.IsAutoPrint();
    if (streaming && !streamTimer.isActive())
        streamTimer.start();
    else if (!streaming)
        streamTimer.stop();
}

void Endpoint::Log(const char* direction, const QByteArray& bytes) const {
    if (!logging)
        return;
    std::fprintf(stderr, "%s %s %s\n", qPrintable(name), direction,
                 EscapeText::Encode(bytes).constData());
    std::fflush(stderr);
}

} // namespace BalanceSim
