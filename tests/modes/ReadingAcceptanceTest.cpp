#include "ReadingAcceptance.h"
#include "BalanceDialect.h"

#include <gtest/gtest.h>

using namespace Pomiar;
using Outcome = ReadingAcceptance::Outcome;
using Road = ReadingAcceptance::Road;
using Error = BalanceReply::Error;

namespace {

const QDateTime Received(QDate(2026, 12, 9), QTime(10, 0, 0));

// The verdict on the first reply the family's reader finds in a frame.
ReadingAcceptance::Verdict Judge(const char* family, const QByteArray& frame, Road road,
                                 const ReadingAcceptance::Rules& rules) {
    const BalanceDialect dialect = *BalanceDialect::Named(QString::fromLatin1(family));
    if (road == Road::Batch)
        return ReadingAcceptance::Judge(dialect.ReadLine(QString::fromLatin1(frame)), frame,
                                        Received, road, rules);
    const auto replies = dialect.ReadFrame(frame, false, rules.locale);
    EXPECT_FALSE(replies.empty()) << frame.constData();
    return ReadingAcceptance::Judge(replies.front().reply, replies.front().frame, Received, road,
                                    rules);
}

ReadingAcceptance::Rules WithLimits(const char* min, const char* max) {
    ReadingAcceptance::Rules rules;
    rules.locale = QLocale::c();
    rules.limits.minOn = min != nullptr;
    rules.limits.minText = min ? QString::fromLatin1(min) : QStringLiteral("0");
    rules.limits.maxOn = max != nullptr;
    rules.limits.maxText = max ? QString::fromLatin1(max) : QStringLiteral("0");
    return rules;
}

// One rule at a time, in the words of the default family and of a maker's
// family. SICS replies as in Mettler Toledo, "Reference Manual MT-SICS
// Interface Command Set" 11781363, section 2.1.2.1 "Format of responses with
// weight value" (p. 8) and 2.1.3.3 "Specific error messages on weight
// response" (p. 11): "S S" stable, "S D" dynamic, "S +" overload, "ES" a
// syntax error.
TEST(ReadingAcceptance, EachRuleTurnsAwayForItsOwnReason) {
    const struct {
        const char* name;
        const char* family;
        QByteArray frame;
        bool immediate;
        const char* min;
        const char* max;
        Outcome outcome;
        Error status;
        double mass;
        const char* unit;
    } cases[] = {
        {"stable reading", "sics", "S S      12.50 g\r\n", false, nullptr, nullptr, Outcome::Stored,
         Error::None, 12.5, "g"},
        {"dynamic after a stable read", "sics", "S D      12.50 g\r\n", false, nullptr, nullptr,
         Outcome::BalanceStatus, Error::NoStableValue, 0, ""},
        {"dynamic after an immediate read", "sics", "S D      12.50 g\r\n", true, nullptr, nullptr,
         Outcome::Stored, Error::None, 12.5, "g"},
        {"overload", "sics", "S +\r\n", false, nullptr, nullptr, Outcome::BalanceStatus,
         Error::Overload, 0, ""},
        {"refused", "sics", "ES\r\n", false, nullptr, nullptr, Outcome::Refused, Error::Syntax, 0,
         ""},
        {"above the maximum", "sics", "S S     120.00 g\r\n", false, nullptr, "100",
         Outcome::OutsideLimits, Error::None, 0, ""},
        {"at the maximum", "sics", "S S     100.00 g\r\n", false, nullptr, "100", Outcome::Stored,
         Error::None, 100, "g"},
        // The default family's rules keep a value marked unstable.
        {"default, marked unstable", "default", "SI ?   12.345 g\r\n", false, nullptr, nullptr,
         Outcome::Stored, Error::None, 12.345, "g"},
        {"default, moisture", "default", "12:05     3.5 %\r\n", false, nullptr, nullptr,
         Outcome::Stored, Error::None, 3.5, "%"},
        {"default, decimal comma", "default", "    12,5 g\r\n", false, nullptr, nullptr,
         Outcome::Stored, Error::None, 12.5, "g"},
        // Its refusal is dropped as no reading, as the handler drops it.
        {"default, error reply", "default", "ES\r\n", false, nullptr, nullptr, Outcome::NotAReading,
         Error::None, 0, ""},
        // The limit test comes before the reading tests: an acknowledgement
        // reads as 0, below the minimum.
        {"default, acknowledgement below the minimum", "default", "T A\r\n", false, "5", nullptr,
         Outcome::OutsideLimits, Error::None, 0, ""},
        {"default, acknowledgement", "default", "T A\r\n", false, nullptr, nullptr,
         Outcome::NotAReading, Error::None, 0, ""},
        {"default, no unit", "default", "   123.4\r\n", false, nullptr, nullptr,
         Outcome::NotAReading, Error::None, 0, ""},
    };
    for (const auto& c : cases) {
        ReadingAcceptance::Rules rules = WithLimits(c.min, c.max);
        rules.immediateAsked = c.immediate;
        const auto verdict = Judge(c.family, c.frame, Road::Single, rules);
        EXPECT_EQ(verdict.outcome, c.outcome) << c.name;
        EXPECT_EQ(verdict.status, c.status) << c.name;
        ASSERT_EQ(verdict.Accepted(), c.outcome == Outcome::Stored) << c.name;
        if (!verdict.Accepted())
            continue;
        EXPECT_DOUBLE_EQ(verdict.reading->mass, c.mass) << c.name;
        EXPECT_EQ(verdict.reading->unit, QString::fromLatin1(c.unit)) << c.name;
        EXPECT_EQ(verdict.reading->time, Received) << c.name;
        EXPECT_EQ(verdict.reading->description, QStringLiteral(" ")) << c.name;
        EXPECT_EQ(verdict.reading->batchLine, 0) << c.name;
    }
}

// Lines of continuous transmission: no unstable rule, an empty unit stays
// empty, the line's number written back in full, and the reason of a line
// turned away is what the balance said.
TEST(ReadingAcceptance, ContinuousLinesTakeTheSameStepInABatch) {
    const ReadingAcceptance::Rules rules = WithLimits(nullptr, "50");
    const auto dynamic = Judge("sics", "S D      12.50 g", Road::Batch, rules);
    ASSERT_TRUE(dynamic.Accepted());
    EXPECT_FALSE(dynamic.reading->stable);
    EXPECT_FALSE(dynamic.reading->description.has_value());
    const auto fixed = Judge("default", "SI     -1.2345 g  ", Road::Batch, rules);
    ASSERT_TRUE(fixed.Accepted());
    EXPECT_DOUBLE_EQ(fixed.reading->mass, -1.2345);
    EXPECT_EQ(fixed.reading->unit, "g");
    const struct {
        const char* family;
        QByteArray line;
        const char* reason;
    } away[] = {
        {"sics", "S +", "overload"},
        {"sics", "S S     51.00 g", "outside the limits"},
        {"default", "C1", "not a reading"},
        {"default", "ES", "syntax error"},
    };
    for (const auto& c : away) {
        const auto verdict = Judge(c.family, c.line, Road::Batch, rules);
        EXPECT_FALSE(verdict.Accepted()) << c.line.constData();
        EXPECT_EQ(verdict.Reason(), QString::fromLatin1(c.reason)) << c.line.constData();
    }
}

// A value beyond a double cannot be tested against the limits: the failure
// is told and the reply is no reading.
TEST(ReadingAcceptance, AValueTheLimitTestCannotReadIsToldAndTurnedAway) {
    const QByteArray huge = "1" + QByteArray(400, '0') + " g\r\n";
    const auto verdict = Judge("default", huge, Road::Single, WithLimits("1", nullptr));
    EXPECT_EQ(verdict.outcome, Outcome::NotAReading);
    EXPECT_EQ(verdict.errors, QStringList{QStringLiteral("Overflow")});
}

} // namespace
