#include "SeriesJournal.h"

#include "Database.h"
#include "ReadAhead.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSysInfo>
#include <QTimeZone>
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <openssl/evp.h>
#include <pwd.h>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace Pomiar::SeriesJournal {

namespace {

constexpr char FieldSeparator = '\x1f';
constexpr char FieldEscape = '\x1b';
// In place of the station's length in a compact row's canonical bytes: a
// full row's field cannot be that long, so the two never share bytes.
constexpr quint32 CompactMark = 0xffffffffu;
constexpr int HashBytes = 32;
// How far back an append looks for the chain's current author before it
// names the author anew (always correct, only one entry longer).
constexpr qint64 AuthorLookBack = 4096;

const QString CreateTable = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS journal (seq INTEGER PRIMARY KEY, at INTEGER NOT NULL, "
    "utc_offset INTEGER NOT NULL, station TEXT, os_user TEXT, host TEXT, event INTEGER NOT NULL, "
    "data BLOB, hash BLOB NOT NULL)");

// SHA-256 of the system's cryptography library, which uses the processor's
// SHA instructions where it has them: a long journal is mostly hashing.
class Sha256 {
public:
    Sha256() : context(EVP_MD_CTX_new()) {}
    ~Sha256() { EVP_MD_CTX_free(context); }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Reset() { EVP_DigestInit_ex2(context, Algorithm(), nullptr); }
    void Add(const void* bytes, size_t size) { EVP_DigestUpdate(context, bytes, size); }
    void Result(unsigned char* hash) {
        unsigned int size = 0;
        EVP_DigestFinal_ex(context, hash, &size);
    }

private:
    // Fetched once: a lookup per entry would cost more than the hash.
    static const EVP_MD* Algorithm() {
        static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        return algorithm;
    }
    EVP_MD_CTX* context;
};

// The low `width` bytes of number, most significant first, at `at`.
char* PutNumber(char* at, qint64 number, int width) {
    for (int i = 0; i < width; ++i)
        at[i] = char((quint64(number) >> ((width - 1 - i) * 8)) & 0xff);
    return at + width;
}

char* PutBytes(char* at, std::string_view field) {
    at = PutNumber(at, qint64(field.size()), 4);
    if (!field.empty())
        std::memcpy(at, field.data(), field.size());
    return at + field.size();
}

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), size_t(bytes.size())};
}

// The fields of one row as the hash covers them: every field with its
// length, so that no two entries share their bytes.
struct RowBytes {
    qint64 seq = 0;
    qint64 at = 0;
    qint64 utcOffset = 0;
    bool compact = false;
    std::string_view station, user, host;
    qint64 event = 0;
    std::string_view data;
};

// Sized once and written in place: done for every entry of a long journal.
void Canonical(std::string& bytes, const RowBytes& row) {
    const size_t size =
        8 + 8 + 4 + 4 + 4 + 4 + row.data.size() +
        (row.compact ? 0 : 8 + row.station.size() + row.user.size() + row.host.size());
    bytes.resize(size);
    char* at = bytes.data();
    at = PutNumber(at, row.seq, 8);
    at = PutNumber(at, row.at, 8);
    at = PutNumber(at, row.utcOffset, 4);
    if (row.compact) {
        at = PutNumber(at, CompactMark, 4);
    } else {
        at = PutBytes(at, row.station);
        at = PutBytes(at, row.user);
        at = PutBytes(at, row.host);
    }
    at = PutNumber(at, row.event, 4);
    PutBytes(at, row.data);
}

QByteArray ShortestText(double value) {
    // Negative zero is the zero a balance shows near nothing: the stored
    // real reads back as plain zero.
    if (value == 0)
        value = 0;
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return QByteArray(text.data(), int(result.ptr - text.data()));
}

// The fields of one event's data, escaped (compact rows) or joined plainly
// (full rows): each a view of the data itself, or, where it holds an
// escape, of a copy without them. The views hold while the data does; the
// copies are reused, so a pass over a long journal copies only the few
// fields with escapes and allocates nothing once they have grown.
class Fields {
public:
    int Split(std::string_view data, bool escaped) {
        int count = 0;
        size_t start = 0;
        // Copied a stretch at a time, up to the next escape, once the field
        // has one.
        size_t from = 0;
        std::string* copy = nullptr;
        const auto finish = [&](size_t end) {
            std::string_view field = data.substr(start, end - start);
            if (copy) {
                copy->append(data.data() + from, end - from);
                field = *copy;
            }
            Put(count++, field);
            copy = nullptr;
        };
        for (size_t i = 0; i < data.size(); ++i) {
            const char c = data[i];
            if (c == FieldSeparator) {
                finish(i);
                start = from = i + 1;
            } else if (escaped && c == FieldEscape && i + 1 < data.size()) {
                if (!copy)
                    copy = &Own(count);
                copy->append(data.data() + from, i - from);
                // The escaped character starts the next stretch, whatever it is.
                from = ++i;
            }
        }
        finish(data.size());
        return count;
    }
    std::string_view operator[](size_t field) const { return views[field]; }
    // The field read as text kept elsewhere, as long as it is.
    void Replace(size_t field, std::string_view text) { views[field] = text; }

private:
    void Put(int field, std::string_view view) {
        if (size_t(field) == views.size())
            views.push_back(view);
        else
            views[size_t(field)] = view;
    }
    std::string& Own(int field) {
        // A deque: growing it leaves the copies made before where they are.
        if (own.size() <= size_t(field))
            own.resize(size_t(field) + 1);
        std::string& copy = own[size_t(field)];
        copy.clear();
        return copy;
    }
    std::vector<std::string_view> views;
    std::deque<std::string> own;
};

template <typename Number> bool ReadNumber(std::string_view text, Number& value) {
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

qint64 FloorDiv(qint64 a, qint64 b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days since 1970-01-01 of a proleptic Gregorian date.
qint64 DaysFromCivil(qint64 y, unsigned m, unsigned d) {
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + qint64(doe) - 719468;
}

bool Digits(std::string_view text, size_t from, size_t count, unsigned& value) {
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + unsigned(text[i] - '0');
    }
    return true;
}

// "yyyy-MM-dd" as days since 1970, exactly that shape.
std::optional<qint64> DateDays(std::string_view text) {
    unsigned y, m, d;
    if (text.size() < 10 || !Digits(text, 0, 4, y) || text[4] != '-' || !Digits(text, 5, 2, m) ||
        text[7] != '-' || !Digits(text, 8, 2, d) || m < 1 || m > 12 || d < 1 || d > 31)
        return std::nullopt;
    return DaysFromCivil(y, m, d);
}

// DateDays of the dates a long series repeats, reading each once.
class DayCache {
public:
    std::optional<qint64> Days(std::string_view text) {
        if (text.size() < 10)
            return std::nullopt;
        if (!have || std::memcmp(text.data(), date, 10) != 0) {
            days = DateDays(text);
            std::memcpy(date, text.data(), 10);
            have = true;
        }
        return days;
    }

private:
    bool have = false;
    char date[10] = {};
    std::optional<qint64> days;
};

// "yyyy-MM-dd HH:mm:ss" as seconds since 1970 of the same wall clock,
// exactly that shape: a suffix is a change, not a finer time.
std::optional<qint64> LocalSeconds(std::string_view text, DayCache& dates) {
    unsigned h, mi, s;
    if (text.size() != 19 || text[10] != ' ' || !Digits(text, 11, 2, h) || text[13] != ':' ||
        !Digits(text, 14, 2, mi) || text[16] != ':' || !Digits(text, 17, 2, s) || h > 23 ||
        mi > 59 || s > 59)
        return std::nullopt;
    const auto days = dates.Days(text.substr(0, 10));
    if (!days)
        return std::nullopt;
    return *days * 86400 + h * 3600 + mi * 60 + s;
}

QString LocalText(qint64 seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString Quoted(std::string_view text) {
    return QStringLiteral("\"%1\"").arg(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

// A blank description: none, empty, or the single blank a saved file and
// a reading taken by hand have.
bool Blank(std::string_view text) {
    return text.empty() || text == " ";
}

// The author of this machine named by the chain of a database: the last
// AuthorChanged entry's, looked up once per chain head and then kept.
struct KnownAuthor {
    qint64 lastSeq = 0;
    QByteArray lastHash;
    Author author;
};
QMutex knownAuthorsLock;
std::unordered_map<std::string, KnownAuthor> knownAuthors;

Author AuthorOf(const QByteArray& data) {
    const QList<QByteArray> fields = SplitFields(data);
    return Author{QString::fromUtf8(fields.value(0)), QString::fromUtf8(fields.value(1)),
                  QString::fromUtf8(fields.value(2))};
}

QByteArray AuthorData(const Author& author) {
    return JoinFields({author.station.toUtf8(), author.user.toUtf8(), author.host.toUtf8()});
}

void Insert(Database& database, const Entry& row) {
    database.Execute(QStringLiteral("INSERT INTO journal (seq, at, utc_offset, station, os_user, "
                                    "host, event, data, hash) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                     {row.seq, row.at, row.utcOffset, QVariant(), QVariant(), QVariant(),
                      int(row.event), row.data, row.hash});
}

// A reading's Lp as its distance from the entry's own number ("=3"): one
// or two digits where a long series would need seven.
QByteArray LpFromSeq(const QByteArray& data, qint64 seq) {
    const qsizetype end = data.indexOf(FieldSeparator);
    qint64 lp = 0;
    if (!ReadNumber(std::string_view(data.constData(), size_t(end < 0 ? data.size() : end)), lp))
        return data;
    return '=' + QByteArray::number(seq - lp) + data.mid(end < 0 ? data.size() : end);
}

// Whether the chain, ending at seq/hash, names author as its current one.
bool AuthorIsCurrent(Database& database, qint64 seq, const QByteArray& hash, const Author& author) {
    const std::string key = database.Path().toStdString();
    {
        QMutexLocker locker(&knownAuthorsLock);
        const auto known = knownAuthors.find(key);
        if (known != knownAuthors.end() && known->second.lastSeq == seq &&
            known->second.lastHash == hash)
            return known->second.author == author;
    }
    const QVariant named = database.Scalar(
        QStringLiteral("SELECT data FROM journal WHERE seq > ? AND event = ? ORDER BY seq DESC "
                       "LIMIT 1"),
        {seq - AuthorLookBack, int(Event::AuthorChanged)});
    return named.isValid() && AuthorOf(named.toByteArray()) == author;
}

void Remember(Database& database, const Entry& last, const Author& author) {
    QMutexLocker locker(&knownAuthorsLock);
    knownAuthors[database.Path().toStdString()] = {last.seq, last.hash, author};
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
    const auto add = [&](Event what, const QByteArray& bytes) {
        Entry row{seq,
                  when.toMSecsSinceEpoch(),
                  when.offsetFromUtc(),
                  true,
                  author,
                  what,
                  what == Event::ReadingStored ? LpFromSeq(bytes, seq) : bytes,
                  {}};
        row.hash = ChainedHash(previous, row);
        Insert(database, row);
        written << row;
        previous = row.hash;
        ++seq;
        return row;
    };
    if (seq == 1 || !AuthorIsCurrent(database, seq - 1, previous, author))
        add(Event::AuthorChanged, AuthorData(author));
    Remember(database, add(event, data), author);
}

} // namespace

QByteArray CanonicalBytes(const Entry& entry) {
    const QByteArray station = entry.author.station.toUtf8();
    const QByteArray user = entry.author.user.toUtf8();
    const QByteArray host = entry.author.host.toUtf8();
    std::string bytes;
    Canonical(bytes, {entry.seq, entry.at, entry.utcOffset, entry.compact, View(station),
                      View(user), View(host), qint64(entry.event), View(entry.data)});
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
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
    const QByteArray previous = previousHash.isEmpty() ? QByteArray(HashBytes, '\0') : previousHash;
    const QByteArray bytes = CanonicalBytes(entry);
    Sha256 hash;
    hash.Reset();
    hash.Add(previous.constData(), size_t(previous.size()));
    hash.Add(bytes.constData(), size_t(bytes.size()));
    QByteArray result(HashBytes, Qt::Uninitialized);
    hash.Result(reinterpret_cast<unsigned char*>(result.data()));
    return result;
}

QString EventName(qint64 event) {
    static const char* const names[] = {"journal started",     "program started", "program closed",
                                        "series started",      "series opened",   "series saved",
                                        "series exported",     "series printed",  "reading stored",
                                        "reading turned away", "description set", "command sent",
                                        "link down",           "link up",         "setting changed",
                                        "author changed",      "report saved"};
    // Compared before any arithmetic: a stored event may be any integer.
    return event >= 1 && event <= qint64(std::size(names)) ? QLatin1String(names[event - 1])
                                                           : QStringLiteral("event %1").arg(event);
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
        for (const char c : fields[i]) {
            if (c == FieldSeparator || c == FieldEscape)
                joined += FieldEscape;
            joined += c;
        }
    }
    return joined;
}

QList<QByteArray> SplitFields(const QByteArray& data) {
    Fields fields;
    const int count = fields.Split(View(data), true);
    QList<QByteArray> split;
    for (int i = 0; i < count; ++i)
        split << QByteArray(fields[size_t(i)].data(), qsizetype(fields[size_t(i)].size()));
    return split;
}

QByteArray ReadingData(int lp, double mass, const QString& unit, const QByteArray& frame, int timer,
                       const QString& lpText, const QString& opis, const QString& status) {
    const QByteArray lpBytes = QByteArray::number(lp);
    QList<QByteArray> fields{lpBytes,
                             ShortestText(mass),
                             unit.toUtf8(),
                             frame,
                             QByteArray::number(timer),
                             lpText.isEmpty() || lpText.toUtf8() == lpBytes ? QByteArray()
                                                                            : lpText.toUtf8(),
                             Blank(View(opis.toUtf8())) ? QByteArray() : opis.toUtf8(),
                             status.toUtf8()};
    // Fields left empty at the end are not written.
    while (fields.size() > 5 && fields.last().isEmpty())
        fields.removeLast();
    return JoinFields(fields);
}

void ForEachEntry(Database& database, const std::function<void(const Entry&)>& visit, qint64 from,
                  qint64 to) {
    Author current;
    database.QueryRows(
        QStringLiteral("SELECT seq, at, utc_offset, station, os_user, host, event, data, hash "
                       "FROM journal WHERE seq BETWEEN ? AND ? ORDER BY seq"),
        [&visit, &current](const Database::RowView& view) {
            const bool compact = view.TypeOf(4) == Database::RowView::Type::Null;
            Entry entry{view.Integer(0),
                        view.Integer(1),
                        int(view.Integer(2)),
                        compact,
                        compact ? current : Author{view.Text(3), view.Text(4), view.Text(5)},
                        Event(view.Integer(6)),
                        view.Blob(7),
                        view.Blob(8)};
            if (compact && entry.event == Event::AuthorChanged) {
                current = AuthorOf(entry.data);
                entry.author = current;
            }
            visit(entry);
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

namespace {

// A lock another program holds on the file past the wait is no fault of
// the record: it is thrown as the file's failure, never told as damage.
void ThrowIfLocked(sqlite3* db, int rc) {
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        throw DatabaseError(rc, message, message);
    }
}

// A prepared statement of the verifier's, finalized whatever happens.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        const int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        if (rc != SQLITE_OK) {
            ThrowIfLocked(db, rc);
            error = QString::fromUtf8(sqlite3_errmsg(db));
            sqlite3_finalize(statement);
            statement = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return statement != nullptr; }
    const QString& Error() const { return error; }
    sqlite3_stmt* Raw() const { return statement; }
    // The columns read here are found at these places of the row (the
    // rest are another reader's), which sees every row stepped to.
    template <size_t N>
    void ShareRows(const std::array<int, N>& places, std::function<void(sqlite3_stmt*)> visit) {
        static_assert(N <= std::tuple_size_v<decltype(at)>);
        std::copy(places.begin(), places.end(), at.begin());
        shared = std::move(visit);
    }
    // True while there is a row; a failure ends the rows and is kept.
    bool Step() {
        if (!statement || done)
            return false;
        const int rc = sqlite3_step(statement);
        types.fill(-1);
        values.fill(nullptr);
        if (rc == SQLITE_ROW) {
            if (shared)
                shared(statement);
            return true;
        }
        done = true;
        if (rc != SQLITE_DONE) {
            ThrowIfLocked(sqlite3_db_handle(statement), rc);
            error = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement)));
        }
        return false;
    }
    // Asked several times per cell: kept for the row.
    int Type(int column) const {
        if (size_t(column) >= types.size())
            return sqlite3_column_type(statement, column);
        int& type = types[size_t(column)];
        if (type < 0)
            type = sqlite3_value_type(Value(column));
        return type;
    }
    qint64 Integer(int column) const { return sqlite3_value_int64(Value(column)); }
    double Real(int column) const { return sqlite3_value_double(Value(column)); }
    std::string_view Bytes(int column) const {
        sqlite3_value* value = Value(column);
        const void* bytes =
            Type(column) == SQLITE_BLOB ? sqlite3_value_blob(value) : sqlite3_value_text(value);
        return {static_cast<const char*>(bytes), size_t(sqlite3_value_bytes(value))};
    }
    void Bind(int index, qint64 value) { sqlite3_bind_int64(statement, index, value); }

private:
    sqlite3_stmt* statement = nullptr;
    QString error;
    bool done = false;
    int Place(int column) const { return size_t(column) < at.size() ? at[size_t(column)] : column; }
    // The cell of the row as the engine holds it, found once per row: each
    // of the engine's column calls finds it anew. Read on this statement's
    // one thread only.
    sqlite3_value* Value(int column) const {
        if (size_t(column) >= values.size())
            return sqlite3_column_value(statement, column);
        sqlite3_value*& value = values[size_t(column)];
        if (!value)
            value = sqlite3_column_value(statement, at[size_t(column)]);
        return value;
    }
    mutable std::array<sqlite3_value*, 12> values{};
    std::function<void(sqlite3_stmt*)> shared;
    mutable std::array<int, 12> types{};
    std::array<int, 12> at = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
};

// Reading rows stepped on another thread and handed over as copies of the
// verifier's columns, a batch at a time: the verifier walks the journal on
// a connection of its own while the rows' reader goes on. At most a few
// batches wait, so memory stays bounded whatever the length.
class FedRows {
public:
    static constexpr int Columns = 10;

    // The reader's side. Whether the verifier still wants rows.
    bool Wanted() const { return !closed.load(std::memory_order_relaxed); }
    // Copies the current row of statement (its columns as the verifier
    // reads them).
    void Add(const Statement& statement) {
        for (int column = 0; column < Columns; ++column) {
            Cell cell;
            cell.type = statement.Type(column);
            switch (cell.type) {
            case SQLITE_INTEGER:
                cell.integer = statement.Integer(column);
                break;
            case SQLITE_FLOAT:
                cell.real = statement.Real(column);
                break;
            case SQLITE_TEXT:
            case SQLITE_BLOB: {
                const std::string_view bytes = statement.Bytes(column);
                cell.at = filling.bytes.size();
                cell.size = quint32(bytes.size());
                filling.bytes.append(bytes);
                break;
            }
            default:
                break;
            }
            filling.cells.push_back(cell);
        }
        if (filling.cells.size() >= size_t(BatchRows * Columns))
            Hand();
    }
    // No more rows; error: why the rows ended early, if they did.
    void End(const QString& error) {
        Hand();
        std::lock_guard lock(mutex);
        ended = true;
        endError = error;
        changed.notify_all();
    }

    // The verifier's side: the next row, false at the end.
    bool Step() {
        if (++row < rows)
            return true;
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return !queue.empty() || ended; });
        if (queue.empty()) {
            error = endError;
            rows = 0;
            row = 0;
            return false;
        }
        current = std::move(queue.front());
        queue.pop_front();
        changed.notify_all();
        rows = current.cells.size() / Columns;
        row = 0;
        return true;
    }
    int Type(int column) const { return Current(column).type; }
    qint64 Integer(int column) const {
        const Cell& cell = Current(column);
        return cell.type == SQLITE_INTEGER ? cell.integer
               : cell.type == SQLITE_FLOAT ? qint64(cell.real)
                                           : 0;
    }
    double Real(int column) const {
        const Cell& cell = Current(column);
        return cell.type == SQLITE_FLOAT     ? cell.real
               : cell.type == SQLITE_INTEGER ? double(cell.integer)
                                             : 0;
    }
    // A number as the text SQLite makes of it.
    std::string_view Bytes(int column) const {
        const Cell& cell = Current(column);
        if (cell.type == SQLITE_INTEGER || cell.type == SQLITE_FLOAT) {
            std::array<char, 40>& text = numberTexts[size_t(column)];
            if (cell.type == SQLITE_INTEGER)
                return {
                    text.data(),
                    size_t(std::to_chars(text.data(), text.data() + text.size(), cell.integer).ptr -
                           text.data())};
            sqlite3_snprintf(int(text.size()), text.data(), "%!.15g", cell.real);
            return {text.data(), std::strlen(text.data())};
        }
        return std::string_view(current.bytes).substr(cell.at, cell.size);
    }
    const QString& Error() const { return error; }
    // The verifier is done: the reader stops waiting for it.
    void Close() {
        std::lock_guard lock(mutex);
        closed = true;
        queue.clear();
        changed.notify_all();
    }

private:
    // Small batches: the walk keeps pace, and the copies waiting stay well
    // under a megabyte.
    static constexpr int BatchRows = 512;
    static constexpr size_t MaxWaiting = 3;
    struct Cell {
        int type = SQLITE_NULL;
        quint32 size = 0;
        union {
            qint64 integer = 0;
            double real;
            size_t at;
        };
    };
    struct Batch {
        std::vector<Cell> cells;
        std::string bytes;
    };
    const Cell& Current(int column) const { return current.cells[row * Columns + size_t(column)]; }
    void Hand() {
        if (filling.cells.empty())
            return;
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return queue.size() < MaxWaiting || closed; });
        if (!closed) {
            queue.push_back(std::move(filling));
            changed.notify_all();
        }
        filling = Batch();
        filling.cells.reserve(size_t(BatchRows * Columns));
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Batch> queue;
    bool ended = false;
    QString endError;
    std::atomic<bool> closed{false};
    Batch filling;
    Batch current;
    size_t rows = 0;
    size_t row = 0;
    QString error;
    mutable std::array<std::array<char, 40>, Columns> numberTexts{};
};

// The reading rows as the verifier reads them: from a statement of its own
// connection or fed from another thread.
class Readings {
public:
    explicit Readings(Statement& statement) : statement(&statement) {}
    explicit Readings(FedRows& fed) : fed(&fed) {}
    bool Step() { return statement ? statement->Step() : fed->Step(); }
    int Type(int column) const { return statement ? statement->Type(column) : fed->Type(column); }
    qint64 Integer(int column) const {
        return statement ? statement->Integer(column) : fed->Integer(column);
    }
    double Real(int column) const {
        return statement ? statement->Real(column) : fed->Real(column);
    }
    std::string_view Bytes(int column) const {
        return statement ? statement->Bytes(column) : fed->Bytes(column);
    }
    const QString& Error() const { return statement ? statement->Error() : fed->Error(); }

private:
    Statement* statement = nullptr;
    FedRows* fed = nullptr;
};

const char* TypeName(int type) {
    switch (type) {
    case SQLITE_INTEGER:
        return "an integer";
    case SQLITE_FLOAT:
        return "a real";
    case SQLITE_TEXT:
        return "a text";
    case SQLITE_BLOB:
        return "a blob";
    default:
        return "NULL";
    }
}

// One reading row as the series holds it, read where the engine holds it.
enum ReadingColumn { RLp, RData, RGodzina, RTimer, RMasa, RJm, RLpTekst, RNrWagi, RStatus, ROpis };

// What a description must be: its text, or (a full row whose fields were
// joined without escaping and hold a separator) the text its data ends with.
struct Description {
    std::string text;
    bool suffixOfData = false;
};

struct Pending {
    std::string shown;
    std::string stored;
};

// The reading rows in table order: every column, for another reader as
// well, or only the verifier's.
const char* const AllReadings = "SELECT * FROM pomiary ORDER BY rowid";
const char* const VerifiedReadings =
    "SELECT Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, status, Opis FROM pomiary "
    "ORDER BY rowid";

// Where the verifier's columns are among every column of the readings,
// found by name (without regard to case, as SQLite finds them).
std::optional<std::array<int, FedRows::Columns>> VerifiedPlaces(Statement& all) {
    static const char* const names[] = {"Lp", "data",    "Godzina", "Timer",  "Masa",
                                        "Jm", "LpTekst", "Nr_wagi", "status", "Opis"};
    static_assert(std::size(names) == FedRows::Columns);
    std::array<int, FedRows::Columns> places{};
    const int count = sqlite3_column_count(all.Raw());
    for (size_t i = 0; i < places.size(); ++i) {
        places[i] = -1;
        for (int column = 0; column < count && places[i] < 0; ++column)
            if (sqlite3_stricmp(sqlite3_column_name(all.Raw(), column), names[i]) == 0)
                places[i] = column;
        if (places[i] < 0)
            return std::nullopt;
    }
    return places;
}

// A ReadingStored entry, as the columns of its reading are checked
// against it.
struct StoredReading {
    const RowBytes& row;
    // The fields of its data.
    int count = 0;
    qint64 lp = 0;
    double mass = 0;
    // When it was written: seconds since 1970 of the local wall clock.
    qint64 local = 0;
};

class Verifier {
public:
    // integrity: whether to check the file's structure here too (VerifyFile
    // checks it beside, on a connection of its own).
    // rows (may be null) gets every reading row of the series, whatever the
    // verdict.
    Verifier(sqlite3* db, const std::atomic<bool>* cancelled, bool integrity,
             const Database::RowViewVisitor* rows)
        : db(db), cancelled(cancelled), integrity(integrity), rows(rows) {
        canonical.reserve(512);
    }

    Verification Run();
    // The reading rows come from fed instead of a statement of the
    // verifier's own.
    // stop ends the walk early as a cancel does (the rows' reader failed).
    void Feed(FedRows* rows, const std::atomic<bool>* stop) {
        fed = rows;
        stopped = stop;
    }

private:
    using State = Verification::State;

    bool Cancelled() const {
        return (cancelled && cancelled->load(std::memory_order_relaxed)) ||
               (stopped && stopped->load(std::memory_order_relaxed));
    }
    void Broken(const QString& where) {
        if (result.state == State::Broken)
            return;
        result.state = State::Broken;
        result.where = where;
    }
    bool IsBroken() const { return result.state == State::Broken; }

    void Walk();
    void ShareRemainingRows();
    bool CheckStructure();
    qint64 SeriesStart();
    void Entry(Statement& journal, Readings& readings, qint64 seriesStart);
    bool NumberOk(Statement& journal, RowBytes& row);
    bool CellTypesOk(Statement& journal, const RowBytes& row);
    bool DecodeEntry(Statement& journal, RowBytes& row);
    bool Chained(const RowBytes& row, std::string_view stored);
    bool TakeAuthor(const RowBytes& row, Event event);
    void StartSeries(const RowBytes& row, Event event, Readings& readings);
    void DescriptionSet(const RowBytes& row);
    void Reading(const RowBytes& row, Readings& readings);
    bool ReadingFields(StoredReading& stored);
    QString StoredText() const;
    void Vouch(qint64 lp);
    bool Differs(const StoredReading& stored, const char* what, const QString& shown,
                 const QString& journal);
    bool LpMatches(const StoredReading& stored, const Readings& readings);
    bool MassMatches(const StoredReading& stored, const Readings& readings);
    bool UnitMatches(const StoredReading& stored, const Readings& readings);
    bool TimeMatches(const StoredReading& stored, const Readings& readings, qint64& shownTime);
    bool DateMatches(const StoredReading& stored, const Readings& readings, qint64 shownTime);
    bool StationMatches(const StoredReading& stored, const Readings& readings);
    bool StatusMatches(const StoredReading& stored, const Readings& readings);
    bool TimerAndLpTextMatch(const StoredReading& stored, const Readings& readings);
    void KeepDescription(const StoredReading& stored, const Readings& readings);
    void Descriptions(Readings& readings);
    void Report(qint64 seriesStart);
    bool Vouched(qint64 lp) const;

    sqlite3* db;
    const std::atomic<bool>* cancelled;
    bool integrity;
    const Database::RowViewVisitor* rows;
    std::unique_ptr<Statement> readingRows;
    FedRows* fed = nullptr;
    const std::atomic<bool>* stopped = nullptr;
    Verification result;
    std::string canonical;
    Fields fields;
    // A compact entry's Lp, made whole.
    std::string lpText;
    Sha256 sha;
    std::array<char, HashBytes> head{};
    qint64 length = 0;

    // The chain's current author for compact rows, and its station as the
    // readings carry it (two characters).
    bool haveAuthor = false;
    std::string station, user, host;
    std::string readingStation;

    bool inSeries = false;
    bool seriesCompact = false;
    qint64 carried = 0;
    std::optional<qint64> legacyRemainder;
    std::vector<std::pair<qint64, qint64>> vouchedLps;
    std::unordered_map<qint64, Description> descriptions;
    std::unordered_map<qint64, Pending> pending;
    std::optional<std::string> reportDigest;
    DayCache dates;
};

// A damaged table can hide rows from a scan: the file's structure, as
// "PRAGMA quick_check" finds it; empty when it is sound.
QString Damage(sqlite3* db) {
    Statement check(db, "PRAGMA quick_check(1)");
    if (check.Step() && check.Type(0) == SQLITE_TEXT && check.Bytes(0) == "ok")
        return {};
    const QString found =
        check.Ok() && check.Error().isEmpty() && check.Type(0) == SQLITE_TEXT
            ? QString::fromUtf8(check.Bytes(0).data(), qsizetype(check.Bytes(0).size()))
            : check.Error();
    return QStringLiteral("the file is damaged: %1").arg(found);
}

bool Verifier::CheckStructure() {
    if (integrity) {
        const QString damage = Damage(db);
        if (!damage.isEmpty()) {
            Broken(damage);
            return false;
        }
    }
    // Column names match without regard to case, as SQLite matches them.
    const auto lowered = [](std::string_view text) {
        std::string name(text);
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return name;
    };
    const auto columns = [&](const char* table, std::initializer_list<const char*> wanted) {
        Statement info(db, (std::string("PRAGMA table_info(") + table + ")").c_str());
        std::vector<std::string> have;
        while (info.Step())
            have.push_back(lowered(info.Bytes(1)));
        for (const char* column : wanted) {
            if (std::find(have.begin(), have.end(), lowered(column)) == have.end()) {
                Broken(have.empty()
                           ? QStringLiteral("the table %1 is missing").arg(QLatin1String(table))
                           : QStringLiteral("the table %1 has no column %2")
                                 .arg(QLatin1String(table), QLatin1String(column)));
                return false;
            }
        }
        return true;
    };
    return columns("journal", {"seq", "at", "utc_offset", "station", "os_user", "host", "event",
                               "data", "hash"}) &&
           columns("pomiary", {"Lp", "data", "Godzina", "Timer", "Masa", "Jm", "LpTekst", "Nr_wagi",
                               "status", "Opis"});
}

// The entry that starts the series the readings belong to: the last series
// start (or the journal's start). Read ahead of the chain; the chain check
// that follows vouches for it.
qint64 Verifier::SeriesStart() {
    Statement last(db, "SELECT seq FROM journal WHERE event IN (1, 4) ORDER BY seq DESC LIMIT 1");
    return last.Step() ? last.Integer(0) : 0;
}

bool Verifier::Vouched(qint64 lp) const {
    for (const auto& [from, to] : vouchedLps)
        if (lp >= from && lp <= to)
            return true;
    return false;
}

Verification Verifier::Run() {
    Walk();
    if (rows)
        ShareRemainingRows();
    return result;
}

// The rows the walk did not reach (all of them when it read none) go to
// the other reader as well; a read that fails is the other reader's failure
// too.
void Verifier::ShareRemainingRows() {
    const auto failed = [this](const QString& error) {
        throw DatabaseError(sqlite3_errcode(db), error);
    };
    if (readingRows && readingRows->Ok()) {
        while (readingRows->Step()) {
        }
        if (!readingRows->Error().isEmpty())
            failed(readingRows->Error());
        return;
    }
    Statement all(db, "SELECT * FROM pomiary");
    if (!all.Ok())
        failed(all.Error());
    while (all.Step())
        (*rows)(Database::RowView(all.Raw()));
    if (!all.Error().isEmpty())
        failed(all.Error());
}

void Verifier::Walk() {
    Statement hasJournal(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                             "lower(name) = 'journal'");
    if (!hasJournal.Step())
        return;
    result.state = State::Verified;
    if (!CheckStructure())
        return;
    const qint64 seriesStart = SeriesStart();
    inSeries = seriesStart == 0;
    Statement journal(db, "SELECT seq, at, utc_offset, station, os_user, host, event, data, hash "
                          "FROM journal ORDER BY seq");
    // Another reader of the rows reads every column, in table order: one
    // pass over the table serves both, the verifier finding its columns
    // among them by name.
    if (!fed)
        readingRows = std::make_unique<Statement>(db, rows ? AllReadings : VerifiedReadings);
    Readings readings = fed ? Readings(*fed) : Readings(*readingRows);
    if (!journal.Ok() || !readings.Error().isEmpty()) {
        Broken(journal.Ok() ? readings.Error() : journal.Error());
        return;
    }
    if (rows && !fed) {
        const auto places = VerifiedPlaces(*readingRows);
        // Found by the structure check before.
        if (!places) {
            Broken(QStringLiteral("the table pomiary lacks a column"));
            return;
        }
        readingRows->ShareRows(
            *places, [this](sqlite3_stmt* statement) { (*rows)(Database::RowView(statement)); });
    }
    qint64 entries = 0;
    while (!IsBroken() && journal.Step()) {
        if ((++entries & 0xfff) == 0 && Cancelled()) {
            result = {};
            result.cancelledEarly = true;
            return;
        }
        Entry(journal, readings, seriesStart);
    }
    if (!journal.Error().isEmpty())
        Broken(QStringLiteral("the journal cannot be read: %1").arg(journal.Error()));
    result.rows = length;
    result.head = QByteArray(head.data(), length > 0 ? HashBytes : 0);
    if (IsBroken())
        return;
    if (length == 0) {
        Broken(QStringLiteral("the journal is empty"));
        return;
    }
    Descriptions(readings);
    if (!IsBroken())
        Report(seriesStart);
}

QString RowText(qint64 seq) {
    return QStringLiteral("journal row %1").arg(seq);
}

// The number of the journal's current row: the next one of the chain.
bool Verifier::NumberOk(Statement& journal, RowBytes& row) {
    const qint64 expected = length + 1;
    row.seq = journal.Integer(0);
    if (journal.Type(0) == SQLITE_INTEGER && row.seq == expected)
        return true;
    if (journal.Type(0) == SQLITE_INTEGER && row.seq > expected)
        Broken(QStringLiteral("journal row %1 is missing").arg(expected));
    else
        Broken(QStringLiteral("journal row %1 is numbered %2")
                   .arg(expected)
                   .arg(QString::fromUtf8(journal.Bytes(0).data(),
                                          qsizetype(journal.Bytes(0).size()))));
    return false;
}

// Every cell as the program writes it: a value of another type that
// converts to the same is still a change.
bool Verifier::CellTypesOk(Statement& journal, const RowBytes& row) {
    static const int types[] = {SQLITE_INTEGER, SQLITE_INTEGER, SQLITE_INTEGER,
                                SQLITE_TEXT,    SQLITE_TEXT,    SQLITE_TEXT,
                                SQLITE_INTEGER, SQLITE_BLOB,    SQLITE_BLOB};
    static const char* const names[] = {"seq",  "at",    "utc_offset", "station", "os_user",
                                        "host", "event", "data",       "hash"};
    for (int column = 1; column < 9; ++column) {
        const bool author = column >= 3 && column <= 5;
        const int want = author && row.compact ? SQLITE_NULL : types[column];
        if (journal.Type(column) != want) {
            Broken(QStringLiteral("%1: its %2 is stored as %3")
                       .arg(RowText(row.seq), QLatin1String(names[column]),
                            QLatin1String(TypeName(journal.Type(column)))));
            return false;
        }
    }
    return true;
}

// The cells of the journal's current row into row: false (the chain
// broken) when one is not as the program writes it.
bool Verifier::DecodeEntry(Statement& journal, RowBytes& row) {
    row.compact = journal.Type(4) == SQLITE_NULL;
    if (!NumberOk(journal, row) || !CellTypesOk(journal, row))
        return false;
    row.at = journal.Integer(1);
    row.utcOffset = journal.Integer(2);
    row.event = journal.Integer(6);
    row.data = journal.Bytes(7);
    // The hash covers four bytes of these: more would pass unseen.
    const qint64 offsetLimit = row.compact ? 86400 : 1440;
    if (row.utcOffset < -offsetLimit || row.utcOffset > offsetLimit || row.event < INT_MIN ||
        row.event > INT_MAX) {
        Broken(QStringLiteral("%1: its %2 is out of range")
                   .arg(RowText(row.seq),
                        QLatin1String(row.event < INT_MIN || row.event > INT_MAX ? "event"
                                                                                 : "utc_offset")));
        return false;
    }
    if (!row.compact) {
        row.station = journal.Bytes(3);
        row.user = journal.Bytes(4);
        row.host = journal.Bytes(5);
    }
    return true;
}

// Whether the row carries the hash its predecessor leads to; it then heads
// the chain.
bool Verifier::Chained(const RowBytes& row, std::string_view stored) {
    Canonical(canonical, row);
    // The first entry follows a hash of zeros.
    if (length == 0)
        head.fill(0);
    sha.Reset();
    sha.Add(head.data(), HashBytes);
    sha.Add(canonical.data(), canonical.size());
    std::array<unsigned char, HashBytes> hash{};
    sha.Result(hash.data());
    if (stored.size() != size_t(HashBytes) ||
        std::memcmp(stored.data(), hash.data(), HashBytes) != 0) {
        Broken(QStringLiteral("%1 (%2) does not match its hash: it, or a row before it, was "
                              "changed")
                   .arg(RowText(row.seq), EventName(row.event)));
        return false;
    }
    std::memcpy(head.data(), hash.data(), HashBytes);
    length = row.seq;
    return true;
}

// The author of the row: the one it names (AuthorChanged), the one named
// before it (a compact row) or its own (a full row); and the station the
// readings then carry (its first two characters).
bool Verifier::TakeAuthor(const RowBytes& row, Event event) {
    if (event == Event::AuthorChanged) {
        const int count = fields.Split(row.data, row.compact);
        if (count != 3) {
            Broken(QStringLiteral("%1 (author changed) is malformed").arg(RowText(row.seq)));
            return false;
        }
        station = fields[0];
        user = fields[1];
        host = fields[2];
        haveAuthor = true;
        readingStation =
            QString::fromUtf8(station.data(), qsizetype(station.size())).left(2).toStdString();
    } else if (row.compact && !haveAuthor) {
        Broken(QStringLiteral("%1 (%2) names no author").arg(RowText(row.seq), EventName(event)));
        return false;
    }
    if (!row.compact)
        readingStation = QString::fromUtf8(row.station.data(), qsizetype(row.station.size()))
                             .left(2)
                             .toStdString();
    return true;
}

// The entry that starts the series: the readings it counts (those the
// series had when the journal or the series began) are passed by.
void Verifier::StartSeries(const RowBytes& row, Event event, Readings& readings) {
    if (!ReadNumber(row.data, carried) || carried < 0) {
        Broken(QStringLiteral("%1 (%2) is malformed").arg(RowText(row.seq), EventName(event)));
        return;
    }
    inSeries = true;
    seriesCompact = row.compact;
    result.readingsBefore = int(carried);
    for (qint64 i = 0; i < carried; ++i) {
        if (!readings.Step()) {
            Broken(QStringLiteral("the series has %1 readings older than the journal, the "
                                  "journal counted %2")
                       .arg(i)
                       .arg(carried));
            return;
        }
    }
}

// A description set: what the reading's description must be at the end.
void Verifier::DescriptionSet(const RowBytes& row) {
    const int count = fields.Split(row.data, row.compact);
    qint64 lp = 0;
    if (count < 3 || !ReadNumber(std::string_view(fields[0]), lp) || (row.compact && count != 3)) {
        Broken(QStringLiteral("%1 (description set) is malformed").arg(RowText(row.seq)));
        return;
    }
    if (count == 3)
        descriptions[lp] = {std::string(fields[2]), false};
    else
        descriptions[lp] = {std::string(row.data), true};
}

void Verifier::Entry(Statement& journal, Readings& readings, qint64 seriesStart) {
    RowBytes row;
    if (!DecodeEntry(journal, row) || !Chained(row, journal.Bytes(8)))
        return;
    const Event event = Event(row.event);
    if (!TakeAuthor(row, event))
        return;
    if (row.seq == seriesStart) {
        StartSeries(row, event, readings);
        return;
    }
    if (!inSeries)
        return;
    switch (event) {
    case Event::ReadingStored:
        Reading(row, readings);
        break;
    case Event::DescriptionSet:
        DescriptionSet(row);
        break;
    case Event::ReportSaved:
        reportDigest = std::string(row.data);
        break;
    default:
        break;
    }
}

// A reading's column as the user sees it, for a finding.
QString ShownText(const Readings& readings, int column) {
    if (readings.Type(column) == SQLITE_NULL)
        return QStringLiteral("NULL");
    if (readings.Type(column) == SQLITE_FLOAT)
        return QString::number(readings.Real(column), 'g', 17);
    return Quoted(readings.Bytes(column));
}

// The column `what` of the reading is not the journal's: always false.
bool Verifier::Differs(const StoredReading& stored, const char* what, const QString& shown,
                       const QString& journal) {
    Broken(QStringLiteral("reading Lp %1: the %2 is %3, the journal has %4")
               .arg(stored.lp)
               .arg(QLatin1String(what), shown, journal));
    return false;
}

// The mass and unit of the entry, as a finding names them.
QString Verifier::StoredText() const {
    return QStringLiteral("%1 %2").arg(Utf8(fields[1]), Utf8(fields[2]));
}

// The fields of a ReadingStored entry; a compact entry's Lp, given as its
// distance from the entry's number, is made whole (in fields[0] too).
bool Verifier::ReadingFields(StoredReading& stored) {
    const RowBytes& row = stored.row;
    stored.count = fields.Split(row.data, row.compact);
    const bool fromSeq = row.compact && !fields[0].empty() && fields[0][0] == '=';
    const bool lpRead = fromSeq ? ReadNumber(std::string_view(fields[0]).substr(1), stored.lp)
                                : ReadNumber(std::string_view(fields[0]), stored.lp);
    if (fromSeq) {
        stored.lp = row.seq - stored.lp;
        lpText = std::to_string(stored.lp);
        fields.Replace(0, lpText);
    }
    return stored.count >= (row.compact ? 5 : 3) && lpRead &&
           ReadNumber(std::string_view(fields[1]), stored.mass);
}

// The Lps the journal vouches for, as runs.
void Verifier::Vouch(qint64 lp) {
    if (vouchedLps.empty() || vouchedLps.back().second + 1 != lp)
        vouchedLps.emplace_back(lp, lp);
    else
        vouchedLps.back().second = lp;
}

// Lp: an integer, the journal's.
bool Verifier::LpMatches(const StoredReading& stored, const Readings& readings) {
    if (readings.Type(RLp) == SQLITE_INTEGER && readings.Integer(RLp) == stored.lp)
        return true;
    Broken(QStringLiteral("reading Lp %1 of the journal (%2) is missing from the series: the "
                          "series has Lp %3 in its place")
               .arg(stored.lp)
               .arg(StoredText(), ShownText(readings, RLp)));
    return false;
}

// The mass: a real, the same number (a negative zero reads back as zero).
bool Verifier::MassMatches(const StoredReading& stored, const Readings& readings) {
    if (readings.Type(RMasa) != SQLITE_FLOAT || readings.Real(RMasa) != stored.mass)
        return Differs(stored, "mass", ShownText(readings, RMasa), Utf8(fields[1]));
    return true;
}

// The unit: a full row's unit and frame are not escaped, so the unit is
// whatever the rest of the data begins with.
bool Verifier::UnitMatches(const StoredReading& stored, const Readings& readings) {
    const std::string_view jm = readings.Bytes(RJm);
    if (readings.Type(RJm) != SQLITE_TEXT)
        return Differs(stored, "unit", ShownText(readings, RJm), Quoted(fields[2]));
    if (stored.row.compact) {
        if (jm != fields[2])
            return Differs(stored, "unit", ShownText(readings, RJm), Quoted(fields[2]));
        return true;
    }
    // data = lp SEP mass SEP unit SEP frame
    const std::string_view data = stored.row.data;
    const size_t unitStart = fields[0].size() + fields[1].size() + 2;
    const std::string_view rest = data.substr(std::min(unitStart, data.size()));
    if (!(rest.size() > jm.size() && rest.substr(0, jm.size()) == jm &&
          rest[jm.size()] == FieldSeparator))
        return Differs(stored, "unit", ShownText(readings, RJm), Quoted(fields[2]));
    return true;
}

// The time: whole seconds of the local wall clock, as text of one shape;
// shownTime gets the time the reading shows.
bool Verifier::TimeMatches(const StoredReading& stored, const Readings& readings,
                           qint64& shownTime) {
    const std::optional<qint64> shown = readings.Type(RGodzina) == SQLITE_TEXT
                                            ? LocalSeconds(readings.Bytes(RGodzina), dates)
                                            : std::nullopt;
    bool timeOk = shown && *shown == stored.local;
    if (shown && !timeOk && !stored.row.compact) {
        // A full row keeps its offset in whole minutes: in a zone whose
        // offset has seconds, every reading is off by the same seconds.
        const qint64 remainder = *shown - stored.local;
        if (remainder > -60 && remainder < 60) {
            if (!legacyRemainder)
                legacyRemainder = remainder;
            timeOk = *legacyRemainder == remainder;
        }
    }
    if (!timeOk)
        return Differs(stored, "time", ShownText(readings, RGodzina),
                       Quoted(LocalText(stored.local).toStdString()));
    shownTime = *shown;
    return true;
}

// The date: the time's own.
bool Verifier::DateMatches(const StoredReading& stored, const Readings& readings,
                           qint64 shownTime) {
    const std::optional<qint64> shownDate =
        readings.Type(RData) == SQLITE_TEXT && readings.Bytes(RData).size() == 10
            ? dates.Days(readings.Bytes(RData))
            : std::nullopt;
    if (!shownDate || *shownDate != FloorDiv(shownTime, 86400))
        return Differs(stored, "date", ShownText(readings, RData),
                       Quoted(LocalText(shownTime).left(10).toStdString()));
    return true;
}

// The station: the author's, as the readings keep it.
bool Verifier::StationMatches(const StoredReading& stored, const Readings& readings) {
    if (readings.Type(RNrWagi) != SQLITE_TEXT || readings.Bytes(RNrWagi) != readingStation)
        return Differs(stored, "station", ShownText(readings, RNrWagi), Quoted(readingStation));
    return true;
}

// The status: the mark the entry stored (a net below the minimum weight),
// which a saved file keeps; else none while the series is worked on, "0"
// in a saved file.
bool Verifier::StatusMatches(const StoredReading& stored, const Readings& readings) {
    const std::string_view mark =
        stored.row.compact && stored.count > 7 ? std::string_view(fields[7]) : std::string_view();
    if (!mark.empty()) {
        if (readings.Type(RStatus) != SQLITE_TEXT || readings.Bytes(RStatus) != mark)
            return Differs(stored, "status", ShownText(readings, RStatus), Quoted(mark));
    } else if (readings.Type(RStatus) != SQLITE_NULL &&
               (readings.Type(RStatus) != SQLITE_TEXT || readings.Bytes(RStatus) != "0")) {
        return Differs(stored, "status", ShownText(readings, RStatus), QStringLiteral("none"));
    }
    return true;
}

// Timer and LpTekst: of their type in every row, the entry's in a compact
// one (LpTekst Lp's own text unless the entry names another).
bool Verifier::TimerAndLpTextMatch(const StoredReading& stored, const Readings& readings) {
    if (readings.Type(RTimer) != SQLITE_INTEGER)
        return Differs(stored, "Timer", ShownText(readings, RTimer),
                       QStringLiteral("a whole number"));
    if (readings.Type(RLpTekst) != SQLITE_TEXT)
        return Differs(stored, "LpTekst", ShownText(readings, RLpTekst), QStringLiteral("a text"));
    if (!stored.row.compact)
        return true;
    qint64 timer = 0;
    if (!ReadNumber(std::string_view(fields[4]), timer) || readings.Integer(RTimer) != timer)
        return Differs(stored, "Timer", ShownText(readings, RTimer), Utf8(fields[4]));
    const std::string_view lpText = stored.count > 5 && !fields[5].empty()
                                        ? std::string_view(fields[5])
                                        : std::string_view(fields[0]);
    if (readings.Bytes(RLpTekst) != lpText)
        return Differs(stored, "LpTekst", ShownText(readings, RLpTekst), Quoted(lpText));
    return true;
}

// The description may be set later in the journal: kept for the end when
// it is not blank now or was not blank when stored.
void Verifier::KeepDescription(const StoredReading& stored, const Readings& readings) {
    const std::string_view opis =
        readings.Type(ROpis) == SQLITE_NULL ? std::string_view() : readings.Bytes(ROpis);
    if (readings.Type(ROpis) != SQLITE_NULL && readings.Type(ROpis) != SQLITE_TEXT) {
        Differs(stored, "description", ShownText(readings, ROpis), QStringLiteral("a text"));
        return;
    }
    const std::string_view storedOpis =
        stored.row.compact && stored.count > 6 ? std::string_view(fields[6]) : std::string_view();
    if (!Blank(opis) || !Blank(storedOpis))
        pending[stored.lp] = {std::string(opis), std::string(storedOpis)};
}

void Verifier::Reading(const RowBytes& row, Readings& readings) {
    StoredReading stored{row};
    if (!ReadingFields(stored)) {
        Broken(QStringLiteral("journal row %1 (reading stored) is malformed").arg(row.seq));
        return;
    }
    if (!readings.Step()) {
        Broken(QStringLiteral("reading Lp %1 of the journal (%2) is missing from the series")
                   .arg(stored.lp)
                   .arg(StoredText()));
        return;
    }
    Vouch(stored.lp);
    ++result.readings;
    if (!row.compact)
        ++result.readingsPartly;
    stored.local = FloorDiv(row.at, 1000) + row.utcOffset * (row.compact ? 1 : 60);
    qint64 shownTime = 0;
    if (LpMatches(stored, readings) && MassMatches(stored, readings) &&
        UnitMatches(stored, readings) && TimeMatches(stored, readings, shownTime) &&
        DateMatches(stored, readings, shownTime) && StationMatches(stored, readings) &&
        StatusMatches(stored, readings) && TimerAndLpTextMatch(stored, readings))
        KeepDescription(stored, readings);
}

void Verifier::Descriptions(Readings& readings) {
    std::optional<qint64> firstFault;
    QString fault;
    const auto check = [&](qint64 lp, std::string_view shown, const Description& expected) {
        const bool ok =
            expected.suffixOfData
                ? (expected.text.size() > shown.size() &&
                   expected.text.compare(expected.text.size() - shown.size(), shown.size(),
                                         shown) == 0 &&
                   expected.text[expected.text.size() - shown.size() - 1] == FieldSeparator)
                : (Blank(expected.text) ? Blank(shown) : shown == expected.text);
        if (ok || (firstFault && *firstFault <= lp))
            return;
        firstFault = lp;
        fault = QStringLiteral("reading Lp %1: the description is %2, the journal has %3")
                    .arg(lp)
                    .arg(Quoted(shown),
                         expected.suffixOfData ? QStringLiteral("another") : Quoted(expected.text));
    };
    for (const auto& [lp, expected] : descriptions) {
        if (!Vouched(lp))
            continue;
        const auto shown = pending.find(lp);
        check(lp,
              shown == pending.end() ? std::string_view() : std::string_view(shown->second.shown),
              expected);
    }
    for (const auto& [lp, shown] : pending)
        if (descriptions.find(lp) == descriptions.end())
            check(lp, shown.shown, {shown.stored, false});
    // A reading the journal never stored, after its last one.
    if (readings.Step()) {
        const qint64 lp = readings.Type(RLp) == SQLITE_INTEGER ? readings.Integer(RLp) : 0;
        if (!firstFault || readings.Type(RLp) != SQLITE_INTEGER || lp < *firstFault) {
            const auto text = [&](int column) {
                return readings.Type(column) == SQLITE_NULL ? QStringLiteral("NULL")
                       : readings.Type(column) == SQLITE_FLOAT
                           ? QString::number(readings.Real(column), 'g', 15)
                           : QString::fromUtf8(readings.Bytes(column).data(),
                                               qsizetype(readings.Bytes(column).size()));
            };
            fault = QStringLiteral("reading Lp %1 (%2 %3) is not in the journal")
                        .arg(text(RLp), text(RMasa), text(RJm));
            firstFault = lp;
        }
    }
    if (!readings.Error().isEmpty())
        fault = QStringLiteral("the readings cannot be read: %1").arg(readings.Error());
    if (!fault.isEmpty())
        Broken(fault);
}

void Verifier::Report(qint64 seriesStart) {
    Statement report(db, "SELECT Raport FROM raport ORDER BY rowid");
    std::vector<std::pair<int, std::string>> rows;
    while (report.Step()) {
        rows.emplace_back(report.Type(0), std::string(report.Bytes(0)));
        if (rows.size() > 1)
            break;
    }
    const bool shown =
        !rows.empty() && rows.front().first != SQLITE_NULL && !rows.front().second.empty();
    if (reportDigest) {
        const QByteArray digest = QCryptographicHash::hash(
            QByteArrayView(rows.empty() ? "" : rows.front().second.data(),
                           rows.empty() ? 0 : qsizetype(rows.front().second.size())),
            QCryptographicHash::Sha256);
        if (rows.size() != 1 || rows.front().first != SQLITE_TEXT || View(digest) != *reportDigest)
            Broken(QStringLiteral("the report is not the one the journal saw saved"));
        return;
    }
    if (rows.size() > 1 || (!rows.empty() && !shown && rows.front().first != SQLITE_NULL &&
                            rows.front().first != SQLITE_TEXT)) {
        Broken(QStringLiteral("the report is not the one the journal saw saved"));
        return;
    }
    if (!shown)
        return;
    // A series begun before reports were journaled (its entries full rows,
    // or older than the journal), or one that brought its report along from
    // a file, shows a report no journal vouches for.
    if (seriesCompact && carried == 0 && seriesStart != 0)
        Broken(QStringLiteral("the report was never saved by the program"));
    else
        result.reportBefore = true;
}

// A connection of the verifier's own, read-only.
sqlite3* OpenForReading(const QString& path) {
    struct stat status {};
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &status) != 0)
        throw DatabaseError(SQLITE_CANTOPEN, path + QStringLiteral(": cannot be read"),
                            QString::fromLocal8Bit(std::strerror(errno)));
    // A named pipe or a device would block the open, or never end.
    if (!S_ISREG(status.st_mode))
        throw DatabaseError(SQLITE_CANTOPEN, path + QStringLiteral(": not a regular file"),
                            QStringLiteral("not a regular file"));
    // Where nothing can write (a file nobody may write, or one on read-only
    // media) and no journal lies beside it, it is read as it stands without
    // locks or a shared-memory file; otherwise SQLite's read locks keep a
    // writer's half-written pages out of the read.
    const bool companions = QFile::exists(path + QStringLiteral("-wal")) ||
                            QFile::exists(path + QStringLiteral("-journal"));
    const bool immutable = !companions && ::access(name.constData(), W_OK) != 0 &&
                           (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    QByteArray uri = "file:";
    for (const char c : QFileInfo(path).absoluteFilePath().toUtf8()) {
        if (c == '%' || c == '?' || c == '#')
            uri += '%' + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        else
            uri += c;
    }
    uri += immutable ? "?mode=ro&immutable=1" : "?mode=ro";
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(uri.constData(), &db,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                                   ReadAhead::Name());
    if (rc != SQLITE_OK) {
        const QString message =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw DatabaseError(rc, message + QStringLiteral(": ") + path, message);
    }
    sqlite3_busy_timeout(db, 5000);
    return db;
}

// Whether a second connection reads the moment db reads: not beside a
// write-ahead log, which lets a writer go on beside a reader (a rollback
// journal does not while db holds its read lock). Takes that read lock,
// held until db's transaction ends; false too where there is no journal.
bool OneMomentBeside(sqlite3* db) {
    Statement mode(db, "PRAGMA journal_mode");
    if (!mode.Step() || mode.Type(0) != SQLITE_TEXT || mode.Bytes(0) == "wal")
        return false;
    Statement journal(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                          "lower(name) = 'journal'");
    return journal.Step();
}

// Begins the walker's read on other at once, or not at all: while db holds
// its read lock, a writer waiting to commit holds off every new reader, and
// would itself wait for db, which would wait for the walk.
bool BeginReadAtOnce(sqlite3* other) {
    sqlite3_busy_timeout(other, 0);
    // A walk in order reads each page once: a small cache does. (Set before
    // the read, but it reads the schema already.)
    sqlite3_exec(other, "PRAGMA cache_size = -512", nullptr, nullptr, nullptr);
    const bool begun = sqlite3_exec(other, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK &&
                       sqlite3_exec(other, "SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                                    nullptr) == SQLITE_OK;
    sqlite3_busy_timeout(other, 5000);
    return begun;
}

// The walker's thread: the journal walked on other, the readings fed to it.
void WalkFed(sqlite3* other, FedRows& fed, const std::atomic<bool>* cancelled,
             const std::atomic<bool>* stop, Verification& verdict, std::exception_ptr& failure) {
    try {
        Verifier verifier(other, cancelled, false, nullptr);
        verifier.Feed(&fed, stop);
        verdict = verifier.Run();
    } catch (...) {
        failure = std::current_exception();
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    fed.Close();
}

// Steps every reading (each handed on by the statement where rows are
// shared), feeding the walk while it wants them.
void FeedReadings(Statement& readings, FedRows& fed, bool shared) {
    while (readings.Step()) {
        if (fed.Wanted())
            fed.Add(readings);
        else if (!shared)
            break;
    }
    fed.End(readings.Error());
}

// The walk on two cores: the journal is walked on a connection of its own
// on a thread of its own, while this one steps the readings (handing them
// to rows as well) and feeds the walk their copies. Answers nothing where
// the two connections might not read one moment of the file, or where the
// file lacks what the walk reads: the walk on one connection then answers
// as it always has.
std::optional<Verification> WalkBeside(sqlite3* db, const QString& path,
                                       const std::atomic<bool>* cancelled,
                                       const Database::RowViewVisitor* rows) {
    if (!OneMomentBeside(db))
        return std::nullopt;
    Statement readings(db, rows ? AllReadings : VerifiedReadings);
    if (!readings.Ok())
        return std::nullopt;
    if (rows) {
        const auto places = VerifiedPlaces(readings);
        if (!places)
            return std::nullopt;
        readings.ShareRows(
            *places, [rows](sqlite3_stmt* statement) { (*rows)(Database::RowView(statement)); });
    }
    sqlite3* other = nullptr;
    try {
        other = OpenForReading(path);
    } catch (const DatabaseError&) {
        return std::nullopt;
    }
    if (!BeginReadAtOnce(other)) {
        sqlite3_close(other);
        return std::nullopt;
    }
    FedRows fed;
    Verification verdict;
    std::exception_ptr failure;
    std::atomic<bool> stop{false};
    std::thread walker([&] { WalkFed(other, fed, cancelled, &stop, verdict, failure); });
    const auto finish = [&] {
        walker.join();
        sqlite3_close(other);
    };
    try {
        FeedReadings(readings, fed, rows != nullptr);
    } catch (...) {
        stop = true;
        fed.End(QStringLiteral("the export stopped"));
        finish();
        throw;
    }
    finish();
    if (failure)
        std::rethrow_exception(failure);
    // A read that failed is the other reader's failure too.
    if (rows && !readings.Error().isEmpty())
        throw DatabaseError(sqlite3_errcode(db), readings.Error());
    return verdict;
}

// The file's structure checked beside the walk, on a connection and thread
// of its own: two passes over the file at the time of one where there are
// two cores.
class StructureBeside {
public:
    explicit StructureBeside(const QString& path) : thread([this, path] { Check(path); }) {}
    ~StructureBeside() { Stop(); }
    StructureBeside(const StructureBeside&) = delete;
    StructureBeside& operator=(const StructureBeside&) = delete;

    // Ends the check early; what it found is then of no use.
    void Stop() {
        stop = true;
        if (thread.joinable())
            thread.join();
    }
    // The damage found, empty when the file is sound. Throws what kept the
    // check from reading the file.
    QString Found() {
        thread.join();
        if (unreadable)
            std::rethrow_exception(unreadable);
        return damage;
    }

private:
    void Check(const QString& path) {
        sqlite3* check = nullptr;
        try {
            check = OpenForReading(path);
            sqlite3_progress_handler(
                check, 10000,
                [](void* flags) -> int {
                    const auto* stopped = static_cast<const std::atomic<bool>*>(flags);
                    return stopped->load(std::memory_order_relaxed) ? 1 : 0;
                },
                &stop);
            damage = Damage(check);
        } catch (...) {
            unreadable = std::current_exception();
        }
        sqlite3_close(check);
    }

    QString damage;
    std::exception_ptr unreadable;
    std::atomic<bool> stop{false};
    // Last: started once the rest is made.
    std::thread thread;
};

Verification VerifyOn(sqlite3* db, const std::atomic<bool>* cancelled, bool integrity,
                      const Database::RowViewVisitor* rows = nullptr,
                      const QString& path = QString()) {
    // One read transaction: the journal and the readings are one moment of
    // the file, whatever a writer does meanwhile.
    const bool own = sqlite3_get_autocommit(db) != 0;
    if (own)
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    Verification result;
    try {
        std::optional<Verification> beside;
        if (!path.isEmpty())
            beside = WalkBeside(db, path, cancelled, rows);
        result = beside ? *beside : Verifier(db, cancelled, integrity, rows).Run();
    } catch (...) {
        if (own)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    if (own)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return result;
}

} // namespace

Verification Verify(Database& database, const std::atomic<bool>* cancelled) {
    return VerifyOn(database.Handle(), cancelled, true);
}

Verification VerifyFile(const QString& path, const std::atomic<bool>* cancelled, Cores cores) {
    return VerifyFile(path, Database::RowViewVisitor(), cancelled, cores);
}

Verification VerifyFile(const QString& path, const Database::RowViewVisitor& rows,
                        const std::atomic<bool>* cancelled, Cores cores) {
    sqlite3* db = OpenForReading(path);
    // The rows are stepped in order, each page once or nearly: a small
    // cache does, and keeps the memory low. (Not the structure check's,
    // which goes back and forth through the trees: with a small cache it
    // holds its read lock, and so a writer, many times as long.)
    sqlite3_exec(db, "PRAGMA cache_size = -512", nullptr, nullptr, nullptr);
    // Reading the schema tells a database from any other file.
    char* error = nullptr;
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error) !=
        SQLITE_OK) {
        const int code = sqlite3_errcode(db);
        const QString message = QString::fromUtf8(error ? error : sqlite3_errstr(code));
        sqlite3_free(error);
        sqlite3_close(db);
        throw DatabaseError(code, message + QStringLiteral(": ") + path, message);
    }
    StructureBeside structure(path);
    Verification result;
    try {
        result = VerifyOn(db, cancelled, false, rows ? &rows : nullptr,
                          cores == Cores::Two ? path : QString());
    } catch (...) {
        structure.Stop();
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    if (result.cancelledEarly) {
        structure.Stop();
        return result;
    }
    const QString damage = structure.Found();
    if (!damage.isEmpty() && result.state != Verification::State::NoJournal) {
        result.state = Verification::State::Broken;
        result.where = damage;
    }
    return result;
}

} // namespace Pomiar::SeriesJournal
