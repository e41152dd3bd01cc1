#pragma once

#include "LabServerOutbox.h"
#include "LabServerSender.h"
#include "LabServerSettings.h"
#include "MeasurementStore.h"

#include <memory>

namespace Pomiar {

// The lab database as one run of the program or of trevalo uses it: the
// outbox and the sender that empties it. Attached to a store, every reading
// it writes is queued in the same transaction, and so is every entry of the
// working database's journal; later descriptions and the reports kept with
// the series follow.
class LabServer : public StoreObserver {
public:
    LabServer(const LabServerSettings& settings, const QString& workingDatabasePath);
    ~LabServer() override;

    // Nothing when the settings leave the lab database off: then nothing is
    // queued and no connection is ever attempted. Otherwise the sender is
    // running, beginning with what an earlier run left queued.
    static std::unique_ptr<LabServer> Start(const LabServerSettings& settings,
                                            const QString& workingDatabasePath);

    // Feeds the lab database from store until detached or destroyed.
    void Attach(MeasurementStore& store);
    void Detach();

    LabServerOutbox outbox;
    LabServerSender sender;

private:
    void ReadingWritten(Database& database, const SeriesRow& row,
                        const std::optional<QDateTime>& seriesStart,
                        const QString& boundPath) override;
    void DescriptionWritten(int lp, const QString& opis) override;
    void ReportStored(const QString& report) override;
    void JournalWritten(Database& database, const SeriesJournal::Entry& entry) override;

    MeasurementStore* attached = nullptr;
};

} // namespace Pomiar
