#pragma once

#include "AcceptanceLimits.h"
#include "AcceptedReading.h"
#include "BalanceDialect.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <functional>
#include <optional>

namespace Pomiar {

// The one step between a family's reader and the store: a reply becomes a
// finished reading, or is turned away for one reason. The rules are
// applied here once, in this order, on the value the reader gave: the
// balance's own words (a status or a refusal), the unstable rule, the
// limits, whether it is a reading at all, the "%" rule of the mass, and the
// cycle gate last, since it may end automatic work. A new rule of
// acceptance goes into Judge.
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
        // The cycle gate: false for a reading received at time that falls
        // outside the current window. None: always open.
        std::function<bool(const QDateTime& time)> cycleGate;
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
        // "overload", "not a reading", "outside the limits".
        QString Reason() const;
    };

    // frame: what the reply came in, kept with the reading; time: when it
    // was received.
    static Verdict Judge(const BalanceReply& reply, const QByteArray& frame, const QDateTime& time,
                         Road road, const Rules& rules);
};

} // namespace Pomiar
