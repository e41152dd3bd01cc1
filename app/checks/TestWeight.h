#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>

namespace Pomiar {

// A test weight of the register.
struct TestWeight {
    QString id;
    double nominal = 0;
    // The certificate's conventional mass (what the balance should show).
    double conventionalMass = 0;
    QString unit = QStringLiteral("g");
    // OIML class, "E1" ... "M3"; empty when not classed.
    QString weightClass;
    QString certificate;
    std::optional<QDate> certificateDue;
    // The certificate's expanded uncertainty (or the class's maximum
    // permissible error), in the unit; unset when unknown.
    std::optional<double> uncertainty;

    // Past its certificate's due date on that day: it may still be chosen,
    // with a warning the record keeps.
    bool PastDue(const QDate& on) const { return certificateDue && on > *certificateDue; }
    static const QStringList& Classes();
    bool operator==(const TestWeight&) const = default;
};

} // namespace Pomiar
