#include "Database.h"

#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <sqlite3.h>

namespace Pomiar {

namespace {

// The program prepares a handful of statements; a bound keeps statements
// built with literal values from piling up.
constexpr int cacheLimit = 64;
constexpr int busyTimeoutMs = 5000;

// Sample standard deviation, divisor n - 1. Welford's update keeps it exact
// for long series of nearly equal masses, where the sum of squares would
// cancel.
struct Welford {
    sqlite3_int64 count;
    double mean;
    double squares;
};

void StDevStep(sqlite3_context* context, int, sqlite3_value** values) {
    if (sqlite3_value_type(values[0]) == SQLITE_NULL)
        return;
    auto* state = static_cast<Welford*>(sqlite3_aggregate_context(context, sizeof(Welford)));
    if (!state) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const double x = sqlite3_value_double(values[0]);
    ++state->count;
    const double delta = x - state->mean;
    state->mean += delta / double(state->count);
    state->squares += delta * (x - state->mean);
}

void StDevFinal(sqlite3_context* context) {
    auto* state = static_cast<Welford*>(sqlite3_aggregate_context(context, 0));
    if (!state || state->count < 2) {
        sqlite3_result_null(context);
        return;
    }
    const double variance = std::max(0.0, state->squares / double(state->count - 1));
    sqlite3_result_double(context, std::sqrt(variance));
}

// Hands a statement back ready for its next use, whatever way the use ends;
// a statement left mid-way would also block VACUUM and COMMIT.
class ResetOnExit {
public:
    explicit ResetOnExit(sqlite3_stmt* statement) : statement(statement) {}
    ~ResetOnExit() {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

private:
    sqlite3_stmt* statement;
};

QStringList ColumnNames(sqlite3_stmt* statement) {
    QStringList names;
    for (int i = 0; i < sqlite3_column_count(statement); ++i)
        names << QString::fromUtf8(sqlite3_column_name(statement, i));
    return names;
}

QVariant ColumnValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_TEXT:
        return QVariant(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                              sqlite3_column_bytes(statement, column)));
    case SQLITE_BLOB: {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
        const int size = sqlite3_column_bytes(statement, column);
        return QVariant(bytes ? QByteArray(bytes, size) : QByteArray(""));
    }
    default:
        return QVariant();
    }
}

void BindText(sqlite3_stmt* statement, int index, const QString& text, int& rc) {
    const QByteArray utf8 = text.toUtf8();
    rc = sqlite3_bind_text64(statement, index, utf8.isNull() ? "" : utf8.constData(),
                             sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
}

QString TimeText(const QTime& time) {
    return time.toString(QStringLiteral("HH:mm:ss"));
}

// The system's text for a failed file operation, else the engine's own
// message. The engine keeps the errno of its last failed file call, so only
// the codes that come from one take it.
QString ReasonOf(sqlite3* db, int code) {
    const int primary = code & 0xff;
    const int systemError = db ? sqlite3_system_errno(db) : 0;
    if (systemError != 0 && (primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN ||
                             primary == SQLITE_FULL || primary == SQLITE_READONLY))
        return QString::fromLocal8Bit(std::strerror(systemError));
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
}

const char* const schema = R"(
-- Text lengths the program keeps by cutting texts before it writes them:
-- Jm 3, LpTekst 50, Nr_wagi 2, status 2, Opis 50 (and likewise in temp).
-- Dates are ISO text: data "yyyy-MM-dd", Godzina "yyyy-MM-dd HH:mm:ss[.zzz]".
CREATE TABLE IF NOT EXISTS pomiary (
    Lp INTEGER, data TEXT, Godzina TEXT, Timer INTEGER, Masa REAL,
    Jm TEXT, LpTekst TEXT, Nr_wagi TEXT, status TEXT, Opis TEXT);
CREATE TABLE IF NOT EXISTS "temp" (
    Lp1 INTEGER, data1 TEXT, Godzina1 TEXT, Timer1 INTEGER, Masa1 REAL, Jm1 TEXT, Opis1 TEXT,
    Lp2 INTEGER, data2 TEXT, Godzina2 TEXT, Timer2 INTEGER, Masa2 REAL, Jm2 TEXT, Opis2 TEXT);
CREATE TABLE IF NOT EXISTS raport (Raport TEXT);
-- Cycle windows in seconds from the series start, kept in table order. The
-- range editor reports a refused save as an overlap, so the table refuses
-- windows that overlap another one, besides windows that make no sense.
CREATE TABLE IF NOT EXISTS cykl (
    start INTEGER NOT NULL CHECK (start > 0),
    Stop INTEGER NOT NULL CHECK (Stop >= start));
CREATE TRIGGER IF NOT EXISTS cykl_no_overlap_insert BEFORE INSERT ON cykl
WHEN EXISTS (SELECT 1 FROM cykl WHERE start <= NEW.Stop AND NEW.start <= Stop)
BEGIN SELECT RAISE(ABORT, 'the cycle window overlaps another one'); END;
CREATE TRIGGER IF NOT EXISTS cykl_no_overlap_update BEFORE UPDATE ON cykl
WHEN EXISTS (SELECT 1 FROM cykl WHERE rowid <> OLD.rowid AND start <= NEW.Stop AND NEW.start <= Stop)
BEGIN SELECT RAISE(ABORT, 'the cycle window overlaps another one'); END;
)";

} // namespace

DatabaseError::DatabaseError(int code, const QString& message, const QString& reason)
    : std::runtime_error(message.toStdString()), code(code),
      reason(reason.isEmpty() ? message : reason) {}

int Database::Rows::Column(const QString& name) const {
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

Database::Database(const QString& path, Journal journal, Access access)
    : path(path), access(access) {
    // A connection is only ever used by the thread that opened it, so it
    // needs none of the engine's locking around every call (a lock and an
    // unlock per value read, in a pass over a million rows).
    const int flags = SQLITE_OPEN_NOMUTEX |
                      (access == Access::ReadOnly ? SQLITE_OPEN_READONLY
                                                  : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        const QString reason = ReasonOf(db, rc);
        sqlite3_close(db);
        db = nullptr;
        throw DatabaseError(rc, message + ": " + path, reason);
    }
    try {
        sqlite3_busy_timeout(db, busyTimeoutMs);
        // Reading the schema is what tells a database from any other file,
        // before anything could write to it.
        Run("SELECT count(*) FROM sqlite_master");
        // A file the system lets us only read keeps its journal; it still
        // reads. The journal a file is left with only changes while no other
        // connection has it open.
        if (access == Access::ReadWrite) {
            const char* mode = journal == Journal::WriteAhead ? "PRAGMA journal_mode=WAL"
                               : journal == Journal::None     ? "PRAGMA journal_mode=OFF"
                                                              : "PRAGMA journal_mode=DELETE";
            sqlite3_exec(db, mode, nullptr, nullptr, nullptr);
            Run(journal == Journal::WriteAhead ? "PRAGMA synchronous=NORMAL"
                : journal == Journal::None     ? "PRAGMA synchronous=OFF"
                                               : "PRAGMA synchronous=FULL");
        }
        const int registered =
            sqlite3_create_function_v2(db, "StDev", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                       nullptr, StDevStep, StDevFinal, nullptr);
        if (registered != SQLITE_OK)
            Fail(registered);
    } catch (const DatabaseError& error) {
        sqlite3_close(db);
        db = nullptr;
        throw DatabaseError(error.code, QString::fromStdString(error.what()) + ": " + path,
                            error.Reason());
    }
}

Database::~Database() {
    Close();
}

void Database::Close() {
    ForgetStatements();
    if (!db)
        return;
    if (!sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    if (access == Access::ReadOnly) {
        sqlite3_close(db);
        db = nullptr;
        return;
    }
    // Leave one self-contained file behind. With another connection still
    // open this fails at once, and that connection does it when it closes.
    sqlite3_busy_timeout(db, 0);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    db = nullptr;
}

void Database::ForgetStatements() {
    for (const CachedStatement& cached : std::as_const(statements))
        sqlite3_finalize(cached.statement);
    statements.clear();
}

void Database::Fail(int code) const {
    const QString message =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
    throw DatabaseError(code, message, ReasonOf(db, code));
}

void Database::Run(const char* sql) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        Fail(rc);
}

QString Database::Translate(const QString& statement) {
    static const QRegularExpression deleteAll(QStringLiteral(R"(^(\s*DELETE)\s*\*\s*(FROM\b))"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression selectTop(
        QStringLiteral(R"(^(\s*SELECT\s+(?:DISTINCT\s+|ALL\s+)?)TOP\s+(\d+)\s+(?!PERCENT\b))"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression ending(QStringLiteral(R"(\s*(;[\s;]*)?$)"));

    if (const auto match = deleteAll.match(statement); match.hasMatch())
        return match.captured(1) + ' ' + match.captured(2) + statement.mid(match.capturedEnd());

    if (const auto match = selectTop.match(statement); match.hasMatch()) {
        QString body = match.captured(1) + statement.mid(match.capturedEnd());
        const auto end = ending.match(body);
        body.insert(end.capturedStart(), QStringLiteral(" LIMIT ") + match.captured(2));
        return body;
    }
    return statement;
}

sqlite3_stmt* Database::Prepare(const QString& statement) {
    const QByteArray sql = Translate(statement).toUtf8();
    const char* const end = sql.constData() + sql.size();
    sqlite3_stmt* prepared = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                &prepared, &tail);
    if (rc != SQLITE_OK)
        Fail(rc);
    if (!prepared)
        throw DatabaseError(SQLITE_MISUSE, QStringLiteral("no statement in \"%1\"").arg(statement));
    // Only the first statement of a text would run; refuse the text rather
    // than silently skip the rest.
    while (tail && tail < end) {
        sqlite3_stmt* extra = nullptr;
        const char* next = nullptr;
        rc = sqlite3_prepare_v2(db, tail, int(end - tail), &extra, &next);
        sqlite3_finalize(extra);
        if (rc != SQLITE_OK || extra) {
            sqlite3_finalize(prepared);
            throw DatabaseError(rc != SQLITE_OK ? rc : SQLITE_MISUSE,
                                QStringLiteral("more than one statement in \"%1\"").arg(statement));
        }
        if (next == tail)
            break;
        tail = next;
    }
    return prepared;
}

sqlite3_stmt* Database::Prepared(const QString& statement) {
    const auto found = statements.find(statement);
    if (found != statements.end()) {
        found->lastUse = ++uses;
        return found->statement;
    }
    sqlite3_stmt* prepared = Prepare(statement);
    if (statements.size() >= cacheLimit) {
        const auto oldest =
            std::min_element(statements.begin(), statements.end(),
                             [](const CachedStatement& a, const CachedStatement& b) {
                                 return a.lastUse < b.lastUse;
                             });
        sqlite3_finalize(oldest->statement);
        statements.erase(oldest);
    }
    statements.insert(statement, CachedStatement{prepared, ++uses});
    return prepared;
}

void Database::Bind(sqlite3_stmt* statement, const QVariantList& parameters) {
    const int expected = sqlite3_bind_parameter_count(statement);
    if (parameters.size() != expected)
        throw DatabaseError(SQLITE_RANGE,
                            QStringLiteral("the statement takes %1 parameters, %2 given")
                                .arg(expected)
                                .arg(parameters.size()));
    for (int i = 0; i < expected; ++i)
        BindOne(statement, i + 1, parameters[i]);
}

QString Database::StampText(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().isValid() ? DateText(value.toDate()) : QString();
    case QMetaType::QDateTime:
        return value.toDateTime().isValid() ? DateTimeText(value.toDateTime()) : QString();
    default:
        return value.toTime().isValid() ? TimeText(value.toTime()) : QString();
    }
}

void Database::BindOne(sqlite3_stmt* statement, int index, const QVariant& value) {
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(statement, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
            rc = sqlite3_bind_int64(statement, index, value.toLongLong());
            break;
        case QMetaType::ULongLong: {
            const qulonglong number = value.toULongLong();
            rc = number > qulonglong(std::numeric_limits<qint64>::max())
                     ? sqlite3_bind_double(statement, index, double(number))
                     : sqlite3_bind_int64(statement, index, qint64(number));
            break;
        }
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(statement, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = bytes.isEmpty()
                     ? sqlite3_bind_zeroblob(statement, index, 0)
                     : sqlite3_bind_blob64(statement, index, bytes.constData(),
                                           sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::QDate:
        case QMetaType::QDateTime:
        case QMetaType::QTime: {
            const QString text = StampText(value);
            if (text.isNull())
                rc = sqlite3_bind_null(statement, index);
            else
                BindText(statement, index, text, rc);
            break;
        }
        default:
            if (!value.canConvert<QString>())
                throw DatabaseError(SQLITE_MISMATCH,
                                    QStringLiteral("parameter %1 of type %2 cannot be stored")
                                        .arg(index)
                                        .arg(QString::fromLatin1(value.typeName())));
            BindText(statement, index, value.toString(), rc);
        }
    }
    if (rc != SQLITE_OK)
        Fail(rc);
}

int Database::Execute(const QString& statement, const QVariantList& parameters) {
    sqlite3_stmt* prepared = Prepared(statement);
    ResetOnExit reset(prepared);
    Bind(prepared, parameters);
    const sqlite3_int64 before = sqlite3_total_changes64(db);
    int rc;
    while ((rc = sqlite3_step(prepared)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        Fail(rc);
    return int(sqlite3_total_changes64(db) - before);
}

Database::Rows Database::Query(const QString& statement, const QVariantList& parameters) {
    Rows result;
    result.columns = QueryEach(
        statement, [&result](const QVariantList& row) { result.rows.push_back(row); }, parameters);
    return result;
}

QStringList Database::ColumnsOf(const QString& statement) {
    return ColumnNames(Prepared(statement));
}

QStringList Database::QueryEach(const QString& statement, const RowVisitor& visit,
                                const QVariantList& parameters) {
    QVariantList values;
    return QueryRows(
        statement,
        [&](const RowView& row) {
            values.clear();
            const int columns = row.Columns();
            for (int i = 0; i < columns; ++i)
                values << ColumnValue(row.statement, i);
            visit(values);
        },
        parameters);
}

QStringList Database::QueryRows(const QString& statement, const RowViewVisitor& visit,
                                const QVariantList& parameters) {
    sqlite3_stmt* prepared = Prepared(statement);
    ResetOnExit reset(prepared);
    Bind(prepared, parameters);
    const QStringList names = ColumnNames(prepared);
    const RowView row(prepared);
    int rc;
    while ((rc = sqlite3_step(prepared)) == SQLITE_ROW)
        visit(row);
    if (rc != SQLITE_DONE)
        Fail(rc);
    return names;
}

int Database::RowView::Columns() const {
    return columns >= 0 ? columns : sqlite3_column_count(statement);
}

QString Database::RowView::Name(int column) const {
    return QString::fromUtf8(sqlite3_column_name(statement, column));
}

Database::RowView::Type Database::RowView::TypeOf(int column) const {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return Type::Integer;
    case SQLITE_FLOAT:
        return Type::Real;
    case SQLITE_TEXT:
        return Type::Text;
    case SQLITE_BLOB:
        return Type::Blob;
    default:
        return Type::Null;
    }
}

qint64 Database::RowView::Integer(int column) const {
    return sqlite3_column_int64(statement, column);
}

double Database::RowView::Real(int column) const {
    return sqlite3_column_double(statement, column);
}

QString Database::RowView::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

std::string_view Database::RowView::TextBytes(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? std::string_view(text, std::size_t(sqlite3_column_bytes(statement, column)))
                : std::string_view();
}

QByteArray Database::RowView::Blob(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
    const int size = sqlite3_column_bytes(statement, column);
    return bytes ? QByteArray(bytes, size) : QByteArray("");
}

QVariant Database::Scalar(const QString& statement, const QVariantList& parameters) {
    sqlite3_stmt* prepared = Prepared(statement);
    ResetOnExit reset(prepared);
    Bind(prepared, parameters);
    const int rc = sqlite3_step(prepared);
    if (rc == SQLITE_ROW)
        return sqlite3_column_count(prepared) > 0 ? ColumnValue(prepared, 0) : QVariant();
    if (rc != SQLITE_DONE)
        Fail(rc);
    return QVariant();
}

void Database::CreateSchema() {
    // A savepoint makes the schema all or nothing, also inside a transaction.
    Run("SAVEPOINT create_schema");
    const int rc = sqlite3_exec(db, schema, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_exec(db, "ROLLBACK TO create_schema; RELEASE create_schema", nullptr, nullptr,
                     nullptr);
        throw DatabaseError(rc, message);
    }
    Run("RELEASE create_schema");
}

bool Database::HasTable(const QString& name) {
    return Scalar(QStringLiteral("SELECT count(*) FROM sqlite_master "
                                 "WHERE type IN ('table', 'view') AND name = ? COLLATE NOCASE"),
                  {name})
               .toLongLong() > 0;
}

void Database::Begin() {
    Execute(QStringLiteral("BEGIN IMMEDIATE"));
}

void Database::Commit() {
    Execute(QStringLiteral("COMMIT"));
}

void Database::Rollback() {
    if (InTransaction())
        Execute(QStringLiteral("ROLLBACK"));
}

bool Database::InTransaction() const {
    return sqlite3_get_autocommit(db) == 0;
}

qint64 Database::LastInsertRowId() const {
    return sqlite3_last_insert_rowid(db);
}

void Database::Compact() {
    Run("VACUUM");
    // VACUUM in WAL mode copies the whole file into the WAL; hand the space back.
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
}

bool Database::Writable() {
    if (sqlite3_db_readonly(db, "main") != 0)
        return false;
    if (InTransaction())
        return true;
    // The first changed page makes the engine create its journal beside the
    // file; rolled back, nothing reaches the file itself.
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    const bool written =
        sqlite3_exec(db, "CREATE TABLE writable_probe (x)", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return written;
}

QString Database::DateText(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QString Database::DateTimeText(const QDateTime& dateTime) {
    if (!dateTime.isValid())
        return QString();
    return DateText(dateTime.date()) + ' ' + TimeText(dateTime.time());
}

namespace {

// A stored date or date-time read by hand: a long series is read row by row,
// and a pattern match per stamp would cost more than the rest of the row.
// No time for a date alone; nullopt for anything else.
struct Stamp {
    QDate date;
    std::optional<QTime> time;
};

// The number written by `length` digits from `at`; *ok turns false where
// one of them is not a digit or lies past the end.
int DigitsAt(const QString& text, qsizetype at, qsizetype length, bool* ok) {
    int value = 0;
    for (qsizetype i = at; i < at + length; ++i) {
        if (i >= text.size() || !text[i].isDigit()) {
            *ok = false;
            return 0;
        }
        value = value * 10 + text[i].digitValue();
    }
    return value;
}

// The time of a stamp's text, which starts after its date and separator:
// "HH:mm", "HH:mm:ss" or "HH:mm:ss.f" with one to nine places.
std::optional<QTime> TimeOfText(const QString& text) {
    bool ok = true;
    const int hours = DigitsAt(text, 11, 2, &ok);
    const int minutes = DigitsAt(text, 14, 2, &ok);
    int seconds = 0;
    int milliseconds = 0;
    if (!ok || text.size() < 16 || text[13] != QLatin1Char(':'))
        return std::nullopt;
    if (text.size() > 16) {
        seconds = DigitsAt(text, 17, 2, &ok);
        if (!ok || text[16] != QLatin1Char(':') || text.size() < 19)
            return std::nullopt;
        if (text.size() > 19) {
            const qsizetype digits = text.size() - 20;
            if (text[19] != QLatin1Char('.') || digits < 1 || digits > 9)
                return std::nullopt;
            DigitsAt(text, 20, digits, &ok); // every place of the fraction a digit
            if (!ok)
                return std::nullopt;
            milliseconds = (text.mid(20) + QStringLiteral("00")).left(3).toInt();
        }
    }
    const QTime time(hours, minutes, seconds, milliseconds);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

std::optional<Stamp> StampOfText(const QString& text) {
    bool ok = true;
    const QDate date(DigitsAt(text, 0, 4, &ok), DigitsAt(text, 5, 2, &ok),
                     DigitsAt(text, 8, 2, &ok));
    if (!ok || text.size() < 10 || text[4] != QLatin1Char('-') || text[7] != QLatin1Char('-') ||
        !date.isValid())
        return std::nullopt;
    if (text.size() == 10)
        return Stamp{date, std::nullopt};
    if (text[10] != QLatin1Char(' ') && text[10] != QLatin1Char('T'))
        return std::nullopt;
    const std::optional<QTime> time = TimeOfText(text);
    if (!time)
        return std::nullopt;
    return Stamp{date, time};
}

std::optional<Stamp> ParseStamp(const QVariant& stored) {
    if (stored.isNull())
        return std::nullopt;
    if (stored.typeId() == QMetaType::QDateTime) {
        const QDateTime dateTime = stored.toDateTime();
        if (!dateTime.isValid())
            return std::nullopt;
        return Stamp{dateTime.date(), dateTime.time()};
    }
    if (stored.typeId() == QMetaType::QDate) {
        if (!stored.toDate().isValid())
            return std::nullopt;
        return Stamp{stored.toDate(), std::nullopt};
    }
    if (stored.typeId() != QMetaType::QString && stored.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return StampOfText(stored.toString().trimmed());
}

} // namespace

QDateTime Database::ParseDateTime(const QVariant& stored) {
    if (stored.typeId() == QMetaType::QDateTime)
        return stored.toDateTime();
    const std::optional<Stamp> stamp = ParseStamp(stored);
    if (!stamp)
        return QDateTime();
    return stamp->time ? QDateTime(stamp->date, *stamp->time) : stamp->date.startOfDay();
}

QDate Database::ParseDate(const QVariant& stored) {
    const std::optional<Stamp> stamp = ParseStamp(stored);
    return stamp ? stamp->date : QDate();
}

} // namespace Pomiar
