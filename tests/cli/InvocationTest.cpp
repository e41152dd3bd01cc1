#include "Invocation.h"

#include <gtest/gtest.h>

using Trevalo::OutputFormat;
using Trevalo::ParseCommandLine;

namespace {

Trevalo::ParsedCommandLine Parse(const QStringList& arguments) {
    return ParseCommandLine(QStringList{"trevalo"} + arguments);
}

} // namespace

TEST(Invocation, LinkAndVerbOptionsInBothSpellings) {
    const auto parsed =
        Parse({"read", "--tcp=127.0.0.1:4001", "--count", "5", "--interval=0.5", "--format", "json",
               "--unstable", "--station", "7", "--timeout", "2.5"});
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    const Trevalo::Invocation& run = parsed.invocation;
    EXPECT_EQ(run.verb, "read");
    EXPECT_EQ(run.tcpHost, "127.0.0.1");
    EXPECT_EQ(run.tcpPort, 4001);
    EXPECT_EQ(run.count, 5);
    EXPECT_EQ(run.intervalMs, 500);
    EXPECT_EQ(run.format, OutputFormat::Json);
    EXPECT_TRUE(run.unstable);
    EXPECT_EQ(run.station, "7");
    EXPECT_EQ(run.timeoutMs, 2500);
    EXPECT_FALSE(run.port.has_value());
}

TEST(Invocation, OperandsAndFileOptions) {
    auto parsed = Parse({"send", "SIR", "--port", "3", "--dir", "/tmp/x"});
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.invocation.operand, "SIR");
    EXPECT_EQ(parsed.invocation.port, 3);
    EXPECT_EQ(parsed.invocation.folderArguments, (QStringList{"--dir", "/tmp/x"}));

    parsed = Parse({"export", "a.ser", "--csv", "a.csv"});
    ASSERT_TRUE(parsed.error.isEmpty());
    EXPECT_EQ(parsed.invocation.operand, "a.ser");
    EXPECT_EQ(parsed.invocation.csv, "a.csv");

    parsed = Parse({"server", "status", "--station", "4", "--dir", "/tmp/x"});
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.invocation.operand, "status");
    EXPECT_EQ(parsed.invocation.station, "4");

    parsed = Parse({"server", "verify", "--file", "a.ser"});
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.invocation.operand, "verify");
    EXPECT_EQ(parsed.invocation.file, "a.ser");
}

// Every one of these is a usage error a script must see as such (exit 2),
// not a run with a guessed meaning.
TEST(Invocation, RefusesWhatItCannotMean) {
    const QList<QStringList> wrong{
        {},
        {"weigh"},
        {"read", "--port", "0"},
        {"read", "--port", "257"},
        {"read", "--port", "COM1"},
        {"read", "--tcp", "127.0.0.1"},
        {"read", "--tcp", "127.0.0.1:70000"},
        {"read", "--count", "0"},
        {"read", "--format", "xml"},
        {"read", "--interval", "-1"},
        {"read", "--port", "1", "--tcp", "127.0.0.1:1"},
        {"read", "--out", "x.ser"},
        {"read", "extra"},
        {"read", "--count"},
        {"read", "--unstable=yes"},
        {"tare", "--format", "csv"},
        {"send"},
        {"send", "A", "B"},
        {"stream", "--duration", "0"},
        {"log", "--interval", "1"},
        {"stats"},
        {"export", "a.ser"},
        {"ports", "--port", "1"},
        {"server"},
        {"server", "drop"},
        {"server", "init", "status"},
        {"server", "status", "--tcp", "127.0.0.1:5432"},
        {"server", "status", "--file", "a.ser"},
        {"server", "verify", "--file"},
        {"export", "a.ser", "--csv", "a.csv", "--file", "b.ser"},
    };
    for (const QStringList& arguments : wrong) {
        const auto parsed = Parse(arguments);
        EXPECT_FALSE(parsed.error.isEmpty()) << arguments.join(' ').toStdString();
        EXPECT_TRUE(parsed.help.isEmpty()) << arguments.join(' ').toStdString();
    }
}

// Times are kept in milliseconds: what does not fit, or rounds to nothing,
// or is not what automatic work can keep, is refused with what would be.
TEST(Invocation, TimesThatCannotBeKeptAreRefusedWithTheRange) {
    const std::pair<QStringList, QString> refused[] = {
        {{"stream", "--duration", "3000000"}, "(seconds from 0.001 to 604800)"},
        {{"read", "--interval", "3000000", "--count", "2"}, "(seconds from 0 to 604800)"},
        {{"read", "--timeout", "0.0004"}, "(seconds from 0.001 to 3600)"},
        {{"read", "--timeout", "3601"}, "(seconds from 0.001 to 3600)"},
        {{"log", "--out", "a.ser", "--interval", "0.1"}, "would ask every 0.5 s"},
        {{"log", "--out", "a.ser", "--interval", "0.7"}, "would ask every 0.5 s"},
        {{"log", "--out", "a.ser", "--interval", "1.2"}, "would ask every 1 s"},
    };
    for (const auto& [arguments, range] : refused) {
        const auto parsed = Parse(arguments);
        EXPECT_TRUE(parsed.error.endsWith(range))
            << arguments.join(' ').toStdString() << ": " << parsed.error.toStdString();
    }
    auto parsed = Parse({"read", "--timeout", "0.0015", "--interval", "604800"});
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    EXPECT_EQ(parsed.invocation.timeoutMs, 2);
    EXPECT_EQ(parsed.invocation.intervalMs, 604800000);
    parsed = Parse({"log", "--out", "a.ser", "--interval", "2.5"});
    EXPECT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
}

TEST(Invocation, HelpOfTheProgramAndOfEachVerb) {
    const auto general = Parse({"--help"});
    EXPECT_TRUE(general.error.isEmpty());
    for (const char* verb :
         {"ports", "read", "tare", "send", "stream", "log", "stats", "export", "server"})
        EXPECT_TRUE(general.help.contains(QLatin1String(verb))) << verb;

    const auto log = Parse({"log", "--help"});
    EXPECT_TRUE(log.error.isEmpty());
    for (const char* option : {"--interval", "--cycle", "--out", "--port", "--tcp"})
        EXPECT_TRUE(log.help.contains(QLatin1String(option))) << option;
    EXPECT_FALSE(log.help.contains(QLatin1String("--csv")));
}

// check: its kind as the operand, its own options kept by name for the
// verb, the link options as for every verb.
TEST(Invocation, CheckKindsAndTheirOptions) {
    const auto parsed =
        Parse({"check", "repeatability", "--count", "12", "--d=0.0001", "--smallest-net", "0.05",
               "--tcp", "127.0.0.1:4001", "--format", "json"});
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    const Trevalo::Invocation& run = parsed.invocation;
    EXPECT_EQ(run.operand, "repeatability");
    EXPECT_EQ(run.count, 12);
    EXPECT_EQ(run.checkOptions.at("d"), "0.0001");
    EXPECT_EQ(run.checkOptions.at("smallest-net"), "0.05");
    EXPECT_EQ(run.checkOptions.count("count"), 1u);
    EXPECT_EQ(run.format, Trevalo::OutputFormat::Json);
    EXPECT_TRUE(Parse({"check", "eccentricity", "--test-weight", "100", "--tolerance", "0.0003"})
                    .error.isEmpty());
    EXPECT_FALSE(Parse({"check"}).error.isEmpty());
    EXPECT_FALSE(Parse({"check", "linearity"}).error.isEmpty());
    EXPECT_FALSE(Parse({"check", "accuracy", "--csv", "x.csv"}).error.isEmpty());
    EXPECT_FALSE(Parse({"check", "accuracy", "--format", "csv"}).error.isEmpty());
    // Other verbs do not take the check's options.
    EXPECT_FALSE(Parse({"read", "--d", "0.1"}).error.isEmpty());
    EXPECT_TRUE(Parse({"read", "--count", "2"}).invocation.checkOptions.empty());
}
