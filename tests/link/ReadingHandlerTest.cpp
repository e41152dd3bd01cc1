#include "ReadingHandler.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Pomiar::ReadingHandler;

namespace {

struct ValueCase {
    const char* text;
    double value;
};

TEST(NumberAtFront, ReadsTheLeadingNumberWithPointAsDecimalSeparator) {
    const ValueCase cases[] = {
        {"12.345 g", 12.345},
        {"- 1.5", -1.5},
        {"12,5 g", 12},
        {"  -1.20 kg\r\n", -1.2},
        {"+7", 7},
        {".5", 0.5},
        {"5.", 5},
        {"1 2 3", 123},
        {"\t\n42\n", 42},
        {"1.2.3", 1.2},
        {"3.5 %", 3.5},
        {"0012", 12},
        {"12\r\n34", 12},
        {"--1", 0},
        {"+-1", 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(NumberAtFront(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(NumberAtFront, TextWithoutDigitsIsZero) {
    for (const char* text : {"", "g", "-", ".", " . ", "E5", "-e", "ES", "\r\n"})
        EXPECT_EQ(NumberAtFront(QString::fromLatin1(text)), 0) << text;
}

TEST(NumberAtFront, ReadsAnExponentMarkedByEOrD) {
    const ValueCase cases[] = {
        {"1E3", 1000},      {"1.5e-3", 0.0015}, {"2D2", 200}, {"2d+2", 200},
        {"-4 E 2 g", -400}, {"12e", 12},        {"12e-", 12}, {"12E+ g", 12},
        {"1.5E2.5", 150},   {"3e2e1", 300},     {"7 g 1", 7}, {"1.25E-2kg", 0.0125},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(NumberAtFront(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(NumberAtFront, NumbersBeyondADoubleAreInfiniteOrZero) {
    EXPECT_EQ(NumberAtFront("1E400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(NumberAtFront("-1E400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(NumberAtFront("1E-400"), 0);
    // Leading fraction zeros make the number tiny even with a positive exponent.
    EXPECT_EQ(NumberAtFront("0." + QString(500, u'0') + "1E100"), 0);
}

TEST(IsNumber, FollowsTheLocaleAndAllowsBlanksAround) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    EXPECT_TRUE(IsNumber(".4", english));
    EXPECT_TRUE(IsNumber(" 45 ", english));
    EXPECT_TRUE(IsNumber("-1.5e3", english));
    EXPECT_TRUE(IsNumber("1,5", polish));
    EXPECT_TRUE(IsNumber(" 12 ", polish));
    EXPECT_FALSE(IsNumber("1.5", polish));
    for (const QLocale& locale : {english, polish}) {
        EXPECT_FALSE(IsNumber("", locale));
        EXPECT_FALSE(IsNumber("   ", locale));
        EXPECT_FALSE(IsNumber("g", locale));
        EXPECT_FALSE(IsNumber("kg", locale));
        EXPECT_FALSE(IsNumber("%", locale));
        EXPECT_FALSE(IsNumber("4g", locale));
    }
}

} // namespace

namespace {

const QLocale English(QLocale::English, QLocale::UnitedStates);
const QLocale Polish(QLocale::Polish, QLocale::Poland);

// Records what the handler asked the limit test and what it logged.
struct Recorder {
    QStringList limitQueries;
    QStringList errors;
    bool outside = false;

    HandlerContext Context(const QLocale& locale, bool reportCapture = false) {
        HandlerContext context;
        context.reportCapture = reportCapture;
        context.locale = locale;
        context.outsideLimits = [this](const QString& value) {
            limitQueries << value;
            return outside;
        };
        context.logError = [this](const QString& error) { errors << error; };
        return context;
    }
};

const QDateTime Received(QDate(2024, 3, 5), QTime(10, 15, 30));

std::optional<Reading> Handle(const QByteArray& frame, const HandlerContext& context) {
    return PrzetworzOdczyt(frame, Received, context);
}

// The stage a frame is dropped at is seen from outside by whether the limit
// test was consulted: the cleaning tests come before it, the others after.
enum class Outcome { Accepted, EndsBeforeLimits, EndsAfterLimits };

struct WorkedExample {
    const char* frame; // CR LF is added
    Outcome outcome;
    const char* valueText; // without the CR LF that stays at its end
    const char* unit;
    double value;
};

const WorkedExample WorkedExamples[] = {
    {"SI ?   12.345 g", Outcome::Accepted, "12.345 g", "g", 12.345},
    {"S     -1.20 kg", Outcome::Accepted, "-1.20 kg", "kg", -1.2},
    {"S A", Outcome::EndsBeforeLimits, "", "", 0},              // a bare CR LF remains
    {"ES", Outcome::EndsBeforeLimits, "", "", 0},               // error reply
    {"12:05     3.5 %", Outcome::Accepted, "3.5 %", "%", 3.5},  // printout time cut off
    {"Data: 2008-05-06", Outcome::EndsBeforeLimits, "", "", 0}, // labelled line
    {"   123.4", Outcome::EndsAfterLimits, "", "", 0},          // ".4" is no unit
};

TEST(PrzetworzOdczyt, WorkedExamplesInBothLocales) {
    for (const QLocale& locale : {English, Polish}) {
        for (const auto& example : WorkedExamples) {
            SCOPED_TRACE(std::string(example.frame) + " / " + locale.name().toStdString());
            Recorder recorder;
            const auto reading =
                Handle(QByteArray(example.frame) + "\r\n", recorder.Context(locale));
            EXPECT_TRUE(recorder.errors.isEmpty());
            EXPECT_EQ(reading.has_value(), example.outcome == Outcome::Accepted);
            EXPECT_EQ(recorder.limitQueries.isEmpty(),
                      example.outcome == Outcome::EndsBeforeLimits);
            if (!reading)
                continue;
            EXPECT_EQ(reading->valueText, QString(example.valueText) + "\r\n");
            EXPECT_EQ(reading->unit, example.unit);
            EXPECT_EQ(reading->time, Received);
            const QString number = reading->valueText.section(u'%', 0, 0);
            EXPECT_DOUBLE_EQ(NumberAtFront(number), example.value);
        }
    }
}

TEST(PrzetworzOdczyt, LimitTestGetsTheValueShownAsThePlatformShowsNumbers) {
    struct Case {
        const char* frame;
        const QLocale& locale;
        const char* normalised;
    };
    const Case cases[] = {
        {"SI ?   12.345 g\r\n", English, "12.345"}, {"SI ?   12.345 g\r\n", Polish, "12,345"},
        {"12:05     3.5 %\r\n", English, "3.5"},    {"    12,5 g\r\n", English, "12.5"},
        {"  1234567.5 g\r\n", Polish, "1234567,5"}, {"  0.00001 g\r\n", English, "1E-05"},
    };
    for (const auto& c : cases) {
        Recorder recorder;
        EXPECT_TRUE(Handle(c.frame, recorder.Context(c.locale)).has_value()) << c.frame;
        EXPECT_EQ(recorder.limitQueries, QStringList{c.normalised}) << c.frame;
    }
}

TEST(PrzetworzOdczyt, ValueOutsideTheLimitsIsDroppedSilently) {
    Recorder recorder;
    recorder.outside = true;
    EXPECT_FALSE(Handle("SI ?   12.345 g\r\n", recorder.Context(English)));
    EXPECT_EQ(recorder.limitQueries, QStringList{"12.345"});
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST(PrzetworzOdczyt, FailingLimitTestIsLoggedAndDropsTheFrame) {
    Recorder recorder;
    HandlerContext context = recorder.Context(English);
    context.outsideLimits = [](const QString&) -> bool {
        throw std::runtime_error("limit text unreadable");
    };
    EXPECT_FALSE(Handle("  12.5 g\r\n", context));
    EXPECT_EQ(recorder.errors, QStringList{"limit text unreadable"});

    recorder.errors.clear();
    context.outsideLimits = [](const QString&) -> bool { throw 42; };
    EXPECT_FALSE(Handle("  12.5 g\r\n", context));
    EXPECT_EQ(recorder.errors.size(), 1);
}

TEST(PrzetworzOdczyt, ValueBeyondADoubleIsLoggedAndDropped) {
    Recorder recorder;
    EXPECT_FALSE(Handle("  1E400 g\r\n", recorder.Context(English)));
    EXPECT_EQ(recorder.errors, QStringList{"Overflow"});
    EXPECT_TRUE(recorder.limitQueries.isEmpty());
}

TEST(PrzetworzOdczyt, WorksWithoutLimitTestOrLog) {
    HandlerContext context;
    context.locale = English;
    const auto reading = Handle("  12.5 g\r\n", context);
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->unit, "g");
    // A failing step with nowhere to log still only drops the frame.
    EXPECT_FALSE(Handle("   ", context));
}

TEST(PrzetworzOdczyt, AFailingLogDoesNotEscapeTheHandler) {
    HandlerContext context;
    context.locale = English;
    context.logError = [](const QString&) { throw std::runtime_error("disk full"); };
    EXPECT_NO_THROW(EXPECT_FALSE(Handle("   ", context)));
}

TEST(PrzetworzOdczyt, AcknowledgementsAndErrorRepliesGiveNoReading) {
    for (const char* frame : {"ES\r\n", "ES", "T A\r\n", "S I\r\n", "S A\r\n", "C1\r\n", "C0\r\n",
                              "ST A\r\n", "\r\n", "", " g\r\n"}) {
        Recorder recorder;
        EXPECT_FALSE(Handle(frame, recorder.Context(English))) << frame;
        EXPECT_TRUE(recorder.errors.isEmpty()) << frame;
    }
}

TEST(PrzetworzOdczyt, FramesLongerThanThirtyCharactersAfterCleaningAreDropped) {
    Recorder recorder;
    const HandlerContext context = recorder.Context(English);
    // 28 characters and CR LF count 30.
    const QByteArray thirty = QByteArray(25, '1') + " mg\r\n";
    EXPECT_TRUE(Handle(thirty, context));
    EXPECT_FALSE(Handle("1" + thirty, context));
    // What the cleaning removes does not count.
    EXPECT_TRUE(Handle("SI ? [" + thirty.left(25) + "] mg\r\n", context));
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST(PrzetworzOdczyt, UnitIsTheLastTwoCharacters) {
    struct Case {
        const char* frame;
        const char* unit;
    };
    const Case cases[] = {
        {"12.5 mg\r\n", "mg"}, {"12.5 ozt\r\n", "zt"}, {"12.5 g\r\n", "g"},
        {"12.5g\r\n", "5g"},   {"-3 lb  \r\n", "lb"},  {"12.5 \xB5g\r\n", "\u00B5g"},
    };
    for (const auto& c : cases) {
        Recorder recorder;
        const auto reading = Handle(c.frame, recorder.Context(English));
        ASSERT_TRUE(reading) << c.frame;
        EXPECT_EQ(reading->unit, QString::fromUtf8(c.unit)) << c.frame;
    }
}

TEST(PrzetworzOdczyt, UnitBeforeThreeLineEndsOfAPrintoutLine) {
    Recorder recorder;
    const auto reading = Handle("  12.5 kg\r\n\r\n\r\n", recorder.Context(English));
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->unit, "kg");
    EXPECT_EQ(reading->valueText, "12.5 kg\r\n\r\n\r\n");
}

TEST(PrzetworzOdczyt, TooShortForTheUnitBeforeThreeLineEndsIsLoggedAndGoesOn) {
    Recorder recorder;
    const auto reading = Handle("5\r\n\r\n\r\n", recorder.Context(English));
    EXPECT_EQ(recorder.errors.size(), 1);
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->unit, "?");
}

TEST(PrzetworzOdczyt, NumberWithoutUnitEndsWhateverTheLocale) {
    for (const QLocale& locale : {English, Polish})
        for (const char* frame : {"123.4\r\n", "123.45\r\n", "1234\r\n", "-5\r\n"}) {
            Recorder recorder;
            EXPECT_FALSE(Handle(frame, recorder.Context(locale))) << frame;
        }
}

TEST(PrzetworzOdczyt, FirstCharacterMustBePrintable) {
    Recorder recorder;
    const HandlerContext context = recorder.Context(English);
    EXPECT_FALSE(Handle("\x07 12.5 g\r\n", context));
    EXPECT_FALSE(Handle("\xB1 12.5 g\r\n", context));
    EXPECT_FALSE(Handle("\x7F 12.5 g\r\n", context));
    EXPECT_TRUE(Handle("12.5 g\r\n", context));
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST(PrzetworzOdczyt, TextWithoutANumberAtItsFrontIsNoReading) {
    // Each of these would read as a value of 0 (or of the hour).
    for (bool capture : {false, true})
        for (const char* frame :
             {"\x08 12.5 g\r\n", "~ 12.5 g\r\n", "N  +12.5 g\r\n", "12:05\r\n"}) {
            Recorder recorder;
            EXPECT_FALSE(Handle(frame, recorder.Context(English, capture)))
                << frame << " capture " << capture;
            EXPECT_TRUE(recorder.errors.isEmpty()) << frame;
        }
    // Signs, blanks and a bare decimal point still open a number.
    struct Case {
        const char* frame;
        double value;
    };
    for (const Case& c : {Case{"+ 12.5 g\r\n", 12.5}, Case{"-  . 5 g\r\n", -0.5},
                          Case{".25 kg\r\n", 0.25}, Case{"12 g\r\n", 12}}) {
        Recorder recorder;
        const auto reading = Handle(c.frame, recorder.Context(English));
        ASSERT_TRUE(reading) << c.frame;
        EXPECT_EQ(NumberAtFront(reading->valueText), c.value) << c.frame;
    }
}

TEST(PrzetworzOdczyt, NothingLeftForTheFirstCharacterTestIsLoggedAndDropped) {
    Recorder recorder;
    EXPECT_FALSE(Handle("SI   ", recorder.Context(English)));
    EXPECT_EQ(recorder.errors.size(), 1);
}

TEST(PrzetworzOdczyt, ReportCaptureKeepsPrintoutLinesUncleaned) {
    Recorder recorder;
    const HandlerContext context = recorder.Context(English, true);

    auto reading = Handle("SI ?   12.345 g\r\n", context);
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->valueText, "    12.345 g\r\n");
    EXPECT_EQ(reading->unit, "g");

    // Lines of a printed report never become readings: empty lines and
    // acknowledgements hold no digit, labelled lines and timed lines do not
    // open with their value (they would be stored as 0 or as the hour).
    for (const char* frame :
         {"\r\n", "S A\r\n", "  \r\n", "Data: \r\n",
          "Temperatura: 22.5 \xf8"
          "C\r\n",
          "Masa wzorca: 200.0000 g\r\n", "Nr fabryczny: 000001\r\n", "12:05     3.5 %\r\n"})
        EXPECT_FALSE(Handle(frame, context)) << frame;
    EXPECT_TRUE(recorder.errors.isEmpty());
}

TEST(PrzetworzOdczyt, LatinOneBytesAreCharactersOneToOne) {
    Recorder recorder;
    // As UTF-8 these bytes would be one character and the unit "g".
    const auto reading = Handle("  12.5 \xC3\xA9\r\n", recorder.Context(English));
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->unit, QString::fromUtf8("\u00C3\u00A9"));
}

TEST(ReadContinuousLine, ReadsFixedColumnsWithTheSignOfTheFirstCharacter) {
    struct Case {
        const char* line;
        double value;
        const char* unit;
    };
    const Case cases[] = {
        {"   12.500 g  ", 12.5, "g"},
        {"-  12.500 g  ", -12.5, "g"},
        {"SI?   1.25 kg  ", 1.25, "kg"},
        {"   ?   3.5 %  ", 3.5, "%"},
        {"-    0.000 g  ", 0, "g"},
        {"12345.6 mg  ", 45.6, "mg"},
        // A sign anywhere but in the first character is outside the columns.
        {" - 12.5 g   ", 12.5, "g"},
    };
    for (const auto& c : cases) {
        const auto read = ReadContinuousLine(c.line);
        ASSERT_TRUE(read) << c.line;
        EXPECT_DOUBLE_EQ(read->value, c.value) << c.line;
        EXPECT_FALSE(std::signbit(read->value) && c.value == 0) << c.line;
        EXPECT_EQ(read->unit, c.unit) << c.line;
    }
}

TEST(ReadContinuousLine, SkipsAcknowledgementsErrorsAndLinesWithoutDigits) {
    for (const char* line : {"C1", "C1 A", "   12.5 g C0", "S0", "S1 12.5 g", "   12.500 ES", "ES",
                             "  ES 12.5 g", "", "SI?", "   ", "T A", "   1E400 g"})
        EXPECT_FALSE(ReadContinuousLine(line)) << line;
}

} // namespace

namespace {

// The unstable line keeps its sign and its digits: the columns are cut on
// the line as it came, the status in front of them blanked where it stands.
TEST(ReadContinuousLine, AnUnstableLineKeepsItsSignAndDigits) {
    struct Case {
        const char* line;
        double value;
        const char* unit;
    };
    const Case cases[] = {
        {"SI ? -150.0000 g  ", -150, "g"},    {"SI ? -150.0000 g", -150, "g"},
        {"SI ? 1234.5678 g", 1234.5678, "g"}, {"SI    -12.3456 g  ", -12.3456, "g"},
        {"S      12.3456 g  ", 12.3456, "g"},
    };
    for (const auto& c : cases) {
        const auto read = ReadContinuousLine(c.line);
        ASSERT_TRUE(read) << c.line;
        EXPECT_DOUBLE_EQ(read->value, c.value) << c.line;
        EXPECT_EQ(read->unit, c.unit) << c.line;
    }
}

// Columns without a number, or with digits beside it, carry no value.
TEST(ReadContinuousLine, ColumnsWithoutOneNumberAreNoReading) {
    for (const char* line : {"1  abc", "1  abc g", "   12?3 g  ", "    1\r2 g", "   2P15 g  ",
                             "SI ? Error 10b", "   1.5E2.5 g"})
        EXPECT_FALSE(ReadContinuousLine(line)) << line;
}

// A status text is removed only where it stands, in the header before the
// value; elsewhere it makes the value field no number.
TEST(PrzetworzOdczyt, StatusTextsGoOnlyWhereTheyStand) {
    for (const char* frame :
         {"    2P15 g\r\n", "1?2 g\r\n", "S19 g\r\n", "  12?3 g\r\n", "  1 S 2 g\r\n",
          "  12 C1 3 g\r\n", "  1.5E2.5 g\r\n", "    1\r2 g\r\n"}) {
        Recorder recorder;
        EXPECT_FALSE(Handle(frame, recorder.Context(English))) << frame;
    }
    struct Case {
        const char* frame;
        double value;
    };
    for (const Case& c :
         {Case{"S1 12.5 g\r\n", 12.5}, Case{"SI?  -3.5 g\r\n", -3.5}, Case{"ST   7.25 g\r\n", 7.25},
          Case{"  123.5[6] g\r\n", 123.56}, Case{"GS S   4.5 kg\r\n", 4.5}}) {
        Recorder recorder;
        const auto reading = Handle(c.frame, recorder.Context(English));
        ASSERT_TRUE(reading) << c.frame;
        EXPECT_DOUBLE_EQ(NumberAtFront(reading->valueText), c.value) << c.frame;
    }
}

// A value beyond a double is no reading even when no limit is on.
TEST(PrzetworzOdczyt, ValueBeyondADoubleIsNoReadingWithoutLimits) {
    HandlerContext context;
    context.locale = English;
    EXPECT_FALSE(Handle("  1E400 g\r\n", context));
    EXPECT_FALSE(Handle("  -1e999 g\r\n", context));
    EXPECT_TRUE(Handle("  1E3 g\r\n", context));
}

} // namespace
