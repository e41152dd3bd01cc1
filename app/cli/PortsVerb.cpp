#include "Invocation.h"
#include "VerbSupport.h"
#include "Verbs.h"

#include <Mordal/CommInfo.h>
#include <Mordal/ControlFactory.h>
#include <Mordal/PortNames.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <memory>

namespace Trevalo {

// The ports the communication source dialog lists: every port that exists,
// free or held by someone.
int RunPorts(const Invocation& run) {
    std::unique_ptr<QObject> control(
        Mordal::CreateControl(QString::fromLatin1(Mordal::CommInfoTypeName)));
    auto* info = qobject_cast<Mordal::CommInfo*>(control.get());
    if (!info)
        return Fail(LinkFailed, QStringLiteral("the communication library offers no CommInfo"));
    const Mordal::PortCollection ports = info->EnumAll();
    if (run.json) {
        QJsonArray list;
        for (const auto& [key, port] : ports)
            list.append(QJsonObject{
                {QStringLiteral("port"), port.PortNumber},
                {QStringLiteral("device"), Mordal::PortNames::ShownDevicePath(port.PortNumber)},
                {QStringLiteral("busy"), port.IsBusy}});
        std::fputs(QJsonDocument(list).toJson(QJsonDocument::Indented).constData(), stdout);
        return Success;
    }
    for (const auto& [key, port] : ports)
        std::printf("COM%d\t%s\t%s\n", port.PortNumber,
                    qPrintable(Mordal::PortNames::ShownDevicePath(port.PortNumber)),
                    port.IsBusy ? "busy" : "free");
    return Success;
}

} // namespace Trevalo
