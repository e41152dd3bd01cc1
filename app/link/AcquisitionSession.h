#pragma once

#include "AcquisitionState.h"
#include "BalanceProtocol.h"
#include "CycleWindows.h"
#include "LinkWatch.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace Mordal {
class Comm;
enum class enCommSource : int32_t;
} // namespace Mordal

namespace Pomiar {

struct ProgramContext;

// The program's acquisition: the link to the balance (opened from the
// settings, reopened while it is down, one report per outage), automatic
// work on Timer2 with its counters, pause, continuous transmission and its
// buffers, the unstable-readings switch and the cycle windows. Its state is
// an AcquisitionState; windows show what it signals and run its commands.
class AcquisitionSession : public QObject {
    Q_OBJECT
public:
    AcquisitionSession(const ProgramContext& context, Mordal::Comm* comm,
                       QObject* parent = nullptr);

    // The link control; null once the session is closed.
    Mordal::Comm* MSComm1 = nullptr;
    // Reopens a lost link at the pace LinkWatch gives.
    QTimer tmrEthernet;
    // Automatic work: a tick every 0,5 s; a request every lTim2 ticks,
    // counted in lTim2L.
    QTimer Timer2;
    int32_t lTim2 = 0;
    int32_t lTim2L = 0;

    BalanceProtocol& Protocol() { return protocol; }
    const AcquisitionState& State() const { return acquisition; }
    AcquisitionState::Mode Mode() const { return acquisition.CurrentMode(); }
    bool AutomaticWorkRunning() const;

    // Configures the link from its settings and opens it; true when it is open.
    bool OpenLink(const LinkSettings& link);
    // The connection button: opens a closed link, closes an open one (and
    // then stops trying to reopen it).
    void ToggleLink();
    // "TCP-<host>" or "Serial-<n>"; empty without a source.
    QString OpisZrodla() const;
    QString LinkStatusText(const LinkWatch::Texts& texts) const;
    QString LinkFailureText(int number, const QString& description,
                            const LinkWatch::Texts& texts) const;

    void OdpytajWage();
    void Tare() { protocol.Tare(); }

    // Automatic work; Start asks at once.
    void Start();
    void Stop();
    // Pauses running automatic work, or resumes paused work.
    void Pause();
    void Timer2Tick();

    // Continuous transmission on, or off with the collected lines handed on.
    void ContinuousSwitch();
    bool ContinuousTicked() const { return ciaglaTicked; }
    ContinuousBuffers& Buffers() { return buffers; }

    void UnstableSwitch();
    bool UnstableReadings() const { return unstableOn; }

    // The cycle windows, consulted during automatic work while cycle work is
    // on. Not owned.
    void SetCycleWindows(CycleWindows* windows) { cycleWindows = windows; }
    // Whether cycle work is switched on (the per-user setting "Cykl").
    std::function<bool()> cycleWorkOn = [] { return false; };
    // A reading at elapsed whole seconds of the series: false when it falls
    // outside the current window. The window after the last ends automatic
    // work.
    bool PassCycleGate(int elapsed);

    // Stops everything and closes the link for good.
    void Close();

    // After a link lost during continuous transmission comes back, the
    // balance may still be streaming: lines that arrive before it has been
    // quiet this long are not readings anybody asked for.
    static constexpr int StreamQuietMs = 1000;
    bool DiscardingStream() const { return streamQuiet.isActive(); }

signals:
    // The mode or the link changed: the commands available changed.
    void StateChanged();
    // The link opened or closed, or an attempt failed: its status changed.
    void LinkChanged(bool open);
    // The first failure of an outage; the repeats are not signalled.
    void LinkFailed(int number, const QString& description);
    // A frame for the reading handler.
    void ReadingFrame(const QByteArray& frame);
    void UnstableChanged(bool on);
    void ContinuousChanged(bool on);
    // Continuous transmission ended with lines collected: they are to be
    // stored now (and taken from the buffers).
    void ContinuousCollected(ContinuousBuffers& buffers);
    // Start without an interval asked once and stopped.
    void NoInterval();
    // Automatic work stopped with cycle work on: the next series starts anew.
    void CycleWorkStopped();
    // The last cycle window is over and automatic work stopped.
    void CycleEnded();

private:
    void onComm(const QByteArray& frame, int framesCount, int bufferCount, bool& clearFrameData);
    void onCommIsOpen(bool state);
    void onErrorComm(int number, const QString& description, Mordal::enCommSource source);
    void onEthernetTick();
    void setMode(AcquisitionState::Mode mode);
    // Idle, or continuous transmission while it still runs.
    AcquisitionState::Mode modeWithoutAutomaticWork() const;
    void stopStreamAfterLoss();
    void continuousOn();
    void continuousOff();
    void endOfCycle();

    BalanceProtocol protocol;
    LinkWatch linkWatch{MSComm1};
    AcquisitionState acquisition;
    ContinuousBuffers buffers;
    CycleWindows* cycleWindows = nullptr;
    bool continuousFlag = false;
    bool ciaglaTicked = false;
    bool unstableOn = false;
    bool lastStable = false;
    bool firstTimer2Tick = true;
    bool closed = false;
    // Continuous transmission ended with the link: the balance has not been
    // told to stop.
    bool streamLeftRunning = false;
    QTimer streamQuiet;
};

} // namespace Pomiar
