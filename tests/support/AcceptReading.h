#pragma once

#include "MeasurementStore.h"
#include "ReadingAcceptance.h"

// A single reply taken as the acquisition takes it: judged by the one
// acceptance step with the store's minimum weight and hold, then stored.
// The outcome, Stored when it was written.
inline Pomiar::ReadingAcceptance::Outcome AcceptReading(Pomiar::MeasurementStore& store,
                                                        const QString& value, const QString& unit,
                                                        const QDateTime& time,
                                                        const QByteArray& frame = {}) {
    Pomiar::BalanceReply reply;
    reply.kind = Pomiar::BalanceReply::Kind::Reading;
    reply.value = value;
    reply.unit = unit;
    Pomiar::ReadingAcceptance::Rules rules;
    rules.locale = store.Locale();
    rules.minimumWeight = store.MinimumWeightForAcceptance();
    rules.heldForCheck = store.HeldForCheck();
    const auto verdict = Pomiar::ReadingAcceptance::Judge(
        reply, frame, time, Pomiar::ReadingAcceptance::Road::Single, rules);
    if (!verdict.Accepted())
        return verdict.outcome;
    return store.DodajPomiar(*verdict.reading) ? Pomiar::ReadingAcceptance::Outcome::Stored
                                               : Pomiar::ReadingAcceptance::Outcome::Waiting;
}
