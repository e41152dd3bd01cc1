#pragma once

// Records and constants of the port information control. The records carry
// the Win32 serial records field for field, with their names and widths, so
// a caller written against that API reads them unchanged; the enumerations
// carry the Win32 constants with their names and values. Constants that
// would clash by name (the two event masks name the same EV_ bits) are
// scoped; the rest are plain, as enBaudRate is.

#include "CommEnums.h"

#include <cstdint>

namespace Mordal {

// One port as the port list reports it.
struct SimpleInfo {
    int16_t PortNumber = 0;
    bool IsBusy = false;
    bool Exist = false;
};

enum enDtrControl : int32_t {
    DTR_CONTROL_DISABLE = 0,
    DTR_CONTROL_ENABLE = 1,
    DTR_CONTROL_HANDSHAKE = 2,
};

enum enRtsControl : int32_t {
    RTS_CONTROL_DISABLE = 0,
    RTS_CONTROL_ENABLE = 1,
    RTS_CONTROL_HANDSHAKE = 2,
    RTS_CONTROL_TOGGLE = 3,
};

// DCB::fBitFields taken apart. Dummy2 keeps bits 15 to 31 where they are.
struct DCB_fBitFields {
    bool Binary = false;
    bool Parity = false;
    bool OutxCtsFlow = false;
    bool OutxDsrFlow = false;
    enDtrControl DtrControl = DTR_CONTROL_DISABLE;
    bool DsrSensitivity = false;
    bool TXContinueOnXoff = false;
    bool OutX = false;
    bool InX = false;
    bool ErrorChar = false;
    bool Null = false;
    enRtsControl RtsControl = RTS_CONTROL_DISABLE;
    bool AbortOnError = false;
    uint32_t Dummy2 = 0;
};

struct DCB {
    uint32_t DCBlength;
    uint32_t BaudRate;
    uint32_t fBitFields;
    uint16_t wReserved;
    uint16_t XonLim;
    uint16_t XoffLim;
    uint8_t ByteSize;
    uint8_t Parity;
    uint8_t StopBits;
    int8_t XonChar;
    int8_t XoffChar;
    int8_t ErrorChar;
    int8_t EofChar;
    int8_t EvtChar;
    uint16_t wReserved1;
};
static_assert(sizeof(DCB) == 28);

struct COMMPROP {
    uint16_t wPacketLength;
    uint16_t wPacketVersion;
    uint32_t dwServiceMask;
    uint32_t dwReserved1;
    uint32_t dwMaxTxQueue;
    uint32_t dwMaxRxQueue;
    uint32_t dwMaxBaud;
    uint32_t dwProvSubType;
    uint32_t dwProvCapabilities;
    uint32_t dwSettableParams;
    uint32_t dwSettableBaud;
    uint16_t wSettableData;
    uint16_t wSettableStopParity;
    uint32_t dwCurrentTxQueue;
    uint32_t dwCurrentRxQueue;
    uint32_t dwProvSpec1;
    uint32_t dwProvSpec2;
    char16_t wcProvChar[1];
};
static_assert(sizeof(COMMPROP) == 64);

struct COMMCONFIG {
    uint32_t dwSize;
    uint16_t wVersion;
    uint16_t wReserved;
    DCB dcb;
    uint32_t dwProviderSubType;
    uint32_t dwProviderOffset;
    uint32_t dwProviderSize;
    char16_t wcProviderData[1];
};

struct COMMTIMEOUTS {
    uint32_t ReadIntervalTimeout;
    uint32_t ReadTotalTimeoutMultiplier;
    uint32_t ReadTotalTimeoutConstant;
    uint32_t WriteTotalTimeoutMultiplier;
    uint32_t WriteTotalTimeoutConstant;
};

// fBitFields holds the enCOMSTAT_fBitFields bits.
struct COMSTAT {
    uint32_t fBitFields;
    uint32_t cbInQue;
    uint32_t cbOutQue;
};

// Offset and OffsetHigh share their place with a pointer in the Win32
// record; the pointer view is left out, as a type library cannot show it.
struct OVERLAPPED {
    uintptr_t Internal;
    uintptr_t InternalHigh;
    uint32_t Offset;
    uint32_t OffsetHigh;
    intptr_t hEvent;
};

struct SECURITY_ATTRIBUTES {
    uint32_t nLength;
    uintptr_t lpSecurityDescriptor;
    int32_t bInheritHandle;
};

enum enConst : uint32_t {
    SP_SERIALCOMM = 0x00000001,
    COMMPROP_INITIALIZED = 0xE73CF52E,
    MAXDWORD = 0xFFFFFFFF,
    // -1 as the 32-bit handle value.
    INVALID_HANDLE_VALUE = 0xFFFFFFFF,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_IO_PENDING = 997,
};

enum enSettableData : uint16_t {
    DATABITS_5 = 0x0001,
    DATABITS_6 = 0x0002,
    DATABITS_7 = 0x0004,
    DATABITS_8 = 0x0008,
    DATABITS_16 = 0x0010,
    DATABITS_16X = 0x0020,
};

enum enSettableStopParity : uint16_t {
    STOPBITS_10 = 0x0001,
    STOPBITS_15 = 0x0002,
    STOPBITS_20 = 0x0004,
    PARITY_NONE = 0x0100,
    PARITY_ODD = 0x0200,
    PARITY_EVEN = 0x0400,
    PARITY_MARK = 0x0800,
    PARITY_SPACE = 0x1000,
};

enum enMaxBaud : uint32_t {
    BAUD_075 = 0x00000001,
    BAUD_110 = 0x00000002,
    BAUD_134_5 = 0x00000004,
    BAUD_150 = 0x00000008,
    BAUD_300 = 0x00000010,
    BAUD_600 = 0x00000020,
    BAUD_1200 = 0x00000040,
    BAUD_1800 = 0x00000080,
    BAUD_2400 = 0x00000100,
    BAUD_4800 = 0x00000200,
    BAUD_7200 = 0x00000400,
    BAUD_9600 = 0x00000800,
    BAUD_14400 = 0x00001000,
    BAUD_19200 = 0x00002000,
    BAUD_38400 = 0x00004000,
    BAUD_56K = 0x00008000,
    BAUD_128K = 0x00010000,
    BAUD_115200 = 0x00020000,
    BAUD_57600 = 0x00040000,
    BAUD_USER = 0x10000000,
};

enum enProvSubType : uint32_t {
    PST_UNSPECIFIED = 0x00000000,
    PST_RS232 = 0x00000001,
    PST_PARALLELPORT = 0x00000002,
    PST_RS422 = 0x00000003,
    PST_RS423 = 0x00000004,
    PST_RS449 = 0x00000005,
    PST_MODEM = 0x00000006,
    PST_FAX = 0x00000021,
    PST_SCANNER = 0x00000022,
    PST_NETWORK_BRIDGE = 0x00000100,
    PST_LAT = 0x00000101,
    PST_TCPIP_TELNET = 0x00000102,
    PST_X25 = 0x00000103,
};

enum enProvCapabilities : uint32_t {
    PCF_DTRDSR = 0x0001,
    PCF_RTSCTS = 0x0002,
    PCF_RLSD = 0x0004,
    PCF_PARITY_CHECK = 0x0008,
    PCF_XONXOFF = 0x0010,
    PCF_SETXCHAR = 0x0020,
    PCF_TOTALTIMEOUTS = 0x0040,
    PCF_INTTIMEOUTS = 0x0080,
    PCF_SPECIALCHARS = 0x0100,
    PCF_16BITMODE = 0x0200,
};

enum enSettableParams : uint32_t {
    SP_PARITY = 0x0001,
    SP_BAUD = 0x0002,
    SP_DATABITS = 0x0004,
    SP_STOPBITS = 0x0008,
    SP_HANDSHAKING = 0x0010,
    SP_PARITY_CHECK = 0x0020,
    SP_RLSD = 0x0040,
};

enum enClearCommError_Errors : uint32_t {
    CE_RXOVER = 0x0001,
    CE_OVERRUN = 0x0002,
    CE_RXPARITY = 0x0004,
    CE_FRAME = 0x0008,
    CE_BREAK = 0x0010,
    CE_TXFULL = 0x0100,
    CE_PTO = 0x0200,
    CE_IOE = 0x0400,
    CE_DNS = 0x0800,
    CE_OOP = 0x1000,
    CE_MODE = 0x8000,
};

enum enParity : uint8_t {
    NOPARITY = 0,
    ODDPARITY = 1,
    EVENPARITY = 2,
    MARKPARITY = 3,
    SPACEPARITY = 4,
};

enum enStopBits : uint8_t {
    ONESTOPBIT = 0,
    ONE5STOPBITS = 1,
    TWOSTOPBITS = 2,
};

enum enEscapeCommFunction_Func : uint32_t {
    SETXOFF = 1,
    SETXON = 2,
    SETRTS = 3,
    CLRRTS = 4,
    SETDTR = 5,
    CLRDTR = 6,
    RESETDEV = 7,
    SETBREAK = 8,
    CLRBREAK = 9,
};

enum class enGetCommMask_EvtMask : uint32_t {
    EV_RXCHAR = 0x0001,
    EV_RXFLAG = 0x0002,
    EV_TXEMPTY = 0x0004,
    EV_CTS = 0x0008,
    EV_DSR = 0x0010,
    EV_RLSD = 0x0020,
    EV_BREAK = 0x0040,
    EV_ERR = 0x0080,
    EV_RING = 0x0100,
    EV_PERR = 0x0200,
    EV_RX80FULL = 0x0400,
    EV_EVENT1 = 0x0800,
    EV_EVENT2 = 0x1000,
};

enum class enSetCommMask_EvtMask : uint32_t {
    EV_RXCHAR = 0x0001,
    EV_RXFLAG = 0x0002,
    EV_TXEMPTY = 0x0004,
    EV_CTS = 0x0008,
    EV_DSR = 0x0010,
    EV_RLSD = 0x0020,
    EV_BREAK = 0x0040,
    EV_ERR = 0x0080,
    EV_RING = 0x0100,
    EV_PERR = 0x0200,
    EV_RX80FULL = 0x0400,
    EV_EVENT1 = 0x0800,
    EV_EVENT2 = 0x1000,
};

enum enPurgeComm_Flags : uint32_t {
    PURGE_TXABORT = 0x0001,
    PURGE_RXABORT = 0x0002,
    PURGE_TXCLEAR = 0x0004,
    PURGE_RXCLEAR = 0x0008,
};

// Bits of COMSTAT::fBitFields; the names are those of the Win32 bit fields.
enum class enCOMSTAT_fBitFields : uint32_t {
    fCtsHold = 0x0001,
    fDsrHold = 0x0002,
    fRlsdHold = 0x0004,
    fXoffHold = 0x0008,
    fXoffSent = 0x0010,
    fEof = 0x0020,
    fTxim = 0x0040,
};

enum enCreateFile_ShareMode : uint32_t {
    FILE_SHARE_READ = 0x00000001,
    FILE_SHARE_WRITE = 0x00000002,
    FILE_SHARE_DELETE = 0x00000004,
};

enum enCreateFile_DesiredAccess : uint32_t {
    GENERIC_READ = 0x80000000,
    GENERIC_WRITE = 0x40000000,
    GENERIC_EXECUTE = 0x20000000,
    GENERIC_ALL = 0x10000000,
};

enum enCreateFile_CreationDisposition : uint32_t {
    CREATE_NEW = 1,
    CREATE_ALWAYS = 2,
    OPEN_EXISTING = 3,
    OPEN_ALWAYS = 4,
    TRUNCATE_EXISTING = 5,
};

enum enCreateFile_FlagsAndAttributes : uint32_t {
    FILE_ATTRIBUTE_READONLY = 0x00000001,
    FILE_ATTRIBUTE_HIDDEN = 0x00000002,
    FILE_ATTRIBUTE_SYSTEM = 0x00000004,
    FILE_ATTRIBUTE_ARCHIVE = 0x00000020,
    FILE_ATTRIBUTE_NORMAL = 0x00000080,
    FILE_ATTRIBUTE_TEMPORARY = 0x00000100,
    FILE_FLAG_POSIX_SEMANTICS = 0x01000000,
    FILE_FLAG_BACKUP_SEMANTICS = 0x02000000,
    FILE_FLAG_DELETE_ON_CLOSE = 0x04000000,
    FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000,
    FILE_FLAG_RANDOM_ACCESS = 0x10000000,
    FILE_FLAG_NO_BUFFERING = 0x20000000,
    FILE_FLAG_OVERLAPPED = 0x40000000,
    FILE_FLAG_WRITE_THROUGH = 0x80000000,
};

enum enFormatMessage_Flags : uint32_t {
    FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF,
    FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100,
    FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200,
    FORMAT_MESSAGE_FROM_STRING = 0x00000400,
    FORMAT_MESSAGE_FROM_HMODULE = 0x00000800,
    FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000,
    FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000,
};

// Serial device control codes: device type 0x1B, buffered, any access, the
// function number in bits 2 and up.
enum enDeviceIoControl_IoControlCode : uint32_t {
    IOCTL_SERIAL_SET_BAUD_RATE = 0x001B0004,
    IOCTL_SERIAL_SET_QUEUE_SIZE = 0x001B0008,
    IOCTL_SERIAL_SET_LINE_CONTROL = 0x001B000C,
    IOCTL_SERIAL_SET_BREAK_ON = 0x001B0010,
    IOCTL_SERIAL_SET_BREAK_OFF = 0x001B0014,
    IOCTL_SERIAL_IMMEDIATE_CHAR = 0x001B0018,
    IOCTL_SERIAL_SET_TIMEOUTS = 0x001B001C,
    IOCTL_SERIAL_GET_TIMEOUTS = 0x001B0020,
    IOCTL_SERIAL_SET_DTR = 0x001B0024,
    IOCTL_SERIAL_CLR_DTR = 0x001B0028,
    IOCTL_SERIAL_RESET_DEVICE = 0x001B002C,
    IOCTL_SERIAL_SET_RTS = 0x001B0030,
    IOCTL_SERIAL_CLR_RTS = 0x001B0034,
    IOCTL_SERIAL_SET_XOFF = 0x001B0038,
    IOCTL_SERIAL_SET_XON = 0x001B003C,
    IOCTL_SERIAL_GET_WAIT_MASK = 0x001B0040,
    IOCTL_SERIAL_SET_WAIT_MASK = 0x001B0044,
    IOCTL_SERIAL_WAIT_ON_MASK = 0x001B0048,
    IOCTL_SERIAL_PURGE = 0x001B004C,
    IOCTL_SERIAL_GET_BAUD_RATE = 0x001B0050,
    IOCTL_SERIAL_GET_LINE_CONTROL = 0x001B0054,
    IOCTL_SERIAL_GET_CHARS = 0x001B0058,
    IOCTL_SERIAL_SET_CHARS = 0x001B005C,
    IOCTL_SERIAL_GET_HANDFLOW = 0x001B0060,
    IOCTL_SERIAL_SET_HANDFLOW = 0x001B0064,
    IOCTL_SERIAL_GET_MODEMSTATUS = 0x001B0068,
    IOCTL_SERIAL_GET_COMMSTATUS = 0x001B006C,
    IOCTL_SERIAL_XOFF_COUNTER = 0x001B0070,
    IOCTL_SERIAL_GET_PROPERTIES = 0x001B0074,
    IOCTL_SERIAL_GET_DTRRTS = 0x001B0078,
    IOCTL_SERIAL_LSRMST_INSERT = 0x001B007C,
    IOCTL_SERIAL_CONFIG_SIZE = 0x001B0080,
    IOCTL_SERIAL_GET_COMMCONFIG = 0x001B0084,
    IOCTL_SERIAL_SET_COMMCONFIG = 0x001B0088,
    IOCTL_SERIAL_GET_STATS = 0x001B008C,
    IOCTL_SERIAL_CLEAR_STATS = 0x001B0090,
    IOCTL_SERIAL_GET_MODEM_CONTROL = 0x001B0094,
    IOCTL_SERIAL_SET_MODEM_CONTROL = 0x001B0098,
    IOCTL_SERIAL_SET_FIFO_CONTROL = 0x001B009C,
};

// The wait mask of IOCTL_SERIAL_SET_WAIT_MASK and IOCTL_SERIAL_WAIT_ON_MASK.
enum enDeviceIoControl_EventTypes : uint32_t {
    SERIAL_EV_RXCHAR = 0x0001,
    SERIAL_EV_RXFLAG = 0x0002,
    SERIAL_EV_TXEMPTY = 0x0004,
    SERIAL_EV_CTS = 0x0008,
    SERIAL_EV_DSR = 0x0010,
    SERIAL_EV_RLSD = 0x0020,
    SERIAL_EV_BREAK = 0x0040,
    SERIAL_EV_ERR = 0x0080,
    SERIAL_EV_RING = 0x0100,
    SERIAL_EV_PERR = 0x0200,
    SERIAL_EV_RX80FULL = 0x0400,
    SERIAL_EV_EVENT1 = 0x0800,
    SERIAL_EV_EVENT2 = 0x1000,
};

} // namespace Mordal
