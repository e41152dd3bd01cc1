#pragma once

#include "CheckRecord.h"
#include "CheckSchedule.h"

#include <QDate>
#include <map>
#include <optional>

namespace Pomiar {

class CheckRegister;
struct CheckSettings;

// Where a balance stands with its scheduled checks on a day: each kind's
// state and next due date, what the status bar shows and what the
// "refuse readings while a check is due" setting decides.
struct DueChecks {
    std::map<CheckKind, CheckSchedule::Status> status;
    // The last finished check of any kind (cancelled ones aside).
    std::optional<CheckRecord> last;
    bool refuseWhenDue = false;

    // A scheduled check is due today or overdue.
    bool AnyDue() const;
    bool AnyOverdue() const;
    // The earliest next due date of the scheduled checks.
    std::optional<QDate> NextDue() const;
    // Readings are to be refused: the lab asks so and a check is due.
    bool RefuseReadings() const { return refuseWhenDue && AnyDue(); }

    // For balanceId (settings.balanceId when empty) from the register.
    static DueChecks For(CheckRegister& checks, const CheckSettings& settings, const QDate& today,
                         const QString& balanceId = {});
};

} // namespace Pomiar
