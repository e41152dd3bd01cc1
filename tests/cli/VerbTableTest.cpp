#include "VerbTable.h"
#include "ExitCode.h"
#include "Invocation.h"

#include <gtest/gtest.h>

#include <set>

using Trevalo::Verb;

// Every record is complete on its own: adding a verb is adding a record.
TEST(VerbTable, EveryVerbHasOneRunnerAndKnownOptions) {
    std::set<QString> names;
    for (const Verb& verb : Trevalo::Verbs()) {
        SCOPED_TRACE(verb.name);
        EXPECT_TRUE(names.insert(QLatin1String(verb.name)).second) << "a name used twice";
        EXPECT_NE(verb.runner == nullptr, verb.stationRunner == nullptr)
            << "exactly one runner: plain, or after the station's prologue";
        EXPECT_EQ(Trevalo::FindVerb(QLatin1String(verb.name)), &verb);
        // Each option the verb takes is one the parser knows: its help
        // names it and a value for it parses or is refused as a value.
        const auto help =
            Trevalo::ParseCommandLine({"trevalo", QLatin1String(verb.name), "--help"}).help;
        for (const QString& option : verb.options)
            EXPECT_TRUE(help.contains("--" + option)) << option.toStdString();
    }
    EXPECT_EQ(Trevalo::FindVerb("nonsense"), nullptr);
}

// The verbs that work on the balance go through the shared prologue (the
// settings read, the link opened); the others run on their own.
TEST(VerbTable, VerbsOnTheBalanceOpenTheStationFirst) {
    const struct {
        const char* verb;
        bool opensStation;
        bool catchesInterrupts;
    } cases[] = {
        {"ports", false, false},  {"read", true, true},    {"tare", true, false},
        {"detect", false, false}, {"send", true, true},    {"stream", true, true},
        {"log", true, true},      {"stats", false, false}, {"export", false, false},
        {"verify", false, false}, {"check", false, false}, {"server", false, false},
    };
    EXPECT_EQ(size_t(Trevalo::Verbs().size()), std::size(cases));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.verb);
        const Verb* verb = Trevalo::FindVerb(QLatin1String(c.verb));
        ASSERT_NE(verb, nullptr);
        EXPECT_EQ(verb->stationRunner != nullptr, c.opensStation);
        EXPECT_EQ(verb->catchesInterrupts, c.catchesInterrupts);
    }
}

// Each verb's own completion check runs after the shared ones, so a
// command line wrong in two ways is told the shared fault first.
TEST(VerbTable, CompletionChecksInOrder) {
    const struct {
        QStringList arguments;
        QString error;
    } cases[] = {
        {{"log", "--port", "1", "--tcp", "h:1"}, "--port and --tcp exclude each other"},
        {{"log", "--port", "1"}, "log needs --out SERIES.ser"},
        {{"export", "a.ser"}, "export needs --csv FILE"},
        {{"server", "init", "--file", "a.ser"}, "--file goes with server verify only"},
        {{"server", "drop"}, "server needs init, status, verify or web, not drop"},
        {{"server"}, "server needs init|status|verify|web"},
        {{"server", "status", "--listen", "127.0.0.1:8080"},
         "--listen, --password-file, --tls-cert and --tls-key go with server web only"},
        {{"server", "web", "--tls-cert", "c.pem"}, "--tls-cert and --tls-key go together"},
        {{"server", "verify", "--file", "a.ser"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        EXPECT_EQ(Trevalo::ParseCommandLine(QStringList{"trevalo"} + c.arguments).error, c.error);
    }
}
