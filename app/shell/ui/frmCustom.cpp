#include "frmCustom.h"

#include "Mordal.h"

namespace Pomiar {

frmCustom::frmCustom(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmCustom"));
    comm = qobject_cast<Mordal::Comm*>(Mordal::CreateControl(Mordal::CommTypeName, this));
    if (comm) {
        comm->setObjectName(QStringLiteral("Comm1"));
        Mordal::MemoryPropertyBag designed;
        comm->ReadProperties(designed);
    }
}

} // namespace Pomiar
