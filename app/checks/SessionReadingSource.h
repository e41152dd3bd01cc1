#pragma once

#include "CheckReadingSource.h"

#include <QMetaObject>
#include <QTimer>

namespace Pomiar {

class AcquisitionSession;
class MeasurementStore;

// A check's readings through the one acquisition engine: a stable request
// in the balance's own family, the reply read and accepted on the engine's
// road, the value taken from the finished row the store received. The
// unstable switch is held off while the source lives. The reading joins the
// series of the store the engine was given, as every reading the engine
// takes does: trevalo gives it a series of the run's own; a window that
// keeps check readings out of the working series gives the check an
// engine over a store of its own.
class SessionReadingSource : public CheckReadingSource {
    Q_OBJECT
public:
    SessionReadingSource(AcquisitionSession& session, MeasurementStore& store, int timeoutMs,
                         QObject* parent = nullptr);
    ~SessionReadingSource() override;

    void RequestStable() override;
    void Abandon() override;

private:
    void onReplyHandled(bool taken, int outcome, const QByteArray& frame);
    void fail(const QString& reason);
    void stop();

    AcquisitionSession& session;
    MeasurementStore& store;
    int timeoutMs;
    bool waiting = false;
    bool restoreUnstable = false;
    int rowsBefore = 0;
    QTimer timeout;
    QMetaObject::Connection replied;
};

} // namespace Pomiar
