#pragma once

#include <Mordal/Comm.h>

#include "FrameBuffer.h"
#include "IKavlin.h"
#include "SerialAPI.h"
#include "TCP.h"

#include <QTimer>

#include <memory>

namespace Mordal {

// Everything of a Comm that its hosts never see: the transports, the timers,
// the frame buffer and the state of delivery. The Comm holds only a pointer to
// it, so all of this may change without breaking a host built against the
// library. The transports call back through it as their owner.
class CommPrivate final : public ITransportOwner {
public:
    explicit CommPrivate(Comm& comm);

    static CommPrivate& Of(Comm& comm) { return *comm.d; }

    void RaiseError(int Number, const QString& Description, enCommSource Source) override {
        q.RaiseError(Number, Description, Source);
    }
    void RaiseCommState() override { q.RaiseCommState(); }

    void CheckBuffer();
    void deliverFrames(int frames);
    int CountFrames();
    void TimeOutExpired();
    void reportOwnFailure(const char* what);

    IKavlin* transportFor(enCommSource wanted) const;
    // From the next SetCommSource on, forSource wires this transport instead
    // of SerialAPI1 or TCP1; the caller keeps it alive while it is wired.
    // The seam through which Comm's own rules run on a transport of the
    // caller's.
    void UseTransport(enCommSource forSource, IKavlin* replacement);

    Comm& q;
    QTimer TimerChechBuffer;
    QTimer TimerTimeOut;
    IKavlin* transport = nullptr;
    IKavlin* serialTransport = nullptr;
    IKavlin* tcpTransport = nullptr;
    enCommSource source = enCommSource::None;
    FrameBuffer receiveBuffer{Comm::DefaultMarkers};
    // Counts the host's own takes of the buffer, so that a delivery notices
    // when a handler took or cleared it.
    quint64 bufferTakes = 0;
    bool delivering = false;
    // The host closes the link itself: frames still waiting are not pressed
    // on it during the close.
    bool hostClosing = false;
    // Polling starts whenever the link is seen open, also when a connection
    // completes late; only an open or close of the host's that leaves the
    // link closed stops it, so that the frames received before a lost
    // connection are still delivered.
    bool polling = false;
    int32_t timeOutCount = 0;
    int16_t lastReportedState = 256;
    int32_t maxFrameSize = Comm::DefaultMaxFrameSize;
    bool propertiesChanged = false;
    // Last, so that they are destroyed first, while the owner they call back
    // is whole.
    const std::unique_ptr<SerialAPI> SerialAPI1;
    const std::unique_ptr<TCP> TCP1;
};

} // namespace Mordal
