#include "ReadingAcceptance.h"

#include "MeasurementStore.h"
#include "NumberText.h"

#include <exception>

namespace Pomiar {

namespace {

using Error = BalanceReply::Error;

bool IsStatus(Error error) {
    return error == Error::Overload || error == Error::Underload || error == Error::NoStableValue;
}

} // namespace

QByteArray ReadingAcceptance::OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Stored:
        return "stored";
    case Outcome::Waiting:
        return "waiting";
    case Outcome::NotAReading:
        return "not a reading";
    case Outcome::OutsideLimits:
        return "outside the limits";
    case Outcome::OutsideCycleWindow:
        return "outside the cycle window";
    case Outcome::NotStored:
        return "not stored";
    case Outcome::BalanceStatus:
        return "balance status";
    case Outcome::Refused:
        return "refused";
    case Outcome::BelowMinimumWeight:
        return "below the minimum weight";
    case Outcome::CheckDue:
        return "a balance check is due";
    }
    return "unknown";
}

QString ReadingAcceptance::Verdict::Reason() const {
    if (outcome == Outcome::BalanceStatus || outcome == Outcome::Refused)
        return ErrorName(status);
    return QString::fromLatin1(OutcomeName(outcome));
}

ReadingAcceptance::Rules ReadingAcceptance::StoreRules(const MeasurementStore& store) {
    Rules rules;
    rules.limits = store.Limits();
    rules.locale = store.Locale();
    rules.minimumWeight = store.MinimumWeightForAcceptance();
    rules.heldForCheck = store.HeldForCheck();
    return rules;
}

ReadingAcceptance::Verdict ReadingAcceptance::Judge(const BalanceReply& reply,
                                                    const QByteArray& frame, const QDateTime& time,
                                                    Road road, const Rules& rules) {
    Verdict verdict;
    const auto turnAway = [&verdict](Outcome outcome, Error status = Error::None) {
        verdict.outcome = outcome;
        verdict.status = status;
        return verdict;
    };
    if (reply.kind == BalanceReply::Kind::Error)
        return turnAway(IsStatus(reply.error) ? Outcome::BalanceStatus : Outcome::Refused,
                        reply.error);
    verdict.errors << reply.cleaningErrors;
    const bool reading = reply.kind == BalanceReply::Kind::Reading;
    if (road == Road::Single && reading && reply.stabilityBinding && !reply.stable &&
        !rules.immediateAsked)
        return turnAway(Outcome::BalanceStatus, Error::NoStableValue);
    if (reading || reply.cleaned) {
        try {
            const QString shown = NumberText::NormalizedValue(reply.value, rules.locale);
            if (rules.limits.Outside(shown, rules.locale))
                return turnAway(Outcome::OutsideLimits);
        } catch (const std::exception& error) {
            verdict.errors << QString::fromLocal8Bit(error.what());
            return turnAway(Outcome::NotAReading);
        }
    }
    verdict.errors << reply.readingErrors;
    if (!reading)
        return turnAway(Outcome::NotAReading);
    AcceptedReading accepted;
    accepted.unit = road == Road::Single && reply.unit.isEmpty() ? QStringLiteral("?") : reply.unit;
    // The "%" rule: a moisture result's value ends before its "%".
    accepted.mass = NumberText::MassOf(reply.value, accepted.unit);
    accepted.stable = reply.stable;
    accepted.time = time;
    accepted.frame = frame;
    if (rules.heldForCheck)
        return turnAway(Outcome::CheckDue);
    if (rules.minimumWeight) {
        switch (rules.minimumWeight->Judge(accepted.mass, accepted.unit.trimmed())) {
        case MinimumWeightRule::Verdict::Refused:
            return turnAway(Outcome::BelowMinimumWeight);
        case MinimumWeightRule::Verdict::Below:
            accepted.status = QLatin1String(MinimumWeightRule::Mark);
            break;
        case MinimumWeightRule::Verdict::Fit:
            break;
        }
    }
    if (road == Road::Single)
        accepted.description = QStringLiteral(" ");
    verdict.reading = accepted;
    return verdict;
}

} // namespace Pomiar
