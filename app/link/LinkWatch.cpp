#include "LinkWatch.h"

#include "Mordal.h"

#include <QFileInfo>

#include <cerrno>

namespace Pomiar {

using Mordal::enCommSource;

QString LinkWatch::LinkName() const {
    if (!comm)
        return {};
    switch (comm->CommSource()) {
    case enCommSource::Serial: {
        const int port = comm->SerialPort();
        if (Mordal::PortNames::ShownDevicePath(port).isEmpty() &&
            lastOpenLink.startsWith(QStringLiteral("COM%1 (").arg(port)))
            return lastOpenLink;
        return Mordal::PortNames::DisplayName(port);
    }
    case enCommSource::TCP:
        return comm->NetRemoteHost() + QLatin1Char(':') + QString::number(comm->NetRemotePort());
    default:
        return {};
    }
}

QString LinkWatch::FailureText(int number, const QString& description, const Texts& texts) const {
    const QString link = LinkName();
    QString text = link.isEmpty() ? description : link + QStringLiteral(": ") + description;
    if (number == EACCES && comm && comm->CommSource() == enCommSource::Serial) {
        const QString device = Mordal::PortNames::ShownDevicePath(comm->SerialPort());
        const QString group = QFileInfo(device).group();
        text +=
            QStringLiteral("\r\n") +
            texts.permissionRemedy.arg(group.isEmpty() ? QStringLiteral("dialout") : group, device);
    }
    return text;
}

QString LinkWatch::StatusText(bool retrying, const Texts& texts) const {
    const QString link = LinkName();
    if (link.isEmpty())
        return texts.notConnected;
    const bool open = comm && comm->CommOpen();
    const QString state = open       ? texts.connected
                          : retrying ? texts.retrying.arg(RetryIntervalMs() / 1000)
                                     : texts.notConnected;
    return link + QStringLiteral(": ") + state;
}

void LinkWatch::Reported(bool open) {
    if (!open)
        return;
    toldOutageOf.clear();
    lastOpenLink = LinkName();
}

bool LinkWatch::FirstFailureOfOutage() {
    const QString link = LinkName();
    if (toldOutageOf == link && !link.isNull())
        return false;
    toldOutageOf = link;
    return true;
}

int LinkWatch::RetryIntervalMs() const {
    return comm && comm->CommSource() == enCommSource::TCP ? TcpRetryMs : SerialRetryMs;
}

} // namespace Pomiar
