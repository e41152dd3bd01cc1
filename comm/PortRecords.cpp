#include "PortRecords.h"

#include <cerrno>
#include <unistd.h>

namespace Mordal::PortRecords {

namespace {

// Places of the DCB flag word.
constexpr uint32_t bitBinary = 1u << 0;
constexpr uint32_t bitParity = 1u << 1;
constexpr uint32_t bitOutxCtsFlow = 1u << 2;
constexpr uint32_t bitOutxDsrFlow = 1u << 3;
constexpr int dtrControlShift = 4;
constexpr uint32_t bitDsrSensitivity = 1u << 6;
constexpr uint32_t bitTXContinueOnXoff = 1u << 7;
constexpr uint32_t bitOutX = 1u << 8;
constexpr uint32_t bitInX = 1u << 9;
constexpr uint32_t bitErrorChar = 1u << 10;
constexpr uint32_t bitNull = 1u << 11;
constexpr int rtsControlShift = 12;
constexpr uint32_t bitAbortOnError = 1u << 14;
constexpr uint32_t dummy2Mask = 0xFFFF8000u;

uint8_t parityOf(char parity) {
    switch (parity) {
    case 'O':
        return ODDPARITY;
    case 'E':
        return EVENPARITY;
    case 'M':
        return MARKPARITY;
    case 'S':
        return SPACEPARITY;
    default:
        return NOPARITY;
    }
}

} // namespace

DCB_fBitFields SplitFlags(uint32_t fBitFields) {
    DCB_fBitFields f;
    f.Binary = fBitFields & bitBinary;
    f.Parity = fBitFields & bitParity;
    f.OutxCtsFlow = fBitFields & bitOutxCtsFlow;
    f.OutxDsrFlow = fBitFields & bitOutxDsrFlow;
    f.DtrControl = static_cast<enDtrControl>((fBitFields >> dtrControlShift) & 3u);
    f.DsrSensitivity = fBitFields & bitDsrSensitivity;
    f.TXContinueOnXoff = fBitFields & bitTXContinueOnXoff;
    f.OutX = fBitFields & bitOutX;
    f.InX = fBitFields & bitInX;
    f.ErrorChar = fBitFields & bitErrorChar;
    f.Null = fBitFields & bitNull;
    f.RtsControl = static_cast<enRtsControl>((fBitFields >> rtsControlShift) & 3u);
    f.AbortOnError = fBitFields & bitAbortOnError;
    f.Dummy2 = fBitFields & dummy2Mask;
    return f;
}

DCB DCBFromLineState(const SerialPortDevice::LineState& state) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = state.baud;
    // termios has no text mode; the line is always binary.
    uint32_t flags = bitBinary;
    if (state.parityCheck)
        flags |= bitParity;
    if (state.rtsCtsFlow)
        flags |= bitOutxCtsFlow;
    if (state.xonXoffOut)
        flags |= bitOutX;
    if (state.xonXoffIn)
        flags |= bitInX;
    const uint32_t dtr = state.dtrOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    flags |= dtr << dtrControlShift;
    // CRTSCTS drives RTS from the receive buffer as well as watching CTS.
    const uint32_t rts = state.rtsCtsFlow ? RTS_CONTROL_HANDSHAKE
                         : state.rtsOn    ? RTS_CONTROL_ENABLE
                                          : RTS_CONTROL_DISABLE;
    flags |= rts << rtsControlShift;
    dcb.fBitFields = flags;
    dcb.ByteSize = static_cast<uint8_t>(state.dataBits);
    dcb.Parity = parityOf(state.parity);
    dcb.StopBits = state.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.XonChar = static_cast<int8_t>(state.xonChar);
    dcb.XoffChar = static_cast<int8_t>(state.xoffChar);
    dcb.EofChar = static_cast<int8_t>(state.eofChar);
    return dcb;
}

COMMPROP SerialPortProperties() {
    COMMPROP prop{};
    prop.wPacketLength = sizeof(COMMPROP);
    prop.wPacketVersion = 2;
    prop.dwServiceMask = SP_SERIALCOMM;
    // Through termios2 any rate can be asked for.
    prop.dwMaxBaud = BAUD_USER;
    prop.dwProvSubType = PST_RS232;
    // termios has no DTR/DSR handshake and no 16-bit mode.
    prop.dwProvCapabilities = PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                              PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS | PCF_SPECIALCHARS;
    prop.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING |
                            SP_PARITY_CHECK | SP_RLSD;
    prop.dwSettableBaud = BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 |
                          BAUD_1200 | BAUD_1800 | BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 |
                          BAUD_14400 | BAUD_19200 | BAUD_38400 | BAUD_56K | BAUD_128K |
                          BAUD_115200 | BAUD_57600 | BAUD_USER;
    prop.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
    prop.wSettableStopParity = STOPBITS_10 | STOPBITS_20 | PARITY_NONE | PARITY_ODD | PARITY_EVEN |
                               PARITY_MARK | PARITY_SPACE;
    return prop;
}

int ReadDCB(int fd, DCB& dcb) {
    dcb = DCB{};
    if (!IsTerminal(fd))
        return fd < 0 ? EBADF : ENOTTY;
    SerialPortDevice::LineState state;
    const int code = SerialPortDevice::ReadLineState(fd, state);
    if (code == 0)
        dcb = DCBFromLineState(state);
    return code;
}

bool IsTerminal(int fd) {
    return fd >= 0 && ::isatty(fd) == 1;
}

} // namespace Mordal::PortRecords
