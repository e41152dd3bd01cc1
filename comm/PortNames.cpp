#include <Mordal/PortNames.h>

#include "SerialPortDevice.h"

#include <QFileInfo>

namespace Mordal::PortNames {

QString ShownDevicePath(int port) {
    const QString path = SerialPortDevice::DevicePath(port);
    const QFileInfo entry(path);
    return entry.isSymLink() ? entry.symLinkTarget() : path;
}

QString DisplayName(int port) {
    const QString path = ShownDevicePath(port);
    return QStringLiteral("COM%1 (%2)").arg(port).arg(path.isEmpty() ? QStringLiteral("-") : path);
}

} // namespace Mordal::PortNames
