#include "SerialAPI.h"
#include "EventWait.h"
#include "PtyPair.h"
#include "ScopedEnv.h"
#include "SerialPortDevice.h"
#include "TestEnvironment.h"

#include <Mordal/PortNames.h>

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Mordal;
namespace Device = Mordal::SerialPortDevice;

namespace {

struct RecordingOwner : ITransportOwner {
    std::vector<std::pair<int, enCommSource>> errors;
    void RaiseError(int number, const QString&, enCommSource source) override {
        errors.push_back({number, source});
    }
    void RaiseCommState() override {}
};

class SerialTransport : public ::testing::Test {
protected:
    SerialTransport() { pty.Publish(1); }
    PtyPair pty;
    RecordingOwner owner;
    SerialAPI serial{&owner};
};

} // namespace

TEST(SerialPortNames, DeviceNameAndSettingsTextFollowPortAndRate) {
    RecordingOwner owner;
    SerialAPI serial(&owner);
    EXPECT_EQ(serial.CommPort(), 1);
    EXPECT_EQ(serial.BaudRate(), 9600);
    serial.SetCommPort(3);
    serial.SetBaudRate(19200);
    EXPECT_EQ(serial.DeviceName(), QByteArray("\\\\.\\COM3"));
    EXPECT_EQ(serial.SettingsText(), "baud=19200 parity=N data=8 stop=1");
    EXPECT_EQ(Device::DeviceName(12), QByteArray("\\\\.\\COM12"));
}

TEST(SerialPortNames, SettingsTextIsParsedStrictly) {
    const auto settings = Device::BuildLineSettings("baud=56000 parity=N data=8 stop=1");
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->baud, 56000);
    EXPECT_EQ(settings->parity, 'N');
    EXPECT_EQ(settings->dataBits, 8);
    EXPECT_EQ(settings->stopBits, 1);
    const auto even = Device::BuildLineSettings("BAUD=1200 Parity=e data=7 stop=2");
    ASSERT_TRUE(even);
    EXPECT_EQ(even->parity, 'E');
    EXPECT_EQ(even->dataBits, 7);
    EXPECT_EQ(even->stopBits, 2);
    EXPECT_FALSE(Device::BuildLineSettings("baud=0 parity=N data=8 stop=1"));
    EXPECT_FALSE(Device::BuildLineSettings("baud=9600 parity=X"));
    EXPECT_FALSE(Device::BuildLineSettings("baud=9600 data=9"));
    EXPECT_FALSE(Device::BuildLineSettings("speed=9600"));
    EXPECT_FALSE(Device::BuildLineSettings("baud9600"));
}

TEST(SerialPortNames, PortFolderWinsOverTheFixedTable) {
    ScopedEnv systemPorts("MORDAL_NO_SYSTEM_PORTS", QByteArray());
    EXPECT_EQ(Device::DevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(Device::DevicePath(32), "/dev/ttyS31");
    EXPECT_EQ(Device::DevicePath(33), "/dev/ttyUSB0");
    EXPECT_EQ(Device::DevicePath(65), "/dev/ttyACM0");
    EXPECT_EQ(Device::DevicePath(128), "/dev/ttyAMA31");
    EXPECT_EQ(Device::DevicePath(129), "");

    PtyPair pty;
    pty.Publish(2);
    EXPECT_EQ(Device::DevicePath(2), TestEnvironment::PortDirectory() + "/COM2");
    EXPECT_TRUE(Mordal::PortNames::DisplayName(2).startsWith("COM2 (/dev/pts/"));
}

TEST(SerialPortNames, PortFolderDefaultsToTheUsersConfiguration) {
    ScopedEnv ports("MORDAL_PORTS", QByteArray());
    ScopedEnv config("XDG_CONFIG_HOME", "/tmp/somewhere");
    EXPECT_EQ(Device::PortDirectory(), "/tmp/somewhere/Mordal/ports");
}

TEST_F(SerialTransport, OpensAtEveryBaudRateOfTheList) {
    for (const enBaudRate rate : AllBaudRates) {
        serial.SetBaudRate(rate);
        serial.SetCommOpen(true);
        ASSERT_TRUE(serial.CommOpen()) << rate;
        const int fd = ::open(QFile::encodeName(pty.SlavePath()), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        Device::LineState state;
        ASSERT_EQ(Device::ReadLineState(fd, state), 0);
        ::close(fd);
        EXPECT_EQ(state.baud, uint32_t(rate));
        EXPECT_EQ(state.dataBits, 8);
        EXPECT_EQ(state.parity, 'N');
        EXPECT_EQ(state.stopBits, 1);
        serial.SetCommOpen(false);
    }
    EXPECT_TRUE(owner.errors.empty());
}

TEST_F(SerialTransport, PortAndRateChangesWhileOpenAreIgnored) {
    serial.SetCommOpen(true);
    ASSERT_TRUE(serial.CommOpen());
    serial.SetCommPort(5);
    serial.SetBaudRate(300);
    EXPECT_EQ(serial.CommPort(), 1);
    EXPECT_EQ(serial.BaudRate(), 9600);
    serial.SetCommOpen(false);
    serial.SetCommOpen(true);
    EXPECT_TRUE(serial.CommOpen()) << "reopened on the old port 1";
}

TEST_F(SerialTransport, BytesQueuedBeforeTheOpenAreDiscarded) {
    pty.Write("stale reading\r\n");
    RunEventsFor(20);
    serial.SetCommOpen(true);
    ASSERT_TRUE(serial.CommOpen());
    EXPECT_EQ(serial.InputCount(), 0);
    pty.Write("fresh\r\n");
    ASSERT_TRUE(WaitUntil([&] { return serial.InputCount() == 7; }, 1000));
    EXPECT_EQ(serial.InputData(), "fresh\r\n");
    EXPECT_EQ(serial.InputData(), "");
}

TEST_F(SerialTransport, OpeningAnOpenPortKeepsItButEmptiesTheBuffer) {
    serial.SetCommOpen(true);
    pty.Write("abc");
    ASSERT_TRUE(WaitUntil([&] { return serial.InputCount() == 3; }));
    serial.SetCommOpen(true);
    EXPECT_TRUE(serial.CommOpen());
    EXPECT_EQ(serial.InputCount(), 0);
    pty.Write("d");
    ASSERT_TRUE(WaitUntil([&] { return serial.InputCount() == 1; }));
}

TEST_F(SerialTransport, NotifiesAfterReadsAndWrites) {
    int arrived = 0;
    QByteArray sent;
    QObject::connect(&serial, &SerialAPI::DataArrived, [&] { ++arrived; });
    QObject::connect(&serial, &SerialAPI::DataSent, [&](const QByteArray& text) { sent = text; });
    serial.SetCommOpen(true);
    serial.OutputData("SI\r\n");
    EXPECT_EQ(sent, "SI\r\n");
    EXPECT_EQ(pty.Read(4), "SI\r\n");
    pty.Write("x");
    ASSERT_TRUE(WaitUntil([&] { return arrived > 0; }));
}

TEST_F(SerialTransport, WritingWhileClosedSendsNothing) {
    int sent = 0;
    QObject::connect(&serial, &SerialAPI::DataSent, [&] { ++sent; });
    serial.OutputData("S\r\n");
    EXPECT_EQ(sent, 0);
    EXPECT_TRUE(pty.Read(1, 100).isEmpty());
    EXPECT_TRUE(owner.errors.empty());
}

TEST_F(SerialTransport, MissingPortIsNotBusy) {
    serial.SetCommPort(9);
    serial.SetCommOpen(true);
    EXPECT_FALSE(serial.CommOpen());
    ASSERT_EQ(owner.errors.size(), 1u);
    EXPECT_EQ(owner.errors[0].first, ENOENT);
    EXPECT_EQ(owner.errors[0].second, enCommSource::Serial);
    EXPECT_FALSE(serial.TimerBuffer.isActive());
}

TEST_F(SerialTransport, DanglingPortLinkIsAMissingPort) {
    QFile::link("/nonexistent/device", TestEnvironment::PortDirectory() + "/COM4");
    serial.SetCommPort(4);
    serial.SetCommOpen(true);
    ASSERT_EQ(owner.errors.size(), 1u);
    EXPECT_EQ(owner.errors[0].first, ENOENT);
}

TEST_F(SerialTransport, PortHeldElsewhereIsBusy) {
    const int holder = ::open(QFile::encodeName(pty.SlavePath()), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    serial.SetCommOpen(true);
    EXPECT_FALSE(serial.CommOpen());
    ASSERT_EQ(owner.errors.size(), 1u);
    EXPECT_EQ(owner.errors[0].first, EBUSY);
    ::close(holder);
    serial.SetCommOpen(true);
    EXPECT_TRUE(serial.CommOpen());
}

TEST_F(SerialTransport, TwoTransportsCannotShareAPort) {
    RecordingOwner secondOwner;
    SerialAPI second(&secondOwner);
    serial.SetCommOpen(true);
    second.SetCommOpen(true);
    EXPECT_TRUE(serial.CommOpen());
    EXPECT_FALSE(second.CommOpen());
    ASSERT_EQ(secondOwner.errors.size(), 1u);
    EXPECT_EQ(secondOwner.errors[0].first, EBUSY);
}

TEST_F(SerialTransport, ReadsLargeArrivalsInBoundedSteps) {
    serial.SetCommOpen(true);
    const QByteArray block(3000, 'z');
    pty.Write(block);
    ASSERT_TRUE(WaitUntil([&] { return serial.InputCount() == 3000; }));
    EXPECT_EQ(serial.InputData(), block);
}
