#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace Pomiar {

// The three checks a regulated lab runs on its balances.
enum class CheckKind { Repeatability, Accuracy, Eccentricity };
// Cancelled: the operator stopped the check before its last reading; the
// record says so and judges nothing.
enum class Verdict { Pass, Warning, Fail, Cancelled };
// Where the test weight stands on the pan (eccentricity); Centre for the
// other checks.
enum class PanPosition { Centre, FrontLeft, BackLeft, BackRight, FrontRight };

// "repeatability", "accuracy", "eccentricity": the names trevalo, the
// register and the lab database use.
QString KindName(CheckKind kind);
std::optional<CheckKind> KindNamed(const QString& name);
// "pass", "warning", "fail", "cancelled".
QString VerdictName(Verdict verdict);
std::optional<Verdict> VerdictNamed(const QString& name);
// "centre", "front-left", "back-left", "back-right", "front-right".
QString PositionName(PanPosition position);
std::optional<PanPosition> PositionNamed(const QString& name);
// The eccentricity order: centre, then the corners clockwise from the
// front left.
const QList<PanPosition>& EccentricityPositions();

// The limits a check was judged by, and where they come from.
//   repeatability: 2·s_used / m_smallest, in percent
//   accuracy:      |reading − conventional mass| / test weight, in percent
//   eccentricity:  the largest deviation from the centre, in the unit
// A figure above `failure` fails; above `warning` (when the lab set one)
// it warns.
struct CheckLimits {
    double failure = 0;
    std::optional<double> warning;
    // "USP <41>", "ustawienia.ini [CHECKS] accuracyTolerancePct",
    // "--tolerance": what a reviewer needs to trace the number.
    QString source;
    bool operator==(const CheckLimits&) const = default;
};

// One figure of a check: "s", "s_used", "m_min", "deviation", ...
struct CheckFigure {
    QString name;
    double value = 0;
    bool operator==(const CheckFigure&) const = default;
};

// One weighing of a check, as the balance gave it.
struct CheckReading {
    PanPosition position = PanPosition::Centre;
    double value = 0;
    QString unit;
    // The reply it was read from, as it came.
    QByteArray frame;
    QDateTime at;
    bool operator==(const CheckReading&) const = default;
};

// One check as the register keeps it: what was weighed, every reading,
// the figures, the limits and the verdict, who did it, where and when.
struct CheckRecord {
    // The register's number, 0 before it is stored; uid names the check on
    // the lab database, whatever station it comes from.
    qint64 id = 0;
    QString uid;
    CheckKind kind = CheckKind::Repeatability;
    // Register keys; weightId empty for a weight the register does not hold.
    QString balanceId;
    QString weightId;
    // The weight's certificate as it stood at the check.
    QString weightCertificate;
    std::optional<QDate> weightCertificateDue;
    // Repeatability: the nominal value (informative); accuracy: the
    // conventional mass; eccentricity: the test weight.
    double testMass = 0;
    // The balance's scale interval the figures were computed with.
    double d = 0;
    // Repeatability: the smallest net weight the lab means to weigh, and the
    // safety factor for the minimum weight in force.
    double smallestNet = 0;
    double safetyFactor = 0;
    QString unit = QStringLiteral("g");
    int plannedReadings = 0;
    QList<CheckReading> readings;
    QList<CheckFigure> figures;
    CheckLimits limits;
    Verdict verdict = Verdict::Cancelled;
    // What the operator was warned of and the report shows (a weight past
    // its due date, a weight too coarse for the tolerance, ...).
    QStringList warnings;
    // Why the check judged nothing (fewer than 10 readings, a link lost).
    QString refusal;
    QString operatorName;
    QString station;
    QString host;
    // "trevalo" or "Pomiar".
    QString program;
    QDateTime started;
    QDateTime finished;
    // The register's journal entry that records the check.
    qint64 journalSeq = 0;
    QByteArray journalHash;

    std::optional<double> Figure(const QString& name) const;
    // Pass and warning: the balance may be used.
    bool Passed() const { return verdict == Verdict::Pass || verdict == Verdict::Warning; }
    // The record as one JSON object (the lab database keeps it so, trevalo
    // prints the same keys).
    QByteArray ToJson() const;
    static std::optional<CheckRecord> FromJson(const QByteArray& json);
    bool operator==(const CheckRecord&) const = default;
};

} // namespace Pomiar
