#include "CheckSchedule.h"

#include <QRegularExpression>

namespace Pomiar {

std::optional<CheckSchedule> CheckSchedule::Parse(const QString& text) {
    const QString word = text.trimmed().toLower();
    if (word.isEmpty() || word == QLatin1String("none"))
        return CheckSchedule();
    if (word == QLatin1String("daily"))
        return Daily();
    if (word == QLatin1String("weekly"))
        return Weekly();
    static const QRegularExpression everyN(
        QStringLiteral("^(?:every\\s+)?(\\d{1,4})(?:\\s+days?)?$"));
    const auto match = everyN.match(word);
    if (!match.hasMatch())
        return std::nullopt;
    const int days = match.captured(1).toInt();
    if (days < 1)
        return std::nullopt;
    return EveryNDays(days);
}

QString CheckSchedule::Text() const {
    switch (period) {
    case Period::None:
        return QStringLiteral("none");
    case Period::Daily:
        return QStringLiteral("daily");
    case Period::Weekly:
        return QStringLiteral("weekly");
    case Period::EveryNDays:
        return QStringLiteral("every %1 days").arg(days);
    }
    return {};
}

std::optional<QDate> CheckSchedule::NextDue(const QDateTime& lastPassed) const {
    if (period == Period::None || !lastPassed.isValid())
        return std::nullopt;
    return lastPassed.toLocalTime().date().addDays(days);
}

CheckSchedule::Status CheckSchedule::StatusOn(const std::optional<QDateTime>& lastPassed,
                                              const QDate& today) const {
    Status status;
    if (period == Period::None)
        return status;
    if (!lastPassed || !lastPassed->isValid()) {
        status.state = State::Overdue;
        return status;
    }
    status.nextDue = NextDue(*lastPassed);
    const qint64 late = status.nextDue->daysTo(today);
    if (late > 0) {
        status.state = State::Overdue;
        status.daysOverdue = int(late);
    } else {
        status.state = late == 0 ? State::Due : State::UpToDate;
    }
    return status;
}

} // namespace Pomiar
