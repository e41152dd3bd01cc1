#pragma once

#include <cstdint>

namespace Mordal {

// Which transport a Comm control talks through; the value is also what the
// program stores as the link "Type".
enum class enCommSource : int32_t {
    None = 0,
    TCP = 1,
    Serial = 2,
};

// Line speeds; each value is the baud rate itself.
enum enBaudRate : int32_t {
    CBR_110 = 110,
    CBR_300 = 300,
    CBR_600 = 600,
    CBR_1200 = 1200,
    CBR_2400 = 2400,
    CBR_4800 = 4800,
    CBR_9600 = 9600,
    CBR_14400 = 14400,
    CBR_19200 = 19200,
    CBR_38400 = 38400,
    CBR_56000 = 56000,
    CBR_57600 = 57600,
    CBR_115200 = 115200,
    CBR_128000 = 128000,
    CBR_256000 = 256000,
};

inline constexpr enBaudRate AllBaudRates[] = {
    CBR_110,   CBR_300,   CBR_600,   CBR_1200,  CBR_2400,   CBR_4800,   CBR_9600,   CBR_14400,
    CBR_19200, CBR_38400, CBR_56000, CBR_57600, CBR_115200, CBR_128000, CBR_256000,
};

} // namespace Mordal
