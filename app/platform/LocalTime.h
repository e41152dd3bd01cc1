#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <ctime>

namespace Pomiar {

// Without TZ the C library looks at /etc/localtime again for every local
// time it converts, which dominates reading a long series. Naming the zone
// file once keeps the zone loaded; a TZ the user set is left alone.
inline void KeepTimeZoneLoaded() {
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    tzset();
}

} // namespace Pomiar
