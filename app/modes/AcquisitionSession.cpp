#include "AcquisitionSession.h"

#include "DelayPumping.h"
#include "MeasurementStore.h"
#include "Mordal.h"
#include "ProgramContext.h"
#include "Progress.h"

#include <utility>

namespace Pomiar {

AcquisitionSession::AcquisitionSession(const ProgramContext& context, Mordal::Comm* comm,
                                       MeasurementStore& store, QObject* parent)
    : QObject(parent), MSComm1(comm), store(store), protocol(MSComm1, context.settings) {
    Timer2.setInterval(500);
    Timer2.setTimerType(Qt::PreciseTimer);
    connect(&Timer2, &QTimer::timeout, this, &AcquisitionSession::Timer2Tick);
    tmrEthernet.setInterval(LinkWatch::TcpRetryMs);
    connect(&tmrEthernet, &QTimer::timeout, this, &AcquisitionSession::onEthernetTick);
    streamQuiet.setSingleShot(true);
    streamQuiet.setInterval(StreamQuietMs);
    connect(&streamQuiet, &QTimer::timeout, this, [this] {
        if (const auto unstable = std::exchange(requestWhenQuiet, std::nullopt))
            request(*unstable);
    });
    replyWait.setSingleShot(true);
    replyWait.setInterval(ReplyWaitMs);
    connect(&replyWait, &QTimer::timeout, this, [this] {
        if (MSComm1) {
            const QByteArray pending = MSComm1->PeekInputData();
            if (BalanceProtocol::Undecodable(pending, serialLink()))
                noteUndecodable(pending);
        }
    });
    if (MSComm1) {
        connect(MSComm1, &Mordal::Comm::OnComm, this, &AcquisitionSession::onComm);
        connect(MSComm1, &Mordal::Comm::CommIsOpen, this, &AcquisitionSession::onCommIsOpen);
        connect(MSComm1, &Mordal::Comm::ErrorComm, this, &AcquisitionSession::onErrorComm);
    }
    followAcceptance();
    connect(&store, &MeasurementStore::AcceptanceChanged, this,
            &AcquisitionSession::followAcceptance);
    // A run killed during a transmission leaves lines that the next start
    // reads as this batch would have.
    store.SetSpoolReader(&batchReader);
}

AcquisitionSession::~AcquisitionSession() {
    store.SetSpoolReader(nullptr);
}

Mordal::Comm* AcquisitionSession::CreateLink(QObject* holder) {
    auto* link = qobject_cast<Mordal::Comm*>(
        Mordal::CreateControl(QString::fromLatin1(Mordal::CommTypeName), holder));
    if (link) {
        link->setObjectName(QStringLiteral("Comm1"));
        Mordal::MemoryPropertyBag designed;
        link->ReadProperties(designed);
    }
    return link;
}

bool AcquisitionSession::AutomaticWorkRunning() const {
    return Mode() == AcquisitionState::Mode::Automatic || Mode() == AcquisitionState::Mode::Paused;
}

void AcquisitionSession::setMode(AcquisitionState::Mode mode) {
    acquisition.SetMode(mode);
    emit StateChanged();
}

AcquisitionState::Mode AcquisitionSession::modeWithoutAutomaticWork() const {
    return continuousRunning ? AcquisitionState::Mode::Continuous : AcquisitionState::Mode::Idle;
}

bool AcquisitionSession::LinkOpen() const {
    return MSComm1 && MSComm1->CommOpen();
}

bool AcquisitionSession::OpenLink(const LinkSettings& link) {
    if (!MSComm1)
        return false;
    protocol.SetDialect(link.dialect);
    settleOnOpen = true;
    link.Open(*MSComm1);
    emit LinkChanged(LinkOpen());
    return LinkOpen();
}

void AcquisitionSession::ToggleLink() {
    if (!MSComm1)
        return;
    settleOnOpen = !MSComm1->CommOpen();
    MSComm1->SetCommOpen(!MSComm1->CommOpen());
    const bool open = MSComm1->CommOpen();
    // A link closed by hand stays closed.
    if (!open)
        tmrEthernet.stop();
    emit LinkChanged(open);
}

void AcquisitionSession::SuspendLink() {
    if (!linkBefore)
        linkBefore = LinkBefore{LinkOpen(), tmrEthernet.isActive()};
    tmrEthernet.stop();
    if (MSComm1)
        MSComm1->SetCommOpen(false);
}

void AcquisitionSession::RestoreLink() {
    if (!linkBefore)
        return;
    if (MSComm1 && linkBefore->open)
        MSComm1->SetCommOpen(true);
    if (linkBefore->reconnecting)
        tmrEthernet.start();
    linkBefore.reset();
}

void AcquisitionSession::ApplyLink(const LinkSettings& link) {
    linkBefore.reset();
    protocol.SetDialect(link.dialect);
    if (!MSComm1)
        return;
    link.Open(*MSComm1);
    if (MSComm1->CommSource() == Mordal::enCommSource::TCP)
        tmrEthernet.start();
}

QString AcquisitionSession::OpisZrodla() const {
    if (!MSComm1)
        return {};
    switch (MSComm1->CommSource()) {
    case Mordal::enCommSource::TCP:
        return QStringLiteral("TCP-") + MSComm1->NetRemoteHost();
    case Mordal::enCommSource::Serial:
        return QStringLiteral("Serial-") + QString::number(MSComm1->SerialPort());
    default:
        return {};
    }
}

QString AcquisitionSession::LinkStatusText(const LinkWatch::Texts& texts) const {
    return linkWatch.StatusText(tmrEthernet.isActive(), texts);
}

QString AcquisitionSession::LinkFailureText(int number, const QString& description,
                                            const LinkWatch::Texts& texts) const {
    return linkWatch.FailureText(number, description, texts);
}

void AcquisitionSession::request(bool unstable) {
    // While a leftover stream drains, a reply could not be told from its
    // lines, and each reply would put the quiet off again: automatic work
    // started right after the link opened would store nothing, ever. The
    // request goes out once the balance is quiet; asks meanwhile are one.
    if (DiscardingStream()) {
        requestWhenQuiet = unstable;
        return;
    }
    undecodableSeen = false;
    replyWait.start();
    // A reading that is not stable answers only the immediate read.
    acceptance.immediateAsked = unstable;
    protocol.OdpytajWage(unstable);
    emit ReadingRequested();
}

void AcquisitionSession::OdpytajWage() {
    request(unstableOn);
}

// The road of a reply frame, stage by stage: the protocol routes it here,
// handleReply has it read by the family's reader, take judges each reply
// and stores the finished row.
void AcquisitionSession::onComm(const QByteArray& frame, int, int, bool&) {
    const QDateTime now = QDateTime::currentDateTime();
    const BalanceProtocol::Receiving receiving{collecting, Mode() == AcquisitionState::Mode::Paused,
                                               serialLink()};
    const auto routed = protocol.RouteFrame(frame, receiving, buffers, now);
    if (routed.undecodable)
        noteUndecodable(frame);
    if (routed.route == BalanceProtocol::Route::Collected) {
        store.SpoolLine(frame, now, Dialect().Name());
        emit LineCollected(frame);
        return;
    }
    if (routed.route != BalanceProtocol::Route::ToReadingHandler)
        return;
    if (DiscardingStream()) {
        streamQuiet.start();
        return;
    }
    handleReply(frame);
}

bool AcquisitionSession::FrameStable(const QByteArray& frame) const {
    return Dialect().FrameStable(frame);
}

void AcquisitionSession::noteUndecodable(const QByteArray& bytes) {
    undecodableSeen = true;
    replyWait.stop();
    emit UndecodableBytes(bytes);
}

bool AcquisitionSession::serialLink() const {
    return MSComm1 && MSComm1->CommSource() == Mordal::enCommSource::Serial;
}

bool AcquisitionSession::UndecodableBytesArrived() const {
    return undecodableSeen ||
           (MSComm1 && BalanceProtocol::Undecodable(MSComm1->PeekInputData(), serialLink()));
}

void AcquisitionSession::handleReply(const QByteArray& frame) {
    replyWait.stop();
    emit ReplyArrived(frame);
    const bool printout = reportCapture;
    const QDateTime received = QDateTime::currentDateTime();
    for (const FrameReply& read : Dialect().ReadFrame(frame, printout, acceptance.locale))
        replyHandled(Reply{read.frame, take(read, received), read.reply.stable});
}

void AcquisitionSession::replyHandled(const Reply& reply) {
    if (!reply.Taken())
        store.Record(SeriesJournal::Event::ReadingTurnedAway,
                     SeriesJournal::JoinFields({OutcomeName(reply.outcome), reply.frame}));
    emit ReplyHandled(reply);
}

void AcquisitionSession::followAcceptance() {
    const bool immediateAsked = acceptance.immediateAsked;
    acceptance = ReadingAcceptance::StoreRules(store);
    acceptance.immediateAsked = immediateAsked;
}

AcquisitionSession::Outcome AcquisitionSession::take(const FrameReply& read,
                                                     const QDateTime& received) {
    const auto verdict = judge(read, received);
    if (!verdict)
        return Outcome::NotStored;
    tell(*verdict, read.reply);
    if (!verdict->Accepted())
        return verdict->outcome;
    return keep(*verdict->reading);
}

std::optional<ReadingAcceptance::Verdict> AcquisitionSession::judge(const FrameReply& read,
                                                                    const QDateTime& received) {
    try {
        auto verdict = ReadingAcceptance::Judge(read.reply, read.frame, received,
                                                ReadingAcceptance::Road::Single, acceptance);
        // Last, and only of a reading every other rule took: the window
        // after the last ends automatic work.
        if (verdict.Accepted() && !passCycleGate(received))
            verdict.TurnAway(Outcome::OutsideCycleWindow);
        return verdict;
    } catch (const std::exception& error) {
        emit ReadingError(QString::fromLocal8Bit(error.what()));
        return std::nullopt;
    }
}

void AcquisitionSession::tell(const ReadingAcceptance::Verdict& verdict,
                              const BalanceReply& reply) {
    for (const QString& error : std::as_const(verdict.errors))
        emit ReadingError(error);
    if (verdict.outcome == Outcome::BalanceStatus)
        emit BalanceStatusReported(verdict.status);
    else if (verdict.outcome == Outcome::Refused)
        emit CommandRefused(protocol.LastCommand(), reply);
}

AcquisitionSession::Outcome AcquisitionSession::keep(const AcceptedReading& reading) {
    try {
        return store.DodajPomiar(reading) ? Outcome::Stored : Outcome::Waiting;
    } catch (const std::exception& error) {
        emit ReadingError(QString::fromLocal8Bit(error.what()));
        return Outcome::NotStored;
    }
}

void AcquisitionSession::onCommIsOpen(bool state) {
    linkWatch.Reported(state);
    store.Record(state ? SeriesJournal::Event::LinkUp : SeriesJournal::Event::LinkDown,
                 LinkName().toUtf8());
    // A link that was up is tried again while it is down, a serial port as
    // well as a TCP connection: an unplugged adapter comes back by itself.
    if (state && MSComm1) {
        tmrEthernet.setInterval(linkWatch.RetryIntervalMs());
        tmrEthernet.start();
    }
    acquisition.LinkReported(state);
    emit StateChanged();
    emit LinkChanged(state);
    if (state && (streamLeftRunning || settleOnOpen))
        stopLeftoverStream();
    // The lines collected so far are stored; the device cannot be told to
    // stop now, and sending to a closed link does nothing. Not from inside
    // the link's report: storing them may ask or tell the user.
    if (!state && continuousRunning && !closed) {
        streamLeftRunning = true;
        QTimer::singleShot(0, this, [this] {
            if (continuousRunning && !closed)
                switchContinuousOff();
        });
    }
}

void AcquisitionSession::stopLeftoverStream() {
    streamLeftRunning = false;
    settleOnOpen = false;
    // Told once, before anything else is asked of it.
    sendCommand(&BalanceProtocol::ContinuousOff);
    streamQuiet.start();
}

void AcquisitionSession::onErrorComm(int number, const QString& description, Mordal::enCommSource) {
    emit LinkChanged(LinkOpen());
    // One message per outage: the attempts to reopen fail again and again,
    // and a box for each would leave the operator no way to anything else.
    if (linkWatch.FirstFailureOfOutage())
        emit LinkFailed(number, description);
}

void AcquisitionSession::onEthernetTick() {
    if (MSComm1 && !MSComm1->CommOpen())
        MSComm1->SetCommOpen(true);
    emit LinkChanged(LinkOpen());
}

void AcquisitionSession::Start() {
    setMode(AcquisitionState::Mode::Automatic);
    Timer2.start();
    lTim2L = 0;
    Timer2Tick();
}

void AcquisitionSession::Timer2Tick() {
    // Without an interval there is one request and no automatic work: the
    // user is told where the interval is set rather than left with a
    // "running" state that never asks again.
    if (lTim2 <= 0) {
        firstTimer2Tick = false;
        Stop();
        request(true);
        emit NoInterval();
        return;
    }
    // The first tick of the program's run asks at once; later ones count.
    if (firstTimer2Tick) {
        firstTimer2Tick = false;
        request(true);
        return;
    }
    if (lTim2L == 0)
        lTim2L = 1;
    // At or past: an interval shortened while the count runs takes effect
    // at once instead of never.
    if (lTim2L >= lTim2) {
        request(true);
        lTim2L = 1;
    } else {
        ++lTim2L;
    }
}

void AcquisitionSession::Stop() {
    Timer2.stop();
    // Automatic work's ask that waited for a quiet balance goes with it.
    requestWhenQuiet.reset();
    acquisition.SetMode(modeWithoutAutomaticWork());
    if (cycleWork) {
        // The next run of cycle work starts a series of its own.
        store.SetSeriesStart(std::nullopt);
        acquisition.HoldSingleRead();
    }
    emit StateChanged();
    if (cycleWindows)
        cycleWindows->LoadFirstRange();
}

void AcquisitionSession::Pause() {
    const bool running = Mode() == AcquisitionState::Mode::Automatic;
    acquisition.SetMode(running ? AcquisitionState::Mode::Paused
                                : AcquisitionState::Mode::Automatic);
    if (running)
        Timer2.stop();
    else
        Timer2.start();
    emit StateChanged();
}

bool AcquisitionSession::passCycleGate(const QDateTime& received) {
    if (!AutomaticWorkRunning() || !cycleWork || !cycleWindows)
        return true;
    // The reading's Timer: a series without a start starts with it, even
    // when the window turns it away.
    if (!store.SeriesStart())
        store.SetSeriesStart(received);
    switch (cycleWindows->Check(TimerOf(*store.SeriesStart(), received))) {
    case CycleWindows::Result::Accept:
        return true;
    case CycleWindows::Result::Reject:
        return false;
    case CycleWindows::Result::EndOfCycle:
        endOfCycle();
        return false;
    }
    return false;
}

void AcquisitionSession::endOfCycle() {
    Timer2.stop();
    Stop();
    emit CycleEnded();
}

void AcquisitionSession::ContinuousSwitch() {
    if (continuousRunning)
        switchContinuousOff();
    else
        switchContinuousOn();
}

void AcquisitionSession::switchContinuousOn() {
    setMode(AcquisitionState::Mode::Continuous);
    continuousRunning = true;
    lastStable = unstableOn;
    if (!unstableOn)
        UnstableSwitch();
    // The lines' Timer counts from here when the series has no start yet.
    if (!store.SeriesStart())
        store.SetSeriesStart(QDateTime::currentDateTime());
    emit ContinuousChanged(true);
    collecting = true;
    sendCommand(&BalanceProtocol::ContinuousOn);
}

void AcquisitionSession::sendCommand(bool (BalanceProtocol::*command)()) {
    // With the link down nothing goes out, so nothing is recorded as sent.
    if ((protocol.*command)() && MSComm1 && MSComm1->CommOpen())
        store.Record(SeriesJournal::Event::CommandSent, protocol.LastCommand());
}

void AcquisitionSession::switchContinuousOff() {
    sendCommand(&BalanceProtocol::ContinuousOff);
    // Automatic work started during the transmission goes on after it.
    if (Mode() == AcquisitionState::Mode::Continuous)
        setMode(AcquisitionState::Mode::Idle);
    emit ContinuousChanged(false);
    if (unstableOn != lastStable)
        UnstableSwitch();
    if (!buffers.IsEmpty())
        storeCollected();
    collecting = false;
    continuousRunning = false;
    emit StateChanged();
}

void AcquisitionSession::storeCollected() {
    // Frames still on their way are collected while waiting.
    Czekaj(ContinuousTailMs);
    // Read and judged with the rules held here; the store gets the batch.
    const ReadingBatch batch = batchReader.Read(buffers, Dialect(), batchProgress);
    const bool stored = store.DodajPomiary(batch);
    if (batchProgress && batch.lines >= 2)
        batchProgress->End();
    emit ContinuousStored(stored);
}

void AcquisitionSession::Czekaj(int milliseconds) {
    Mordal::DelayPumping(milliseconds);
}

void AcquisitionSession::UnstableSwitch() {
    unstableOn = !unstableOn;
    emit UnstableChanged(unstableOn);
}

void AcquisitionSession::Close() {
    closed = true;
    tmrEthernet.stop();
    Timer2.stop();
    streamQuiet.stop();
    requestWhenQuiet.reset();
    replyWait.stop();
    if (MSComm1) {
        MSComm1->SetCommOpen(false);
        disconnect(MSComm1, nullptr, this, nullptr);
        MSComm1 = nullptr;
        protocol.SetComm(nullptr);
        linkWatch.SetComm(nullptr);
    }
}

} // namespace Pomiar
