#pragma once

#include "LabServerOutbox.h"
#include "LabServerSender.h"
#include "LabServerSettings.h"

#include <memory>

namespace Pomiar {

// The lab database as one run of the program uses it: the outbox the store
// queues into and the sender that empties it.
struct LabServer {
    LabServer(const LabServerSettings& settings, const QString& workingDatabasePath);

    // Nothing when the settings leave the lab database off: then nothing is
    // queued and no connection is ever attempted. Otherwise the sender is
    // running, beginning with what an earlier run left queued.
    static std::unique_ptr<LabServer> Start(const LabServerSettings& settings,
                                            const QString& workingDatabasePath);

    LabServerOutbox outbox;
    LabServerSender sender;
};

} // namespace Pomiar
