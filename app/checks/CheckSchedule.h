#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

namespace Pomiar {

// How often a check is due: never, daily, weekly or every N days. A check
// that passed on a day is next due that many days later (a daily check
// done on Monday is due on Tuesday); on its due day it is Due, after it
// Overdue. A check never done is Overdue as soon as it is scheduled.
class CheckSchedule {
public:
    enum class Period { None, Daily, Weekly, EveryNDays };
    enum class State { NotScheduled, UpToDate, Due, Overdue };

    CheckSchedule() = default;
    static CheckSchedule Daily() { return CheckSchedule(Period::Daily, 1); }
    static CheckSchedule Weekly() { return CheckSchedule(Period::Weekly, 7); }
    static CheckSchedule EveryNDays(int days) { return CheckSchedule(Period::EveryNDays, days); }

    Period GetPeriod() const { return period; }
    // 0 for None.
    int Days() const { return period == Period::None ? 0 : days; }

    // "none", "daily", "weekly", "every 3 days" (also "3"); nothing for
    // anything else. The text Text() gives reads back as the same schedule.
    static std::optional<CheckSchedule> Parse(const QString& text);
    QString Text() const;

    struct Status {
        State state = State::NotScheduled;
        std::optional<QDate> nextDue;
        // Days past the due date (Overdue), else 0.
        int daysOverdue = 0;
    };
    // lastPassed: when the last check of this kind that passed (or
    // warned) finished; today: the local date now.
    Status StatusOn(const std::optional<QDateTime>& lastPassed, const QDate& today) const;
    std::optional<QDate> NextDue(const QDateTime& lastPassed) const;

    bool operator==(const CheckSchedule&) const = default;

private:
    CheckSchedule(Period period, int days) : period(period), days(days) {}
    Period period = Period::None;
    int days = 0;
};

} // namespace Pomiar
