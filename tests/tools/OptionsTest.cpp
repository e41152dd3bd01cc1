#include "Options.h"
#include "ScopedEnv.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

using BalanceSim::ControlCommand;
using BalanceSim::Options;

namespace {

std::optional<Options> Parse(const QStringList& arguments, QString* why = nullptr) {
    return Options::Parse(arguments, why);
}

} // namespace

TEST(Options, SerialEndpointUsesThePortDirectoryOfTheEnvironment) {
    const auto options = Parse({"--com", "7"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->com, 7);
    EXPECT_EQ(options->tcpPort, -1);
    EXPECT_EQ(options->portDirectory, TestEnvironment::PortDirectory());
    EXPECT_EQ(Parse({"--com", "7", "--port-dir", "/tmp/x"})->portDirectory, "/tmp/x");
}

TEST(Options, WithoutMordalPortsTheDirectoryLiesInTheUsersConfiguration) {
    ScopedEnv ports("MORDAL_PORTS", QByteArray());
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/home/u/cfg");
        EXPECT_EQ(Options::DefaultPortDirectory(), "/home/u/cfg/Mordal/ports");
    }
    ScopedEnv config("XDG_CONFIG_HOME", QByteArray());
    EXPECT_TRUE(Options::DefaultPortDirectory().endsWith("/.config/Mordal/ports"));
}

TEST(Options, BothEndpointsAtOnce) {
    const auto options = Parse({"--tcp", "0", "--com", "256"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->tcpPort, 0);
    EXPECT_EQ(options->com, 256);
}

TEST(Options, InstrumentOptionsBecomeSetupCommandsInOrder) {
    const auto options = Parse({"--tcp", "0", "--unstable", "--mass", "2.5", "--unit", "kg",
                                "--moisture", "--rate", "50", "--delay", "20", "--noreply"});
    ASSERT_TRUE(options);
    using Kind = ControlCommand::Kind;
    ASSERT_EQ(options->setup.size(), 7);
    EXPECT_EQ(options->setup[0].kind, Kind::Stable);
    EXPECT_FALSE(options->setup[0].on);
    EXPECT_DOUBLE_EQ(options->setup[1].number, 2.5);
    EXPECT_EQ(options->setup[2].bytes, "kg");
    EXPECT_EQ(options->setup[3].kind, Kind::Moisture);
    EXPECT_DOUBLE_EQ(options->setup[4].number, 50.0);
    EXPECT_EQ(options->setup[5].integer, 20);
    EXPECT_EQ(options->setup[6].kind, Kind::NoReply);
}

TEST(Options, OtherSwitches) {
    const auto options =
        Parse({"--tcp", "0", "--seed", "9", "--exit-on-eof", "--log", "--script", "/tmp/s.txt"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->seed, 9u);
    EXPECT_TRUE(options->exitOnEof);
    EXPECT_TRUE(options->log);
    EXPECT_EQ(options->scriptPath, "/tmp/s.txt");
    EXPECT_FALSE(Parse({"--tcp", "0"})->seed);
}

// The eccentricity and scatter settings, spelled as their control commands.
TEST(Options, ScatterPositionAndOffsets) {
    using Kind = ControlCommand::Kind;
    const auto options = Parse({"--tcp", "0", "--scatter", "1.5", "--position", "back-left",
                                "--offset", "front-left=3", "--offset", "back-right=-1"});
    ASSERT_TRUE(options);
    ASSERT_EQ(options->setup.size(), 4);
    EXPECT_EQ(options->setup[0].kind, Kind::Scatter);
    EXPECT_DOUBLE_EQ(options->setup[0].number, 1.5);
    EXPECT_EQ(options->setup[1].integer, 2);
    EXPECT_EQ(options->setup[2].kind, Kind::Offset);
    EXPECT_EQ(options->setup[3].integer, 3);
    EXPECT_DOUBLE_EQ(options->setup[3].number, -1.0);
    EXPECT_FALSE(Parse({"--tcp", "0", "--offset", "middle=3"}));
    EXPECT_FALSE(Parse({"--tcp", "0", "--position"}));
}

TEST(Options, HelpNeedsNoEndpointAndNamesEveryControlCommand) {
    const auto options = Parse({"--help"});
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->help);
    const QString help = Options::HelpText();
    for (const char* word :
         {"mass",     "unit",          "stable",   "noise",     "moisture", "noreply",
          "delay",    "split",         "garbage",  "send",      "report",   "drop",
          "rate",     "quit",          "scatter",  "position",  "offset",   "--scatter",
          "--offset", "--exit-on-eof", "--script", "READY COM", "READY TCP"})
        EXPECT_TRUE(help.contains(QLatin1String(word))) << word;
}

TEST(Options, RejectsImpossibleCommandLines) {
    const QList<QStringList> cases = {
        {},
        {"--mass", "1"},
        {"--com"},
        {"--com", "0"},
        {"--com", "257"},
        {"--com", "x"},
        {"--tcp", "65536"},
        {"--tcp", "-1"},
        {"--tcp", "0", "--mass", "heavy"},
        {"--tcp", "0", "--rate", "0"},
        {"--tcp", "0", "--unit"},
        {"--tcp", "0", "--seed", "-3"},
        {"--tcp", "0", "--frobnicate"},
        {"--tcp", "0", "extra"},
        {"--tcp", "0", "--dialect", "SICS"},
        {"--tcp", "0", "--dialect"},
        {"--tcp", "0", "--line", "7E3"},
    };
    for (const QStringList& arguments : cases) {
        QString why;
        EXPECT_FALSE(Parse(arguments, &why)) << qPrintable(arguments.join(' '));
        EXPECT_FALSE(why.isEmpty()) << qPrintable(arguments.join(' '));
    }
}

TEST(Options, DialectAndLineFormat) {
    const auto options = Parse({"--tcp", "0", "--dialect", "sbi", "--line", "7O1", "--busy"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->dialect, "sbi");
    EXPECT_EQ(options->line.DataBits(), 7);
    EXPECT_EQ(options->setup.front().kind, ControlCommand::Kind::Busy);
    EXPECT_EQ(Parse({"--tcp", "0"})->dialect, "default");
    QString why;
    ASSERT_FALSE(Parse({"--tcp", "0", "--dialect", "xyz"}, &why));
    for (const char* name : {"default", "sics", "sbi", "ad", "ohaus"})
        EXPECT_TRUE(why.contains(QLatin1String(name))) << qPrintable(why);
}

// The balance's output setting and its own error, as setup commands.
TEST(Options, FormAndFault) {
    const auto options = Parse({"--tcp", "0", "--dialect", "sbi", "--form", "short", "--fault"});
    ASSERT_TRUE(options);
    ASSERT_EQ(options->setup.size(), 2);
    EXPECT_EQ(options->setup[0].kind, ControlCommand::Kind::Form);
    EXPECT_EQ(options->setup[0].bytes, "short");
    EXPECT_EQ(options->setup[1].kind, ControlCommand::Kind::Fault);
    QString why;
    ASSERT_FALSE(Parse({"--tcp", "0", "--form", "wide"}, &why));
    EXPECT_TRUE(why.startsWith("--form")) << qPrintable(why);
    EXPECT_TRUE(Options::HelpText().contains("form standard|short|words|legend|noack"));
}

TEST(Options, SetupErrorsNameTheOption) {
    QString why;
    ASSERT_FALSE(Parse({"--tcp", "0", "--noise", "-1"}, &why));
    EXPECT_TRUE(why.startsWith("--noise")) << qPrintable(why);
}
