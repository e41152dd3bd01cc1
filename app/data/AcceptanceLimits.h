#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace Pomiar {

// The acceptance limits as the main window's switches and fields hold them.
struct AcceptanceLimits {
    bool minOn = false;
    QString minText = QStringLiteral("0");
    bool maxOn = false;
    QString maxText = QStringLiteral("0");

    // The limit filter: the minimum first, then the maximum.
    bool Outside(const QString& valueText, const QLocale& locale) const;
    // The numbers the limit filter compares with, none for a limit that is
    // off: a value below the lower or above the upper one is outside.
    std::optional<double> Lower() const;
    std::optional<double> Upper() const;
    bool operator==(const AcceptanceLimits&) const = default;

    // The switches and values as the statistics panel keeps them in
    // ustawienia.ini ("min", "wart_min", "max", "wart_max"); a value only
    // when its switch is on.
    static AcceptanceLimits Stored(const QString& iniPath, const QLocale& locale);
};

} // namespace Pomiar
