#include "Acquisition.h"
#include "Events.h"
#include "Invocation.h"
#include "LinkSession.h"
#include "Station.h"
#include "VerbSupport.h"
#include "Verbs.h"

#include <QElapsedTimer>
#include <cstdio>
#include <optional>

namespace Trevalo {

namespace {

// The limits that are on, as the settings hold them ("min 1, max 10").
QString LimitsText(const Pomiar::AcceptanceLimits& limits) {
    QStringList on;
    if (limits.minOn)
        on << QStringLiteral("min ") + limits.minText;
    if (limits.maxOn)
        on << QStringLiteral("max ") + limits.maxText;
    return on.join(QStringLiteral(", "));
}

// The balance refuses a command with an error reply ("ES").
bool IsErrorReply(const QByteArray& frame) {
    return frame.trimmed().startsWith("ES");
}

// One request of "read": false when it brought no reading (told on stderr).
bool ReadOnce(const Invocation& run, Acquisition& acquisition, LinkSession& link,
              ReadingPrinter& printer) {
    std::optional<Acquisition::Reply> reply;
    acquisition.replied = [&reply](const Acquisition::Reply& answer) {
        if (!reply)
            reply = answer;
    };
    acquisition.Protocol().OdpytajWage(run.unstable);
    Events::RunUntil([&] { return reply || link.Lost() || Events::Interrupted(); }, run.timeoutMs);
    for (const PrintedReading& reading : acquisition.NewReadings())
        printer.Print(reading);
    if (link.Lost() || Events::Interrupted())
        return false;
    if (!reply) {
        Warn(QStringLiteral("no reply within %1 s").arg(SecondsText(run.timeoutMs)));
        return false;
    }
    if (reply->outsideLimits) {
        Warn(QStringLiteral("reading outside the acceptance limits (%1): %2")
                 .arg(LimitsText(acquisition.Store().limits), ShownReply(reply->frame)));
        return false;
    }
    if (!reply->stored) {
        Warn(QStringLiteral("reply without a reading: %1").arg(ShownReply(reply->frame)));
        return false;
    }
    return true;
}

} // namespace

int RunRead(const Invocation& run) {
    Events::CatchInterrupts();
    Station station;
    LinkSession link;
    if (const int code = Connect(run, station, link))
        return code;
    Acquisition acquisition(station, link);
    QString error;
    if (!acquisition.UseTemporarySeries(&error))
        return Fail(FileFailed, error);
    ReadingPrinter printer(run.format);
    int missing = 0;
    for (int i = 0; i < run.count && !Events::Interrupted(); ++i) {
        QElapsedTimer sinceRequest;
        sinceRequest.start();
        // Ctrl+C ends the run; the request it cut short is not a fault.
        if (!ReadOnce(run, acquisition, link, printer) && !Events::Interrupted())
            ++missing;
        if (link.Lost())
            return Fail(LinkFailed, *link.Lost());
        const int rest = run.intervalMs - int(sinceRequest.elapsed());
        if (i + 1 < run.count && rest > 0)
            Events::RunUntil([] { return Events::Interrupted(); }, rest);
    }
    if (const int code = FinishStoring(acquisition, printer, QString()))
        return code;
    return missing > 0 ? NoReading : Success;
}

int RunTare(const Invocation& run) {
    Station station;
    LinkSession link;
    if (const int code = Connect(run, station, link))
        return code;
    Pomiar::BalanceProtocol protocol(link.Comm(), station.context.settings);
    std::optional<QByteArray> reply;
    link.frameReceived = [&reply](const QByteArray& frame) {
        if (!reply)
            reply = frame;
    };
    protocol.Tare();
    Events::RunUntil([&] { return reply || link.Lost(); }, run.timeoutMs);
    if (link.Lost())
        return Fail(LinkFailed, *link.Lost());
    if (!reply)
        return Fail(
            NoReading,
            QStringLiteral("no reply to the tare within %1 s").arg(SecondsText(run.timeoutMs)));
    std::printf("%s\n", qPrintable(ShownReply(*reply)));
    if (IsErrorReply(*reply))
        return Fail(NoReading, QStringLiteral("the balance refused the tare"));
    return Success;
}

int RunSend(const Invocation& run) {
    Events::CatchInterrupts();
    Station station;
    LinkSession link;
    if (const int code = Connect(run, station, link))
        return code;
    Pomiar::BalanceProtocol protocol(link.Comm(), station.context.settings);
    int replies = 0;
    QElapsedTimer sinceLast;
    link.frameReceived = [&](const QByteArray& frame) {
        std::printf("%s\n", qPrintable(ShownReply(frame)));
        std::fflush(stdout);
        ++replies;
        sinceLast.restart();
    };
    protocol.OutputDataAndDebug(run.operand.toLatin1() + "\r\n");
    sinceLast.start();
    // Replies are printed until none came for the time-out.
    Events::RunUntil(
        [&] {
            return sinceLast.elapsed() >= run.timeoutMs || link.Lost() || Events::Interrupted();
        },
        -1);
    if (link.Lost())
        return Fail(LinkFailed, *link.Lost());
    if (replies == 0)
        return Fail(NoReading,
                    QStringLiteral("no reply within %1 s").arg(SecondsText(run.timeoutMs)));
    return Success;
}

} // namespace Trevalo
