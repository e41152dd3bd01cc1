#include "SeriesJournal.h"

#include "Database.h"

#include <QCryptographicHash>
#include <QSysInfo>
#include <QTimeZone>
#include <array>
#include <charconv>
#include <pwd.h>
#include <unistd.h>
#include <unordered_map>

namespace Pomiar::SeriesJournal {

namespace {

constexpr char FieldSeparator = '\x1f';

const QString CreateTable = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS journal (seq INTEGER PRIMARY KEY, at INTEGER NOT NULL, "
    "utc_offset INTEGER NOT NULL, station TEXT, os_user TEXT, host TEXT, event INTEGER NOT NULL, "
    "data BLOB, hash BLOB NOT NULL)");

void AppendNumber(QByteArray& bytes, qint64 number, int width) {
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        bytes += char((quint64(number) >> shift) & 0xff);
}

void AppendBytes(QByteArray& bytes, const QByteArray& field) {
    AppendNumber(bytes, field.size(), 4);
    bytes += field;
}

using Row = Entry;

} // namespace

// Every field, each with its length, so that no two entries share their
// bytes.
QByteArray CanonicalBytes(const Entry& row) {
    QByteArray bytes;
    AppendNumber(bytes, row.seq, 8);
    AppendNumber(bytes, row.at, 8);
    AppendNumber(bytes, row.offsetMinutes, 4);
    AppendBytes(bytes, row.author.station.toUtf8());
    AppendBytes(bytes, row.author.user.toUtf8());
    AppendBytes(bytes, row.author.host.toUtf8());
    AppendNumber(bytes, int(row.event), 4);
    AppendBytes(bytes, row.data);
    return bytes;
}

Chain::Fault Chain::Add(const Entry& entry) {
    if (entry.seq != length + 1)
        return Fault::Missing;
    const QByteArray hash = ChainedHash(head, entry);
    if (hash != entry.hash)
        return Fault::HashMismatch;
    head = hash;
    length = entry.seq;
    return Fault::None;
}

QByteArray ChainedHash(const QByteArray& previousHash, const Entry& entry) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(previousHash.isEmpty() ? QByteArray(32, '\0') : previousHash);
    hash.addData(CanonicalBytes(entry));
    return hash.result();
}

namespace {

QByteArray ShortestText(double value) {
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return QByteArray(text.data(), int(result.ptr - text.data()));
}

// The local time of an event as the series stores it ("yyyy-MM-dd HH:mm:ss"),
// on any machine whatever its time zone.
QString LocalText(qint64 at, int offsetMinutes) {
    return QDateTime::fromMSecsSinceEpoch(at, QTimeZone(offsetMinutes * 60))
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void Insert(Database& database, const Row& row) {
    database.Execute(QStringLiteral("INSERT INTO journal (seq, at, utc_offset, station, os_user, "
                                    "host, event, data, hash) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                     {row.seq, row.at, row.offsetMinutes, row.author.station, row.author.user,
                      row.author.host, int(row.event), row.data, row.hash});
}

void AppendInOpenTransaction(Database& database, const Author& author, Event event,
                             const QByteArray& data, const QDateTime& at, QList<Entry>& written) {
    database.Execute(CreateTable);
    const Database::Rows last =
        database.Query(QStringLiteral("SELECT seq, hash FROM journal ORDER BY seq DESC LIMIT 1"));
    qint64 seq = 1;
    // The first entry follows no hash.
    QByteArray previous;
    if (!last.rows.empty()) {
        seq = last.rows[0][0].toLongLong() + 1;
        previous = last.rows[0][1].toByteArray();
    } else if (event != Event::JournalStarted) {
        // A series from before the journal: its readings so far are counted
        // as such.
        const QVariant readings =
            database.HasTable(QStringLiteral("pomiary"))
                ? database.Scalar(QStringLiteral("SELECT count(*) FROM pomiary"))
                : QVariant(0);
        AppendInOpenTransaction(database, author, Event::JournalStarted,
                                QByteArray::number(readings.toLongLong()), at, written);
        AppendInOpenTransaction(database, author, event, data, at, written);
        return;
    }
    const QDateTime when = at.isValid() ? at : QDateTime::currentDateTime();
    Row row{seq, when.toMSecsSinceEpoch(), when.offsetFromUtc() / 60, author, event, data, {}};
    row.hash = ChainedHash(previous, row);
    Insert(database, row);
    written << row;
}

struct ReadingEvent {
    QByteArray mass;
    QString unit;
    QString time;
    QString station;
    bool seen = false;
};

QString ReadingText(const ReadingEvent& reading) {
    return QString::fromLatin1(reading.mass) + u' ' + reading.unit;
}

} // namespace

QString EventName(Event event) {
    static const char* const names[] = {
        "journal started",     "program started", "program closed",
        "series started",      "series opened",   "series saved",
        "series exported",     "series printed",  "reading stored",
        "reading turned away", "description set", "command sent",
        "link down",           "link up",         "setting changed"};
    const int index = int(event) - 1;
    return index >= 0 && index < int(std::size(names)) ? QLatin1String(names[index])
                                                       : QStringLiteral("event %1").arg(int(event));
}

Author Author::Here(const QString& station) {
    static const QString user = [] {
        if (const passwd* entry = ::getpwuid(::geteuid()))
            return QString::fromLocal8Bit(entry->pw_name);
        return QString::number(::geteuid());
    }();
    static const QString host = QSysInfo::machineHostName();
    return Author{station, user, host};
}

QByteArray JoinFields(const QList<QByteArray>& fields) {
    QByteArray joined;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            joined += FieldSeparator;
        joined += fields[i];
    }
    return joined;
}

QList<QByteArray> SplitFields(const QByteArray& data) {
    return data.split(FieldSeparator);
}

QByteArray ReadingData(int lp, double mass, const QString& unit, const QByteArray& frame) {
    return JoinFields({QByteArray::number(lp), ShortestText(mass), unit.toUtf8(), frame});
}

void ForEachEntry(Database& database, const std::function<void(const Entry&)>& visit, qint64 from,
                  qint64 to) {
    database.QueryRows(
        QStringLiteral("SELECT seq, at, utc_offset, station, os_user, host, event, data, hash "
                       "FROM journal WHERE seq BETWEEN ? AND ? ORDER BY seq"),
        [&visit](const Database::RowView& view) {
            visit(Entry{view.Integer(0),
                        view.Integer(1),
                        int(view.Integer(2)),
                        {view.Text(3), view.Text(4), view.Text(5)},
                        Event(view.Integer(6)),
                        view.Blob(7),
                        view.Blob(8)});
        },
        {from, to});
}

void Create(Database& database) {
    database.Execute(CreateTable);
}

bool Exists(Database& database) {
    return database.HasTable(QStringLiteral("journal"));
}

QList<Entry> Append(Database& database, const Author& author, Event event, const QByteArray& data,
                    const QDateTime& at) {
    QList<Entry> written;
    if (database.InTransaction()) {
        AppendInOpenTransaction(database, author, event, data, at, written);
        return written;
    }
    database.Begin();
    try {
        AppendInOpenTransaction(database, author, event, data, at, written);
        database.Commit();
    } catch (...) {
        database.Rollback();
        throw;
    }
    return written;
}

Verification Verify(Database& database) {
    Verification result;
    if (!Exists(database))
        return result;
    result.state = Verification::State::Verified;
    Chain chain;
    std::unordered_map<qint64, ReadingEvent> readings;
    std::unordered_map<qint64, QString> descriptions;
    const auto broken = [&result](const QString& where) {
        if (result.state == Verification::State::Broken)
            return;
        result.state = Verification::State::Broken;
        result.where = where;
    };
    ForEachEntry(database, [&](const Entry& row) {
        if (result.state == Verification::State::Broken)
            return;
        switch (chain.Add(row)) {
        case Chain::Fault::Missing:
            broken(QStringLiteral("journal row %1 is missing").arg(chain.Length() + 1));
            return;
        case Chain::Fault::HashMismatch:
            broken(QStringLiteral("journal row %1 (%2) does not match its hash: it, or a row "
                                  "before it, was changed")
                       .arg(row.seq)
                       .arg(EventName(row.event)));
            return;
        case Chain::Fault::None:
            break;
        }
        result.rows = chain.Length();
        const QList<QByteArray> fields = SplitFields(row.data);
        switch (row.event) {
        case Event::JournalStarted:
            result.readingsBefore = row.data.toInt();
            break;
        case Event::SeriesStarted:
            // A series copied in brings readings the journal never saw.
            readings.clear();
            descriptions.clear();
            result.readingsBefore = row.data.toInt();
            break;
        case Event::ReadingStored:
            if (fields.size() >= 3)
                readings[fields[0].toLongLong()] = {fields[1], QString::fromUtf8(fields[2]),
                                                    LocalText(row.at, row.offsetMinutes),
                                                    row.author.station.left(2)};
            break;
        case Event::DescriptionSet:
            if (fields.size() >= 3)
                descriptions[fields[0].toLongLong()] = QString::fromUtf8(fields[2]);
            break;
        default:
            break;
        }
    });
    result.head = chain.Head();
    if (result.state == Verification::State::Broken)
        return result;

    database.QueryRows(
        QStringLiteral("SELECT Lp, Masa, Jm, Godzina, Nr_wagi, Opis FROM pomiary ORDER BY rowid"),
        [&](const Database::RowView& view) {
            if (result.state == Verification::State::Broken)
                return;
            const qint64 lp = view.Integer(0);
            const auto event = readings.find(lp);
            if (event == readings.end()) {
                if (lp > result.readingsBefore)
                    broken(QStringLiteral("reading Lp %1 (%2 %3) is not in the journal")
                               .arg(lp)
                               .arg(view.Real(1))
                               .arg(view.Text(2)));
                return;
            }
            ReadingEvent& expected = event->second;
            const auto differs = [&](const char* what, const QString& stored,
                                     const QString& journal) {
                if (stored != journal)
                    broken(QStringLiteral("reading Lp %1: the %2 is \"%3\", the journal has \"%4\"")
                               .arg(lp)
                               .arg(QLatin1String(what), stored, journal));
            };
            differs("mass", QString::fromLatin1(ShortestText(view.Real(1))),
                    QString::fromLatin1(expected.mass));
            differs("unit", view.Text(2), expected.unit);
            differs("time", view.Text(3).left(19), expected.time);
            differs("station", view.Text(4), expected.station);
            const auto description = descriptions.find(lp);
            differs("description", view.Text(5).trimmed(),
                    description == descriptions.end() ? QString() : description->second.trimmed());
            expected.seen = true;
        });
    if (result.state == Verification::State::Broken)
        return result;
    std::optional<qint64> missing;
    for (const auto& [lp, reading] : readings)
        if (!reading.seen && (!missing || lp < *missing))
            missing = lp;
    if (missing)
        broken(QStringLiteral("reading Lp %1 of the journal (%2) is missing from the series")
                   .arg(*missing)
                   .arg(ReadingText(readings[*missing])));
    return result;
}

} // namespace Pomiar::SeriesJournal

namespace Pomiar::SeriesJournal {

Verification VerifyFile(const QString& path, const std::atomic<bool>* cancelled) {
    Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
    Verification result = Verify(file);
    if (cancelled && cancelled->load()) {
        result = {};
        result.cancelledEarly = true;
    }
    return result;
}

} // namespace Pomiar::SeriesJournal
