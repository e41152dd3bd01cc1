#include "LabServer.h"

#include <QFileInfo>

namespace Pomiar {

LabServer::LabServer(const LabServerSettings& settings, const QString& workingDatabasePath)
    : outbox(workingDatabasePath, settings.station), sender(settings, workingDatabasePath) {}

LabServer::~LabServer() {
    Detach();
}

std::unique_ptr<LabServer> LabServer::Start(const LabServerSettings& settings,
                                            const QString& workingDatabasePath) {
    if (!settings.enabled)
        return nullptr;
    auto server = std::make_unique<LabServer>(settings, workingDatabasePath);
    server->sender.Start();
    return server;
}

void LabServer::Attach(MeasurementStore& store) {
    Detach();
    attached = &store;
    store.SetObserver(this);
}

void LabServer::Detach() {
    if (attached)
        attached->SetObserver(nullptr);
    attached = nullptr;
}

void LabServer::ReadingWritten(Database& database, const SeriesRow& row,
                               const std::optional<QDateTime>& seriesStart,
                               const QString& boundPath) {
    outbox.QueueReading(database, seriesStart, QFileInfo(boundPath).fileName(), row,
                        attached ? std::optional(attached->Limits()) : std::nullopt);
}

void LabServer::DescriptionWritten(int lp, const QString& opis) {
    outbox.QueueDescription(lp, opis);
}

void LabServer::ReportStored(const QString& report) {
    outbox.QueueReport(report);
}

void LabServer::JournalWritten(Database& database, const SeriesJournal::Entry& entry) {
    outbox.QueueJournal(database, entry);
}

} // namespace Pomiar
