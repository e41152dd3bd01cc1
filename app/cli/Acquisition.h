#pragma once

#include "BalanceProtocol.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ReadingOutput.h"

#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <vector>

namespace Trevalo {

class LinkSession;
struct Station;

// The road of a reading from the link to the store, as in the program: the
// protocol routes each frame, the reading handler (with the station's
// limits) turns a reply into a reading, the store appends it (through the
// cycle gate when one is set) or, in continuous transmission, the collected
// lines are stored at its end by the continuous line rule.
class Acquisition {
public:
    Acquisition(Station& station, LinkSession& link);
    ~Acquisition();

    // Where the readings go: a series of this run only, or a series file
    // (created empty when missing, else extended as the program's "Otworz"
    // does). False with the reason.
    bool UseTemporarySeries(QString* error);
    bool UseSeriesFile(const QString& path, QString* error);

    Pomiar::MeasurementStore& Store() { return store; }
    Pomiar::BalanceProtocol& Protocol() { return protocol; }

    // A frame handed to the reading handler and whether it became a reading
    // the store took.
    struct Reply {
        QByteArray frame;
        bool stored = false;
        // Not stored because the acceptance limits held the reading back.
        bool outsideLimits = false;
    };
    std::function<void(const Reply&)> replied;

    // Continuous transmission: on, the frames are collected; off, the
    // transmission is switched off, frames still on their way are collected
    // for a moment and every collected line is stored. False when fewer than
    // two lines came (nothing is stored then).
    void ContinuousOn();
    bool ContinuousOff();

    // The lines continuous transmission brought so far.
    int CollectedLines() const { return int(collectedStability.size()); }

    // The rows stored since the last call, as printed.
    std::vector<PrintedReading> NewReadings();

    // At the end of a run: writes the readings still waiting because the
    // file refused them (a full disk). False with how many could not be
    // written and why.
    bool StoreWaitingReadings(QString* failure);

private:
    void onFrame(const QByteArray& frame);
    void handleReading(const QByteArray& frame);
    void logError(const QString& error) const;

    Station& station;
    LinkSession& link;
    QTemporaryDir scratch;
    // The store's own program folder is scratch: a temporary series never
    // touches the program's working database.
    Pomiar::ProgramContext storeContext;
    Pomiar::MeasurementStore store;
    Pomiar::BalanceProtocol protocol;
    Pomiar::ContinuousBuffers buffers;
    bool continuous = false;
    // Stability of each reading the store took, oldest first, until printed.
    std::deque<bool> stability;
    // Stability of each collected line, by its place in the batch.
    std::vector<bool> collectedStability;
    int continuousFirstRow = -1;
    int printedRows = 0;
    // Why the store last refused readings.
    QString storeFailure;
};

} // namespace Trevalo
