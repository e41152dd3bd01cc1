#pragma once

#include <QString>

namespace Pomiar {

// The smallest net a reading may have and still be fit for use: SF * m_min,
// where m_min comes from the last repeatability check of the balance that
// passed and SF is the lab's safety factor. Whether a reading lies below it
// is decided here and nowhere else; the acceptance of a reading asks Judge,
// and what it answers is kept with the reading (its status), its journal
// entry, the export, the printed report and the lab database.
struct MinimumWeightRule {
    // What a reading below the limit is marked with in the status column.
    static constexpr const char* Mark = "<m";

    double minimumWeight = 0; // m_min = 2000 * s_used
    double safetyFactor = 2;
    QString unit = QStringLiteral("g");
    // Refuse such readings instead of marking them.
    bool refuse = false;
    // The check the limit comes from, for the journal and the report.
    QString checkId;

    double Limit() const { return safetyFactor * minimumWeight; }

    enum class Verdict { Fit, Below, Refused };
    // A net reading of mass in unit: below the limit when its magnitude is
    // (weighing by difference gives negative nets). A unit that cannot be
    // brought to the limit's unit ("%", "pcs") is not judged: Fit.
    Verdict Judge(double mass, const QString& readingUnit) const;

    // The factor that turns a mass in unit `from` into unit `to`; 0 when
    // one of them is no mass unit.
    static double UnitFactor(const QString& from, const QString& to);

    // The data of the journal entry that puts a limit in force (or, with
    // none, lifts it).
    QByteArray JournalData() const;

    bool operator==(const MinimumWeightRule&) const = default;
};

} // namespace Pomiar
