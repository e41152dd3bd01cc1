#pragma once

#include "CommInfoTypes.h"
#include "MordalExport.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

namespace Mordal {

// The existing ports, keyed by the port number in decimal, in ascending
// port order ("2" before "10"), as a caller filling a list expects.
using PortCollection = QList<QPair<QString, SimpleInfo>>;

// Lists the serial ports of the machine and whether they are free, and reads
// the settings and capabilities of a port someone holds open. A handle
// (hDev) is the port's file descriptor.
//
// The event SerialExist shares its name with the method; connect to it as
// qOverload<int16_t, bool, Mordal::COMMPROP&>(&CommInfo::SerialExist).
class MORDAL_EXPORT CommInfo : public QObject {
    Q_OBJECT
public:
    static constexpr int FirstPort = 1;
    static constexpr int LastPort = 256;

    explicit CommInfo(QObject* parent = nullptr);

    // Tries every port from 1 to 256 in turn, opening and closing each
    // device on the caller's thread, so it blocks for as long as up to 256
    // opens take. The events of SerialExist are raised along the way.
    PortCollection EnumAll();

    // Opens the port to learn whether it exists and is free, and closes it
    // again. A free port raises SerialExist with its properties, a busy one
    // SerialExist with empty properties; an open that fails for any reason
    // but absence, and a device that is no terminal, raise ErrMSG; a missing
    // port raises nothing.
    SimpleInfo SerialExist(int16_t CommPort);

    // The port's flags; all clear (Binary too, which an open port always
    // has) when hDev is no serial port.
    DCB_fBitFields GetDCBinfo(int32_t hDev) const;
    // All zero when hDev is no serial port.
    COMMPROP GetProperties(int32_t hDev) const;
    // Closes hDev when it is a terminal device; any other descriptor is
    // left alone, so a wrong number cannot close someone else's file.
    bool SerialClose(int32_t hDev);

    void About();

signals:
    void SerialExist(int16_t CommPort, bool IsBusy, Mordal::COMMPROP& Prop);
    void ErrMSG(int16_t PORTNR, int32_t ERRNR, const QString& Description);
};

} // namespace Mordal
