#pragma once

#include "CheckRecord.h"
#include "CheckSchedule.h"

#include <QDate>
#include <QString>
#include <optional>

namespace Pomiar {

class CheckRegister;
class CheckTexts;
struct CheckSettings;

// Where a station stands with its balance checks: the last check of its
// balance and the check due soonest by the lab's schedules. The status bar
// shows it, and it tells whether readings wait for a check (when the lab
// refuses readings while one is due).
struct CheckStatus {
    std::optional<CheckRecord> last;
    // The scheduled check due soonest, its state and date.
    std::optional<CheckKind> dueKind;
    CheckSchedule::State state = CheckSchedule::State::NotScheduled;
    std::optional<QDate> nextDue;

    bool Overdue() const { return state == CheckSchedule::State::Overdue; }
    bool DueNow() const {
        return state == CheckSchedule::State::Due || state == CheckSchedule::State::Overdue;
    }
    // Readings wait while a check is due and the lab refuses them then.
    bool HoldsReadings(const CheckSettings& settings) const;

    // For settings.balanceId on the day today.
    static CheckStatus Of(CheckRegister& checks, const CheckSettings& settings, const QDate& today);
    // The status bar's words.
    QString Text(const CheckTexts& texts) const;
};

} // namespace Pomiar
