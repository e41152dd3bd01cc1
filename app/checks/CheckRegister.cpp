#include "CheckRegister.h"

#include "Database.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>
#include <map>

namespace Pomiar {

namespace {

const QStringList createTables{
    QStringLiteral("CREATE TABLE IF NOT EXISTS weights (id TEXT PRIMARY KEY, nominal REAL, "
                   "conventional_mass REAL, unit TEXT, class TEXT, certificate TEXT, "
                   "certificate_due TEXT, uncertainty REAL)"),
    QStringLiteral("CREATE TABLE IF NOT EXISTS balances (id TEXT PRIMARY KEY, model TEXT, "
                   "serial_number TEXT, capacity REAL, d REAL, unit TEXT, station TEXT)"),
    // The record is the check's full text; the columns beside it are for
    // finding checks, and the verifier holds them to the record.
    QStringLiteral("CREATE TABLE IF NOT EXISTS checks (id INTEGER PRIMARY KEY, uid TEXT UNIQUE, "
                   "kind TEXT, balance TEXT, verdict TEXT, station TEXT, finished TEXT, "
                   "record TEXT NOT NULL, journal_seq INTEGER)"),
};

QVariant optionalNumber(const std::optional<double>& value) {
    return value ? QVariant(*value) : QVariant();
}

std::optional<double> numberOf(const QVariant& value) {
    return value.isNull() ? std::nullopt : std::optional<double>(value.toDouble());
}

// The bytes a journal entry keeps of a weight or a balance: JSON with its
// keys in order, so the same record always gives the same bytes.
QByteArray weightData(const TestWeight& weight) {
    QJsonObject object{
        {QStringLiteral("id"), weight.id},
        {QStringLiteral("nominal"), weight.nominal},
        {QStringLiteral("conventional_mass"), weight.conventionalMass},
        {QStringLiteral("unit"), weight.unit},
        {QStringLiteral("class"), weight.weightClass},
        {QStringLiteral("certificate"), weight.certificate},
        {QStringLiteral("certificate_due"),
         weight.certificateDue ? weight.certificateDue->toString(Qt::ISODate) : QString()}};
    if (weight.uncertainty)
        object[QStringLiteral("uncertainty")] = *weight.uncertainty;
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray balanceData(const RegisteredBalance& balance) {
    return QJsonDocument(QJsonObject{{QStringLiteral("id"), balance.id},
                                     {QStringLiteral("model"), balance.model},
                                     {QStringLiteral("serial_number"), balance.serialNumber},
                                     {QStringLiteral("capacity"), balance.capacity},
                                     {QStringLiteral("d"), balance.d},
                                     {QStringLiteral("unit"), balance.unit},
                                     {QStringLiteral("station"), balance.station}})
        .toJson(QJsonDocument::Compact);
}

TestWeight weightOf(const QVariantList& row) {
    TestWeight weight;
    weight.id = row[0].toString();
    weight.nominal = row[1].toDouble();
    weight.conventionalMass = row[2].toDouble();
    weight.unit = row[3].toString();
    weight.weightClass = row[4].toString();
    weight.certificate = row[5].toString();
    const QDate due = QDate::fromString(row[6].toString(), Qt::ISODate);
    if (due.isValid())
        weight.certificateDue = due;
    weight.uncertainty = numberOf(row[7]);
    return weight;
}

RegisteredBalance balanceOf(const QVariantList& row) {
    return {row[0].toString(), row[1].toString(), row[2].toString(), row[3].toDouble(),
            row[4].toDouble(), row[5].toString(), row[6].toString()};
}

const QString weightColumns = QStringLiteral(
    "id, nominal, conventional_mass, unit, class, certificate, certificate_due, uncertainty");
const QString balanceColumns =
    QStringLiteral("id, model, serial_number, capacity, d, unit, station");
const QString checkColumns = QStringLiteral("c.record, c.journal_seq, j.hash");

// A check row as stored, with the hash of the journal entry it refers to.
CheckRecord checkOf(const QVariantList& row) {
    CheckRecord record = CheckRecord::FromJson(row[0].toByteArray()).value_or(CheckRecord{});
    record.journalSeq = row[1].toLongLong();
    record.journalHash = row[2].toByteArray();
    return record;
}

// The finishing time as the checks table keeps it: as the record has it.
QString finishedText(const QDateTime& time) {
    return time.isValid() ? time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs)
                          : QString();
}

} // namespace

QString CheckRegister::PathIn(const QString& programFolder) {
    return QDir(programFolder).filePath(QLatin1String(FileName));
}

QString CheckRegister::EventName(qint64 event) {
    switch (Event(event)) {
    case Event::WeightSaved:
        return QStringLiteral("weight saved");
    case Event::BalanceSaved:
        return QStringLiteral("balance saved");
    case Event::CheckStored:
        return QStringLiteral("check stored");
    case Event::WeightRemoved:
        return QStringLiteral("weight removed");
    }
    return SeriesJournal::EventName(event);
}

CheckRegister::CheckRegister(const QString& path)
    : database(std::make_unique<Database>(path, Database::Journal::WriteAhead)) {
    database->Begin();
    try {
        for (const QString& statement : createTables)
            database->Execute(statement);
        SeriesJournal::Create(*database);
        database->Commit();
    } catch (...) {
        database->Rollback();
        throw;
    }
}

CheckRegister::~CheckRegister() = default;

QString CheckRegister::Path() const {
    return database->Path();
}

Database& CheckRegister::Data() {
    return *database;
}

void CheckRegister::append(Event event, const QByteArray& data, const SeriesJournal::Author& author,
                           CheckRecord* check) {
    const QList<SeriesJournal::Entry> written =
        SeriesJournal::Append(*database, author, SeriesJournal::Event(int(event)), data);
    if (check && !written.isEmpty()) {
        check->journalSeq = written.last().seq;
        check->journalHash = written.last().hash;
    }
}

QList<TestWeight> CheckRegister::Weights() {
    QList<TestWeight> weights;
    for (const QVariantList& row :
         database->Query(QStringLiteral("SELECT %1 FROM weights ORDER BY id").arg(weightColumns))
             .rows)
        weights << weightOf(row);
    return weights;
}

std::optional<TestWeight> CheckRegister::Weight(const QString& id) {
    const auto rows = database->Query(
        QStringLiteral("SELECT %1 FROM weights WHERE id = ?").arg(weightColumns), {id});
    if (rows.rows.empty())
        return std::nullopt;
    return weightOf(rows.rows.front());
}

void CheckRegister::SaveWeight(const TestWeight& weight, const SeriesJournal::Author& author) {
    database->Begin();
    try {
        database->Execute(
            QStringLiteral("INSERT OR REPLACE INTO weights (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
                .arg(weightColumns),
            {weight.id, weight.nominal, weight.conventionalMass, weight.unit, weight.weightClass,
             weight.certificate,
             weight.certificateDue ? QVariant(*weight.certificateDue) : QVariant(),
             optionalNumber(weight.uncertainty)});
        append(Event::WeightSaved, weightData(weight), author);
        database->Commit();
    } catch (...) {
        database->Rollback();
        throw;
    }
}

void CheckRegister::RemoveWeight(const QString& id, const SeriesJournal::Author& author) {
    database->Begin();
    try {
        if (database->Execute(QStringLiteral("DELETE FROM weights WHERE id = ?"), {id}) > 0)
            append(Event::WeightRemoved, id.toUtf8(), author);
        database->Commit();
    } catch (...) {
        database->Rollback();
        throw;
    }
}

QList<RegisteredBalance> CheckRegister::Balances() {
    QList<RegisteredBalance> balances;
    for (const QVariantList& row :
         database->Query(QStringLiteral("SELECT %1 FROM balances ORDER BY id").arg(balanceColumns))
             .rows)
        balances << balanceOf(row);
    return balances;
}

std::optional<RegisteredBalance> CheckRegister::Balance(const QString& id) {
    const auto rows = database->Query(
        QStringLiteral("SELECT %1 FROM balances WHERE id = ?").arg(balanceColumns), {id});
    if (rows.rows.empty())
        return std::nullopt;
    return balanceOf(rows.rows.front());
}

void CheckRegister::SaveBalance(const RegisteredBalance& balance,
                                const SeriesJournal::Author& author) {
    database->Begin();
    try {
        database->Execute(
            QStringLiteral("INSERT OR REPLACE INTO balances (%1) VALUES (?, ?, ?, ?, ?, ?, ?)")
                .arg(balanceColumns),
            {balance.id, balance.model, balance.serialNumber, balance.capacity, balance.d,
             balance.unit, balance.station});
        append(Event::BalanceSaved, balanceData(balance), author);
        database->Commit();
    } catch (...) {
        database->Rollback();
        throw;
    }
}

void CheckRegister::StoreCheck(CheckRecord& check, const SeriesJournal::Author& author) {
    if (check.uid.isEmpty())
        check.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    CheckRecord stored = check;
    database->Begin();
    try {
        database->Execute(
            QStringLiteral("INSERT INTO checks (uid, kind, balance, verdict, "
                           "station, finished, record) VALUES (?, ?, ?, ?, ?, ?, '')"),
            {stored.uid, KindName(stored.kind), stored.balanceId, VerdictName(stored.verdict),
             stored.station, finishedText(stored.finished)});
        stored.id = database->LastInsertRowId();
        // The record as the journal keeps it: its own journal entry is not
        // part of it.
        stored.journalSeq = 0;
        stored.journalHash.clear();
        const QByteArray data = stored.ToJson();
        append(Event::CheckStored, data, author, &stored);
        database->Execute(
            QStringLiteral("UPDATE checks SET record = ?, journal_seq = ? WHERE id = ?"),
            {QString::fromUtf8(data), stored.journalSeq, stored.id});
        database->Commit();
    } catch (...) {
        database->Rollback();
        throw;
    }
    check = stored;
}

QList<CheckRecord> CheckRegister::Checks(const Filter& filter) {
    QString where = QStringLiteral(" WHERE 1");
    QVariantList parameters;
    if (!filter.balanceId.isEmpty()) {
        where += QStringLiteral(" AND c.balance = ?");
        parameters << filter.balanceId;
    }
    if (!filter.station.isEmpty()) {
        where += QStringLiteral(" AND c.station = ?");
        parameters << filter.station;
    }
    if (filter.kind) {
        where += QStringLiteral(" AND c.kind = ?");
        parameters << KindName(*filter.kind);
    }
    if (filter.passedOnly)
        where += QStringLiteral(" AND c.verdict IN ('pass', 'warning')");
    if (filter.finishedOnly)
        where += QStringLiteral(" AND c.verdict <> 'cancelled'");
    QString statement =
        QStringLiteral("SELECT %1 FROM checks c LEFT JOIN journal j ON j.seq = c.journal_seq")
            .arg(checkColumns) +
        where + QStringLiteral(" ORDER BY c.id DESC");
    if (filter.limit > 0)
        statement += QStringLiteral(" LIMIT %1").arg(filter.limit);
    QList<CheckRecord> checks;
    for (const QVariantList& row : database->Query(statement, parameters).rows)
        checks << checkOf(row);
    return checks;
}

std::optional<CheckRecord> CheckRegister::Check(qint64 id) {
    const auto rows = database->Query(
        QStringLiteral("SELECT %1 FROM checks c LEFT JOIN journal j ON j.seq = c.journal_seq "
                       "WHERE c.id = ?")
            .arg(checkColumns),
        {id});
    if (rows.rows.empty())
        return std::nullopt;
    return checkOf(rows.rows.front());
}

std::optional<CheckRecord> CheckRegister::LastCheck(const QString& balanceId, CheckKind kind,
                                                    bool passedOnly) {
    Filter filter;
    filter.balanceId = balanceId;
    filter.kind = kind;
    filter.passedOnly = passedOnly;
    filter.limit = 1;
    const QList<CheckRecord> found = Checks(filter);
    if (found.isEmpty())
        return std::nullopt;
    return found.front();
}

namespace {

// What the journal says the register holds: the last text of each weight
// and balance (empty: removed) and the text of each check by its number,
// and where the register was first found to differ (empty: nowhere yet).
struct JournalTexts {
    std::map<QString, QByteArray> weights;
    std::map<QString, QByteArray> balances;
    std::map<qint64, std::pair<qint64, QByteArray>> checks;
    QString where;

    void Broken(const QString& at) {
        if (where.isEmpty())
            where = at;
    }

    // Reads the chain of entries, stopping at its first fault.
    void Read(Database& database, SeriesJournal::Chain& chain) {
        using Event = CheckRegister::Event;
        SeriesJournal::ForEachEntry(database, [&](const SeriesJournal::Entry& entry) {
            if (!where.isEmpty())
                return;
            switch (chain.Add(entry)) {
            case SeriesJournal::Chain::Fault::Missing:
                Broken(QStringLiteral("journal entry %1 is missing").arg(chain.Length() + 1));
                return;
            case SeriesJournal::Chain::Fault::HashMismatch:
                Broken(QStringLiteral("journal entry %1 was changed").arg(entry.seq));
                return;
            case SeriesJournal::Chain::Fault::None:
                break;
            }
            const QJsonObject object = QJsonDocument::fromJson(entry.data).object();
            switch (Event(int(entry.event))) {
            case Event::WeightSaved:
                weights[object[QStringLiteral("id")].toString()] = entry.data;
                break;
            case Event::WeightRemoved:
                weights[QString::fromUtf8(entry.data)] = QByteArray();
                break;
            case Event::BalanceSaved:
                balances[object[QStringLiteral("id")].toString()] = entry.data;
                break;
            case Event::CheckStored:
                checks[object[QStringLiteral("id")].toInteger()] = {entry.seq, entry.data};
                break;
            }
        });
    }

    // Each row of the checks table against its journal text.
    void CompareChecks(Database& database) {
        database.QueryEach(
            QStringLiteral("SELECT id, uid, kind, balance, verdict, station, finished, record, "
                           "journal_seq FROM checks ORDER BY id"),
            [&](const QVariantList& row) {
                const qint64 id = row[0].toLongLong();
                const auto known = checks.find(id);
                const QByteArray record = row[7].toString().toUtf8();
                const auto parsed = CheckRecord::FromJson(record);
                const bool columnsMatch = parsed && parsed->id == id &&
                                          parsed->uid == row[1].toString() &&
                                          KindName(parsed->kind) == row[2].toString() &&
                                          parsed->balanceId == row[3].toString() &&
                                          VerdictName(parsed->verdict) == row[4].toString() &&
                                          parsed->station == row[5].toString() &&
                                          finishedText(parsed->finished) == row[6].toString();
                if (known == checks.end() || known->second.first != row[8].toLongLong() ||
                    known->second.second != record || !columnsMatch) {
                    Broken(QStringLiteral("check %1 differs from its journal entry").arg(id));
                    return;
                }
                checks.erase(known);
            });
        for (const auto& [id, entry] : checks)
            Broken(QStringLiteral("check %1 is missing").arg(id));
    }
};

} // namespace

CheckRegister::Verification CheckRegister::Verify() {
    SeriesJournal::Chain chain;
    JournalTexts journal;
    database->Begin();
    try {
        journal.Read(*database, chain);
        if (journal.where.isEmpty()) {
            for (const TestWeight& weight : Weights()) {
                const auto known = journal.weights.find(weight.id);
                if (known == journal.weights.end() || known->second != weightData(weight))
                    journal.Broken(
                        QStringLiteral("weight %1 differs from its journal entry").arg(weight.id));
                else
                    journal.weights.erase(known);
            }
            for (const auto& [id, data] : journal.weights)
                if (!data.isEmpty())
                    journal.Broken(QStringLiteral("weight %1 is missing").arg(id));
            for (const RegisteredBalance& balance : Balances()) {
                const auto known = journal.balances.find(balance.id);
                if (known == journal.balances.end() || known->second != balanceData(balance))
                    journal.Broken(QStringLiteral("balance %1 differs from its journal entry")
                                       .arg(balance.id));
                else
                    journal.balances.erase(known);
            }
            for (const auto& [id, data] : journal.balances)
                journal.Broken(QStringLiteral("balance %1 is missing").arg(id));
            journal.CompareChecks(*database);
        }
        database->Rollback();
    } catch (...) {
        database->Rollback();
        throw;
    }
    Verification result;
    result.where = journal.where;
    result.entries = chain.Length();
    result.head = chain.Head();
    result.verified = result.where.isEmpty();
    return result;
}

} // namespace Pomiar
