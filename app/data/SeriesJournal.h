#pragma once

#include "Database.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <atomic>
#include <functional>
#include <limits>
#include <optional>

namespace Pomiar {

// The record of everything that happened to a series, kept in the series'
// own database (the working database and every series file) as the table
// "journal": one row per event, in order, each with its time (UTC and the
// local offset), who wrote it, and a SHA-256 over the previous row's hash
// and this row's canonical bytes. A change made behind the program's back
// breaks the chain or leaves a reading the journal does not know; a chain
// rewritten whole with these rules is not found here (only against a copy
// kept elsewhere).
//
// Two row formats share the table. A full row (written before the compact
// format) carries its author (station, operating-system user, host) and
// its offset from UTC in minutes. A compact row leaves os_user, station and
// host NULL: its author is the one named by the latest AuthorChanged entry
// before it, and its offset is in seconds. Both are read and verified; only
// compact rows are written.
namespace SeriesJournal {

enum class Event : int {
    // data: the number of readings the series already had.
    JournalStarted = 1,
    ProgramStarted,
    ProgramClosed,
    // A new series; readings before it are no longer the series'. data: the
    // number of readings it starts with (those of a file copied in to be
    // viewed), which the journal never saw.
    SeriesStarted,
    SeriesOpened,
    SeriesSaved,
    SeriesExported,
    SeriesPrinted,
    // data: Lp, mass, unit and the frame it came from, then (compact rows)
    // Timer, LpTekst, the description and the status (ReadingData).
    ReadingStored,
    // data: why, and the frame.
    ReadingTurnedAway,
    // data: Lp, the old and the new text.
    DescriptionSet,
    CommandSent,
    LinkDown,
    LinkUp,
    SettingChanged,
    // data: station, operating-system user and host of the compact entries
    // that follow.
    AuthorChanged,
    // data: the SHA-256 of the instrument report as stored (raport).
    ReportSaved,
};

// "reading stored", for messages; any number, also one out of range.
QString EventName(qint64 event);
inline QString EventName(Event event) {
    return EventName(qint64(event));
}

// Who writes: the station number and where the program runs.
struct Author {
    QString station;
    QString user;
    QString host;
    // The station's author on this machine.
    static Author Here(const QString& station);
    bool operator==(const Author& other) const = default;
};

// One row of the journal.
struct Entry {
    qint64 seq = 0;
    // UTC, milliseconds since 1970, and the local offset from UTC: minutes
    // in a full row, seconds in a compact one.
    qint64 at = 0;
    int utcOffset = 0;
    // A compact row: its author is not in the row (see above); `author`
    // then holds the one it refers to where the reader knows it.
    bool compact = false;
    Author author;
    Event event = Event::JournalStarted;
    QByteArray data;
    // SHA-256 over the previous entry's hash and this entry's canonical bytes.
    QByteArray hash;
};

// What the hash of an entry covers, in order; the same on every machine.
QByteArray CanonicalBytes(const Entry& entry);
// The hash an entry must have after the entry with previousHash (empty for
// the first).
QByteArray ChainedHash(const QByteArray& previousHash, const Entry& entry);

// A chain checked entry by entry, in order: each must be the next in
// sequence and carry the hash its predecessor leads to.
class Chain {
public:
    enum class Fault { None, Missing, HashMismatch };
    // Takes the next entry; a fault leaves the chain where it was.
    Fault Add(const Entry& entry);
    // The entries taken, and the hash of the last of them.
    qint64 Length() const { return length; }
    const QByteArray& Head() const { return head; }

private:
    qint64 length = 0;
    QByteArray head;
};

// The fields of one event's data, kept apart by the unit separator (0x1F);
// a separator or escape (0x1B) inside a field is preceded by the escape.
// Full rows joined their fields without escaping.
QByteArray JoinFields(const QList<QByteArray>& fields);
QList<QByteArray> SplitFields(const QByteArray& data);

// The data of ReadingStored: the mass as the shortest text that reads back
// as the same double (negative zero as zero), Timer, LpTekst when it is not
// Lp's own text, and the description the reading was stored with when it is
// not blank, and the reading's status when it has one (a net below the
// minimum weight).
QByteArray ReadingData(int lp, double mass, const QString& unit, const QByteArray& frame,
                       int timer = 0, const QString& lpText = {}, const QString& opis = {},
                       const QString& status = {});

// The entries numbered from `from` to `to`, in order; a compact entry
// carries the author named before it when the range holds that entry.
void ForEachEntry(Database& database, const std::function<void(const Entry&)>& visit,
                  qint64 from = 1, qint64 to = std::numeric_limits<qint64>::max());

// Creates the table when it is missing.
void Create(Database& database);
bool Exists(Database& database);

// Appends one event at `at` (now when invalid). Runs inside the caller's
// transaction when one is open, so that an event and the change it records
// are written together. A series that has readings and no journal yet gets
// JournalStarted first; an author the chain does not have as its current
// one gets AuthorChanged first. Answers the entries written, in order.
QList<Entry> Append(Database& database, const Author& author, Event event,
                    const QByteArray& data = {}, const QDateTime& at = {});

struct Verification {
    enum class State { Verified, NoJournal, Broken };
    State state = State::NoJournal;
    qint64 rows = 0;
    // The hash of the last row.
    QByteArray head;
    // Where the record is broken, for the user.
    QString where;
    // Readings older than the journal, which it cannot vouch for.
    int readingsBefore = 0;
    // Readings whose entries are of the earlier full rows, which hold
    // neither their Timer nor their LpTekst: those two it cannot vouch for.
    int readingsPartly = 0;
    // A report the journal never saw stored (one that came with a file
    // copied in to be viewed).
    bool reportBefore = false;
    // The readings the journal vouched for.
    qint64 readings = 0;
    // VerifyFile stopped before its verdict.
    bool cancelledEarly = false;
    // Verified, but some of what the series shows no journal vouches for.
    bool Unvouched() const {
        return state == State::Verified &&
               (readingsBefore > 0 || readingsPartly > 0 || reportBefore);
    }
    // What is told of that, where one line names one thing: readings older
    // than the journal first, then readings held in part, then the report;
    // None when the journal vouches for all (or does not verify).
    enum class Lack { None, ReadingsBefore, ReadingsPartly, Report };
    Lack FirstLack() const {
        return !Unvouched()         ? Lack::None
               : readingsBefore > 0 ? Lack::ReadingsBefore
               : readingsPartly > 0 ? Lack::ReadingsPartly
                                    : Lack::Report;
    }
};

// Checks, in one read transaction, the chain from its first row, that
// every reading of the series is the journal's event for it in every column
// the program shows (Lp, date, time, Timer, mass, unit, LpTekst, station,
// status and description; a status is none, "0" in a saved file, or the mark
// the entry stored) and every event a reading of the series, in
// order, and the report against the last one the journal saw stored. Reads
// the journal and the readings side by side, so memory stays bounded by
// the descriptions set, whatever the length. Writes nothing. When
// cancelled is set while it runs, it stops early and answers
// State::NoJournal with cancelledEarly set. A file another program holds
// locked past the wait throws DatabaseError: that is no verdict on it.
Verification Verify(Database& database, const std::atomic<bool>* cancelled = nullptr);

// How VerifyFile reads: Two walks the journal on a connection and thread of
// its own beside the readings (a command that does nothing else finishes
// sooner); One leaves a core to a window that must keep answering.
enum class Cores { Two, One };

// Verifies the series file (or working database) at path on a read-only
// connection of its own, writing nothing to it or beside it where no writer
// can exist (it is then read as immutable); safe to run on a worker
// thread. Throws DatabaseError when the file is not a regular file or
// cannot be read as a database.
Verification VerifyFile(const QString& path, const std::atomic<bool>* cancelled = nullptr,
                        Cores cores = Cores::Two);
// The same, handing every reading row of the series (every column of
// pomiary, in table order) to rows as it goes, whatever the verdict: the
// rows come from the moment that was verified, in one pass over the table.
// Throws DatabaseError also when the rows cannot be read, and passes on
// what rows throws.
Verification VerifyFile(const QString& path, const Database::RowViewVisitor& rows,
                        const std::atomic<bool>* cancelled = nullptr, Cores cores = Cores::Two);

} // namespace SeriesJournal

} // namespace Pomiar
