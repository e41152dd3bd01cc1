#pragma once

#include "AcceptanceLimits.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

namespace Pomiar {

class Database;
struct SeriesRow;
namespace SeriesJournal {
struct Entry;
}

// The readings, series starts, later descriptions and stored reports that
// are still to reach the lab database, kept in the table LabOutbox of the
// working database. A reading is queued in the same transaction that stores
// it, so what is stored is queued, also when the program is killed right
// after; the sender (LabServerSender) removes rows only once the server has
// committed them.
//
// A series on the server is named by a random identifier given when its
// first reading is queued. Another series begins when the store's series
// start changes or is cleared, when Lp goes back, or when the readings go
// into another file.
class LabServerOutbox {
public:
    static constexpr const char* Table = "LabOutbox";

    // What a queued row stands for.
    // Check: a balance check of the register; Mark: a reading's mark
    // (below the minimum weight), queued right after it.
    enum class Kind { Series, Reading, Description, Report, Journal, Check, Mark };

    LabServerOutbox(const QString& workingDatabasePath, const QString& station);
    ~LabServerOutbox();

    static void CreateTable(Database& database);

    // Queues a reading just written into database, inside the transaction
    // that writes it. seriesStart: the store's series start, when it has
    // one; fileName: the file the series is kept in. When database is a
    // series file rather than the working database, the reading is queued
    // in the working database right away, in a transaction of its own.
    // limits: the acceptance limits in force, which the server keeps as the
    // series' limits; none when not known. The row's stability goes with it.
    void QueueReading(Database& database, const std::optional<QDateTime>& seriesStart,
                      const QString& fileName, const SeriesRow& row,
                      const std::optional<AcceptanceLimits>& limits = std::nullopt);
    // A description changed later, for a reading of the current series;
    // readings the server never got (those of an opened file) are left.
    void QueueDescription(int lp, const QString& opis);
    // The instrument's report stored with the current series.
    void QueueReport(const QString& report);
    // An entry just written into the journal of database, inside the
    // transaction that writes it. Only the working database's journal is
    // the station's chain: what a bound series file appends to its own copy
    // stays in the file. The row names the entry by its seq; the sender
    // reads the entry from the journal. Entries written before the lab
    // database was switched on (or before the station had its present
    // name) are queued with the first one after.
    void QueueJournal(Database& database, const SeriesJournal::Entry& entry);

    // A balance check as its register stored it: uid names it on the
    // server, json is the whole record (CheckRecord::ToJson). Queued in the
    // working database; the register is a file of its own, so the check is
    // queued right after its register transaction.
    void QueueCheck(const QString& uid, const QDateTime& finished, const QByteArray& json);

    QString Station() const { return station; }
    QString CurrentSeries() const { return seriesId; }

    // The time of a reading as the server takes it: ISO 8601 with
    // milliseconds and the offset from UTC.
    static QString ZonedText(const QDateTime& time);
    static QString KindText(Kind kind);

private:
    Database& target(Database& written);
    Database& working();
    void beginSeriesIfNew(Database& database, const std::optional<QDateTime>& seriesStart,
                          const QString& fileName, const SeriesRow& row);
    void queueSeries(Database& database, const QDateTime& start, const QString& fileName);

    QString workingPath;
    QString station;
    std::unique_ptr<Database> ownWorking;
    QString seriesId;
    std::optional<QDateTime> seriesStart;
    QString seriesFile;
    int lastLp = 0;
};

} // namespace Pomiar
