#include "LabServerSender.h"

#include "Database.h"
#include "LabServerOutbox.h"
#include "LabServerSchema.h"
#include "SeriesJournal.h"

#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <algorithm>
#include <limits>
#include <unordered_map>

namespace Pomiar {

namespace {

using Kind = LabServerOutbox::Kind;

// One outbox row, in the order of the table's columns.
struct OutboxRow {
    qint64 id = 0;
    QString kind;
    QString station;
    QString series;
    QVariant lp;
    QVariant taken;
    QVariant timer;
    QVariant value;
    QVariant unit;
    QVariant text;
    // A reading's: its stability, and the limits in force (when limits is
    // set; null in rows queued by an earlier program).
    QVariant stable;
    QVariant limits;
    QVariant lowerLimit;
    QVariant upperLimit;
};

std::vector<OutboxRow> oldestRows(Database& local, int count) {
    const Database::Rows rows = local.Query(
        QStringLiteral("SELECT id, kind, station, series, lp, taken, timer, value, unit, text, "
                       "stable, limits, lower_limit, upper_limit "
                       "FROM LabOutbox ORDER BY id LIMIT ?"),
        {count});
    std::vector<OutboxRow> batch;
    batch.reserve(rows.rows.size());
    for (const QVariantList& row : rows.rows)
        batch.push_back({row[0].toLongLong(), row[1].toString(), row[2].toString(),
                         row[3].toString(), row[4], row[5], row[6], row[7], row[8], row[9],
                         row[10].isNull() ? QVariant() : QVariant(row[10].toInt() != 0), row[11],
                         row[12], row[13]});
    return batch;
}

// A journal entry with the station name it goes under.
struct JournalRow {
    QString station;
    // The hash of the chain's first entry, which tells a journal begun anew
    // from the one before it.
    QByteArray chain;
    SeriesJournal::Entry entry;
};

// The entries the batch's journal rows name, read from the working
// database's journal, in the batch's order. An entry no longer there has
// nothing to send.
std::vector<JournalRow> journalRows(Database& local, const std::vector<OutboxRow>& batch) {
    const QString journalKind = LabServerOutbox::KindText(Kind::Journal);
    qint64 lowest = std::numeric_limits<qint64>::max();
    qint64 highest = 0;
    for (const OutboxRow& row : batch) {
        if (row.kind == journalKind) {
            lowest = std::min(lowest, row.lp.toLongLong());
            highest = std::max(highest, row.lp.toLongLong());
        }
    }
    std::vector<JournalRow> rows;
    if (highest == 0 || !local.HasTable(QStringLiteral("journal")))
        return rows;
    const QByteArray chain =
        local.Scalar(QStringLiteral("SELECT hash FROM journal WHERE seq = 1")).toByteArray();
    std::unordered_map<qint64, SeriesJournal::Entry> entries;
    SeriesJournal::ForEachEntry(
        local, [&entries](const SeriesJournal::Entry& entry) { entries[entry.seq] = entry; },
        lowest, highest);
    for (const OutboxRow& row : batch) {
        if (row.kind != journalKind)
            continue;
        const auto entry = entries.find(row.lp.toLongLong());
        if (entry != entries.end())
            rows.push_back({row.station, chain, entry->second});
    }
    return rows;
}

int queuedReadings(Database& local) {
    return local
        .Scalar(QStringLiteral("SELECT count(*) FROM LabOutbox WHERE kind = ?"),
                {LabServerOutbox::KindText(Kind::Reading)})
        .toInt();
}

// A statement over several rows of the batch: its fixed text, one values
// group per row and the text after the groups.
class MultiRowStatement {
public:
    MultiRowStatement(QSqlDatabase& server, QString head, QString group, QString tail)
        : query(server), head(std::move(head)), group(std::move(group)), tail(std::move(tail)) {}

    void Add(const QVariantList& values) {
        groups += groups.isEmpty() ? group : QStringLiteral(", ") + group;
        parameters += values;
    }

    bool Run() {
        if (groups.isEmpty())
            return true;
        if (!query.prepare(head + groups + tail))
            return false;
        for (const QVariant& value : std::as_const(parameters))
            query.addBindValue(value);
        return query.exec();
    }

    QSqlError Error() const { return query.lastError(); }

private:
    QSqlQuery query;
    QString head;
    QString group;
    QString tail;
    QString groups;
    QVariantList parameters;
};

// Sends one batch inside the open server transaction; false with the
// reason when a statement failed. Rows run in their order: consecutive
// rows of one kind go as one statement.
class BatchWriter {
public:
    BatchWriter(QSqlDatabase& server, std::vector<int>& committedLps)
        : server(server), committedLps(committedLps) {}

    bool Write(const std::vector<OutboxRow>& all, const std::vector<JournalRow>& journal) {
        if (!stations(all) || !journalEntries(journal))
            return false;
        // The journal is tied to no other table: its entries went as one
        // statement above, and the readings between them stay one.
        std::vector<OutboxRow> batch;
        batch.reserve(all.size());
        for (const OutboxRow& row : all)
            if (row.kind != LabServerOutbox::KindText(Kind::Journal))
                batch.push_back(row);
        size_t from = 0;
        while (from < batch.size()) {
            size_t to = from;
            while (to < batch.size() && batch[to].kind == batch[from].kind)
                ++to;
            if (!run(batch, from, to))
                return false;
            from = to;
        }
        return true;
    }

    QString reason;

private:
    bool fail(const QSqlError& error) {
        reason = LabServerSchema::ReasonOf(error);
        return false;
    }

    bool stations(const std::vector<OutboxRow>& batch) {
        QStringList seen;
        MultiRowStatement statement(
            server, QStringLiteral("INSERT INTO stations (station) VALUES "), QStringLiteral("(?)"),
            QStringLiteral(" ON CONFLICT (station) DO UPDATE "
                           "SET last_seen = now()"));
        for (const OutboxRow& row : batch) {
            if (!seen.contains(row.station)) {
                seen << row.station;
                statement.Add({row.station});
            }
        }
        return statement.Run() || fail(statement.Error());
    }

    bool run(const std::vector<OutboxRow>& batch, size_t from, size_t to) {
        const QString kind = batch[from].kind;
        if (kind == LabServerOutbox::KindText(Kind::Series))
            return series(batch, from, to);
        if (kind == LabServerOutbox::KindText(Kind::Reading))
            return readings(batch, from, to);
        if (kind == LabServerOutbox::KindText(Kind::Description))
            return readingTexts(QStringLiteral("description"), batch, from, to);
        if (kind == LabServerOutbox::KindText(Kind::Report))
            return reports(batch, from, to);
        if (kind == LabServerOutbox::KindText(Kind::Check))
            return checks(batch, from, to);
        if (kind == LabServerOutbox::KindText(Kind::Mark))
            return readingTexts(QStringLiteral("status"), batch, from, to);
        return true; // a kind of a later version: not for this program
    }

    // Kept as written: an entry the server has already stays as it is, so
    // that a chain rewritten at the station later cannot replace it.
    bool journalEntries(const std::vector<JournalRow>& journal) {
        MultiRowStatement statement(
            server,
            QStringLiteral("INSERT INTO journal (station, chain, seq, at, utc_offset, nr_wagi, "
                           "os_user, host, event, data, hash) VALUES "),
            QStringLiteral("(?, ?::bytea, ?::bigint, timestamptz 'epoch' + ?::bigint * interval "
                           "'1 millisecond', ?::integer, ?, ?, ?, ?::integer, ?::bytea, ?::bytea)"),
            QStringLiteral(" ON CONFLICT (station, chain, seq) DO NOTHING"));
        for (const JournalRow& row : journal) {
            const SeriesJournal::Entry& entry = row.entry;
            // A compact entry's author is the AuthorChanged entry before it.
            const auto author = [&entry](const QString& field) {
                return entry.compact ? QVariant() : QVariant(field);
            };
            statement.Add({row.station, row.chain, entry.seq, entry.at, entry.utcOffset,
                           author(entry.author.station), author(entry.author.user),
                           author(entry.author.host), int(entry.event), entry.data, entry.hash});
        }
        return statement.Run() || fail(statement.Error());
    }

    bool series(const std::vector<OutboxRow>& batch, size_t from, size_t to) {
        MultiRowStatement statement(
            server,
            QStringLiteral("INSERT INTO series (station, series, started, file_name) VALUES "),
            QStringLiteral("(?, ?, ?::timestamptz, ?)"),
            QStringLiteral(" ON CONFLICT (station, series) DO UPDATE "
                           "SET started = EXCLUDED.started, file_name = EXCLUDED.file_name"));
        for (size_t i = from; i < to; ++i)
            statement.Add({batch[i].station, batch[i].series, batch[i].taken, batch[i].text});
        return statement.Run() || fail(statement.Error());
    }

    bool readings(const std::vector<OutboxRow>& batch, size_t from, size_t to) {
        // A series whose own row never made it into the outbox (its
        // transaction was rolled back and the reading stored again) still
        // gets one, started at its first reading.
        MultiRowStatement owners(
            server, QStringLiteral("INSERT INTO series (station, series, started) VALUES "),
            QStringLiteral("(?, ?, ?::timestamptz)"),
            QStringLiteral(" ON CONFLICT (station, series) DO NOTHING"));
        MultiRowStatement statement(
            server,
            QStringLiteral("INSERT INTO readings (station, series, lp, value, unit, taken_at, "
                           "timer, description, stable) VALUES "),
            QStringLiteral("(?, ?, ?::integer, ?::double precision, ?, ?::timestamptz, "
                           "?::integer, ?, ?::boolean)"),
            QStringLiteral(" ON CONFLICT (station, series, lp) DO NOTHING"));
        // The series keeps the limits of its latest reading that knows them.
        MultiRowStatement limits(
            server,
            QStringLiteral("UPDATE series s SET lower_limit = l.lower, upper_limit = l.upper "
                           "FROM (VALUES "),
            QStringLiteral("(?, ?, ?::double precision, ?::double precision)"),
            QStringLiteral(") AS l (station, series, lower, upper) "
                           "WHERE s.station = l.station AND s.series = l.series"));
        QStringList seen;
        std::vector<const OutboxRow*> latestLimits;
        std::vector<int> lps;
        for (size_t i = from; i < to; ++i) {
            const OutboxRow& row = batch[i];
            const QString key = row.station + QLatin1Char('\n') + row.series;
            if (!seen.contains(key)) {
                seen << key;
                owners.Add({row.station, row.series, row.taken});
            }
            statement.Add({row.station, row.series, row.lp, row.value, row.unit, row.taken,
                           row.timer, row.text, row.stable});
            lps.push_back(row.lp.toInt());
            if (!row.limits.isNull()) {
                const auto same = std::find_if(
                    latestLimits.begin(), latestLimits.end(), [&row](const OutboxRow* other) {
                        return other->station == row.station && other->series == row.series;
                    });
                if (same == latestLimits.end())
                    latestLimits.push_back(&row);
                else
                    *same = &row;
            }
        }
        for (const OutboxRow* row : latestLimits)
            limits.Add({row->station, row->series, row->lowerLimit, row->upperLimit});
        if (!owners.Run())
            return fail(owners.Error());
        if (!statement.Run())
            return fail(statement.Error());
        if (!limits.Run())
            return fail(limits.Error());
        committedLps.insert(committedLps.end(), lps.begin(), lps.end());
        return true;
    }

    // A text a stored reading gains later: its description or its mark
    // (status).
    bool readingTexts(const QString& column, const std::vector<OutboxRow>& batch, size_t from,
                      size_t to) {
        return eachRow(QStringLiteral("UPDATE readings SET %1 = ? WHERE station = ? "
                                      "AND series = ? AND lp = ?::integer")
                           .arg(column),
                       batch, from, to, [](QSqlQuery& query, const OutboxRow& row) {
                           query.addBindValue(row.text);
                           query.addBindValue(row.station);
                           query.addBindValue(row.series);
                           query.addBindValue(row.lp);
                       });
    }

    bool reports(const std::vector<OutboxRow>& batch, size_t from, size_t to) {
        return eachRow(QStringLiteral("INSERT INTO reports (station, series, report) "
                                      "VALUES (?, ?, ?) ON CONFLICT (station, series) "
                                      "DO UPDATE SET report = EXCLUDED.report"),
                       batch, from, to, [](QSqlQuery& query, const OutboxRow& row) {
                           query.addBindValue(row.station);
                           query.addBindValue(row.series);
                           query.addBindValue(row.text);
                       });
    }

    // A check is kept as the station stored it: sent again after a lost
    // commit, the first copy stays.
    bool checks(const std::vector<OutboxRow>& batch, size_t from, size_t to) {
        return eachRow(
            QStringLiteral(
                "INSERT INTO checks (station, check_id, kind, balance, weight, verdict, "
                "started_at, finished_at, os_user, record) "
                "SELECT ?, r->>'uid', r->>'check', r->>'balance', nullif(r->>'weight', ''), "
                "r->>'verdict', nullif(r->>'started', '')::timestamptz, ?::timestamptz, "
                "r->>'operator', r FROM (SELECT ?::jsonb AS r) AS given "
                "ON CONFLICT (station, check_id) DO NOTHING"),
            batch, from, to, [](QSqlQuery& query, const OutboxRow& row) {
                query.addBindValue(row.station);
                query.addBindValue(row.taken);
                query.addBindValue(row.text);
            });
    }

    // One statement run for each row of batch[from, to), its values bound by bindRow.
    template <typename BindRow>
    bool eachRow(const QString& statement, const std::vector<OutboxRow>& batch, size_t from,
                 size_t to, BindRow bindRow) {
        QSqlQuery query(server);
        if (!query.prepare(statement))
            return fail(query.lastError());
        for (size_t i = from; i < to; ++i) {
            bindRow(query, batch[i]);
            if (!query.exec())
                return fail(query.lastError());
        }
        return true;
    }

    QSqlDatabase& server;
    std::vector<int>& committedLps;
};

} // namespace

LabServerSender::LabServerSender(const LabServerSettings& settings,
                                 const QString& workingDatabasePath, Timing timing, QObject* parent)
    : QObject(parent), settings(settings), workingPath(workingDatabasePath), timing(timing) {}

LabServerSender::LabServerSender(const LabServerSettings& settings,
                                 const QString& workingDatabasePath, QObject* parent)
    : LabServerSender(settings, workingDatabasePath, Timing{}, parent) {}

LabServerSender::~LabServerSender() {
    Stop();
}

void LabServerSender::Start() {
    if (thread)
        return;
    {
        QMutexLocker lock(&mutex);
        stopping = false;
    }
    thread = QThread::create([this] { run(); });
    thread->start();
}

void LabServerSender::Stop() {
    if (!thread)
        return;
    {
        QMutexLocker lock(&mutex);
        stopping = true;
        wake.wakeAll();
    }
    thread->wait();
    delete thread;
    thread = nullptr;
}

LabServerStatus LabServerSender::Status() const {
    QMutexLocker lock(&mutex);
    return status;
}

bool LabServerSender::waitOrStop(int ms) {
    QMutexLocker lock(&mutex);
    if (!stopping)
        wake.wait(&mutex, ms);
    return !stopping;
}

void LabServerSender::publish(LabServerStatus::State state, const QString& reason, int queued) {
    LabServerStatus now;
    bool changed = false;
    bool tell = false;
    {
        QMutexLocker lock(&mutex);
        changed = status.state != state || status.reason != reason || status.queued != queued;
        status = {state, reason, queued};
        if (state == LabServerStatus::State::Failed) {
            // Told when the next attempt met it again: a cause that passes
            // by itself (a server restarting, a connection cut while idle)
            // is no news.
            tell = lastFailure == reason && told != reason;
            lastFailure = reason;
            if (tell)
                told = reason;
        }
        now = status;
    }
    if (changed)
        emit StatusChanged(now);
    if (tell)
        emit Failed(now);
}

// What the worker keeps from one pass to the next.
struct LabServerSender::Pass {
    QString connectionName =
        QStringLiteral("LabServer-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::unique_ptr<Database> local;
    bool connected = false;
    int queued = 0;
    std::vector<OutboxRow> batch;
    std::vector<JournalRow> journal;
    std::vector<int> lps;
    QString failure;

    // A failure of the working database: it is opened anew next time.
    template <typename Step> bool OnLocal(Step step) {
        try {
            step(*local);
            return true;
        } catch (const DatabaseError& error) {
            local.reset();
            failure = error.Reason();
            return false;
        }
    }
    bool Fail(const QString& reason) {
        failure = reason;
        return false;
    }
};

void LabServerSender::run() {
    Pass pass;
    const QString connectionName = pass.connectionName;
    while (!stopRequested()) {
        const PassResult result = sendOnce(pass);
        if (result == PassResult::Failed && !retryLater(pass))
            break;
        if (result == PassResult::Idle) {
            worked();
            if (!waitOrStop(timing.idleMs))
                break;
        }
    }
    pass.local.reset();
    QSqlDatabase::removeDatabase(connectionName);
}

bool LabServerSender::stopRequested() {
    QMutexLocker lock(&mutex);
    return stopping;
}

LabServerSender::PassResult LabServerSender::sendOnce(Pass& pass) {
    if (!openOutbox(pass) || (!pass.connected && !connectServer(pass)))
        return PassResult::Failed;
    publish(LabServerStatus::State::Connected, QString(), pass.queued);
    if (!readBatch(pass))
        return PassResult::Failed;
    if (pass.batch.empty())
        return PassResult::Idle;
    if (!sendBatch(pass))
        return PassResult::Failed;
    worked();
    if (committed && !pass.lps.empty())
        committed(pass.lps);
    if (!dropSent(pass))
        return PassResult::Failed;
    publish(LabServerStatus::State::Connected, QString(), pass.queued);
    return PassResult::Sent;
}

bool LabServerSender::openOutbox(Pass& pass) {
    try {
        if (!pass.local) {
            pass.local = std::make_unique<Database>(workingPath);
            LabServerOutbox::CreateTable(*pass.local);
        }
    } catch (const DatabaseError& error) {
        pass.local.reset();
        return pass.Fail(error.Reason());
    }
    return pass.OnLocal([&pass](Database& local) { pass.queued = queuedReadings(local); });
}

bool LabServerSender::connectServer(Pass& pass) {
    publish(LabServerStatus::State::Connecting, status.reason, pass.queued);
    QString reason;
    QSqlDatabase::removeDatabase(pass.connectionName);
    if (!LabServerSchema::Connect(settings, pass.connectionName, &reason))
        return pass.Fail(reason);
    // Connected: a failed upgrade closes the connection again.
    pass.connected = true;
    QSqlDatabase server = QSqlDatabase::database(pass.connectionName, false);
    return LabServerSchema::Upgrade(server, &reason) || pass.Fail(reason);
}

bool LabServerSender::readBatch(Pass& pass) {
    return pass.OnLocal([&pass, this](Database& local) {
        pass.batch = oldestRows(local, timing.batchRows);
        pass.journal = journalRows(local, pass.batch);
    });
}

bool LabServerSender::sendBatch(Pass& pass) {
    QSqlDatabase server = QSqlDatabase::database(pass.connectionName, false);
    pass.lps.clear();
    BatchWriter writer(server, pass.lps);
    if (!server.transaction())
        return pass.Fail(LabServerSchema::ReasonOf(server.lastError()));
    if (writer.Write(pass.batch, pass.journal) && server.commit())
        return true;
    const QString reason =
        writer.reason.isEmpty() ? LabServerSchema::ReasonOf(server.lastError()) : writer.reason;
    server.rollback();
    return pass.Fail(reason);
}

bool LabServerSender::dropSent(Pass& pass) {
    // Only now: a crash before this sends the batch again, which the server
    // takes as no change.
    return pass.OnLocal([&pass](Database& local) {
        local.Execute(QStringLiteral("DELETE FROM LabOutbox WHERE id <= ?"),
                      {pass.batch.back().id});
        pass.queued = queuedReadings(local);
    });
}

bool LabServerSender::retryLater(Pass& pass) {
    if (pass.connected)
        QSqlDatabase::database(pass.connectionName, false).close();
    pass.connected = false;
    publish(LabServerStatus::State::Failed, pass.failure, pass.queued);
    return waitOrStop(timing.retryMs);
}

void LabServerSender::worked() {
    QMutexLocker lock(&mutex);
    lastFailure.reset();
    told.reset();
}

} // namespace Pomiar
