#pragma once

#include "SeriesJournal.h"

#include <QDateTime>
#include <QString>

namespace Pomiar {

class Database;

// What a printout or an export of a series says about where it comes from:
// the station, the operating-system user, when it was made, and how far the
// series' journal reached then (its rows and head hash). Anyone holding the
// file can compare that with the journal of the series later.
namespace JournalIdentity {

struct Identity {
    SeriesJournal::Author author;
    QDateTime at;
    SeriesJournal::Verification::State state = SeriesJournal::Verification::State::NoJournal;
    // The rows that verify and the hash of the last of them.
    qint64 rows = 0;
    QByteArray head;
    // What of a series that verifies the journal does not vouch for
    // (SeriesJournal::Verification::FirstLack), and how many readings that
    // is (none for the report).
    SeriesJournal::Verification::Lack lack = SeriesJournal::Verification::Lack::None;
    int lacking = 0;
};

// The identity of the series in database, made by station on this machine
// at `at` (now when invalid).
Identity Of(Database& database, const QString& station, const QDateTime& at = {});
// The same from a verification already made (SeriesJournal::VerifyFile).
Identity Of(const SeriesJournal::Verification& verified, const QString& station,
            const QDateTime& at = {});

// The wording of the identity text: %1 the station, %2 the user, %3 the time,
// %4 the journal's rows, %5 the first 16 hex digits of its head hash, %6 the
// readings not vouched for.
struct Wording {
    QString journal;
    // A series without a journal: %4 and %5 stay unused.
    QString noJournal;
    // A journal that does not verify: %4 and %5 are the rows up to the fault.
    QString broken;
    // A journal that verifies but does not vouch for all the series shows,
    // one for each lack (an empty one in the export's words): readings
    // older than the journal, readings whose entries are an earlier
    // version's full rows, the report.
    QString unvouched;
    QString partly;
    QString report;
};

// Fixed English words, as the trailer of a data file has them.
Wording ExportWording();

// The identity as text, in wording.
QString Text(const Identity& identity, const Wording& wording);

// The CSV export's trailer line: "# " and the text in ExportWording, which a
// reader that skips comment lines passes over.
QString TrailerLine(const Identity& identity);

// "2026-12-08 10:15:00 +01:00": the local time with its offset from UTC.
QString TimeText(const QDateTime& at);

} // namespace JournalIdentity

} // namespace Pomiar
