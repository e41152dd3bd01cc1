#include "TestFiles.h"
#include "TrevaloProcess.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Each family of balances, served by the simulator in that family's words
// and spoken to by trevalo in the same.
class DialectVerbs : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        WriteSettings("[ustawienia]\r\n");
        QStringList options{"--dialect", Family(), "--mass", "12.5", "--decimals", "2"};
        // That family's balances print on their own; nothing switches them.
        if (Family() == QLatin1String("sbi"))
            options << "--autoprint";
        ASSERT_TRUE(simulator.Start(options));
    }

    QString Family() const { return QString::fromLatin1(GetParam()); }
    QStringList Link() const { return {"--tcp", simulator.Tcp(), "--dialect", Family()}; }

    Simulator simulator;
};

TEST_P(DialectVerbs, ReadTareStreamAndDetect) {
    // The stream of a balance that prints on its own must not disturb the
    // single reads: only the sbi family does that, and its reads are taken
    // with the stream stopped.
    if (Family() == QLatin1String("sbi")) {
        ASSERT_TRUE(simulator.Control("autoprint off"));
    }
    auto read = RunTrevalo(QStringList{"read", "--count", "2"} + Link());
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    ASSERT_EQ(read.OutLines().size(), 2);
    for (const QString& line : read.OutLines()) {
        EXPECT_DOUBLE_EQ(line.split(u' ').value(2).toDouble(), 12.5) << line.toStdString();
        EXPECT_TRUE(line.endsWith(" g stable")) << line.toStdString();
    }

    ASSERT_TRUE(simulator.Control("stable off"));
    read = RunTrevalo(QStringList{"read", "--unstable"} + Link());
    ASSERT_TRUE(simulator.Control("stable on"));
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    // sbi marks an unstable value only by a blank unit.
    EXPECT_TRUE(read.out.trimmed().endsWith("unstable")) << read.out.toStdString();

    const auto tare = RunTrevalo(QStringList{"tare"} + Link());
    EXPECT_EQ(tare.exitCode, 0) << tare.err.toStdString();
    ASSERT_TRUE(simulator.Control("mass 3.25"));

    if (Family() == QLatin1String("sbi")) {

        ASSERT_TRUE(simulator.Control("autoprint on"));
    }
    const auto stream =
        RunTrevalo(QStringList{"stream", "--duration", "0.6", "--format", "csv"} + Link());
    ASSERT_EQ(stream.exitCode, 0) << stream.err.toStdString();
    // A header and at least two lines at ten a second.
    ASSERT_GE(stream.OutLines().size(), 3) << stream.out.toStdString();
    EXPECT_DOUBLE_EQ(stream.OutLines()[1].split(u',').value(1).toDouble(), 3.25);
    if (Family() == QLatin1String("sbi")) {
        ASSERT_TRUE(simulator.Control("autoprint off"));
    }

    const auto detect = RunTrevalo({"detect", "--tcp", simulator.Tcp()});
    ASSERT_EQ(detect.exitCode, 0) << detect.err.toStdString();
    EXPECT_EQ(detect.out.split(u' ').value(0).trimmed(), Family()) << detect.out.toStdString();
}

// What a family can say instead of a reading is told, and stores nothing.
TEST_P(DialectVerbs, OverloadUnderloadAndBusyAreToldByName) {
    if (Family() == QLatin1String("sbi")) {
        ASSERT_TRUE(simulator.Control("autoprint off"));
    }
    // Families whose format has no such reply answer with a syntax error;
    // the default family's is shown as it came, as it always was.
    const bool named = Family() == QLatin1String("sics") || Family() == QLatin1String("sbi") ||
                       Family() == QLatin1String("ad");
    const struct {
        const char* condition;
        const char* told;
    } cases[] = {{"overload", "overload"}, {"underload", "underload"}, {"busy", "no stable value"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(simulator.Control(QByteArray(c.condition) + " on"));
        const auto read = RunTrevalo(QStringList{"read"} + Link());
        ASSERT_TRUE(simulator.Control(QByteArray(c.condition) + " off"));
        EXPECT_EQ(read.exitCode, 4) << c.condition;
        EXPECT_TRUE(read.out.isEmpty()) << read.out.toStdString();
        const QString told = named                                  ? QString::fromLatin1(c.told)
                             : Family() == QLatin1String("default") ? QStringLiteral("ES")
                                                                    : QStringLiteral("refused");
        EXPECT_TRUE(read.err.contains(told)) << c.condition << ": " << read.err.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, DialectVerbs,
                         ::testing::Values("default", "sics", "sbi", "ad", "ohaus"));

// A peer that answers nothing, or only bytes of no family, is no balance.
TEST(DialectDetection, NoFamilyForSilenceOrGarbage) {
    WriteSettings("[ustawienia]\r\n");
    Simulator silent;
    ASSERT_TRUE(silent.Start({"--noreply"}));
    auto run = RunTrevalo({"detect", "--tcp", silent.Tcp()});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_TRUE(run.err.contains("sent nothing")) << run.err.toStdString();

    QTemporaryDir folder;
    QFile script(folder.filePath("garbage.txt"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("I4 => \\x01#!zz\\r\\n\n?SN => \\x01#!zz\\r\\n\nIP => 12:30\\r\\n\n"
                 "SI => +++\\r\\n\n");
    script.close();
    Simulator garbage;
    ASSERT_TRUE(garbage.Start({"--script", script.fileName()}));
    run = RunTrevalo({"detect", "--tcp", garbage.Tcp()});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_TRUE(run.err.contains("#!zz")) << run.err.toStdString();
}

} // namespace

// A balance at 7 data bits with parity read as 8 data bits sends bytes
// with the eighth bit set: detection says so, and finds the family once the
// station's line format matches.
TEST(DialectDetection, ABalanceAtSevenDataBitsNeedsTheLineFormat) {
    WriteSettings("[ustawienia]\r\n");
    Simulator sevenBits;
    ASSERT_TRUE(sevenBits.Start({"--dialect", "sics", "--line", "7E1"}));
    auto run = RunTrevalo({"detect", "--port", "1"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_TRUE(run.err.contains("eighth bit")) << run.err.toStdString() << run.out.toStdString();

    WriteSettings("[ustawienia]\r\nLineFormat=7E1\r\n");
    run = RunTrevalo({"detect", "--port", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("sics ")) << run.out.toStdString();
}

namespace {

// Each reply form of a balance's output settings, read end to end: the
// simulator answers in the form its manual shows, trevalo tells what it is.
struct ReplyFormCase {
    const char* family;
    QStringList options;
    QStringList verb;
    int exitCode;
    // Told on stdout (a reading, "tare sent") or on stderr (what the balance
    // said instead).
    const char* out;
    const char* err;
};

TEST(DialectReplyForms, EveryFormIsToldAsItsManualMeansIt) {
    WriteSettings("[ustawienia]\r\n");
    const ReplyFormCase cases[] = {
        // 16 characters, the status without "Stat".
        {"sbi", {"--form", "short", "--overload"}, {"read"}, 4, "", "overload"},
        {"sbi", {"--form", "short", "--underload"}, {"read"}, 4, "", "underload"},
        {"sbi", {"--form", "short", "--fault"}, {"read"}, 4, "", "error 123"},
        // The words of newer models.
        {"sbi", {"--form", "words", "--overload"}, {"read"}, 4, "", "overload"},
        {"sbi", {"--form", "words", "--fault"}, {"read"}, 4, "", "error 123"},
        // The error written over the value field: no reading of 0.
        {"sics", {"--fault"}, {"read"}, 4, "", "error 10b"},
        // A&D at erCd 0: the tare is carried out, nothing acknowledged.
        {"ad", {"--form", "noack"}, {"tare"}, 0, "tare sent", ""},
        {"ad", {"--overload"}, {"read"}, 4, "", "overload"},
        // A Navigator's legend after the stability mark.
        {"ohaus", {"--form", "legend"}, {"read"}, 0, "12.5 g stable", ""},
    };
    for (const ReplyFormCase& c : cases) {
        SCOPED_TRACE(std::string(c.family) + " " + c.options.join(u' ').toStdString());
        Simulator simulator;
        ASSERT_TRUE(simulator.Start(
            QStringList{"--dialect", c.family, "--mass", "12.5", "--decimals", "2"} + c.options));
        const auto run =
            RunTrevalo(c.verb + QStringList{"--tcp", simulator.Tcp(), "--dialect", c.family});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QLatin1String(c.out))) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.err))) << run.err.toStdString();
        // Nothing the balance said instead of a reading is printed as one.
        if (c.exitCode != 0) {
            EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        }
    }
}

// An overloaded balance of the 16-character form still answers in its own
// words: detection names it.
TEST(DialectDetection, AnOverloadedShortFormBalanceIsStillSbi) {
    WriteSettings("[ustawienia]\r\n");
    Simulator simulator;
    ASSERT_TRUE(simulator.Start({"--dialect", "sbi", "--form", "short", "--overload"}));
    const auto run = RunTrevalo({"detect", "--tcp", simulator.Tcp()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("sbi")) << run.out.toStdString();
}

// The probe's answer serves as the serial number: the request is not sent
// twice. A second I4 would get "ES" here and lose the number.
TEST(DialectDetection, TheProbeIsAskedOnceAndARefusalIsNoIdentity) {
    WriteSettings("[ustawienia]\r\n");
    QTemporaryDir folder;
    const QString once = folder.filePath("once.txt");
    TestFiles::WriteFile(once, "I4 => I4 A \"B021002593\"\\r\\n\nI4 => ES\\r\\n\nI2 => ES\\r\\n\n");
    Simulator sics;
    ASSERT_TRUE(sics.Start({"--dialect", "sics", "--script", once}));
    auto run = RunTrevalo({"detect", "--tcp", sics.Tcp()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("serial number \"B021002593\"")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("model")) << run.out.toStdString();

    // A family that answers its model with a plain line: a refusal there is
    // still no model.
    const QString refusing = folder.filePath("refusing.txt");
    TestFiles::WriteFile(refusing, "\\ex1_ => ES\\r\\n\n\\ex2_ => EC,E01\\r\\n\n");
    Simulator sbi;
    ASSERT_TRUE(sbi.Start({"--dialect", "sbi", "--script", refusing}));
    run = RunTrevalo({"detect", "--tcp", sbi.Tcp()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed(), QStringLiteral("sbi")) << run.out.toStdString();
}

} // namespace
