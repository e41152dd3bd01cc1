#pragma once

#include <QString>

namespace Pomiar {

// A balance of the register.
struct RegisteredBalance {
    QString id;
    // As detection found them where the family answers them, else typed.
    QString model;
    QString serialNumber;
    double capacity = 0;
    // Scale interval (readability).
    double d = 0;
    QString unit = QStringLiteral("g");
    // The station (Nr_wagi) it is read at, when it has one.
    QString station;
    bool operator==(const RegisteredBalance&) const = default;
};

} // namespace Pomiar
