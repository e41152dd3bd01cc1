#include "SessionReadingSource.h"

#include "AcquisitionSession.h"
#include "MeasurementStore.h"
#include "SeriesModel.h"

namespace Pomiar {

SessionReadingSource::SessionReadingSource(AcquisitionSession& session, MeasurementStore& store,
                                           int timeoutMs, QObject* parent)
    : CheckReadingSource(parent), session(session), store(store), timeoutMs(timeoutMs) {
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("no reply within %1 s").arg(this->timeoutMs / 1000.0)); });
    // A check weighs stable values only.
    if (session.UnstableReadings()) {
        session.UnstableSwitch();
        restoreUnstable = true;
    }
}

SessionReadingSource::~SessionReadingSource() {
    stop();
    if (restoreUnstable && !session.UnstableReadings())
        session.UnstableSwitch();
}

void SessionReadingSource::RequestStable() {
    stop();
    waiting = true;
    rowsBefore = store.RowCount();
    replied = connect(&session, &AcquisitionSession::ReplyHandled, this,
                      [this](const AcquisitionSession::Reply& reply) {
                          onReplyHandled(reply.Taken(), int(reply.outcome), reply.frame);
                      });
    timeout.start(timeoutMs);
    session.OdpytajWage();
}

void SessionReadingSource::Abandon() {
    stop();
}

void SessionReadingSource::stop() {
    waiting = false;
    timeout.stop();
    disconnect(replied);
}

void SessionReadingSource::fail(const QString& reason) {
    if (!waiting)
        return;
    stop();
    emit ReadingFailed(reason);
}

void SessionReadingSource::onReplyHandled(bool taken, int outcome, const QByteArray& frame) {
    if (!waiting)
        return;
    if (!taken) {
        fail(QStringLiteral("no reading: %1 (%2)")
                 .arg(QString::fromLatin1(
                          AcquisitionSession::OutcomeName(AcquisitionSession::Outcome(outcome))),
                      ShownReply(frame)));
        return;
    }
    // The finished row the store received: the value as the road accepted it.
    if (store.RowCount() <= rowsBefore) {
        fail(QStringLiteral("the reading waits to be written: %1").arg(ShownReply(frame)));
        return;
    }
    const SeriesRow& row = store.Model().Row(store.RowCount() - 1);
    stop();
    emit ReadingArrived(row.masa, row.jm, frame);
}

} // namespace Pomiar
