#pragma once

#include "CommPrivate.h"

// The library's own tests reach a Comm's transports, timers and transport
// seam through these; hosts have neither this header nor the symbols behind
// it, so they see only the public control.
namespace Mordal::CommInternals {

inline SerialAPI* SerialAPI1(Comm& comm) {
    return CommPrivate::Of(comm).SerialAPI1.get();
}

inline TCP* TCP1(Comm& comm) {
    return CommPrivate::Of(comm).TCP1.get();
}

inline QTimer& TimerChechBuffer(Comm& comm) {
    return CommPrivate::Of(comm).TimerChechBuffer;
}

inline QTimer& TimerTimeOut(Comm& comm) {
    return CommPrivate::Of(comm).TimerTimeOut;
}

// Consecutive time-outs since the last frame delivered or the open.
inline int32_t TimeOutCount(Comm& comm) {
    return CommPrivate::Of(comm).timeOutCount;
}

inline void UseTransport(Comm& comm, enCommSource forSource, IKavlin* replacement) {
    CommPrivate::Of(comm).UseTransport(forSource, replacement);
}

} // namespace Mordal::CommInternals
