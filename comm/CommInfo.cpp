#include "CommInfo.h"

namespace Mordal {

CommInfo::CommInfo(QObject* parent) : QObject(parent) {}

} // namespace Mordal
