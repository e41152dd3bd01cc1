#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace Pomiar {

// Where a check's readings come from: one stable reading per request. The
// program and trevalo give it the acquisition engine (SessionReadingSource);
// tests a scripted one.
class CheckReadingSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Asks for one stable reading; answered by ReadingArrived or
    // ReadingFailed, once.
    virtual void RequestStable() = 0;
    // Forgets a request still open: its answer is not signalled.
    virtual void Abandon() = 0;

signals:
    void ReadingArrived(double value, const QString& unit, const QByteArray& frame);
    void ReadingFailed(const QString& reason);
};

} // namespace Pomiar
