#pragma once

#include "SerialPortDevice.h"

#include <Mordal/CommInfoTypes.h>

#include <cstdint>

// The port information records of CommInfo, made from what the tty layer
// tells about a line.
namespace Mordal::PortRecords {

DCB_fBitFields SplitFlags(uint32_t fBitFields);
DCB DCBFromLineState(const SerialPortDevice::LineState& state);
// What a termios port can be set to; the current queue sizes are 0, as the
// tty layer does not tell them.
COMMPROP SerialPortProperties();
// 0 or the errno of the failure, as SerialPortDevice answers.
int ReadDCB(int fd, DCB& dcb);
bool IsTerminal(int fd);

} // namespace Mordal::PortRecords
