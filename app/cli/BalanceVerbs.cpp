#include "ConsoleSession.h"
#include "DialectDetector.h"
#include "Events.h"
#include "Invocation.h"
#include "StationSetup.h"
#include "VerbSupport.h"
#include "VerbTable.h"
#include "Verbs.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <optional>

namespace Trevalo {

using Pomiar::AcquisitionSession;

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

// The balance refuses a command with an error reply ("ES" and the like).
bool IsErrorReply(const Pomiar::BalanceDialect& dialect, const QByteArray& frame) {
    const auto replies = dialect.Read(frame);
    return std::any_of(replies.begin(), replies.end(), [](const Pomiar::BalanceReply& reply) {
        return reply.kind == Pomiar::BalanceReply::Kind::Error;
    });
}

// One request of "read": false when it brought no reading (told on stderr).
bool ReadOnce(const Invocation& run, ConsoleSession& console, ReadingPrinter& printer) {
    std::optional<AcquisitionSession::Reply> reply;
    const QMetaObject::Connection replied =
        QObject::connect(&console.Session(), &AcquisitionSession::ReplyHandled,
                         [&reply](const AcquisitionSession::Reply& answer) {
                             if (!reply)
                                 reply = answer;
                         });
    console.Session().OdpytajWage();
    Events::RunUntil([&] { return reply || console.Lost() || Events::Interrupted(); },
                     run.timeoutMs);
    QObject::disconnect(replied);
    for (const PrintedReading& reading : console.NewReadings())
        printer.Print(reading);
    if (console.Lost() || Events::Interrupted())
        return false;
    if (!reply) {
        Warn(console.NoReplyText(run.timeoutMs));
        return false;
    }
    if (reply->outcome == AcquisitionSession::Outcome::OutsideLimits) {
        Warn(QStringLiteral("reading outside the acceptance limits (%1): %2")
                 .arg(LimitsText(console.Store().Limits()), ShownReply(reply->frame)));
        return false;
    }
    // The session has told what the balance said instead of a reading.
    if (reply->outcome == AcquisitionSession::Outcome::BalanceStatus ||
        reply->outcome == AcquisitionSession::Outcome::Refused)
        return false;
    if (!reply->Taken()) {
        if (console.Session().UndecodableBytesArrived())
            Warn(ConsoleSession::UndecodableText +
                 QStringLiteral(" (%1)").arg(ShownReply(reply->frame)));
        else
            Warn(QStringLiteral("reply without a reading: %1").arg(ShownReply(reply->frame)));
        return false;
    }
    return true;
}

} // namespace

int RunRead(const Invocation& run, OpenStation& station) {
    ConsoleSession& console = station.console;
    // The switch the program's single reads follow.
    if (run.unstable)
        console.Session().UnstableSwitch();
    ReadingPrinter printer(run.format);
    int missing = 0;
    for (int i = 0; i < run.count && !Events::Interrupted(); ++i) {
        QElapsedTimer sinceRequest;
        sinceRequest.start();
        // Ctrl+C ends the run; the request it cut short is not a fault.
        if (!ReadOnce(run, console, printer) && !Events::Interrupted())
            ++missing;
        if (console.Lost())
            return Fail(LinkFailed, *console.Lost());
        const int rest = run.intervalMs - int(sinceRequest.elapsed());
        if (i + 1 < run.count && rest > 0)
            Events::RunUntil([] { return Events::Interrupted(); }, rest);
    }
    if (const int code = FinishStoring(console, printer, QString()))
        return code;
    return missing > 0 ? NoReading : Success;
}

int RunTare(const Invocation& run, OpenStation& station) {
    ConsoleSession& console = station.console;
    std::optional<QByteArray> reply;
    QObject::connect(&console.Session(), &AcquisitionSession::ReplyArrived,
                     [&reply](const QByteArray& frame) {
                         if (!reply)
                             reply = frame;
                     });
    console.Session().Tare();
    Events::RunUntil([&] { return reply || console.Lost(); }, run.timeoutMs);
    if (console.Lost())
        return Fail(LinkFailed, *console.Lost());
    const Pomiar::BalanceDialect& dialect = console.Session().Dialect();
    if (!reply && !dialect.Commands().tareAnswered) {
        std::printf("tare sent, not acknowledged (a balance of the family %s may tare without "
                    "answering)\n",
                    qPrintable(dialect.Name()));
        return Success;
    }
    if (!reply)
        return Fail(
            NoReading,
            QStringLiteral("no reply to the tare within %1 s").arg(SecondsText(run.timeoutMs)));
    std::printf("%s\n", qPrintable(ShownReply(*reply)));
    if (IsErrorReply(dialect, *reply))
        return Fail(NoReading, QStringLiteral("the balance refused the tare"));
    return Success;
}

int RunDetect(const Invocation& run) {
    StationSetup station;
    if (const int code = LoadSettings(run, station))
        return code;
    Pomiar::DialectDetector detector(station.context.settings);
    Pomiar::DialectDetector::Result found;
    QObject::connect(&detector, &Pomiar::DialectDetector::Finished,
                     [&found](const Pomiar::DialectDetector::Result& result) { found = result; });
    detector.Start(station.link);
    Events::RunUntil([&detector] { return !detector.Running(); }, -1);
    if (!found.openFailure.isEmpty())
        return Fail(LinkFailed, found.openFailure);
    if (!found.dialect) {
        const QString sent =
            found.received.isEmpty() ? QStringLiteral("nothing") : ShownReply(found.received);
        const QString hint = found.EighthBitSeen()
                                 ? QStringLiteral(" (bytes with the eighth bit set: the balance "
                                                  "may use 7 data bits, see LineFormat)")
                                 : QString();
        return Fail(NoReading,
                    QStringLiteral("no balance family answered; it sent %1%2").arg(sent, hint));
    }
    QString line = found.dialect->Name();
    if (!found.model.isEmpty())
        line += QStringLiteral("  model \"%1\"").arg(found.model);
    if (!found.serialNumber.isEmpty())
        line += QStringLiteral("  serial number \"%1\"").arg(found.serialNumber);
    std::printf("%s\n", qPrintable(line));
    return Success;
}

int RunSend(const Invocation& run, OpenStation& station) {
    ConsoleSession& console = station.console;
    int replies = 0;
    QElapsedTimer sinceLast;
    QObject::connect(&console.Session(), &AcquisitionSession::ReplyArrived,
                     [&](const QByteArray& frame) {
                         std::printf("%s\n", qPrintable(ShownReply(frame)));
                         std::fflush(stdout);
                         ++replies;
                         sinceLast.restart();
                     });
    console.Session().Protocol().OutputDataAndDebug(run.operand.toLatin1() + "\r\n");
    sinceLast.start();
    // Replies are printed until none came for the time-out.
    Events::RunUntil(
        [&] {
            return sinceLast.elapsed() >= run.timeoutMs || console.Lost() || Events::Interrupted();
        },
        -1);
    if (console.Lost())
        return Fail(LinkFailed, *console.Lost());
    if (replies == 0)
        return Fail(NoReading,
                    QStringLiteral("no reply within %1 s").arg(SecondsText(run.timeoutMs)));
    return Success;
}

} // namespace Trevalo
