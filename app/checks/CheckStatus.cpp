#include "CheckStatus.h"

#include "CheckRegister.h"
#include "CheckSettings.h"
#include "CheckTexts.h"

namespace Pomiar {

bool CheckStatus::HoldsReadings(const CheckSettings& settings) const {
    return settings.refuseWhenDue && DueNow();
}

CheckStatus CheckStatus::Of(CheckRegister& checks, const CheckSettings& settings,
                            const QDate& today) {
    CheckStatus status;
    const QString balance = settings.balanceId;
    CheckFilter newest;
    newest.balanceId = balance;
    newest.limit = 1;
    const QList<CheckRecord> last = checks.Checks(newest);
    if (!last.isEmpty())
        status.last = last.front();
    // The most pressing state first, then the earliest date.
    const auto rank = [](CheckSchedule::State state) {
        switch (state) {
        case CheckSchedule::State::Overdue:
            return 3;
        case CheckSchedule::State::Due:
            return 2;
        case CheckSchedule::State::UpToDate:
            return 1;
        case CheckSchedule::State::NotScheduled:
            break;
        }
        return 0;
    };
    for (const CheckKind kind :
         {CheckKind::Repeatability, CheckKind::Accuracy, CheckKind::Eccentricity}) {
        const CheckSchedule schedule = settings.ScheduleOf(kind);
        if (schedule.GetPeriod() == CheckSchedule::Period::None)
            continue;
        const auto passed = checks.LastCheck(balance, kind, true);
        const CheckSchedule::Status state = schedule.StatusOn(
            passed ? std::optional<QDateTime>(passed->finished) : std::nullopt, today);
        const bool sooner = !status.dueKind || rank(state.state) > rank(status.state) ||
                            (rank(state.state) == rank(status.state) && state.nextDue &&
                             status.nextDue && *state.nextDue < *status.nextDue);
        if (sooner) {
            status.dueKind = kind;
            status.state = state.state;
            status.nextDue = state.nextDue;
        }
    }
    return status;
}

QString CheckStatus::Text(const CheckTexts& texts) const {
    const QString kind = dueKind ? texts.KindText(*dueKind) : QString();
    // A scheduled check never done is due from the start.
    if (Overdue() && !nextDue)
        return texts("Kontrola: brak, nastepna dzis");
    if (Overdue())
        return texts("Kontrola ZALEGLA od %1: %2")
            .arg(nextDue ? nextDue->toString(Qt::ISODate) : QString(), kind);
    if (state == CheckSchedule::State::Due)
        return texts("Kontrola wymagana dzis: %1").arg(kind);
    if (!last)
        return dueKind ? texts("Kontrola: brak, nastepna dzis") : QString();
    return texts("Kontrola: %1 %2 (%3), nastepna %4")
        .arg(texts.KindText(last->kind), texts.VerdictText(last->verdict),
             last->finished.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
             nextDue ? nextDue->toString(Qt::ISODate) : texts("brak"));
}

} // namespace Pomiar
