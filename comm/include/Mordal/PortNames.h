#pragma once

#include "MordalExport.h"

#include <QString>

// How a serial port is shown to a user: the port number n of the links
// together with the device behind it.
namespace Mordal::PortNames {

// The device a user knows the port by: where the port folder's entry
// "COM<n>" points, else the device of the system's fixed table. Empty when
// neither names a device.
MORDAL_EXPORT QString ShownDevicePath(int port);

// "COM<n> (<path>)", with "-" for a port that names no device.
MORDAL_EXPORT QString DisplayName(int port);

} // namespace Mordal::PortNames
