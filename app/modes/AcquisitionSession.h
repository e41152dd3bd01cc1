#pragma once

#include "AcquisitionState.h"
#include "BalanceProtocol.h"
#include "BatchReader.h"
#include "CycleWindows.h"
#include "LinkOwner.h"
#include "LinkWatch.h"
#include "ReadingAcceptance.h"

#include <QObject>
#include <QTimer>
#include <optional>

namespace Mordal {
class Comm;
enum class enCommSource : int32_t;
} // namespace Mordal

namespace Pomiar {

class MeasurementStore;
class Progress;
struct ProgramContext;

// Acquisition, the one owner of the road from the balance to the series:
// the link (opened from the settings, reopened while it is down, one report
// per outage), the protocol, automatic work with its interval and counters,
// pause, continuous transmission with its tail and buffers, the
// unstable-readings switch, the cycle windows, and the road of a reply,
// laid out here stage by stage, each stage a call that returns without
// calling back: the protocol (BalanceProtocol::RouteFrame), the family's
// reader (BalanceDialect::ReadFrame), the acceptance
// (ReadingAcceptance::Judge, with rules held here), the cycle gate
// (CycleWindows), the store, which gets the finished row. Continuous lines
// take the same road in a batch (BatchReader). The program's window and
// trevalo drive it with its commands and show what it signals; neither has
// rules of acquisition of its own.
class AcquisitionSession : public QObject, public LinkOwner {
    Q_OBJECT
public:
    // The run's link control from the library, with its designed
    // properties, owned by holder; null when the library cannot create it.
    static Mordal::Comm* CreateLink(QObject* holder);

    // comm: the link control, not owned; may be null (no link at all).
    AcquisitionSession(const ProgramContext& context, Mordal::Comm* comm, MeasurementStore& store,
                       QObject* parent = nullptr);

    ~AcquisitionSession() override;

    // What became of a reply that was handed to the reader.
    using Outcome = ReadingAcceptance::Outcome;
    struct Reply {
        QByteArray frame;
        Outcome outcome = Outcome::NotAReading;
        // The balance marked the value stable.
        bool stable = true;
        // Written or waiting to be written.
        bool Taken() const { return outcome == Outcome::Stored || outcome == Outcome::Waiting; }
    };
    // "outside the limits": why a reply was turned away, for the journal.
    static QByteArray OutcomeName(Outcome outcome) {
        return ReadingAcceptance::OutcomeName(outcome);
    }

    const AcquisitionState& State() const { return acquisition; }
    AcquisitionState::Mode Mode() const { return acquisition.CurrentMode(); }
    bool AutomaticWorkRunning() const;

    // The link is the session's alone: the options dialog edits settings,
    // and the session takes the link down while they are edited, applies
    // what was confirmed, or puts the link back as it was.
    // False once the session is closed (or it never had a link control).
    bool HasLink() const { return MSComm1 != nullptr; }
    // A lost link is being reopened at the pace LinkWatch gives.
    bool Reconnecting() const { return tmrEthernet.isActive(); }
    // How often a lost link is tried again until it next reports; a test
    // of many outages shortens it.
    void SetReopenIntervalMs(int ms) { tmrEthernet.setInterval(ms); }
    void SuspendLink() override;
    void RestoreLink() override;
    void ApplyLink(const LinkSettings& link) override;
    bool LinkOpen() const;
    // Configures the link and the balance's family from the settings and
    // opens the link; true when it is open (a TCP connection may still come
    // up later).
    bool OpenLink(const LinkSettings& link);
    // The connection button: opens a closed link, closes an open one (and
    // then stops trying to reopen it).
    void ToggleLink();
    // "TCP-<host>" or "Serial-<n>"; empty without a source.
    QString OpisZrodla() const;
    // "COM5 (/dev/ttyUSB4)" or "127.0.0.1:4001".
    QString LinkName() const { return linkWatch.LinkName(); }
    QString LinkStatusText(const LinkWatch::Texts& texts) const;
    QString LinkFailureText(int number, const QString& description,
                            const LinkWatch::Texts& texts) const;

    // The traffic window's echo; and commands typed by hand.
    BalanceProtocol& Protocol() { return protocol; }
    // The balance's family: what is sent and how replies are read. OpenLink
    // and ApplyLink set it.
    void SetDialect(const BalanceDialect& dialect) { protocol.SetDialect(dialect); }
    const BalanceDialect& Dialect() const { return protocol.Dialect(); }
    // Whether the balance marked the value of a frame stable.
    bool FrameStable(const QByteArray& frame) const;

    // One request, stable or immediate as the unstable switch says.
    void OdpytajWage();
    void Tare() { sendCommand(&BalanceProtocol::Tare); }

    // Automatic work: a request every `ticks` half seconds (the cycle
    // settings' interval); 0 means none is set.
    void SetInterval(int ticks) { lTim2 = ticks; }
    // Start asks at once.
    void Start();
    void Stop();
    // Pauses running automatic work, or resumes paused work.
    void Pause();
    void Timer2Tick();
    bool AutomaticTimerRunning() const { return Timer2.isActive(); }

    // Continuous transmission on, or off with the collected lines stored.
    void ContinuousSwitch();
    bool ContinuousRunning() const { return continuousRunning; }

    void UnstableSwitch();
    bool UnstableReadings() const { return unstableOn; }

    // The cycle windows, consulted during automatic work while cycle work is
    // on. Not owned.
    void SetCycleWindows(CycleWindows* windows) { cycleWindows = windows; }
    // Whether cycle work is switched on (the per-user setting "Cykl").
    void SetCycleWork(bool on) { cycleWork = on; }
    bool CycleWork() const { return cycleWork; }

    // While a report window captures a printout, every reply is kept as it
    // came rather than read as a reading.
    void SetReportCapture(bool on) { reportCapture = on; }
    bool ReportCapture() const { return reportCapture; }

    // Where storing a long continuous batch shows its progress; not owned.
    void SetBatchProgress(Progress* progress) { batchProgress = progress; }

    // Stops everything and closes the link for good.
    void Close();

    // When the link opens, or comes back after it was lost during
    // continuous transmission, the balance may still be streaming (a run
    // killed during the transmission, its own automatic printing): it is
    // told once to stop, and lines that arrive before it has been quiet
    // this long are not readings anybody asked for.
    static constexpr int StreamQuietMs = 1000;
    bool DiscardingStream() const { return streamQuiet.isActive(); }
    // Frames still on their way after continuous transmission is switched
    // off are collected this long.
    static constexpr int ContinuousTailMs = 200;

    // Whether bytes that do not decode (BalanceProtocol::Undecodable)
    // arrived since the last request, in a
    // frame or still waiting for a frame's end: the line format or the baud
    // rate does not match the balance's.
    bool UndecodableBytesArrived() const;
    // How long a request waits before undecodable bytes are told.
    static constexpr int ReplyWaitMs = 1000;

signals:
    // The mode or the link changed: the commands available changed.
    void StateChanged();
    // The link opened or closed, or an attempt failed: its status changed.
    void LinkChanged(bool open);
    // The first failure of an outage; the repeats are not signalled.
    void LinkFailed(int number, const QString& description);
    // A request for a reading was sent.
    void ReadingRequested();
    // A reply for the reading handler, before it is read (a report window
    // that captures printouts takes it from here).
    void ReplyArrived(const QByteArray& frame);
    // What became of it.
    void ReplyHandled(const Pomiar::AcquisitionSession::Reply& reply);
    // A step of the reading handler failed: for the error log.
    void ReadingError(const QString& error);
    // The balance answered overload, underload or no stable value
    // (NoStableValue also for a value not stable after a stable read).
    void BalanceStatusReported(Pomiar::BalanceReply::Error status);
    // The balance refused a command (syntax, logical or transmission), or
    // reported an error of its own with its number.
    void CommandRefused(const QByteArray& command, const Pomiar::BalanceReply& reply);
    // A line collected during continuous transmission.
    void LineCollected(const QByteArray& frame);
    // Continuous transmission ended with lines collected; false when
    // nothing was stored: fewer than two complete lines came, or every line
    // was turned away (the store's LastBatch says which and why).
    void ContinuousStored(bool stored);
    // Bytes that do not decode arrived (see UndecodableBytesArrived).
    void UndecodableBytes(const QByteArray& bytes);
    void UnstableChanged(bool on);
    void ContinuousChanged(bool on);
    // Start without an interval asked once and stopped.
    void NoInterval();
    // The last cycle window is over and automatic work stopped.
    void CycleEnded();

private:
    void onComm(const QByteArray& frame, int framesCount, int bufferCount, bool& clearFrameData);
    void onCommIsOpen(bool state);
    void onErrorComm(int number, const QString& description, Mordal::enCommSource source);
    void onEthernetTick();
    void handleReply(const QByteArray& frame);
    // The road of one reply after its family's reader: the acceptance and
    // the cycle gate, what they said told, the store.
    Outcome take(const FrameReply& read, const QDateTime& received);
    // The acceptance's verdict with the cycle gate's applied last; nothing
    // when a step failed (told to the error log).
    std::optional<ReadingAcceptance::Verdict> judge(const FrameReply& read,
                                                    const QDateTime& received);
    // The errors, the balance's status or its refusal, as signals.
    void tell(const ReadingAcceptance::Verdict& verdict, const BalanceReply& reply);
    // The finished row into the store.
    Outcome keep(const AcceptedReading& reading);
    // Emits ReplyHandled; a reply turned away goes into the journal first.
    void replyHandled(const Reply& reply);
    // The acceptance follows the store's limits, locale, minimum weight and
    // hold for a check.
    void followAcceptance();
    // A command of the protocol, kept in the journal when the family has
    // it and it was sent.
    void sendCommand(bool (BalanceProtocol::*command)());
    // A reading received at that time, during automatic cycle work: false
    // when its Timer falls outside the current window. The window after the
    // last ends automatic work. Open outside automatic cycle work.
    bool passCycleGate(const QDateTime& received);
    void setMode(AcquisitionState::Mode mode);
    // Idle, or continuous transmission while it still runs.
    AcquisitionState::Mode modeWithoutAutomaticWork() const;
    void request(bool unstable);
    // Tells a balance that may still be streaming to stop, and waits for
    // it to be quiet.
    void stopLeftoverStream();
    void noteUndecodable(const QByteArray& bytes);
    bool serialLink() const;
    void switchContinuousOn();
    void switchContinuousOff();
    void storeCollected();
    // The program's wait that lets events run (frames keep arriving and
    // are collected meanwhile).
    static void Czekaj(int milliseconds);
    void endOfCycle();

    // The link control; null once the session is closed.
    Mordal::Comm* MSComm1 = nullptr;
    MeasurementStore& store;
    QTimer tmrEthernet;
    // Automatic work: a tick every 0,5 s; a request every lTim2 ticks,
    // counted in lTim2L.
    QTimer Timer2;
    int32_t lTim2 = 0;
    int32_t lTim2L = 0;
    BalanceProtocol protocol;
    LinkWatch linkWatch{MSComm1};
    AcquisitionState acquisition;
    ContinuousBuffers buffers;
    // What a reply is accepted by: the store's settings, followed as they
    // change, and the kind of read last asked.
    ReadingAcceptance::Rules acceptance;
    BatchReader batchReader{acceptance};
    CycleWindows* cycleWindows = nullptr;
    Progress* batchProgress = nullptr;
    bool cycleWork = false;
    // Frames are collected rather than read, until the batch is stored.
    bool collecting = false;
    bool continuousRunning = false;
    bool unstableOn = false;
    bool lastStable = false;
    bool firstTimer2Tick = true;
    bool closed = false;
    // Continuous transmission ended with the link: the balance has not been
    // told to stop.
    bool streamLeftRunning = false;
    // The link was opened (not reopened after an outage): the balance may
    // be streaming from before.
    bool settleOnOpen = false;
    QTimer streamQuiet;
    // A read asked while the stream drained: stable or not.
    std::optional<bool> requestWhenQuiet;
    bool reportCapture = false;
    // What the link was before SuspendLink took it down.
    struct LinkBefore {
        bool open;
        bool reconnecting;
    };
    std::optional<LinkBefore> linkBefore;
    bool undecodableSeen = false;
    QTimer replyWait;
};

} // namespace Pomiar
