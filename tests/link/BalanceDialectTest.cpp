#include "BalanceDialect.h"

#include <gtest/gtest.h>

using namespace Pomiar;

namespace {

using Family = BalanceDialect::Family;
using Kind = BalanceReply::Kind;
using Error = BalanceReply::Error;

BalanceReply Reading(const char* value, const char* unit, bool stable = true) {
    BalanceReply reply;
    reply.kind = Kind::Reading;
    reply.value = QString::fromLatin1(value);
    reply.unit = QString::fromLatin1(unit);
    reply.stable = stable;
    return reply;
}

BalanceReply Failure(Error error, const char* line) {
    BalanceReply reply;
    reply.kind = Kind::Error;
    reply.error = error;
    reply.text = QString::fromLatin1(line);
    return reply;
}

BalanceReply Text(Kind kind, const char* text) {
    BalanceReply reply;
    reply.kind = kind;
    reply.text = QString::fromLatin1(text);
    return reply;
}

struct Transcript {
    const char* frame;
    std::vector<BalanceReply> replies;
};

void ExpectTranscripts(Family family, const std::vector<Transcript>& transcripts) {
    const BalanceDialect dialect(family);
    for (const Transcript& t : transcripts) {
        const auto replies = dialect.Read(QByteArray(t.frame));
        ASSERT_EQ(replies.size(), t.replies.size())
            << dialect.Name().toStdString() << ": " << t.frame;
        for (size_t i = 0; i < replies.size(); ++i) {
            const BalanceReply& got = replies[i];
            const BalanceReply& want = t.replies[i];
            EXPECT_EQ(int(got.kind), int(want.kind)) << t.frame;
            EXPECT_EQ(int(got.error), int(want.error)) << t.frame;
            EXPECT_EQ(got.value, want.value) << t.frame;
            EXPECT_EQ(got.unit, want.unit) << t.frame;
            EXPECT_EQ(got.stable, want.stable) << t.frame;
            if (want.kind != Kind::Reading) {
                EXPECT_EQ(got.text, want.text) << t.frame;
            }
        }
    }
}

TEST(BalanceDialect, SicsRepliesAsTheManualWritesThem) {
    ExpectTranscripts(
        Family::Sics,
        {
            {"S S     100.00 g\r\n", {Reading("100.00", "g")}},
            {"S D     129.07 g\r\n", {Reading("129.07", "g", false)}},
            {"S S      -0.012 mg\r\n", {Reading("-0.012", "mg")}},
            {"S S      12.5 ozt\r\n", {Reading("12.5", "ozt")}},
            {"S I\r\n", {Failure(Error::NoStableValue, "S I")}},
            {"S +\r\n", {Failure(Error::Overload, "S +")}},
            {"S -\r\n", {Failure(Error::Underload, "S -")}},
            {"T +\r\n", {Failure(Error::Overload, "T +")}},
            {"ZI I\r\n", {Failure(Error::NoStableValue, "ZI I")}},
            {"ES\r\n", {Failure(Error::Syntax, "ES")}},
            {"ET\r\n", {Failure(Error::Transmission, "ET")}},
            {"EL\r\n", {Failure(Error::Logical, "EL")}},
            {"T S     100.00 g\r\n", {Text(Kind::Acknowledgement, "T S     100.00 g")}},
            {"Z A\r\n", {Text(Kind::Acknowledgement, "Z A")}},
            {"I4 A \"B021002593\"\r\n", {Text(Kind::Identification, "B021002593")}},
            {"I2 A \"XS205DU 220.00000 g\"\r\n",
             {Text(Kind::Identification, "XS205DU 220.00000 g")}},
            // A reply that ended in LF alone shares the frame with the next.
            {"S D      1.00 g\nS S      1.01 g\r\n",
             {Reading("1.00", "g", false), Reading("1.01", "g")}},
            // Without any line end (a frame cut by its maximum size).
            {"S S      2.50 g", {Reading("2.50", "g")}},
            {"\r\n", {}},
        });
}

TEST(BalanceDialect, SbiRepliesAsTheManualWritesThem) {
    ExpectTranscripts(
        Family::Sbi,
        {
            {"+   123.56 g  \r\n", {Reading("123.56", "g")}},
            {"-     0.51 ct \r\n", {Reading("-0.51", "ct")}},
            {"+   123.58    \r\n", {Reading("123.58", "", false)}},
            {"N     +   123.56 g  \r\n", {Reading("123.56", "g")}},
            {"Stat  H\r\n", {Failure(Error::Overload, "Stat  H")}},
            {"Stat  L\r\n", {Failure(Error::Underload, "Stat  L")}},
            {"Stat      Err 123\r\n", {Failure(Error::Logical, "Stat      Err 123")}},
            {"Stat   ----\r\n", {Failure(Error::NoStableValue, "Stat   ----")}},
            {"SECURA225D-1S\r\n", {Text(Kind::Other, "SECURA225D-1S")}},
            {"+     1.00 g  \n+     1.02 g  \r\n", {Reading("1.00", "g"), Reading("1.02", "g")}},
        });
}

TEST(BalanceDialect, AdRepliesAsTheManualWritesThem) {
    ExpectTranscripts(Family::Ad,
                      {
                          {"ST,+00123.45  g\r\n", {Reading("+00123.45", "g")}},
                          {"US,+00123.47  g\r\n", {Reading("+00123.47", "g", false)}},
                          {"ST,-00001.20 mg\r\n", {Reading("-00001.20", "mg")}},
                          {"QT,+00000123PCS\r\n", {Reading("+00000123", "PCS")}},
                          {"OL,+9999999  g\r\n", {Failure(Error::Overload, "OL,+9999999  g")}},
                          {"OL,-9999999  g\r\n", {Failure(Error::Underload, "OL,-9999999  g")}},
                          {"EC,E01\r\n", {Failure(Error::Syntax, "EC,E01")}},
                          {"EC,E00\r\n", {Failure(Error::Transmission, "EC,E00")}},
                          {"EC,E02\r\n", {Failure(Error::NoStableValue, "EC,E02")}},
                          {"EC,E07\r\n", {Failure(Error::Logical, "EC,E07")}},
                          {"EC,E11\r\n", {Failure(Error::NoStableValue, "EC,E11")}},
                          {"\x06\r\n", {Text(Kind::Acknowledgement, "\x06")}},
                          {"SN,\"T1234567\"\r\n", {Text(Kind::Identification, "T1234567")}},
                          {"TN,\"FX-120i\"\r\n", {Text(Kind::Identification, "FX-120i")}},
                          {"XX,+00123.45  g\r\n", {Text(Kind::Other, "XX,+00123.45  g")}},
                      });
}

TEST(BalanceDialect, OhausRepliesAsTheManualWritesThem) {
    ExpectTranscripts(Family::Ohaus,
                      {
                          {"    123.45 g\r\n", {Reading("123.45", "g")}},
                          {"    123.47 g ?\r\n", {Reading("123.47", "g", false)}},
                          {"     -2.5 lb\r\n", {Reading("-2.5", "lb")}},
                          {"     12.34 %\r\n", {Reading("12.34", "%")}},
                          {"ES\r\n", {Failure(Error::Syntax, "ES")}},
                          {"SN: 8331230456\r\n", {Text(Kind::Identification, "8331230456")}},
                      });
}

TEST(BalanceDialect, DefaultFamilyReadsOnlyItsRefusal) {
    ExpectTranscripts(Family::Default,
                      {
                          {"ES\r\n", {Failure(Error::Syntax, "ES")}},
                          {"S       12.3456 g  \r\n", {Text(Kind::Other, "S       12.3456 g  ")}},
                      });
}

TEST(BalanceDialect, CommandsOfEveryFamily) {
    struct Row {
        const char* name;
        QByteArray stable, immediate, tare, continuousOn, continuousOff, probe;
    };
    const Row rows[] = {
        {"default", "", "", "T", "C1", "C0", ""},
        {"sics", "S", "SI", "T", "SIR", "@", "I4"},
        {"sbi", "\x1bP", "\x1bP", "\x1bT", "", "", "\x1bP"},
        {"ad", "S", "Q", "T", "SIR", "C", "?SN"},
        {"ohaus", "SP", "IP", "T", "CP", "0P", "IP"},
    };
    ASSERT_EQ(BalanceDialect::Names().size(), std::size(rows));
    for (const Row& row : rows) {
        const auto dialect = BalanceDialect::Named(QString::fromLatin1(row.name).toUpper());
        ASSERT_TRUE(dialect) << row.name;
        EXPECT_EQ(dialect->Name(), QLatin1String(row.name));
        const DialectCommands& c = dialect->Commands();
        EXPECT_EQ(c.stable, row.stable) << row.name;
        EXPECT_EQ(c.immediate, row.immediate) << row.name;
        EXPECT_EQ(c.tare, row.tare) << row.name;
        EXPECT_EQ(c.continuousOn, row.continuousOn) << row.name;
        EXPECT_EQ(c.continuousOff, row.continuousOff) << row.name;
        EXPECT_EQ(c.probe, row.probe) << row.name;
    }
    EXPECT_FALSE(BalanceDialect::Named(QStringLiteral("mettler")));
}

TEST(BalanceDialect, ContinuousLinesKeepTheirSignAndUnit) {
    struct Case {
        Family family;
        const char* line;
        std::optional<double> value;
        const char* unit;
    };
    const Case cases[] = {
        {Family::Sics, "S D      -1.25 g\r\n", -1.25, "g"},
        {Family::Sics, "S +\r\n", std::nullopt, ""},
        {Family::Sbi, "-   123.56 g  \r\n", -123.56, "g"},
        {Family::Ad, "US,-00012.30  g\r\n", -12.3, "g"},
        {Family::Ad, "\x06\r\n", std::nullopt, ""},
        {Family::Ohaus, "     5.5 ozt ?\r\n", 5.5, "ozt"},
        {Family::Sics, "S S 1e999 g\r\n", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const auto line = BalanceDialect(c.family).ReadContinuous(QString::fromLatin1(c.line));
        ASSERT_EQ(line.has_value(), c.value.has_value()) << c.line;
        if (line) {
            EXPECT_DOUBLE_EQ(line->value, *c.value) << c.line;
            EXPECT_EQ(line->unit, QLatin1String(c.unit)) << c.line;
        }
    }
}

TEST(BalanceDialect, RefusalNamesTheCommand) {
    EXPECT_EQ(RefusalText("SIR", Error::Syntax, QStringLiteral("ES\r\n")),
              QStringLiteral("the balance refused \"SIR\": syntax error (ES)"));
    EXPECT_EQ(RefusalText("\x1bP", Error::Logical, QStringLiteral("Stat      Err 123")),
              QStringLiteral("the balance refused \"ESC P\": logical error (Stat      Err 123)"));
}

} // namespace
