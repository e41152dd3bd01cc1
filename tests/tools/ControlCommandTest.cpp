#include "ControlCommand.h"

#include <gtest/gtest.h>

using BalanceSim::ControlCommand;
using Kind = ControlCommand::Kind;

namespace {

ControlCommand Parsed(const QByteArray& line) {
    QString why;
    const auto command = ControlCommand::Parse(line, &why);
    EXPECT_TRUE(command) << line.constData() << ": " << qPrintable(why);
    return command.value_or(ControlCommand{});
}

} // namespace

TEST(ControlCommand, ReadsNumbers) {
    EXPECT_EQ(Parsed("mass -12.3456").kind, Kind::Mass);
    EXPECT_DOUBLE_EQ(Parsed("mass -12.3456").number, -12.3456);
    EXPECT_DOUBLE_EQ(Parsed("mass 1e2").number, 100.0);
    EXPECT_DOUBLE_EQ(Parsed("noise 0.002").number, 0.002);
    EXPECT_DOUBLE_EQ(Parsed("rate 50").number, 50.0);
    EXPECT_DOUBLE_EQ(Parsed("rate 0.5").number, 0.5);
    EXPECT_EQ(Parsed("delay 250").integer, 250);
    EXPECT_EQ(Parsed("decimals 2").integer, 2);
}

TEST(ControlCommand, ReadsSwitches) {
    EXPECT_FALSE(Parsed("stable off").on);
    EXPECT_TRUE(Parsed("moisture on").on);
    EXPECT_TRUE(Parsed("noreply on").on);
    const ControlCommand splitOn = Parsed("split on");
    EXPECT_EQ(splitOn.kind, Kind::Split);
    EXPECT_TRUE(splitOn.on);
    EXPECT_EQ(splitOn.integer, 0);
    const ControlCommand splitPause = Parsed("split 350");
    EXPECT_TRUE(splitPause.on);
    EXPECT_EQ(splitPause.integer, 350);
    EXPECT_FALSE(Parsed("split off").on);
    EXPECT_EQ(Parsed("overload on").kind, Kind::Overload);
    EXPECT_EQ(Parsed("underload off").kind, Kind::Underload);
    EXPECT_EQ(Parsed("busy on").kind, Kind::Busy);
    EXPECT_TRUE(Parsed("autoprint on").on);
    EXPECT_TRUE(Parsed("fault on").on);
    EXPECT_EQ(Parsed("form short").bytes, "short");
    EXPECT_EQ(Parsed("form noack").kind, ControlCommand::Kind::Form);
    EXPECT_FALSE(ControlCommand::Parse("form wide"));
}

// Where the weight stands and what each place reads more, for an
// eccentricity check; the scatter of every reading in digits.
TEST(ControlCommand, ReadsPositionsOffsetsAndScatter) {
    EXPECT_EQ(Parsed("position back-right").kind, Kind::Position);
    EXPECT_EQ(Parsed("position back-right").integer, 3);
    EXPECT_EQ(Parsed("position centre").integer, 0);
    const ControlCommand offset = Parsed("offset front-left -2.5");
    EXPECT_EQ(offset.kind, Kind::Offset);
    EXPECT_EQ(offset.integer, 1);
    EXPECT_DOUBLE_EQ(offset.number, -2.5);
    EXPECT_DOUBLE_EQ(Parsed("offset front-right=3").number, 3.0);
    EXPECT_EQ(Parsed("offset front-right=3").integer, 4);
    EXPECT_DOUBLE_EQ(Parsed("scatter 0.5").number, 0.5);
    for (const char* line : {"position middle", "position", "offset front-left", "offset 3",
                             "offset left 3", "offset centre x", "scatter -1", "scatter"}) {
        QString why;
        EXPECT_FALSE(ControlCommand::Parse(line, &why)) << line;
        EXPECT_FALSE(why.isEmpty()) << line;
    }
}

TEST(ControlCommand, TextsAreTakenAsTypedAndDecoded) {
    EXPECT_EQ(Parsed("send S     1.0 g\\r\\n").bytes, "S     1.0 g\r\n");
    EXPECT_EQ(Parsed("send  lead and trail ").bytes, " lead and trail ");
    EXPECT_EQ(Parsed("garbage \\x01\\xf8abc").bytes, "\x01\xf8"
                                                     "abc");
    EXPECT_EQ(Parsed("unit kg").bytes, "kg");
    EXPECT_EQ(Parsed("unit ozt").bytes, "ozt");
}

TEST(ControlCommand, LineEndsOfTheControlInputAreNotPartOfTheCommand) {
    EXPECT_EQ(Parsed("send abc\r\n").bytes, "abc");
    EXPECT_EQ(Parsed("quit\r").kind, Kind::Quit);
}

TEST(ControlCommand, RejectsWhatCannotBeCarriedOut) {
    for (const char* line :
         {"",           "fly",        "Mass 1",     "mass",        "mass abc",
          "mass nan",   "mass inf",   "mass 1,5",   "noise -1",    "rate 0",
          "rate -2",    "rate 1001",  "delay -1",   "delay 1.5",   "delay 600001",
          "decimals 7", "stable yes", "moisture",   "split maybe", "split 0",
          "unit",       "unit k g",   "unit grams", "unit \xb5g",  "garbage",
          "send ",      "send \\q",   "report now", "quit please"}) {
        QString why;
        EXPECT_FALSE(ControlCommand::Parse(line, &why)) << line;
        EXPECT_FALSE(why.isEmpty()) << line;
    }
}
