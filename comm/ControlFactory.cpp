#include <Mordal/ControlFactory.h>

#include <Mordal/Comm.h>
#include <Mordal/CommInfo.h>

namespace Mordal {

QObject* CreateControl(const QString& typeName, QObject* parent) {
    if (typeName.compare(QLatin1String(CommTypeName), Qt::CaseInsensitive) == 0)
        return new Comm(parent);
    if (typeName.compare(QLatin1String(CommInfoTypeName), Qt::CaseInsensitive) == 0)
        return new CommInfo(parent);
    return nullptr;
}

} // namespace Mordal

QObject* Mordal_CreateControl(const char* typeName, QObject* parent) {
    return Mordal::CreateControl(QString::fromLatin1(typeName), parent);
}
