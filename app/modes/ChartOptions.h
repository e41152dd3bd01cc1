#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace Pomiar {

class PerUserSettings;

// The chart options as the per-user store keeps them, read into the values
// the chart uses. Nothing here needs a window.
struct ChartOptions {
    static inline const QString Section = QStringLiteral("Setup\\Wykres");
    static inline const QString KeyLiczba = QStringLiteral("Liczba");
    static inline const QString KeyLiczbaPom = QStringLiteral("LiczbaPom");
    static inline const QString KeyMax = QStringLiteral("Max");
    static inline const QString KeyMin = QStringLiteral("Min");
    static inline const QString KeyOYAuto = QStringLiteral("OYAuto");
    static inline const QString KeyOYMin = QStringLiteral("OYMin");
    static inline const QString KeyOYMax = QStringLiteral("OYMax");

    // Last-N mode: only the newest liczba readings with the two limit lines.
    bool ostatnie = false;
    int liczba = 0;
    double gorna = 0;
    double dolna = 0;
    // A fixed vertical range [osMin, osMax] unless automatic.
    bool osAuto = true;
    double osMin = 0;
    double osMax = 0;

    // Missing values chart all readings on an automatic axis; a count below
    // 1 and an empty or reversed fixed range fall back the same way, so no
    // stored text can leave the chart without data or axis.
    static ChartOptions Load(const PerUserSettings* settings);

    // Readings the series needs before the chart opens.
    int ReadingsNeeded() const { return ostatnie ? liczba : 2; }

    // A typed or stored number: commas and points both read as the decimal
    // point, as the fields took a comma whatever the desktop's language
    // before they took the locale's separator and a point.
    static double ParseNumber(const QString& text);
};

// What a number field of the options dialog takes besides digits (and the
// editing keys): nothing for the count; one decimal separator, the locale's
// or ".", for the limit lines; that and "-" for the fixed axis range.
enum class NumberField { Count, Limit, Range };
QString FieldCharacters(NumberField pole, const QLocale& locale);
// Whether typed text may go into a field that holds kept (its text without
// the selection the typing replaces).
bool TypedTextAccepted(NumberField pole, const QString& typed, const QString& kept,
                       const QLocale& locale);

// The texts of the options dialog as "&Zapisz" checks them.
struct ChartOptionFields {
    bool ostatnie = false;
    QString liczba, gorna, dolna;
    bool osAuto = true;
    QString osMin, osMax;
};

// The checks of "&Zapisz" in their order: the message to show (17, 18 or
// 19), 0 for a field left empty (nothing happens), nothing when the options
// may be saved. Fields the choices disable are not checked: a disabled field
// the user cannot fill must not keep the dialog from saving.
std::optional<int> CheckChartOptions(const ChartOptionFields& pola);

} // namespace Pomiar
