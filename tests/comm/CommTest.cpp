#include "CommTestFixture.h"
#include "CommTesting.h"
#include "SerialPortDevice.h"

#include <QTimer>

#include <cerrno>
#include <optional>

using Mordal::enCommSource;
using Mordal::CommInternals::TimerChechBuffer;
using Mordal::CommInternals::TimerTimeOut;

TEST(ControlFactory, CreatesBothControlsByTypeName) {
    std::unique_ptr<QObject> comm(Mordal::CreateControl("Brisko_2.Comm"));
    std::unique_ptr<QObject> info(Mordal::CreateControl("Brisko_2.CommInfo"));
    EXPECT_NE(qobject_cast<Mordal::Comm*>(comm.get()), nullptr);
    EXPECT_NE(qobject_cast<Mordal::CommInfo*>(info.get()), nullptr);
    EXPECT_EQ(Mordal::CreateControl("Brisko_2.Other"), nullptr);
    std::unique_ptr<QObject> byCName(Mordal_CreateControl("Brisko_2.Comm", nullptr));
    EXPECT_NE(qobject_cast<Mordal::Comm*>(byCName.get()), nullptr);
}

TEST(CommProperties, DefaultsAndPersistence) {
    Mordal::Comm comm;
    EXPECT_EQ(comm.MarkersEndOfFrame(), "\r\n");
    EXPECT_EQ(comm.MaxFrameSize(), 50);
    EXPECT_EQ(comm.CommSource(), enCommSource::None);
    EXPECT_FALSE(comm.CommOpen());

    // A saved empty marker comes back as CR LF.
    Mordal::MemoryPropertyBag bag;
    bag.WriteProperty("MarkersEndOfFrame", QString(), QString("\r\n"));
    bag.WriteProperty("MaxFrameSize", 120, 50);
    comm.ReadProperties(bag);
    EXPECT_EQ(comm.MarkersEndOfFrame(), "\r\n");
    EXPECT_EQ(comm.MaxFrameSize(), 120);

    comm.SetMarkersEndOfFrame("\x03");
    Mordal::MemoryPropertyBag saved;
    comm.WriteProperties(saved);
    Mordal::Comm loaded;
    loaded.ReadProperties(saved);
    EXPECT_EQ(loaded.MarkersEndOfFrame(), "\x03");
    EXPECT_EQ(loaded.MaxFrameSize(), 120);

    // Defaults are not written out.
    Mordal::Comm fresh;
    Mordal::MemoryPropertyBag defaults;
    fresh.WriteProperties(defaults);
    EXPECT_FALSE(defaults.Contains("MarkersEndOfFrame"));
    EXPECT_FALSE(defaults.Contains("MaxFrameSize"));
}

TEST(CommWithoutTransport, SendAndOpenDoNothing) {
    Mordal::Comm comm;
    int opened = 0;
    QObject::connect(&comm, &Mordal::Comm::CommIsOpen, [&](bool) { ++opened; });
    comm.SetCommOpen(true);
    comm.OutputData("S\r\n");
    EXPECT_EQ(opened, 0);
    EXPECT_FALSE(TimerTimeOut(comm).isActive());
    comm.ClearBuffer();
    EXPECT_EQ(comm.InputCount(), 0);
}

TEST(CommLineFormat, TheSerialSettingsCarryTheFormat) {
    using Parity = Mordal::LineFormat::Parity;
    const struct {
        std::optional<Mordal::LineFormat> set;
        QByteArray settings;
    } cases[] = {
        {std::nullopt, "baud=9600 parity=N data=8 stop=1"},
        {Mordal::LineFormat{7, Parity::Even, 1}, "baud=9600 parity=E data=7 stop=1"},
        {Mordal::LineFormat{7, Parity::Odd, 2}, "baud=9600 parity=O data=7 stop=2"},
        {Mordal::LineFormat{8, Parity::Even, 1}, "baud=9600 parity=E data=8 stop=1"},
    };
    for (const auto& [set, settings] : cases) {
        Mordal::Comm comm;
        if (set)
            comm.SetSerialLineFormat(*set);
        EXPECT_EQ(comm.SerialLineFormat(), set.value_or(Mordal::LineFormat{}));
        const QByteArray text = Mordal::CommInternals::SerialAPI1(comm)->SettingsText();
        EXPECT_EQ(text, settings);
        const auto port = Mordal::SerialPortDevice::BuildLineSettings(text);
        ASSERT_TRUE(port) << text.constData();
        EXPECT_EQ(port->dataBits, comm.SerialLineFormat().dataBits);
        EXPECT_EQ(port->parity, char(comm.SerialLineFormat().parity));
        EXPECT_EQ(port->stopBits, comm.SerialLineFormat().stopBits);
    }
}

using CommLineFormatOnPort = CommFixture;

// A pseudo-terminal hands the parity bit of a 7-bit character through as
// bit 7: the link must mask it once the port is opened with 7 data bits.
TEST_F(CommLineFormatOnPort, SevenDataBitsMaskTheHighBitFromTheNextOpenOn) {
    const QByteArray withParity("\xD3\xB1\x8D\x8A");
    OpenSerial();
    ASSERT_TRUE(comm.CommOpen());
    comm.SetSerialLineFormat(*Mordal::LineFormat::FromText("7E1"));
    pty.Write("\xD3\xB1\r\n");
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(frames[0].data, "\xD3\xB1\r\n") << "the open port keeps 8 data bits";

    comm.SetCommOpen(false);
    comm.SetCommOpen(true);
    ASSERT_TRUE(comm.CommOpen());
    pty.Write(withParity);
    ASSERT_TRUE(WaitForFrames(2));
    EXPECT_EQ(frames[1].data, "S1\r\n");
    EXPECT_TRUE(errors.empty());
}

using CommFraming = CommFixture;

TEST_F(CommFraming, DeliversOneFrameWithItsMarkers) {
    OpenSerial();
    ASSERT_TRUE(comm.CommOpen());
    pty.Write("12.5 g\r\n");
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(frames[0].data, "12.5 g\r\n");
    EXPECT_EQ(frames[0].framesCount, 1);
    EXPECT_EQ(frames[0].bufferCount, 8);
    EXPECT_EQ(comm.InputCount(), 0);
}

TEST_F(CommFraming, DeliversEveryWaitingFrameInOnePollWithFallingCounts) {
    // A mark posted from the first delivery runs only once the poll is over.
    onFrame = [&](bool&) {
        if (frames.size() == 1)
            QTimer::singleShot(0, [&] { events.push_back("poll over"); });
    };
    OpenSerial();
    pty.Write("A\r\nB\r\n");
    ASSERT_TRUE(WaitForFrames(2));
    RunEventsFor(20);
    EXPECT_EQ(events, (std::vector<std::string>{"open", "frame", "frame", "poll over"}));
    EXPECT_EQ(frames[0].data, "A\r\n");
    EXPECT_EQ(frames[0].framesCount, 2);
    EXPECT_EQ(frames[0].bufferCount, 6);
    EXPECT_EQ(frames[1].data, "B\r\n");
    EXPECT_EQ(frames[1].framesCount, 1);
    EXPECT_EQ(frames[1].bufferCount, 3);
}

TEST_F(CommFraming, WaitsForTheMarkerOfAFrameInPieces) {
    OpenSerial();
    pty.Write("12.5");
    ASSERT_TRUE(WaitUntil([&] { return comm.InputCount() == 4; }));
    RunEventsFor(100);
    EXPECT_TRUE(frames.empty());
    pty.Write(" g\r\n");
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(frames[0].data, "12.5 g\r\n");
}

TEST_F(CommFraming, BareMarkersWaitForAThirdCharacter) {
    OpenSerial();
    pty.Write("\r\n");
    ASSERT_TRUE(WaitUntil([&] { return comm.InputCount() == 2; }));
    RunEventsFor(100);
    EXPECT_TRUE(frames.empty());
    pty.Write("X");
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(frames[0].data, "\r\n");
    EXPECT_EQ(frames[0].framesCount, 1);
    EXPECT_EQ(frames[0].bufferCount, 3);
    EXPECT_EQ(comm.PeekInputData(), "X");
}

TEST_F(CommFraming, KeptFrameIsDeliveredAgainUntilCleared) {
    int keep = 2;
    onFrame = [&](bool& clear) {
        if (keep-- > 0)
            clear = false;
    };
    OpenSerial();
    pty.Write("A\r\n");
    ASSERT_TRUE(WaitForFrames(3));
    RunEventsFor(50);
    ASSERT_EQ(frames.size(), 3u);
    for (const Frame& frame : frames) {
        EXPECT_EQ(frame.data, "A\r\n");
        EXPECT_EQ(frame.framesCount, 1);
        EXPECT_EQ(frame.bufferCount, 3);
    }
    EXPECT_EQ(comm.InputCount(), 0);
}

TEST_F(CommFraming, HandlerThatTakesTheBufferItselfIsLeftAlone) {
    onFrame = [&](bool&) { comm.InputData(); };
    OpenSerial();
    pty.Write("A\r\nB\r\n");
    ASSERT_TRUE(WaitForFrames(1));
    RunEventsFor(60);
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_EQ(comm.InputCount(), 0);
}

TEST_F(CommFraming, GarbageRaisesIncorrectFramesAtEveryPollAndIsKept) {
    OpenSerial();
    const QByteArray garbage(51, 'x');
    pty.Write(garbage);
    ASSERT_TRUE(WaitUntil([&] { return incorrectFrames >= 3; }));
    EXPECT_EQ(comm.PeekInputData(), garbage);
    EXPECT_TRUE(frames.empty());
    pty.Write("\r\n");
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(frames[0].data, garbage + "\r\n");
    const int raised = incorrectFrames;
    RunEventsFor(60);
    EXPECT_EQ(incorrectFrames, raised);
}

TEST_F(CommFraming, EndlessStreamKeepsOnlyTheNewest64KiB) {
    OpenSerial();
    QByteArray stream;
    for (int i = 0; stream.size() < 70 * 1024; ++i)
        stream += QByteArray::number(i) + ' ';
    pty.Write(stream);
    ASSERT_TRUE(WaitUntil([&] { return comm.PeekInputData().endsWith(stream.right(32)); }, 5000));
    EXPECT_EQ(comm.InputCount(), Mordal::Comm::ReceiveBufferLimit);
    EXPECT_EQ(comm.PeekInputData(), stream.right(Mordal::Comm::ReceiveBufferLimit));
    const int raised = incorrectFrames;
    ASSERT_TRUE(WaitUntil([&] { return incorrectFrames > raised; }));
    // A marker still turns what is kept into a frame.
    pty.Write("\r\n");
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(frames[0].data, stream.right(Mordal::Comm::ReceiveBufferLimit) + "\r\n");
}

TEST_F(CommFraming, EmptyMarkersMeanCrLfAndClearTheBuffer) {
    OpenSerial();
    pty.Write("partial");
    ASSERT_TRUE(WaitUntil([&] { return comm.InputCount() == 7; }));
    comm.SetMarkersEndOfFrame("");
    EXPECT_EQ(comm.MarkersEndOfFrame(), "\r\n");
    EXPECT_EQ(comm.InputCount(), 0);
    EXPECT_TRUE(comm.PropertiesChanged());
}

TEST_F(CommFraming, OtherMarkersCutFramesExactly) {
    comm.SetMarkersEndOfFrame("#");
    OpenSerial();
    pty.Write("abc#de");
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(frames[0].data, "abc#");
    EXPECT_EQ(comm.PeekInputData(), "de");
}

using CommTimeOut = CommFixture;

TEST_F(CommTimeOut, CountsConsecutiveTimeOutsAndAFrameResetsTheCount) {
    OpenSerial();
    comm.OutputData("S\r\n", 100);
    ASSERT_TRUE(WaitUntil([&] { return timeOuts.size() == 1; }));
    comm.OutputData("S\r\n", 100);
    ASSERT_TRUE(WaitUntil([&] { return timeOuts.size() == 2; }));
    EXPECT_EQ(timeOuts[0], std::make_pair(100, 1));
    EXPECT_EQ(timeOuts[1], std::make_pair(100, 2));
    EXPECT_EQ(pty.Read(6), "S\r\nS\r\n");

    comm.OutputData("S\r\n", 200);
    pty.Write("1 g\r\n");
    ASSERT_TRUE(WaitForFrames(1));
    RunEventsFor(300);
    EXPECT_EQ(timeOuts.size(), 2u) << "a reply cancels the time-out";

    comm.OutputData("S\r\n", 100);
    ASSERT_TRUE(WaitUntil([&] { return timeOuts.size() == 3; }));
    EXPECT_EQ(timeOuts[2], std::make_pair(100, 1));
}

TEST_F(CommTimeOut, DefaultTimeOutIsOneSecond) {
    OpenSerial();
    comm.OutputData("S\r\n");
    EXPECT_EQ(TimerTimeOut(comm).interval(), 1000);
    ASSERT_TRUE(WaitUntil([&] { return !timeOuts.empty(); }, 3000));
    EXPECT_EQ(timeOuts[0], std::make_pair(1000, 1));
}

TEST_F(CommTimeOut, ZeroTimeOutWatchesNothing) {
    OpenSerial();
    comm.OutputData("S\r\n", 0);
    EXPECT_FALSE(TimerTimeOut(comm).isActive());
    RunEventsFor(100);
    EXPECT_TRUE(timeOuts.empty());
}

TEST_F(CommTimeOut, FrameWaitingAtExpirySuppressesTheEvent) {
    // The first frame's handler arms a reply watch and unwires the source,
    // so polling delivers nothing more and the second frame is still waiting
    // in the buffer when the watch expires.
    onFrame = [&](bool&) {
        if (frames.size() == 1) {
            comm.OutputData("S\r\n", 50);
            comm.SetCommSource(int(enCommSource::None));
        }
    };
    OpenSerial();
    pty.Write("A\r\nB\r\n");
    ASSERT_TRUE(WaitForFrames(1));
    ASSERT_TRUE(WaitUntil([&] { return Mordal::CommInternals::TimeOutCount(comm) == 1; }));
    RunEventsFor(50);
    EXPECT_TRUE(timeOuts.empty());
    EXPECT_EQ(comm.PeekInputData(), "B\r\n");
}

TEST_F(CommTimeOut, SendingWhileClosedDoesNothing) {
    comm.SetCommSource(int(enCommSource::Serial));
    comm.OutputData("S\r\n", 50);
    EXPECT_FALSE(TimerTimeOut(comm).isActive());
    RunEventsFor(100);
    EXPECT_TRUE(timeOuts.empty());
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(pty.Read(1, 100).isEmpty());
}

using CommState = CommFixture;

TEST_F(CommState, FirstReportAlwaysFiresEvenForAPortThatNeverOpened) {
    comm.SetCommSource(int(enCommSource::Serial));
    comm.SetSerialPort(7);
    comm.SetCommOpen(true);
    ASSERT_EQ(states.size(), 1u);
    EXPECT_FALSE(states[0]);
    // The state is reported before the error it comes with, and only once.
    EXPECT_EQ(events, (std::vector<std::string>{"closed", "error"}));
}

TEST_F(CommState, AbsentPortIsReportedWithTheSystemTextAndCanBeOpenedLater) {
    comm.SetCommSource(int(enCommSource::Serial));
    comm.SetSerialPort(7);
    comm.SetCommOpen(true);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, ENOENT);
    EXPECT_EQ(errors[0].description, QString::fromLocal8Bit(strerror(ENOENT)));
    EXPECT_EQ(errors[0].source, enCommSource::Serial);
    EXPECT_FALSE(comm.CommOpen());
    EXPECT_FALSE(TimerChechBuffer(comm).isActive());

    PtyPair late;
    late.Publish(7);
    comm.SetCommOpen(true);
    EXPECT_TRUE(comm.CommOpen());
    EXPECT_EQ(states, (std::vector<bool>{false, true}));
    late.Write("late\r\n");
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(frames[0].data, "late\r\n");
}

TEST_F(CommState, SwitchingSourceClosesTheLinkAndKeepsTheBuffer) {
    OpenSerial();
    pty.Write("no marker yet");
    ASSERT_TRUE(WaitUntil([&] { return comm.InputCount() == 13; }));
    comm.SetCommSource(int(enCommSource::None));
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    EXPECT_EQ(comm.PeekInputData(), "no marker yet");
    EXPECT_EQ(comm.CommSource(), enCommSource::None);

    // The port was really let go: another holder can take it.
    Mordal::Comm other;
    other.SetCommSource(int(enCommSource::Serial));
    other.SetCommOpen(true);
    EXPECT_TRUE(other.CommOpen());
}

TEST_F(CommState, UnknownSourceIsKeptAsWrittenWithTheWiringButClosesTheLink) {
    for (const int unknown : {-1, 3, 9}) {
        SCOPED_TRACE(unknown);
        OpenSerial();
        ASSERT_TRUE(comm.CommOpen());
        comm.SetCommSource(unknown);
        EXPECT_EQ(int(comm.CommSource()), unknown);
        EXPECT_FALSE(comm.CommOpen());
        // The serial port is still the one wired: opening takes it again.
        comm.SetCommOpen(true);
        EXPECT_TRUE(comm.CommOpen());
        comm.SetCommOpen(false);
    }
}

TEST_F(CommState, ClosingReportsOnceAndStopsPolling) {
    OpenSerial();
    EXPECT_TRUE(TimerChechBuffer(comm).isActive());
    comm.SetCommOpen(false);
    comm.SetCommOpen(false);
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    EXPECT_FALSE(TimerChechBuffer(comm).isActive());
}

TEST_F(CommState, AnUnpluggedDeviceIsReportedOnceAndOpensAgainWhenItComesBack) {
    OpenSerial();
    ASSERT_TRUE(comm.CommOpen());
    pty.Write("1.0 g\r\n");
    ASSERT_TRUE(WaitForFrames(1));
    pty.Unplug();
    ASSERT_TRUE(WaitUntil([&] { return !errors.empty(); }));
    // Many read steps later the loss is still one report, not one per step.
    RunEventsFor(300);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].number == EIO || errors[0].number == ENODEV) << errors[0].number;
    EXPECT_EQ(errors[0].source, enCommSource::Serial);
    EXPECT_FALSE(comm.CommOpen());
    EXPECT_EQ(events, (std::vector<std::string>{"open", "frame", "closed", "error"}));
    comm.OutputData("S\r\n");
    RunEventsFor(60);
    EXPECT_EQ(errors.size(), 1u);

    // While it is away the port is missing; once back, it opens as before.
    comm.SetCommOpen(true);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].number, ENOENT);
    PtyPair back;
    back.Publish(1);
    comm.SetCommOpen(true);
    ASSERT_TRUE(comm.CommOpen());
    back.Write("2.0 g\r\n");
    ASSERT_TRUE(WaitForFrames(2));
    EXPECT_EQ(frames[1].data, "2.0 g\r\n");
    EXPECT_EQ(states, (std::vector<bool>{true, false, true}));
}
