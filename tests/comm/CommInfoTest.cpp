#include "PortRecords.h"
#include "PtyPair.h"
#include "SerialPortDevice.h"
#include "TestEnvironment.h"
#include "Utilities.h"

#include <Mordal/CommInfo.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Mordal;
namespace Device = Mordal::SerialPortDevice;

namespace {

bool allZero(const COMMPROP& p) {
    return p.wPacketLength == 0 && p.wPacketVersion == 0 && p.dwServiceMask == 0 &&
           p.dwReserved1 == 0 && p.dwMaxTxQueue == 0 && p.dwMaxRxQueue == 0 && p.dwMaxBaud == 0 &&
           p.dwProvSubType == 0 && p.dwProvCapabilities == 0 && p.dwSettableParams == 0 &&
           p.dwSettableBaud == 0 && p.wSettableData == 0 && p.wSettableStopParity == 0 &&
           p.dwCurrentTxQueue == 0 && p.dwCurrentRxQueue == 0 && p.dwProvSpec1 == 0 &&
           p.dwProvSpec2 == 0 && p.wcProvChar[0] == 0;
}

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

QString portEntry(int port) {
    return TestEnvironment::PortDirectory() + "/COM" + QString::number(port);
}

// Another program holding the port the way the library itself takes it.
class PortHolder {
public:
    explicit PortHolder(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    }
    ~PortHolder() {
        if (fd >= 0)
            ::close(fd);
    }
    bool Holds() const { return locked; }

private:
    int fd;
    bool locked = false;
};

// A port folder entry that is no pseudo-terminal, removed at the end.
class ScopedEntry {
public:
    ScopedEntry(int port, const QString& target) : entry(portEntry(port)) {
        QFile::remove(entry);
        QFile::link(target, entry);
    }
    ~ScopedEntry() { QFile::remove(entry); }

private:
    QString entry;
};

struct ExistEvent {
    int16_t port;
    bool busy;
    COMMPROP prop;
};

struct ErrorEvent {
    int16_t port;
    int32_t number;
    QString description;
};

class PortInformation : public ::testing::Test {
protected:
    PortInformation() {
        QObject::connect(&info, qOverload<int16_t, bool, COMMPROP&>(&CommInfo::SerialExist),
                         [this](int16_t port, bool busy, COMMPROP& prop) {
                             exists.push_back({port, busy, prop});
                         });
        QObject::connect(&info, &CommInfo::ErrMSG,
                         [this](int16_t port, int32_t number, const QString& text) {
                             errors.push_back({port, number, text});
                         });
    }

    // A free port opened as the transport opens it.
    int openPort(int port) {
        int fd = -1;
        EXPECT_EQ(Device::OpenExclusive(port, fd), 0);
        return fd;
    }

    CommInfo info;
    std::vector<ExistEvent> exists;
    std::vector<ErrorEvent> errors;
};

TEST_F(PortInformation, EnumAllReportsFreeThenBusyPortInPortOrder) {
    PtyPair one, three;
    ASSERT_TRUE(one.IsValid() && three.IsValid());
    one.Publish(1);
    three.Publish(3);
    PortHolder holder(three.SlavePath());
    ASSERT_TRUE(holder.Holds());

    const PortCollection ports = info.EnumAll();

    ASSERT_EQ(exists.size(), 2u);
    EXPECT_EQ(exists[0].port, 1);
    EXPECT_FALSE(exists[0].busy);
    EXPECT_EQ(exists[0].prop.wPacketLength, sizeof(COMMPROP));
    EXPECT_EQ(exists[0].prop.dwProvSubType, PST_RS232);
    EXPECT_EQ(exists[1].port, 3);
    EXPECT_TRUE(exists[1].busy);
    EXPECT_TRUE(allZero(exists[1].prop));
    EXPECT_TRUE(errors.empty());

    ASSERT_EQ(ports.size(), 2);
    EXPECT_EQ(ports[0].first, "1");
    EXPECT_EQ(ports[0].second.PortNumber, 1);
    EXPECT_TRUE(ports[0].second.Exist);
    EXPECT_FALSE(ports[0].second.IsBusy);
    EXPECT_EQ(ports[1].first, "3");
    EXPECT_EQ(ports[1].second.PortNumber, 3);
    EXPECT_TRUE(ports[1].second.Exist);
    EXPECT_TRUE(ports[1].second.IsBusy);
}

TEST_F(PortInformation, EnumAllOrdersByNumberNotByText) {
    PtyPair twelve, three, last;
    twelve.Publish(12);
    three.Publish(3);
    last.Publish(CommInfo::LastPort);

    const PortCollection ports = info.EnumAll();

    ASSERT_EQ(ports.size(), 3);
    EXPECT_EQ(ports[0].first, "3");
    EXPECT_EQ(ports[1].first, "12");
    EXPECT_EQ(ports[2].first, "256");
    ASSERT_EQ(exists.size(), 3u);
    EXPECT_EQ(exists[2].port, 256);
}

TEST_F(PortInformation, NoPortsGiveNoEventsAndAnEmptyCollection) {
    EXPECT_TRUE(info.EnumAll().isEmpty());
    EXPECT_TRUE(exists.empty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(PortInformation, MissingPortsAreNotExistingAndSilent) {
    ScopedEntry dangling(2, TestEnvironment::Root() + "/no-such-device");

    for (int16_t port : {int16_t(2), int16_t(7)}) {
        const SimpleInfo result = info.SerialExist(port);
        EXPECT_EQ(result.PortNumber, port);
        EXPECT_FALSE(result.Exist);
        EXPECT_FALSE(result.IsBusy);
    }
    EXPECT_TRUE(exists.empty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(PortInformation, FreePortIsReleasedAfterTheCheck) {
    PtyPair pty;
    pty.Publish(4);

    for (int round = 0; round < 2; ++round) {
        const SimpleInfo result = info.SerialExist(4);
        EXPECT_TRUE(result.Exist);
        EXPECT_FALSE(result.IsBusy);
    }
    ASSERT_EQ(exists.size(), 2u);
    EXPECT_FALSE(exists[1].busy);

    const int fd = openPort(4);
    EXPECT_GE(fd, 0);
    if (fd >= 0)
        ::close(fd);
}

TEST_F(PortInformation, UnexpectedOpenFailureRaisesErrMsg) {
    // Root opens files regardless of their permissions, so there a folder
    // (which cannot be opened for writing) stands in for an unusable port.
    const QString target = TestEnvironment::Root() + "/unusable";
    int expected = EISDIR;
    if (::geteuid() == 0) {
        QDir().mkpath(target);
    } else {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        file.setPermissions(QFileDevice::WriteOwner);
        expected = EACCES;
    }
    ScopedEntry entry(5, target);

    const SimpleInfo result = info.SerialExist(5);

    EXPECT_FALSE(result.Exist);
    EXPECT_EQ(result.PortNumber, 5);
    EXPECT_TRUE(exists.empty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].port, 5);
    EXPECT_EQ(errors[0].number, expected);
    EXPECT_EQ(errors[0].description, SystemMessageText(expected));
    EXPECT_FALSE(errors[0].description.isEmpty());
    QDir().rmdir(target);
    QFile::remove(target);
}

TEST_F(PortInformation, PlainFileIsNoPort) {
    const QString target = TestEnvironment::Root() + "/plain-file";
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ScopedEntry entry(6, target);

    EXPECT_FALSE(info.SerialExist(6).Exist);
    EXPECT_TRUE(info.EnumAll().isEmpty());

    EXPECT_TRUE(exists.empty());
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].number, ENOTTY);
    EXPECT_EQ(errors[1].port, 6);
    QFile::remove(target);
}

TEST_F(PortInformation, LineSettingsOfAnOpenPort) {
    PtyPair pty;
    pty.Publish(1);
    const int fd = openPort(1);
    ASSERT_GE(fd, 0);

    ASSERT_EQ(Device::ApplyLineSettings(fd, {19200, 'N', 8, 1}), 0);
    DCB dcb{};
    ASSERT_EQ(PortRecords::ReadDCB(fd, dcb), 0);
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    const DCB_fBitFields flags = info.GetDCBinfo(fd);
    EXPECT_TRUE(flags.Binary);
    EXPECT_FALSE(flags.Parity);
    EXPECT_FALSE(flags.OutxCtsFlow);
    EXPECT_FALSE(flags.OutX);
    EXPECT_FALSE(flags.InX);
    EXPECT_NE(flags.RtsControl, RTS_CONTROL_HANDSHAKE);

    // A pseudo-terminal keeps 8 data bits and no parity whatever it is
    // told, so only speed and stop bits can change here.
    ASSERT_EQ(Device::ApplyLineSettings(fd, {2400, 'N', 8, 2}), 0);
    ASSERT_EQ(PortRecords::ReadDCB(fd, dcb), 0);
    EXPECT_EQ(dcb.BaudRate, 2400u);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_TRUE(info.GetDCBinfo(fd).Binary);

    EXPECT_TRUE(info.SerialClose(fd));
}

TEST(PortLineState, HandshakeParityAndCharactersMapToTheRecord) {
    Device::LineState state;
    state.baud = 57600;
    state.dataBits = 5;
    state.parity = 'M';
    state.parityCheck = true;
    state.rtsCtsFlow = true;
    state.xonXoffOut = true;
    state.xonXoffIn = false;
    state.dtrOn = false;
    state.xonChar = 0x01;
    state.xoffChar = 0x02;
    state.eofChar = 0x1A;

    const DCB dcb = PortRecords::DCBFromLineState(state);
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.ByteSize, 5);
    EXPECT_EQ(dcb.Parity, MARKPARITY);
    EXPECT_EQ(dcb.XonChar, 0x01);
    EXPECT_EQ(dcb.XoffChar, 0x02);
    EXPECT_EQ(dcb.EofChar, 0x1A);
    const DCB_fBitFields f = PortRecords::SplitFlags(dcb.fBitFields);
    EXPECT_TRUE(f.Binary);
    EXPECT_TRUE(f.Parity);
    EXPECT_TRUE(f.OutxCtsFlow);
    EXPECT_FALSE(f.OutxDsrFlow);
    EXPECT_EQ(f.DtrControl, DTR_CONTROL_DISABLE);
    EXPECT_EQ(f.RtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_TRUE(f.OutX);
    EXPECT_FALSE(f.InX);

    state.parity = 'S';
    state.rtsCtsFlow = false;
    state.rtsOn = false;
    state.dtrOn = true;
    state.xonXoffIn = true;
    const DCB other = PortRecords::DCBFromLineState(state);
    EXPECT_EQ(other.Parity, SPACEPARITY);
    const DCB_fBitFields g = PortRecords::SplitFlags(other.fBitFields);
    EXPECT_EQ(g.DtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(g.RtsControl, RTS_CONTROL_DISABLE);
    EXPECT_FALSE(g.OutxCtsFlow);
    EXPECT_TRUE(g.InX);
    state.parity = 'O';
    EXPECT_EQ(PortRecords::DCBFromLineState(state).Parity, ODDPARITY);
}

TEST(PortFlagWord, KnownWordsSplitIntoTheirFields) {
    const DCB_fBitFields a = PortRecords::SplitFlags(0x00007091);
    EXPECT_TRUE(a.Binary);
    EXPECT_FALSE(a.Parity);
    EXPECT_FALSE(a.OutxCtsFlow);
    EXPECT_FALSE(a.OutxDsrFlow);
    EXPECT_EQ(a.DtrControl, DTR_CONTROL_ENABLE);
    EXPECT_FALSE(a.DsrSensitivity);
    EXPECT_TRUE(a.TXContinueOnXoff);
    EXPECT_FALSE(a.OutX);
    EXPECT_FALSE(a.InX);
    EXPECT_FALSE(a.ErrorChar);
    EXPECT_FALSE(a.Null);
    EXPECT_EQ(a.RtsControl, RTS_CONTROL_TOGGLE);
    EXPECT_TRUE(a.AbortOnError);
    EXPECT_EQ(a.Dummy2, 0u);

    const DCB_fBitFields b = PortRecords::SplitFlags(0xFFFF8F6E | 0x2000);
    EXPECT_FALSE(b.Binary);
    EXPECT_TRUE(b.Parity);
    EXPECT_TRUE(b.OutxCtsFlow);
    EXPECT_TRUE(b.OutxDsrFlow);
    EXPECT_EQ(b.DtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_TRUE(b.DsrSensitivity);
    EXPECT_FALSE(b.TXContinueOnXoff);
    EXPECT_TRUE(b.OutX);
    EXPECT_TRUE(b.InX);
    EXPECT_TRUE(b.ErrorChar);
    EXPECT_TRUE(b.Null);
    EXPECT_EQ(b.RtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_FALSE(b.AbortOnError);
    EXPECT_EQ(b.Dummy2, 0xFFFF8000u);
}

TEST(PortFlagWord, EachSingleBitLandsInOneField) {
    for (int bit = 0; bit < 32; ++bit) {
        const DCB_fBitFields f = PortRecords::SplitFlags(1u << bit);
        const int set = f.Binary + f.Parity + f.OutxCtsFlow + f.OutxDsrFlow + (f.DtrControl != 0) +
                        f.DsrSensitivity + f.TXContinueOnXoff + f.OutX + f.InX + f.ErrorChar +
                        f.Null + (f.RtsControl != 0) + f.AbortOnError + (f.Dummy2 != 0);
        EXPECT_EQ(set, 1) << "bit " << bit;
    }
    EXPECT_EQ(PortRecords::SplitFlags(1u << 5).DtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(PortRecords::SplitFlags(1u << 13).RtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(PortRecords::SplitFlags(1u << 31).Dummy2, 0x80000000u);
}

TEST_F(PortInformation, PropertiesOfAnOpenPortAndOfABadHandle) {
    PtyPair pty;
    pty.Publish(1);
    const int fd = openPort(1);
    ASSERT_GE(fd, 0);

    const COMMPROP prop = info.GetProperties(fd);
    EXPECT_EQ(prop.wPacketLength, 64);
    EXPECT_EQ(prop.wPacketVersion, 2);
    EXPECT_EQ(prop.dwServiceMask, SP_SERIALCOMM);
    EXPECT_EQ(prop.dwMaxBaud, BAUD_USER);
    EXPECT_EQ(prop.dwProvSubType, PST_RS232);
    EXPECT_TRUE(prop.dwSettableBaud & BAUD_9600);
    EXPECT_TRUE(prop.dwSettableBaud & BAUD_115200);
    EXPECT_TRUE(prop.wSettableData & DATABITS_8);
    EXPECT_TRUE(prop.wSettableStopParity & STOPBITS_10);
    EXPECT_TRUE(prop.wSettableStopParity & PARITY_NONE);
    EXPECT_TRUE(prop.dwSettableParams & SP_BAUD);
    EXPECT_TRUE(prop.dwProvCapabilities & PCF_RTSCTS);
    EXPECT_TRUE(info.SerialClose(fd));

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    for (int bad : {-1, pipeEnds[0]}) {
        EXPECT_TRUE(allZero(info.GetProperties(bad))) << bad;
        const DCB_fBitFields flags = info.GetDCBinfo(bad);
        EXPECT_FALSE(flags.Binary) << bad;
        EXPECT_EQ(flags.Dummy2, 0u);
    }
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

TEST_F(PortInformation, SerialCloseClosesOnlyPortHandles) {
    PtyPair pty;
    pty.Publish(1);
    const int fd = openPort(1);
    ASSERT_GE(fd, 0);

    EXPECT_TRUE(info.SerialClose(fd));
    EXPECT_FALSE(isOpen(fd));
    EXPECT_FALSE(info.SerialClose(fd));
    EXPECT_FALSE(info.SerialClose(-1));

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    EXPECT_FALSE(info.SerialClose(pipeEnds[1]));
    EXPECT_TRUE(isOpen(pipeEnds[1]));
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

TEST_F(PortInformation, AboutShowsTheLibraryVersion) {
    QString shown;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    closer.start();

    info.About();

    EXPECT_EQ(shown, QStringLiteral("Mordal " MORDAL_VERSION));
}

} // namespace
