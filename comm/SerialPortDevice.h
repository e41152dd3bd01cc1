#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The operating-system side of a serial port: which device a port number
// names, and the few calls the transports and the port list need. Every
// call answers 0 or an errno value, and records a failure as the library's
// last system error.
namespace Mordal::SerialPortDevice {

// The folder whose entries "COM<n>" name port devices: $MORDAL_PORTS, else
// ~/.config/Mordal/ports.
QString PortDirectory();

// The device path behind port n: the port folder's "COM<n>" first, then the
// fixed table (ttyS, ttyUSB, ttyACM, ttyAMA in blocks of 32). Empty when
// neither names a device. Setting MORDAL_NO_SYSTEM_PORTS=1 leaves out the
// fixed table, so only the port folder counts.
QString DevicePath(int port);

// The port's name as the system calls it: "\\.\COM" followed by n.
QByteArray DeviceName(int port);

struct LineSettings {
    int baud = 9600;
    char parity = 'N'; // N, E, O, M or S
    int dataBits = 8;
    int stopBits = 1;
};

// The settings text the transport composes, as a user would type it:
// "baud=<rate> parity=<N|E|O|M|S> data=<bits> stop=<bits>".
QByteArray SettingsText(const LineSettings& settings);

// Reads a settings text of "key=value" words (baud, parity, data, stop);
// nothing when a word is unknown or a value is out of range.
std::optional<LineSettings> BuildLineSettings(const QByteArray& text);

// Opens the port's device for reading and writing, non-blocking, as no
// controlling terminal, and takes it exclusively. ENOENT/ENODEV when there
// is no such port, EBUSY when another holder has it.
int OpenExclusive(int port, int& fd);

// Raw mode with the given framing and any baud rate (also those without a
// B constant). With fewer than 8 data bits the input is stripped to 7 bits,
// so that a parity bit the line hands through as bit 7 (a pseudo-terminal
// does) never reaches the program.
int ApplyLineSettings(int fd, const LineSettings& settings);

// What the line is set to now, for the port information records.
struct LineState {
    uint32_t baud = 0;
    int dataBits = 8;
    char parity = 'N';
    int stopBits = 1;
    bool parityCheck = false; // INPCK
    bool rtsCtsFlow = false;  // CRTSCTS
    bool xonXoffOut = false;  // IXON
    bool xonXoffIn = false;   // IXOFF
    bool dtrOn = true;
    bool rtsOn = true;
    unsigned char xonChar = 0x11;
    unsigned char xoffChar = 0x13;
    unsigned char eofChar = 0x04;
};
int ReadLineState(int fd, LineState& state);

// Discards what both queues hold.
int Purge(int fd);

// How many received bytes wait in the input queue. ENODEV when the line
// hung up (the device is gone).
int QueuedInput(int fd, int& count);

// The failure says the device is gone (unplugged adapter, powered-off
// converter): the port must be closed and opened anew.
bool MeansDeviceGone(int code);

// Reads at most max bytes that are already there; got is 0 when none are.
int Read(int fd, char* buffer, int max, int& got);

// Writes all bytes, waiting at most one second per byte in total while the
// output queue is full.
int Write(int fd, const QByteArray& bytes);

int Close(int fd);

} // namespace Mordal::SerialPortDevice
