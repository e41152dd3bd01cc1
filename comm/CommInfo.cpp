#include <Mordal/CommInfo.h>

#include "PortRecords.h"
#include "SerialPortDevice.h"
#include "Utilities.h"

#include <cerrno>

namespace Mordal {

namespace Device = SerialPortDevice;
using namespace PortRecords;

namespace {

bool portIsMissing(int code) {
    return code == ENOENT || code == ENODEV || code == ENXIO;
}

} // namespace

CommInfo::CommInfo(QObject* parent) : QObject(parent) {}

PortCollection CommInfo::EnumAll() {
    PortCollection ports;
    for (int port = FirstPort; port <= LastPort; ++port) {
        const SimpleInfo info = SerialExist(static_cast<int16_t>(port));
        if (info.Exist)
            ports.append({QString::number(port), info});
    }
    return ports;
}

SimpleInfo CommInfo::SerialExist(int16_t CommPort) {
    SimpleInfo info;
    info.PortNumber = CommPort;
    int fd = -1;
    int code = Device::OpenExclusive(CommPort, fd);
    if (code == 0) {
        Device::LineState state;
        code = Device::ReadLineState(fd, state);
        COMMPROP prop = code == 0 ? SerialPortProperties() : COMMPROP{};
        // The port is free again before the host hears of it, so a handler
        // may open it at once.
        Device::Close(fd);
        if (code == 0) {
            info.Exist = true;
            emit SerialExist(CommPort, false, prop);
            return info;
        }
    }
    if (portIsMissing(code))
        return info;
    if (code == EBUSY) {
        info.Exist = true;
        info.IsBusy = true;
        COMMPROP none{};
        emit SerialExist(CommPort, true, none);
        return info;
    }
    SetLastSystemError(code);
    emit ErrMSG(CommPort, code, SystemMessageText(code));
    return info;
}

DCB_fBitFields CommInfo::GetDCBinfo(int32_t hDev) const {
    DCB dcb{};
    ReadDCB(hDev, dcb);
    return SplitFlags(dcb.fBitFields);
}

COMMPROP CommInfo::GetProperties(int32_t hDev) const {
    Device::LineState state;
    if (!IsTerminal(hDev) || Device::ReadLineState(hDev, state) != 0)
        return COMMPROP{};
    return SerialPortProperties();
}

bool CommInfo::SerialClose(int32_t hDev) {
    if (!IsTerminal(hDev)) {
        SetLastSystemError(hDev < 0 ? EBADF : ENOTTY);
        return false;
    }
    return Device::Close(hDev) == 0;
}

void CommInfo::About() {
    ShowLibraryVersion();
}

} // namespace Mordal
