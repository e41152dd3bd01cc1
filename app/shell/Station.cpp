#include "Station.h"

#include "LabServer.h"
#include "ProgramContext.h"

#include <Mordal/Comm.h>
#include <Mordal/ControlFactory.h>
#include <Mordal/PropertyBag.h>

namespace Pomiar {

namespace {

// The run's one link control, with its designed properties; null only when
// the library cannot create it.
QObject* CreateLink(QObject* holder) {
    auto* link = qobject_cast<Mordal::Comm*>(
        Mordal::CreateControl(QString::fromLatin1(Mordal::CommTypeName), holder));
    if (link) {
        link->setObjectName(QStringLiteral("Comm1"));
        Mordal::MemoryPropertyBag designed;
        link->ReadProperties(designed);
    }
    return link;
}

} // namespace

Station::Station(const ProgramContext& context, ProgramContext& storeContext)
    : context(context), linkHolder(std::make_unique<QObject>()), store(storeContext),
      engine(context, qobject_cast<Mordal::Comm*>(CreateLink(linkHolder.get())), store) {}

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
