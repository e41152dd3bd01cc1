#pragma once

#include "MordalExport.h"

#include <QObject>

namespace Mordal {

// Lists the serial ports of the machine and whether they are free.
class MORDAL_EXPORT CommInfo : public QObject {
    Q_OBJECT
public:
    explicit CommInfo(QObject* parent = nullptr);
};

} // namespace Mordal
