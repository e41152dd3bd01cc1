#include "BalanceDialect.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

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

// An error the balance reports with its own number.
BalanceReply Numbered(const char* code, const char* line) {
    BalanceReply reply = Failure(Error::Balance, line);
    reply.code = QString::fromLatin1(code);
    return reply;
}

BalanceReply WithLegend(BalanceReply reply, const char* legend) {
    reply.legend = QString::fromLatin1(legend);
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
            EXPECT_EQ(got.legend, want.legend) << t.frame;
            EXPECT_EQ(got.code, want.code) << t.frame;
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
            // The balance's own error, with its number.
            {"Stat      Err 123\r\n", {Numbered("123", "Stat      Err 123")}},
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

// Mettler Toledo, "Reference Manual MT-SICS Interface Command Set" 11781363:
// section 2.1.2.1 "Format of responses with weight value" (p. 8) and section
// 2.1.3.3 "Specific error messages on weight response" (p. 11), pages as its
// table of contents gives them; the S command's replies as the New Classic
// operating instructions quote them (S S 100.00 g, S I, S +, S -).
TEST(BalanceDialect, SicsTranscriptsOfTheManual) {
    ExpectTranscripts(Family::Sics,
                      {
                          {"S S     100.00 g\r\n", {Reading("100.00", "g")}},
                          {"S I\r\n", {Failure(Error::NoStableValue, "S I")}},
                          {"S +\r\n", {Failure(Error::Overload, "S +")}},
                          {"S -\r\n", {Failure(Error::Underload, "S -")}},
                          {"I4 L\r\n", {Failure(Error::Logical, "I4 L")}},
                          // The error written over the value field is the balance's, not a
                          // weight of 0 in the unit "10b".
                          {"S S  Error 10b\r\n", {Numbered("10b", "S S  Error 10b")}},
                          {"S D  Error 11b\r\n", {Numbered("11b", "S D  Error 11b")}},
                          {"T S  Error 10b\r\n", {Numbered("10b", "T S  Error 10b")}},
                          // Anything else but a number in the value field is no reading.
                          {"S S abc g\r\n", {Text(Kind::Other, "S S abc g")}},
                          {"S S 1e999 g\r\n", {Text(Kind::Other, "S S 1e999 g")}},
                          {"S S 1e3 g\r\n", {Text(Kind::Other, "S S 1e3 g")}},
                          {"S S 1.2.3 g\r\n", {Text(Kind::Other, "S S 1.2.3 g")}},
                          {"S S - g\r\n", {Text(Kind::Other, "S S - g")}},
                      });
}

// Sartorius, the data-interface chapter of the operating instructions:
// 16 characters with "H", "L" and "Err ###" without "Stat" (LE2202S, p. 51);
// the sign in position 1 and 22 characters with a 6-character id (LE series,
// p. 52); "Stat" with "H", "L" and "Err ###" in 22 characters (FB series,
// p. 66); the words "High" and "Low" and "ERR ###" in capitals (Entris II data
// interface description, p. 3; Cubis MSE operating instructions, p. 69-70).
TEST(BalanceDialect, SbiTranscriptsOfTheManuals) {
    ExpectTranscripts(
        Family::Sbi,
        {
            {"+   123.56 g  \r\n", {Reading("123.56", "g")}},
            {"N     +   123.56 g  \r\n", {Reading("123.56", "g")}},
            // 20 characters without an id: the form decides, not the length.
            {"-        123.56 g   \r\n", {Reading("-123.56", "g")}},
            {"+111.25507 mg \r\n", {Reading("111.25507", "mg")}},
            {"      H         \r\n", {Failure(Error::Overload, "      H         ")}},
            {"      L         \r\n", {Failure(Error::Underload, "      L         ")}},
            {"      High      \r\n", {Failure(Error::Overload, "      High      ")}},
            {"      Low       \r\n", {Failure(Error::Underload, "      Low       ")}},
            {"      Err 123   \r\n", {Numbered("123", "      Err 123   ")}},
            {"Stat        H   \r\n", {Failure(Error::Overload, "Stat        H   ")}},
            {"Stat    High          \r\n", {Failure(Error::Overload, "Stat    High          ")}},
            {"Stat    Low           \r\n", {Failure(Error::Underload, "Stat    Low           ")}},
            {"Stat     ERR 123    \r\n", {Numbered("123", "Stat     ERR 123    ")}},
            {"Stat     APP.ERR    \r\n", {Numbered("APP.ERR", "Stat     APP.ERR    ")}},
            {"Stat        HH      \r\n", {Failure(Error::NoStableValue, "Stat        HH      ")}},
            // A CR inside a line does not join its neighbours into 12 g.
            {"    1\r2 g\r\n", {Text(Kind::Other, "    1\r2 g")}},
            {"+    1\r2 g  \r\n", {Text(Kind::Other, "+    1\r2 g  ")}},
        });
}

// A&D, FX-i instruction manual, "Acknowledge Code and Error Codes" (16-2,
// p. 61 of the FX-200i edition): the ACK and EC,Exx only when "AK, Error code"
// (erCd) is 1. Data formats as the GH series manual shows them (10.6 "Data
// Format Examples", p. 42) and the AD-4212D manual (p. 27): overload
// "OL,+9999999E+19". The unquoted serial number answer "SN,6A7609446" was
// found in no manual here; it is the form balances were reported to send.
TEST(BalanceDialect, AdTranscriptsOfTheManuals) {
    ExpectTranscripts(Family::Ad,
                      {
                          {"ST,+00081.72  g\r\n", {Reading("+00081.72", "g")}},
                          {"US,-00183.96  g\r\n", {Reading("-00183.96", "g", false)}},
                          {"ST,+0000.1278  g\r\n", {Reading("+0000.1278", "g")}},
                          {"OL,+9999999E+19\r\n", {Failure(Error::Overload, "OL,+9999999E+19")}},
                          {"OL,-9999999E+19\r\n", {Failure(Error::Underload, "OL,-9999999E+19")}},
                          {"\x06\r\n", {Text(Kind::Acknowledgement, "\x06")}},
                          {"EC,E11\r\n", {Failure(Error::NoStableValue, "EC,E11")}},
                          {"SN,6A7609446\r\n", {Text(Kind::Identification, "6A7609446")}},
                          // A value without a digit is no reading.
                          {"ST,+. g\r\n", {Text(Kind::Other, "ST,+. g")}},
                          {"ST,+ g\r\n", {Text(Kind::Other, "ST,+ g")}},
                      });
}

// Ohaus, "RS232 Interface" instruction manual, p. EN-3: output format 1
// ("      12.73 g    ?"), and the Navigator output string (weight, unit,
// stability mark, legend); the legends G (gross) and NET (net) as the
// Defender 3000 indicator manual defines them (5.2 "Output Format", p. EN-35).
TEST(BalanceDialect, OhausTranscriptsOfTheManuals) {
    ExpectTranscripts(
        Family::Ohaus,
        {
            {"        0.00 g     \r\n", {Reading("0.00", "g")}},
            {"       12.73 g    ?\r\n", {Reading("12.73", "g", false)}},
            {"      0.4500 oz    \r\n", {Reading("0.4500", "oz")}},
            {"     12.73 g       NET\r\n", {WithLegend(Reading("12.73", "g"), "NET")}},
            {"     12.73 g     ? NET\r\n", {WithLegend(Reading("12.73", "g", false), "NET")}},
            {"     12.73 g       G\r\n", {WithLegend(Reading("12.73", "g"), "G")}},
            {"-      2.50 kg   G\r\n", {WithLegend(Reading("-2.50", "kg"), "G")}},
            // A sum or a tare is no weight on the pan.
            {"    207.80 g TOTAL\r\n", {Text(Kind::Other, "    207.80 g TOTAL")}},
            {"    207.80 g     T\r\n", {Text(Kind::Other, "    207.80 g     T")}},
        });
}

// The reply as the family's reader gives it, the first of its frame.
BalanceReply FirstReply(BalanceDialect::Family family, const QByteArray& frame) {
    const std::vector<BalanceReply> replies = BalanceDialect(family).Read(frame);
    return replies.empty() ? BalanceReply{} : replies.front();
}

TEST(BalanceDialect, TheBalancesErrorIsToldWithItsNumber) {
    using Family = BalanceDialect::Family;
    EXPECT_EQ(RefusalText("S", FirstReply(Family::Sics, "S S  Error 10b\r\n")),
              QStringLiteral("the balance reports error 10b (S S  Error 10b)"));
    EXPECT_EQ(RefusalText("\x1bP", FirstReply(Family::Sbi, "Stat     ERR 123\r\n")),
              QStringLiteral("the balance reports error 123 (Stat     ERR 123)"));
    EXPECT_EQ(FirstReply(Family::Sbi, "      Err 123   \r\n").code, QStringLiteral("123"));
    EXPECT_EQ(FirstReply(Family::Sbi, "Stat     APP.ERR\r\n").code, QStringLiteral("APP.ERR"));
    EXPECT_EQ(FirstReply(Family::Sics, "S S     100.00 g\r\n").code, QString());
    EXPECT_EQ(ErrorName(Error::Balance), QStringLiteral("balance error"));
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
        // The balance's error over the value field is no weight of 0.
        {Family::Sics, "S S  Error 10b\r\n", std::nullopt, ""},
        {Family::Sics, "S S abc g\r\n", std::nullopt, ""},
        {Family::Ad, "ST,+. g\r\n", std::nullopt, ""},
        {Family::Sbi, "-        123.56 g   \r\n", -123.56, "g"},
        {Family::Sbi, "    1\r2 g\r\n", std::nullopt, ""},
        {Family::Sbi, "      H         \r\n", std::nullopt, ""},
        {Family::Ohaus, "     12.73 g     ? NET\r\n", 12.73, "g"},
        {Family::Default, "SI ? -150.0000 g  \r\n", -150, "g"},
        {Family::Default, "1  abc", std::nullopt, ""},
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

// The default family's reader is the reading handler's rules up to the
// limit test: a value it cleaned comes with its text even when it is no
// reading, so that the acceptance's limit test still sees it; its error
// reply is no refusal; its '?' marks a value that it still takes.
TEST(BalanceDialect, TheDefaultFamilysReaderKeepsTheHandlersRules) {
    const BalanceDialect dialect;
    const struct {
        QByteArray frame;
        Kind kind;
        bool cleaned;
        const char* value;
        const char* unit;
        bool stable;
    } cases[] = {
        {"SI ?   12.345 g\r\n", Kind::Reading, true, "12.345 g\r\n", "g", false},
        {"S     -1.20 kg\r\n", Kind::Reading, true, "-1.20 kg\r\n", "kg", true},
        {"T A\r\n", Kind::Other, true, "T A\r\n", "", true},
        {"   123.4\r\n", Kind::Other, true, "123.4\r\n", "", true},
        {"S A\r\n", Kind::Other, false, "", "", true},
        {"ES\r\n", Kind::Other, false, "", "", true},
        {"Data: 2008-05-06\r\n", Kind::Other, false, "", "", true},
    };
    for (const auto& c : cases) {
        const auto replies = dialect.ReadFrame(c.frame, false, QLocale::c());
        ASSERT_EQ(replies.size(), 1u) << c.frame.constData();
        const BalanceReply& reply = replies.front().reply;
        EXPECT_EQ(replies.front().frame, c.frame) << "read whole";
        EXPECT_EQ(reply.kind, c.kind) << c.frame.constData();
        EXPECT_EQ(reply.cleaned, c.cleaned) << c.frame.constData();
        EXPECT_EQ(reply.value, QString::fromLatin1(c.value)) << c.frame.constData();
        EXPECT_EQ(reply.unit, QString::fromLatin1(c.unit)) << c.frame.constData();
        EXPECT_EQ(reply.stable, c.stable) << c.frame.constData();
        EXPECT_FALSE(reply.stabilityBinding);
    }
    // Another family reads line by line; a printout for the report is read
    // whole by the handler's rules whatever the family.
    const BalanceDialect sics(Family::Sics);
    const auto lines = sics.ReadFrame("S S      1.00 g\nS S      2.00 g\r\n", false, QLocale::c());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].frame, "S S      2.00 g\r") << "each its own line";
    EXPECT_TRUE(lines[1].reply.stabilityBinding);
    const auto printout = sics.ReadFrame("12:05     3.5 %\r\n", true, QLocale::c());
    ASSERT_EQ(printout.size(), 1u);
    EXPECT_EQ(printout[0].reply.value, "12:05     3.5 %\r\n") << "kept as it came";
}

// What is sent for a read: the family's own command, or the configured
// text for the default family, even an empty one; and the probe that
// finds the family.
TEST(BalanceDialect, ReadsAndProbesOfEveryFamily) {
    EXPECT_EQ(BalanceDialect().ReadCommand(true, "S", "SI"), QByteArray("SI"));
    EXPECT_EQ(BalanceDialect().ReadCommand(false, "", "SI"), QByteArray(""));
    EXPECT_EQ(BalanceDialect(Family::Ad).ReadCommand(true, "S", "SI"), QByteArray("Q"));
    EXPECT_EQ(BalanceDialect(Family::Ohaus).ReadCommand(false, "S", "SI"), QByteArray("SP"));
    EXPECT_EQ(BalanceDialect().Probe("SIX"), "SIX");
    EXPECT_EQ(BalanceDialect(Family::Sics).Probe("SIX"), "I4");
    EXPECT_TRUE(BalanceDialect().Answers("S     12.5 g\r\n"));
    EXPECT_FALSE(BalanceDialect().Answers("ES\r\n"));
    EXPECT_TRUE(BalanceDialect(Family::Sics).Answers("I4 A \"0123456789\"\r\n"));
    EXPECT_FALSE(BalanceDialect(Family::Sics).Answers("ES\r\n"));
}

TEST(BalanceDialect, RefusalNamesTheCommand) {
    EXPECT_EQ(RefusalText("SIR", Failure(Error::Syntax, "ES\r\n")),
              QStringLiteral("the balance refused \"SIR\": syntax error (ES)"));
    EXPECT_EQ(RefusalText("\x1bP", Failure(Error::Logical, "Stat      Err 123")),
              QStringLiteral("the balance refused \"ESC P\": logical error (Stat      Err 123)"));
}

} // namespace

namespace {

// An oracle of its own for "a finite number": optional sign, digits with at
// most one point (a comma counts as one), an exponent only where allowed,
// nothing after it but characters without digits.
bool FiniteNumberText(QString text, bool exponentAllowed, bool tailAllowed) {
    text.replace(u',', u'.');
    text.remove(u' ').remove(u'\t').remove(u'\n');
    const QString pattern =
        QStringLiteral(R"(^[+\-]?(?:\d+\.?\d*|\.\d+)%1%2$)")
            .arg(exponentAllowed ? QStringLiteral("(?:[eEdD][+\\-]?\\d*)?") : QString(),
                 tailAllowed ? QStringLiteral("[^0-9]*") : QString());
    const auto match = QRegularExpression(pattern).match(text);
    if (!match.hasMatch())
        return false;
    std::string plain = text.toStdString();
    for (char& c : plain)
        if (c == 'd' || c == 'D')
            c = 'e';
    return std::isfinite(std::strtod(plain.c_str(), nullptr));
}

// Lines as the manuals write them, each then broken at random: a character
// changed, dropped or doubled, or a text of random characters.
QList<QByteArray> FuzzLines(quint32 seed, int count) {
    static const QByteArray seeds[] = {
        "S S     100.00 g",     "S D     -12.5 mg", "S S  Error 10b",         "+   123.56 g  ",
        "N     +   123.56 g  ", "      H         ", "Stat     ERR 123",       "ST,+00123.45  g",
        "US,-00012.30  g",      "OL,+9999999E+19",  "     12.73 g     ? NET", "SI ? -150.0000 g  ",
        "S       12.3456 g  ",  "SI ?   12.345 g",  "12:05     3.5 %",
    };
    static const QByteArray alphabet = "0123456789+-.,eEdD ?[]SITAPGHLN:\r%gmk\x06";
    std::mt19937 random(seed);
    const auto pick = [&random](qsizetype n) {
        return qsizetype(std::uniform_int_distribution<qsizetype>(0, n - 1)(random));
    };
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i) {
        QByteArray line = seeds[pick(std::size(seeds))];
        const int changes = 1 + int(pick(3));
        for (int k = 0; k < changes; ++k) {
            const qsizetype at = pick(line.size());
            switch (pick(4)) {
            case 0:
                line[at] = alphabet[pick(alphabet.size())];
                break;
            case 1:
                line.remove(at, 1);
                break;
            case 2:
                line.insert(at, alphabet[pick(alphabet.size())]);
                break;
            default: {
                line.clear();
                const qsizetype length = 1 + pick(20);
                for (qsizetype c = 0; c < length; ++c)
                    line += alphabet[pick(alphabet.size())];
            }
            }
            if (line.isEmpty())
                line = "1";
        }
        lines << line + "\r\n";
    }
    return lines;
}

} // namespace

// No reader, whatever it is sent, yields a reading whose value is not a
// finite number.
TEST(BalanceDialectFuzz, NoReaderYieldsAValueThatIsNotAFiniteNumber) {
    const QList<QByteArray> lines = FuzzLines(20240305, 20000);
    for (const QString& name : BalanceDialect::Names()) {
        const BalanceDialect dialect = *BalanceDialect::Named(name);
        for (const QByteArray& line : lines) {
            for (const BalanceReply& reply : dialect.Read(line)) {
                if (reply.kind == Kind::Reading) {
                    ASSERT_TRUE(FiniteNumberText(reply.value, false, false))
                        << name.toStdString() << ": " << line.toStdString() << " -> "
                        << reply.value.toStdString();
                }
            }
            const auto continuous = dialect.ReadContinuous(QString::fromLatin1(line));
            if (continuous) {
                ASSERT_TRUE(std::isfinite(continuous->value))
                    << name.toStdString() << ": " << line.toStdString();
            }
        }
    }
    // The default family's single replies go through the reading handler.
    ReadingHandler::HandlerContext context;
    context.locale = QLocale::c();
    for (const QByteArray& line : lines) {
        const auto reading = ReadingHandler::PrzetworzOdczyt(line, QDateTime(), context);
        if (!reading)
            continue;
        QString value = reading->valueText;
        value.remove(QLatin1String("\r\n"));
        // The unit follows the number; a "%" ends the value as the store reads it.
        ASSERT_TRUE(FiniteNumberText(value.section(u'%', 0, 0), true, true))
            << line.toStdString() << " -> " << reading->valueText.toStdString();
        ASSERT_TRUE(std::isfinite(ReadingHandler::NumberAtFront(reading->valueText)))
            << line.toStdString();
    }
}
