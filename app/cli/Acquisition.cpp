#include "Acquisition.h"

#include "ConsoleDialogs.h"
#include "Database.h"
#include "ErrorLog.h"
#include "FileLock.h"
#include "LinkSession.h"
#include "SeriesFile.h"
#include "Station.h"
#include "StoreReply.h"

#include <Mordal/DelayPumping.h>

#include <QFileInfo>

namespace Trevalo {

using namespace Pomiar;

namespace {

ConsoleDialogs consoleDialogs;

// Frames still on their way after continuous transmission is switched off
// are collected this long, as the program waits.
constexpr int continuousTailMs = 200;

bool IsStable(const QByteArray& frame) {
    return !frame.contains('?');
}

} // namespace

Acquisition::Acquisition(Station& station, LinkSession& link)
    : station(station), link(link), storeContext(station.context), store(storeContext),
      protocol(link.Comm(), station.context.settings) {
    storeContext.programFolder = scratch.path();
    storeContext.dialogs = &consoleDialogs;
    store.limits = station.limits;
    store.SetMassFormat(station.massFormat);
    store.storeFailed = [this](const QString& reason, int waiting) {
        storeFailure = reason;
        std::fprintf(stderr, "trevalo: readings wait to be written (%d): %s\n", waiting,
                     qPrintable(reason));
    };
    link.frameReceived = [this](const QByteArray& frame) { onFrame(frame); };
}

Acquisition::~Acquisition() {
    link.frameReceived = nullptr;
}

bool Acquisition::UseTemporarySeries(QString* error) {
    try {
        store.OtworzMagazyn();
        return true;
    } catch (const DatabaseError& failure) {
        *error = failure.Reason();
        return false;
    }
}

bool Acquisition::UseSeriesFile(const QString& path, QString* error) {
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

void Acquisition::onFrame(const QByteArray& frame) {
    const auto route =
        protocol.RouteFrame(frame, continuous, false, buffers, QDateTime::currentDateTime());
    if (route == BalanceProtocol::Route::Collected)
        collectedStability.push_back(IsStable(frame));
    else if (route == BalanceProtocol::Route::ToReadingHandler)
        handleReading(frame);
}

void Acquisition::handleReading(const QByteArray& frame) {
    // Taken means written or waiting to be written; a reading outside the
    // cycle window is not taken.
    const int taken = store.RowCount() + store.WaitingReadings();
    Reply reply{frame};
    reply.stored = StoreReply(
                       store, frame, QDateTime::currentDateTime(), false,
                       [this](const QString& error) { logError(error); }, &reply.outsideLimits) &&
                   store.RowCount() + store.WaitingReadings() > taken;
    if (reply.stored)
        stability.push_back(IsStable(frame));
    if (replied)
        replied(reply);
}

void Acquisition::logError(const QString& error) const {
    ErrorLog::ZapiszLog(station.context.programFolder, QStringLiteral("trevalo"),
                        QStringLiteral("PrzetworzOdczyt"), error);
}

void Acquisition::ContinuousOn() {
    continuous = true;
    if (!store.seriesStart)
        store.seriesStart = QDateTime::currentDateTime();
    protocol.ContinuousOn();
}

bool Acquisition::ContinuousOff() {
    protocol.ContinuousOff();
    Mordal::DelayPumping(continuousTailMs);
    continuousFirstRow = store.RowCount();
    const bool stored = !buffers.IsEmpty() && store.DodajPomiary(buffers, nullptr);
    continuous = false;
    return stored;
}

std::vector<PrintedReading> Acquisition::NewReadings() {
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

bool Acquisition::StoreWaitingReadings(QString* failure) {
    if (store.StoreWaitingReadings())
        return true;
    *failure = QStringLiteral("%1 readings could not be written: %2")
                   .arg(store.WaitingReadings())
                   .arg(storeFailure);
    return false;
}

} // namespace Trevalo
