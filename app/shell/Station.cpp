#include "Station.h"

#include "LabServer.h"
#include "ProgramContext.h"

namespace Pomiar {

Station::Station(const ProgramContext& context, ProgramContext& storeContext)
    : context(context), linkHolder(std::make_unique<QObject>()), store(storeContext),
      engine(context, AcquisitionSession::CreateLink(linkHolder.get()), store) {}

Station::~Station() {
    // The feed lets go of the store before the store goes.
    StopLabFeed();
}

void Station::StartLabFeed() {
    labFeed = LabServer::Start(LabServerSettings::Read(context.IniPath(), context.settings.nrWagi),
                               MeasurementStore::WorkingDatabasePath(context.programFolder));
    if (labFeed)
        labFeed->Attach(store);
}

void Station::StopLabFeed() {
    labFeed.reset();
}

} // namespace Pomiar
