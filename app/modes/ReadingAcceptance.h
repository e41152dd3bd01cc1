#pragma once

#include "AcceptanceLimits.h"
#include "AcceptedReading.h"
#include "BalanceDialect.h"
#include "MinimumWeightRule.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <optional>

namespace Pomiar {

class MeasurementStore;

// The one step between a family's reader and the store: a reply becomes a
// finished reading, or is turned away for one reason. The rules are
// applied here once, in this order, on the value the reader gave: the
// balance's own words (a status or a refusal), the unstable rule, the
// limits, whether it is a reading at all, the "%" rule of the mass, the
// hold for a balance check and the minimum weight. A new rule of
// acceptance goes into Judge. Judge calls nobody back: the cycle gate,
// which may end automatic work, is the acquisition's, asked last and only
// of a reading Judge accepted (Verdict::TurnAway when it says no).
class ReadingAcceptance {
public:
    // What became of a reply.
    enum class Outcome {
        Stored,
        // Taken, but the bound database refused it for now: it waits.
        Waiting,
        NotAReading,
        OutsideLimits,
        OutsideCycleWindow,
        // The store failed on it (told to the error log).
        NotStored,
        // The balance said it is overloaded, underloaded or found no stable
        // value; or it sent a value that is not stable for a stable read.
        BalanceStatus,
        // The balance refused the command (a syntax, logical or
        // transmission error).
        Refused,
        // A net below the minimum weight, refused as the lab set.
        BelowMinimumWeight,
        // Readings wait for a balance check that is due to pass.
        CheckDue,
    };
    // "outside the limits": why a reply was turned away, for the journal.
    static QByteArray OutcomeName(Outcome outcome);

    // A reply asked for, or a line of continuous transmission: lines take
    // no unstable rule (the transmission asks for unstable values) and no
    // cycle gate, and keep an empty unit.
    enum class Road { Single, Batch };

    struct Rules {
        AcceptanceLimits limits;
        QLocale locale = QLocale::system();
        // The last read asked was the immediate one.
        bool immediateAsked = false;
        // The minimum weight in force (after a passed repeatability check):
        // a net below it is marked, or refused.
        std::optional<MinimumWeightRule> minimumWeight;
        // A balance check is due and the lab refuses readings meanwhile.
        bool heldForCheck = false;
    };

    struct Verdict {
        // Why it was turned away; Stored when accepted.
        Outcome outcome = Outcome::Stored;
        // The finished reading, when accepted.
        std::optional<AcceptedReading> reading;
        // What the balance said (NoStableValue also for the unstable rule).
        BalanceReply::Error status = BalanceReply::Error::None;
        // Steps that failed on the way, in order, for the error log.
        QStringList errors;

        bool Accepted() const { return reading.has_value(); }
        // A rule after Judge (the cycle gate) said no.
        void TurnAway(Outcome why) {
            outcome = why;
            reading.reset();
        }
        // "overload", "not a reading", "outside the limits".
        QString Reason() const;
    };

    // The rules the store's settings make (limits, locale, minimum weight,
    // hold for a check); immediateAsked is the asker's.
    static Rules StoreRules(const MeasurementStore& store);

    // frame: what the reply came in, kept with the reading; time: when it
    // was received.
    static Verdict Judge(const BalanceReply& reply, const QByteArray& frame, const QDateTime& time,
                         Road road, const Rules& rules);
};

} // namespace Pomiar
