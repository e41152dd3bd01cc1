// Comm's own rules (frame delivery, reply time-outs, the open state, garbage
// and the loss of a link) on a transport the test drives itself, so no port,
// socket or read timer of a real transport takes part.

#include "CommTesting.h"
#include "EventWait.h"
#include "IKavlin.h"

#include <Mordal/Comm.h>

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using Mordal::enCommSource;
using Mordal::CommInternals::TimerChechBuffer;
using Mordal::CommInternals::TimerTimeOut;
using Mordal::CommInternals::UseTransport;

namespace {

// Keeps what "arrives" until Comm takes it and records what Comm sends.
class FakeTransport : public Mordal::IKavlin {
public:
    bool CommOpen() const override { return open; }
    void SetCommOpen(bool value) override { open = value && opens; }
    QByteArray InputData() override { return std::exchange(arrived, {}); }
    int InputCount() const override { return static_cast<int>(arrived.size()); }
    void OutputData(const QByteArray& text) override { sent += text; }

    bool opens = true;
    bool open = false;
    QByteArray arrived;
    QByteArray sent;
};

struct Delivery {
    QByteArray frame;
    int framesCount;
    int bufferCount;
};

} // namespace

class CommRules : public ::testing::Test {
protected:
    CommRules() {
        UseTransport(comm, enCommSource::Serial, &transport);
        QObject::connect(&comm, &Mordal::Comm::OnComm,
                         [this](const QByteArray& frame, int count, int buffer, bool& clear) {
                             deliveries.push_back({frame, count, buffer});
                             events.push_back("frame");
                             if (onFrame)
                                 onFrame(clear);
                         });
        QObject::connect(&comm, &Mordal::Comm::CommIsOpen,
                         [this](bool open) { events.push_back(open ? "open" : "closed"); });
        QObject::connect(&comm, &Mordal::Comm::ErrorComm, [this] { events.push_back("error"); });
    }

    void Open() {
        comm.SetCommSource(int(enCommSource::Serial));
        comm.SetCommOpen(true);
    }

    bool WaitForDeliveries(size_t count) {
        return WaitUntil([&] { return deliveries.size() >= count; });
    }

    // Declared first: Comm closes its wired transport when it goes.
    FakeTransport transport;
    Mordal::Comm comm;
    QSignalSpy opened{&comm, &Mordal::Comm::CommIsOpen};
    QSignalSpy timeOuts{&comm, &Mordal::Comm::TimeOut};
    QSignalSpy incorrect{&comm, &Mordal::Comm::IncorrectFrames};
    QSignalSpy errors{&comm, &Mordal::Comm::ErrorComm};
    std::vector<Delivery> deliveries;
    std::vector<std::string> events;
    std::function<void(bool& clearFrameData)> onFrame;
};

TEST_F(CommRules, EveryWaitingFrameIsDeliveredInOrderWithFallingCounts) {
    Open();
    transport.arrived = "1.0 g\r\n22.5 g\r\npart";
    ASSERT_TRUE(WaitForDeliveries(2));
    RunEventsFor(30);
    ASSERT_EQ(deliveries.size(), 2u);
    EXPECT_EQ(deliveries[0].frame, "1.0 g\r\n");
    EXPECT_EQ(deliveries[0].framesCount, 2);
    EXPECT_EQ(deliveries[0].bufferCount, 19);
    EXPECT_EQ(deliveries[1].frame, "22.5 g\r\n");
    EXPECT_EQ(deliveries[1].framesCount, 1);
    EXPECT_EQ(deliveries[1].bufferCount, 12);
    EXPECT_EQ(comm.PeekInputData(), "part");
}

TEST_F(CommRules, AFrameKeptByTheHandlerComesAgainAndATakenBufferIsLeftAlone) {
    int keep = 1;
    onFrame = [&](bool& clear) {
        if (keep-- > 0)
            clear = false;
    };
    Open();
    transport.arrived = "A\r\n";
    ASSERT_TRUE(WaitForDeliveries(2));
    EXPECT_EQ(deliveries[0].frame, "A\r\n");
    EXPECT_EQ(deliveries[1].frame, "A\r\n");
    EXPECT_EQ(comm.InputCount(), 0);

    // A handler that takes everything itself ends the delivery there.
    onFrame = [&](bool&) { comm.InputData(); };
    transport.arrived = "B\r\nC\r\n";
    ASSERT_TRUE(WaitForDeliveries(3));
    RunEventsFor(30);
    EXPECT_EQ(deliveries.size(), 3u);
    EXPECT_EQ(comm.InputCount(), 0);
}

TEST_F(CommRules, TimeOutsAreCountedUntilAFrameArrives) {
    Open();
    comm.OutputData("SI\r\n", 20);
    EXPECT_EQ(transport.sent, "SI\r\n");
    ASSERT_TRUE(WaitUntil([&] { return timeOuts.size() == 1; }));
    comm.OutputData("SI\r\n", 20);
    ASSERT_TRUE(WaitUntil([&] { return timeOuts.size() == 2; }));
    EXPECT_EQ(timeOuts[0], (QVariantList{20, 1}));
    EXPECT_EQ(timeOuts[1], (QVariantList{20, 2}));

    comm.OutputData("SI\r\n", 5000);
    transport.arrived = "1 g\r\n";
    ASSERT_TRUE(WaitForDeliveries(1));
    EXPECT_FALSE(TimerTimeOut(comm).isActive()) << "a delivered frame ends the reply watch";

    comm.OutputData("SI\r\n", 20);
    ASSERT_TRUE(WaitUntil([&] { return timeOuts.size() == 3; }));
    EXPECT_EQ(timeOuts[2], (QVariantList{20, 1})) << "a delivered frame restarts the count";
}

TEST_F(CommRules, NothingIsSentOrWatchedWhileTheLinkIsClosed) {
    comm.SetCommSource(int(enCommSource::Serial));
    comm.OutputData("SI\r\n", 20);
    RunEventsFor(60);
    EXPECT_TRUE(transport.sent.isEmpty());
    EXPECT_EQ(timeOuts.size(), 0);
}

TEST_F(CommRules, TheOpenStateIsReportedOncePerChangeAndAlwaysAtFirst) {
    transport.opens = false;
    Open();
    ASSERT_EQ(opened.size(), 1) << "the first report fires even for a link that did not open";
    EXPECT_EQ(opened[0], QVariantList{false});
    comm.SetCommOpen(true);
    EXPECT_EQ(opened.size(), 1);

    transport.opens = true;
    comm.SetCommOpen(true);
    comm.SetCommOpen(false);
    comm.SetCommOpen(false);
    ASSERT_EQ(opened.size(), 3);
    EXPECT_EQ(opened[1], QVariantList{true});
    EXPECT_EQ(opened[2], QVariantList{false});
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(CommRules, ALinkThatComesUpAfterTheOpenGaveUpIsPolled) {
    transport.opens = false;
    Open();
    // The connection completes later and the transport says so.
    transport.open = true;
    comm.RaiseCommState();
    transport.arrived = "1.5 g\r\n";
    ASSERT_TRUE(WaitForDeliveries(1));
    EXPECT_EQ(deliveries[0].frame, "1.5 g\r\n");
    EXPECT_EQ(events, (std::vector<std::string>{"closed", "open", "frame"}));
}

TEST_F(CommRules, GarbageLongerThanMaxFrameSizeRaisesIncorrectFramesAndIsKept) {
    comm.SetMaxFrameSize(10);
    Open();
    transport.arrived = "0123456789";
    ASSERT_TRUE(WaitUntil([&] { return comm.InputCount() == 10; }));
    RunEventsFor(40);
    EXPECT_EQ(incorrect.size(), 0) << "as long as MaxFrameSize is still no garbage";

    transport.arrived = "x";
    ASSERT_TRUE(WaitUntil([&] { return incorrect.size() >= 2; }));
    EXPECT_EQ(comm.PeekInputData(), "0123456789x");
    transport.arrived = "\r\n";
    ASSERT_TRUE(WaitForDeliveries(1));
    EXPECT_EQ(deliveries[0].frame, "0123456789x\r\n");
}

TEST_F(CommRules, FramesWaitingBeforeALossReachTheHostBeforeTheNewsOfIt) {
    Open();
    // The bytes arrive and the link drops before the next poll takes them.
    transport.arrived = "1.5 g\r\n2.5 g\r\n";
    transport.open = false;
    comm.RaiseError(ENODEV, QStringLiteral("gone"), enCommSource::Serial);
    EXPECT_EQ(events, (std::vector<std::string>{"open", "frame", "frame", "closed", "error"}));
    ASSERT_EQ(deliveries.size(), 2u);
    EXPECT_EQ(deliveries[1].frame, "2.5 g\r\n");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0][0].toInt(), ENODEV);
    EXPECT_EQ(errors[0][1].toString(), QString::fromLocal8Bit(strerror(ENODEV)));
    EXPECT_EQ(errors[0][2].value<enCommSource>(), enCommSource::Serial);
}

TEST_F(CommRules, AClosingHostIsNotHandedTheFramesStillWaiting) {
    Open();
    // Only the close itself could hand the frame over.
    TimerChechBuffer(comm).stop();
    transport.arrived = "1.5 g\r\n";
    comm.SetCommOpen(false);
    EXPECT_EQ(events, (std::vector<std::string>{"open", "closed"}));
    RunEventsFor(30);
    EXPECT_TRUE(deliveries.empty());
}
