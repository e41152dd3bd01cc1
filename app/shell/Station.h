#pragma once

#include "AcquisitionSession.h"
#include "MeasurementStore.h"

#include <QObject>
#include <memory>

namespace Pomiar {

class LabServer;
struct ProgramContext;

// One measuring station assembled without windows: the library's link
// control, the store, the acquisition engine that alone owns the link, and
// the feed of the shared lab database. The program's window, trevalo and
// the benchmarks each build one and drive its engine.
class Station {
public:
    // context: the run's settings, read by the engine. storeContext: where
    // the store keeps its working database (trevalo keeps a series of its
    // own apart from the program's); both outlive the station.
    Station(const ProgramContext& context, ProgramContext& storeContext);
    explicit Station(ProgramContext& context) : Station(context, context) {}
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    AcquisitionSession& Engine() { return engine; }
    MeasurementStore& Store() { return store; }

    // Starts feeding the lab database from the store when the run's
    // settings switch it on (after the store opened); the queue is kept in
    // the run's working database. Throws SettingsError for a setting that
    // is not valid, DatabaseError when the queue cannot be opened.
    void StartLabFeed();
    // Stops the feed; what is queued stays for the next start.
    void StopLabFeed();
    // Null while the feed is off.
    LabServer* LabFeed() const { return labFeed.get(); }

private:
    const ProgramContext& context;
    // The parent of the link control the library creates.
    std::unique_ptr<QObject> linkHolder;
    MeasurementStore store;
    AcquisitionSession engine;
    std::unique_ptr<LabServer> labFeed;
};

} // namespace Pomiar
