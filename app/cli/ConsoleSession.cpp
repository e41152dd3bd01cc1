#include "ConsoleSession.h"

#include "ConsoleDialogs.h"
#include "Database.h"
#include "ErrorLog.h"
#include "Events.h"
#include "FileLock.h"
#include "SeriesFile.h"
#include "StationSetup.h"
#include "VerbSupport.h"

#include <Mordal/CommEnums.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>

namespace Trevalo {

using namespace Pomiar;

namespace {

ConsoleDialogs consoleDialogs;

// A TCP connection to a converter that is slow to answer still comes up.
constexpr int openWaitMs = 5000;
// A balance still streaming when the link opens is told to stop; one that
// goes on (its own automatic printing) is not waited for longer than this.
constexpr int settleWaitMs = 3 * AcquisitionSession::StreamQuietMs;

} // namespace

namespace {

ProgramContext ScratchContext(const ProgramContext& context, const QString& folder) {
    ProgramContext scratchContext = context;
    scratchContext.programFolder = folder;
    scratchContext.dialogs = &consoleDialogs;
    return scratchContext;
}

} // namespace

ConsoleSession::ConsoleSession(StationSetup& setup)
    : setup(setup), storeContext(ScratchContext(setup.context, scratch.path())),
      station(setup.context, storeContext), store(station.Store()), session(station.Engine()) {
    store.SetLimits(setup.limits);
    store.SetMassFormat(setup.massFormat);
    QObject::connect(&store, &MeasurementStore::StoreFailed,
                     [this](const QString& reason, int waiting) {
                         storeFailure = reason;
                         std::fprintf(stderr, "trevalo: readings wait to be written (%d): %s\n",
                                      waiting, qPrintable(reason));
                     });
    texts.permissionRemedy = QStringLiteral(
        "Permission denied: add the user to the group \"%1\" that owns %2 and log in again.");
    AcquisitionSession* acquisition = &session;
    QObject::connect(acquisition, &AcquisitionSession::LinkChanged,
                     [this](bool open) { onLinkChanged(open); });
    QObject::connect(
        acquisition, &AcquisitionSession::LinkFailed,
        [this](int number, const QString& description) { onLinkFailed(number, description); });
    QObject::connect(acquisition, &AcquisitionSession::ReadingError,
                     [this](const QString& error) { logError(error); });
    QObject::connect(acquisition, &AcquisitionSession::BalanceStatusReported,
                     [](BalanceReply::Error status) {
                         std::fprintf(stderr, "trevalo: the balance reports %s\n",
                                      qPrintable(ErrorName(status)));
                     });
    QObject::connect(acquisition, &AcquisitionSession::CommandRefused,
                     [this](const QByteArray& command, const BalanceReply& reply) {
                         const QString text = RefusalText(command, reply);
                         std::fprintf(stderr, "trevalo: %s\n", qPrintable(text));
                         logError(text);
                     });
    QObject::connect(acquisition, &AcquisitionSession::ReplyHandled,
                     [this](const AcquisitionSession::Reply& reply) {
                         if (reply.Taken())
                             stability.push_back(reply.stable);
                     });
    QObject::connect(acquisition, &AcquisitionSession::LineCollected,
                     [this](const QByteArray& frame) {
                         collectedStability.push_back(session.FrameStable(frame));
                     });
    QObject::connect(acquisition, &AcquisitionSession::ContinuousChanged, [this](bool on) {
        if (!on)
            continuousFirstRow = store.RowCount();
    });
    QObject::connect(acquisition, &AcquisitionSession::ContinuousStored, [this](bool stored) {
        // Lines that were all turned away are told by the verb.
        if (!stored && !store.LastBatch().AllTurnedAway())
            consoleDialogs.MessageBox(nullptr, storeContext.Msg(20), MsgButtons::Ok, MsgIcon::None,
                                      storeContext.Msg(46));
    });
}

ConsoleSession::~ConsoleSession() {
    // A close of our own is no outage.
    closing = true;
    session.Close();
}

bool ConsoleSession::Open(QString* failureText) {
    if (!session.HasLink()) {
        *failureText = QStringLiteral("the communication library offers no Comm control");
        return false;
    }
    const int type = setup.link.type;
    if (type != int(Mordal::enCommSource::Serial) && type != int(Mordal::enCommSource::TCP)) {
        *failureText = QStringLiteral("no link configured (Type=%1 in ustawienia.ini)").arg(type);
        return false;
    }
    // Replies that come at once have a series to go to.
    if (!UseTemporarySeries(failureText))
        return false;
    failure.reset();
    // Opening a TCP link waits a while by itself: that counts too.
    QElapsedTimer sinceOpen;
    sinceOpen.start();
    session.OpenLink(setup.link);
    Events::RunUntil([this] { return session.LinkOpen() || failure; },
                     std::max(0, openWaitMs - int(sinceOpen.elapsed())));
    if (session.LinkOpen()) {
        // Nothing is asked of a balance before it is quiet.
        Events::RunUntil([this] { return !session.DiscardingStream() || lost; }, settleWaitMs);
        return true;
    }
    *failureText = failure.value_or(
        session.LinkName() + QStringLiteral(": no connection within %1 s").arg(openWaitMs / 1000));
    session.SuspendLink();
    return false;
}

void ConsoleSession::onLinkFailed(int number, const QString& description) {
    const QString text = session.LinkFailureText(number, description, texts);
    if (!wasOpen) {
        failure = text;
        return;
    }
    // The system's reason replaces the bare "lost" of the state report.
    if (!session.LinkOpen())
        onLinkChanged(false);
    if (lost)
        lost = text;
}

void ConsoleSession::onLinkChanged(bool open) {
    if (open) {
        wasOpen = true;
        if (lost) {
            lost.reset();
            if (linkBack)
                linkBack();
        }
        return;
    }
    if (!wasOpen || lost || closing)
        return;
    lost = session.LinkName() + QStringLiteral(": link lost");
    if (linkLost)
        linkLost(*lost);
}

bool ConsoleSession::UseTemporarySeries(QString* error) {
    if (storeOpen)
        return true;
    try {
        store.OtworzMagazyn();
        storeOpen = true;
        return true;
    } catch (const DatabaseError& failure) {
        *error = failure.Reason();
        return false;
    }
}

bool ConsoleSession::UseSeriesFile(const QString& path, QString* error) {
    if (!UseTemporarySeries(error))
        return false;
    if (!QFileInfo::exists(path)) {
        // An empty series saved as the program saves one.
        if (SeriesFile::ZapiszSerie(store.Bound(), path, nullptr, error) !=
            SeriesFile::SaveResult::Completed)
            return false;
    } else {
        QString reason;
        switch (SeriesFile::Examine(path, &reason)) {
        case SeriesFile::FileState::Writable:
            break;
        case SeriesFile::FileState::ReadOnly:
            *error = QStringLiteral("the file can only be read");
            return false;
        case SeriesFile::FileState::Unreadable:
            *error = reason;
            return false;
        case SeriesFile::FileState::NotASeriesFile:
            *error = QStringLiteral("not a series file");
            return false;
        }
    }
    if (FileLock::InUse(path)) {
        *error = QStringLiteral("the file is in use by another program");
        return false;
    }
    try {
        store.OtworzBaze(path);
    } catch (const DatabaseError& failure) {
        *error = failure.Reason();
        return false;
    }
    printedRows = store.RowCount();
    return true;
}

void ConsoleSession::logError(const QString& error) const {
    ErrorLog::ZapiszLog(setup.context.programFolder, QStringLiteral("trevalo"),
                        QStringLiteral("PrzetworzOdczyt"), error);
}

std::vector<PrintedReading> ConsoleSession::NewReadings() {
    std::vector<PrintedReading> readings;
    for (; printedRows < store.RowCount(); ++printedRows) {
        const SeriesRow& row = store.Model().Row(printedRows);
        PrintedReading reading{row.godzina, row.masa, row.jm, std::nullopt};
        if (continuousFirstRow >= 0 && printedRows >= continuousFirstRow) {
            // A stored line keeps its place in the batch as its number.
            const int line = store.LpTekst(printedRows).toInt() - 1;
            if (line >= 0 && line < int(collectedStability.size()))
                reading.stable = collectedStability[size_t(line)];
        } else if (!stability.empty()) {
            reading.stable = stability.front();
            stability.pop_front();
        }
        readings.push_back(reading);
    }
    return readings;
}

const QString ConsoleSession::UndecodableText =
    QStringLiteral("bytes arrived that do not decode: check the line format (7E1, 8N1, \u2026) and "
                   "the baud rate");

QString ConsoleSession::NoReplyText(int timeoutMs) const {
    if (session.UndecodableBytesArrived())
        return UndecodableText;
    if (session.DiscardingStream())
        return QStringLiteral("the balance keeps sending lines nobody asked for (its own "
                              "automatic printing?): none is taken as a reading");
    return QStringLiteral("no reply within %1 s").arg(SecondsText(timeoutMs));
}

bool ConsoleSession::StoreWaitingReadings(QString* failureText) {
    if (store.StoreWaitingReadings())
        return true;
    *failureText = QStringLiteral("%1 readings could not be written: %2")
                       .arg(store.WaitingReadings())
                       .arg(storeFailure);
    return false;
}

} // namespace Trevalo
