#pragma once

#include <Mordal/CommEnums.h>

#include <QByteArray>
#include <QString>

namespace Mordal {

// The one face through which Comm drives a transport. The bodies here are the
// neutral answers of a transport that is not there: closed, nothing queued.
class IKavlin {
public:
    virtual ~IKavlin() = default;

    virtual bool CommOpen() const { return false; }
    virtual void SetCommOpen(bool /*value*/) {}
    virtual QByteArray InputData() { return {}; }
    virtual int InputCount() const { return 0; }
    virtual void OutputData(const QByteArray& /*text*/) {}
};

// What a transport calls back on the control that owns it.
class ITransportOwner {
public:
    virtual ~ITransportOwner() = default;

    virtual void RaiseError(int Number, const QString& Description, enCommSource Source) = 0;
    virtual void RaiseCommState() = 0;
};

} // namespace Mordal
