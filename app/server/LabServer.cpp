#include "LabServer.h"

namespace Pomiar {

LabServer::LabServer(const LabServerSettings& settings, const QString& workingDatabasePath)
    : outbox(workingDatabasePath, settings.station), sender(settings, workingDatabasePath) {}

std::unique_ptr<LabServer> LabServer::Start(const LabServerSettings& settings,
                                            const QString& workingDatabasePath) {
    if (!settings.enabled)
        return nullptr;
    auto server = std::make_unique<LabServer>(settings, workingDatabasePath);
    server->sender.Start();
    return server;
}

} // namespace Pomiar
