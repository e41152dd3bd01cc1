#include "DueChecks.h"

#include "CheckRegister.h"
#include "CheckSettings.h"

namespace Pomiar {

bool DueChecks::AnyDue() const {
    for (const auto& [kind, state] : status)
        if (state.state == CheckSchedule::State::Due ||
            state.state == CheckSchedule::State::Overdue)
            return true;
    return false;
}

bool DueChecks::AnyOverdue() const {
    for (const auto& [kind, state] : status)
        if (state.state == CheckSchedule::State::Overdue)
            return true;
    return false;
}

std::optional<QDate> DueChecks::NextDue() const {
    std::optional<QDate> earliest;
    for (const auto& [kind, state] : status)
        if (state.nextDue && (!earliest || *state.nextDue < *earliest))
            earliest = state.nextDue;
    return earliest;
}

DueChecks DueChecks::For(CheckRegister& checks, const CheckSettings& settings, const QDate& today,
                         const QString& balanceId) {
    DueChecks due;
    due.refuseWhenDue = settings.refuseWhenDue;
    const QString balance = balanceId.isEmpty() ? settings.balanceId : balanceId;
    for (const auto& [kind, schedule] : settings.schedules) {
        const auto passed = checks.LastCheck(balance, kind, true);
        due.status[kind] = schedule.StatusOn(
            passed ? std::optional<QDateTime>(passed->finished) : std::nullopt, today);
    }
    CheckFilter filter;
    filter.balanceId = balance;
    filter.limit = 1;
    filter.finishedOnly = true;
    const QList<CheckRecord> last = checks.Checks(filter);
    if (!last.isEmpty())
        due.last = last.front();
    return due;
}

} // namespace Pomiar
