#pragma once

#include "AcquisitionSession.h"
#include "LinkWatch.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ReadingOutput.h"
#include "Station.h"

#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Trevalo {

struct StationSetup;

// The program's station with a console in front: the link, a series of its
// own (or a series file) and the acquisition engine that joins them, built
// as the program's window builds them. What it adds is only what a console
// needs: waiting for the link to come up, the lost link as a text, and the
// stored readings as printed lines.
class ConsoleSession {
public:
    explicit ConsoleSession(StationSetup& setup);
    ~ConsoleSession();
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    // Opens the station's link and waits until it is up (a TCP connection
    // takes a moment). False with the link's name and the system's reason.
    bool Open(QString* failure);
    // The link went down after it was up, with the reason as the user reads
    // it; cleared when it is up again.
    const std::optional<QString>& Lost() const { return lost; }
    // The link went down (once per outage) or came back.
    std::function<void(const QString& reason)> linkLost;
    std::function<void()> linkBack;

    // Where the readings go: a series of this run only (also before either
    // is chosen), or a series file
    // (created empty when missing, else extended as the program's "Otworz"
    // does). False with the reason.
    bool UseTemporarySeries(QString* error);
    bool UseSeriesFile(const QString& path, QString* error);

    Pomiar::AcquisitionSession& Session() { return session; }
    Pomiar::MeasurementStore& Store() { return store; }
    // The station it drives: link, store, engine, lab database feed.
    Pomiar::Station& Assembly() { return station; }
    // The lines continuous transmission brought so far.
    int CollectedLines() const { return int(collectedStability.size()); }

    // Why a request got no reading within timeoutMs: bytes that do not
    // decode, a balance that keeps sending lines nobody asked for, or else
    // the balance's silence.
    QString NoReplyText(int timeoutMs) const;
    static const QString UndecodableText;

    // The rows stored since the last call, as printed.
    std::vector<PrintedReading> NewReadings();

    // At the end of a run: writes the readings still waiting because the
    // file refused them (a full disk). False with how many could not be
    // written and why.
    bool StoreWaitingReadings(QString* failure);

private:
    void onLinkChanged(bool open);
    void onLinkFailed(int number, const QString& description);
    void logError(const QString& error) const;

    StationSetup& setup;
    QTemporaryDir scratch;
    // The store's own program folder is scratch: a temporary series never
    // touches the program's working database.
    Pomiar::ProgramContext storeContext;
    Pomiar::Station station;
    Pomiar::MeasurementStore& store;
    Pomiar::AcquisitionSession& session;
    Pomiar::LinkWatch::Texts texts;
    std::optional<QString> failure;
    std::optional<QString> lost;
    bool storeOpen = false;
    bool wasOpen = false;
    bool closing = false;
    // Stability of each reading the store took, oldest first, until printed.
    std::deque<bool> stability;
    // Stability of each collected line, by its place in the batch.
    std::vector<bool> collectedStability;
    int continuousFirstRow = -1;
    int printedRows = 0;
    // Why the store last refused readings.
    QString storeFailure;
};

} // namespace Trevalo
