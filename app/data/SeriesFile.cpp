#include "SeriesFile.h"

#include "CodePage1250.h"
#include "Database.h"
#include "FileLock.h"
#include "MeasurementStore.h"
#include "SeriesJournal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace Pomiar::SeriesFile {

namespace {

constexpr int yieldEveryMs = 30;
constexpr qsizetype csvChunk = 1 << 16;
const char* const companions[] = {"-wal", "-shm", "-journal"};

// The series file's own tables, named and cased as the format has them; the
// working database's cycle table does not belong in it.
const char* const seriesTables[] = {
    "CREATE TABLE Pomiary (Lp INTEGER, data TEXT, Godzina TEXT, Timer INTEGER, Masa REAL, "
    "Jm TEXT, LpTekst TEXT, Nr_wagi TEXT, status TEXT, Opis TEXT)",
    "CREATE TABLE Temp (Lp1 INTEGER, data1 TEXT, Godzina1 TEXT, Timer1 INTEGER, Masa1 REAL, "
    "Jm1 TEXT, Opis1 TEXT, Lp2 INTEGER, data2 TEXT, Godzina2 TEXT, Timer2 INTEGER, Masa2 REAL, "
    "Jm2 TEXT, Opis2 TEXT)",
    "CREATE TABLE Raport (Raport TEXT)",
};

// The most of a source read in place (PRAGMA mmap_size) while it is saved.
constexpr qint64 maxMappedBytes = qint64(1) << 30;

// Rows copied between two looks at the event loop and the Escape key.
constexpr int copyBlockRows = 2000;

// A long series is saved in pages of 16 KB: a quarter of the pages to
// fill and link, which makes its save about a fifth faster. A short one
// keeps the engine's 4 KB, so that its few tables do not each take 16 KB.
constexpr int longSeriesRows = 10000;
constexpr int longSeriesPageBytes = 16384;

// One name per target: a save cut short leaves at most this file and its
// journal, which the next save of the target clears.
QString PartPath(const QString& path) {
    return path + QStringLiteral(".part");
}

// The series file's own columns, which the program reads and writes.
const char* const seriesColumns[] = {"Lp", "data",    "Godzina", "Timer", "Masa",
                                     "Jm", "LpTekst", "Nr_wagi", "Opis"};

// A failed file operation, told by the system's text for it.
class FileError : public std::runtime_error {
public:
    explicit FileError(const QString& reason) : std::runtime_error(reason.toStdString()) {}
};

QString SystemText(int number) {
    return QString::fromLocal8Bit(std::strerror(number));
}

bool HasCompanions(const QString& path) {
    for (const char* suffix : companions)
        if (QFileInfo::exists(path + QLatin1String(suffix)))
            return true;
    return false;
}

void RemoveWithCompanions(const QString& path) {
    QFile::remove(path);
    for (const char* suffix : companions)
        QFile::remove(path + QLatin1String(suffix));
}

bool SameFile(const QString& a, const QString& b) {
    const QString first = QFileInfo(a).canonicalFilePath();
    return !first.isEmpty() && first == QFileInfo(b).canonicalFilePath();
}

// The source attached to the empty target as "zrodlo", and the target's
// pages sized for a series of rows readings.
void AttachSource(Database& source, Database& target, int rows) {
    target.Execute(QStringLiteral("ATTACH DATABASE ? AS zrodlo"), {source.Path()});
    // Read in place from the system's cache rather than a page at a time
    // into the engine's own: the whole source is read once.
    target.Scalar(QStringLiteral("PRAGMA zrodlo.mmap_size=%1")
                      .arg(std::min<qint64>(QFileInfo(source.Path()).size(), maxMappedBytes)));
    if (rows > longSeriesRows)
        target.Scalar(QStringLiteral("PRAGMA page_size=%1").arg(longSeriesPageBytes));
}

// False when the progress asked to stop; the target then holds nothing.
// The rows go across in blocks inside the database engine, which copies far
// faster than row by row, while every row still counts for the progress.
bool CopySeries(Database& source, Database& target, Progress* progress) {
    const int rows = source.Scalar(QStringLiteral("SELECT count(*) FROM pomiary")).toInt();
    ProgressShown shown(progress, ProgressCaption::SavingSeries, rows);
    AttachSource(source, target, rows);
    target.Begin();
    for (const char* table : seriesTables)
        target.Execute(QString::fromLatin1(table));
    target.Execute(QStringLiteral(
        "INSERT INTO Raport (Raport) SELECT Raport FROM zrodlo.raport ORDER BY rowid LIMIT 1"));
    // The series' journal goes along whole, so that the file proves itself.
    if (source.HasTable(QStringLiteral("journal"))) {
        SeriesJournal::Create(target);
        target.Execute(QStringLiteral("INSERT INTO journal SELECT * FROM zrodlo.journal"));
    }

    // An empty description is saved as a single blank; a missing one stays
    // missing. The status is "0" but for a reading's mark, which stays.
    const QString copyBlock = QStringLiteral(
        "INSERT INTO Pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, status, Opis) "
        "SELECT Lp, data, CASE WHEN substr(Godzina, 20, 1) = '.' THEN substr(Godzina, 1, 19) "
        "ELSE Godzina END, Timer, Masa, Jm, LpTekst, Nr_wagi, coalesce(status, '0'), "
        "CASE WHEN Opis = '' THEN ' ' ELSE Opis END FROM zrodlo.pomiary "
        "WHERE rowid > ? AND rowid <= ? ORDER BY rowid");
    const QString blockEnd = QStringLiteral(
        "SELECT rowid FROM zrodlo.pomiary WHERE rowid > ? ORDER BY rowid LIMIT 1 OFFSET ?");
    const auto detach = [&target] { target.Execute(QStringLiteral("DETACH DATABASE zrodlo")); };
    int written = 0;
    qint64 after = std::numeric_limits<qint64>::min();
    QElapsedTimer sinceYield;
    sinceYield.start();
    while (written < rows) {
        const int block = std::min(copyBlockRows, rows - written);
        for (int step = written; step < written + block; ++step) {
            if (progress && !progress->Step(step)) {
                target.Rollback();
                detach();
                return false;
            }
        }
        const QVariant last = target.Scalar(blockEnd, {after, block - 1});
        const qint64 until =
            last.isValid() ? last.toLongLong() : std::numeric_limits<qint64>::max();
        target.Execute(copyBlock, {after, until});
        after = until;
        written += block;
        // Events run every few milliseconds so that Escape is seen.
        if (sinceYield.elapsed() >= yieldEveryMs) {
            QCoreApplication::processEvents();
            sinceYield.restart();
        }
    }
    target.Commit();
    detach();
    return true;
}

void SyncPath(const QByteArray& path, int flags) {
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// A journal or WAL left by the old file would be played into the new file
// of the same name when it is next opened. The old file is recovered first
// (it stays whole should the rename fail); whatever still lies there is
// stale and goes.
void SettleOldFile(const QString& path) {
    if (!HasCompanions(path))
        return;
    try {
        Database old(path, Database::Journal::Rollback);
    } catch (const DatabaseError&) {
    }
    for (const char* suffix : companions)
        QFile::remove(path + QLatin1String(suffix));
}

// The file a save replaces, held open across the rename: the system gives
// its blocks back when the last descriptor goes, which then happens on a
// thread of its own instead of inside the rename (milliseconds for a long
// series, which the save would wait for). Nothing else in this program has
// the file open (a target in use is refused), so closing drops no lock.
class ReplacedFile {
public:
    explicit ReplacedFile(const QByteArray& path)
        : descriptor(::open(path.constData(), O_RDONLY | O_CLOEXEC)) {}
    ~ReplacedFile() {
        if (descriptor >= 0)
            std::thread([descriptor = descriptor] { ::close(descriptor); }).detach();
    }
    ReplacedFile(const ReplacedFile&) = delete;
    ReplacedFile& operator=(const ReplacedFile&) = delete;

private:
    int descriptor;
};

void Replace(const QString& part, const QString& path) {
    const QByteArray from = QFile::encodeName(part);
    const QByteArray to = QFile::encodeName(path);
    SyncPath(from, O_RDONLY);
    SettleOldFile(path);
    const ReplacedFile old(to);
    if (::rename(from.constData(), to.constData()) != 0)
        throw FileError(SystemText(errno));
    SyncPath(QFile::encodeName(QFileInfo(path).absolutePath()), O_RDONLY | O_DIRECTORY);
}

// A stored time with a fraction of a second, as older files hold, in whole
// seconds like the rest; anything that does not read as a time as stored.
QString WholeSecondsTime(const QString& stored) {
    const QDateTime time = Database::ParseDateTime(stored);
    return time.isValid() ? Database::DateTimeText(time) : stored;
}

void AppendAscii(QString& line, const char* text, qsizetype size) {
    line += QLatin1StringView(text, size);
}

void AppendAscii(QByteArray& line, const char* text, qsizetype size) {
    line.append(text, size);
}

// The form a real takes in the export (CsvNumber), added to a line of text
// or of UTF-8 bytes; the locale's separator is looked up once per export,
// not once per number.
template <typename Line> void AppendCsvNumber(Line& line, double value, const Line& decimalPoint) {
    if (!std::isfinite(value)) {
        const QByteArray text = QByteArray::number(value);
        AppendAscii(line, text.constData(), text.size());
        return;
    }
    // The 15 significant digits a double holds for certain; shortest form of
    // that value, so 0.1 stays "0.1" and 12.3456 stays "12.3456". The
    // conversions ignore the C locale, which the desktop may have set.
    char digits[400];
    auto written =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 15);
    double rounded = value;
    std::from_chars(digits, written.ptr, rounded);
    // A value exactly halfway between two 15-digit numbers is rounded away
    // from zero, as the export always did; the engine's conversion above
    // rounds such a tie to even.
    written =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::scientific, 15);
    double sixteen = 0;
    std::from_chars(digits, written.ptr, sixteen);
    if (sixteen == value && *(std::find(digits, written.ptr, 'e') - 1) == '5')
        rounded = QString::number(value, 'g', 15).toDouble();
    if (rounded == 0)
        rounded = 0; // no "-0"
    // The shortest digits that read back as the value, laid out without an
    // exponent: zeros fill in up to the point, never further digits.
    written = std::to_chars(digits, digits + sizeof digits, rounded, std::chars_format::scientific);
    const char* c = digits;
    if (*c == '-') {
        AppendAscii(line, "-", 1);
        ++c;
    }
    const char* exponent = std::find(c, static_cast<const char*>(written.ptr), 'e');
    char plain[32];
    int count = 0;
    for (const char* d = c; d != exponent; ++d) {
        if (*d != '.')
            plain[count++] = *d;
    }
    int power = 0;
    std::from_chars(exponent + (exponent[1] == '+' ? 2 : 1), written.ptr, power);
    // Digits before the point: power + 1 (none when the value is below 1).
    if (power < 0) {
        AppendAscii(line, "0", 1);
        line += decimalPoint;
        for (int k = 0; k < -power - 1; ++k)
            AppendAscii(line, "0", 1);
        AppendAscii(line, plain, count);
        return;
    }
    const int whole = power + 1;
    AppendAscii(line, plain, std::min(count, whole));
    for (int k = count; k < whole; ++k)
        AppendAscii(line, "0", 1);
    if (count > whole) {
        line += decimalPoint;
        AppendAscii(line, plain + whole, count - whole);
    }
}

// A field of the export in UTF-8, read straight from the engine's row: the
// texts go across as the engine holds them, with no text object per field.
// A text as it is (as exports always had it), unless it holds a line end:
// then quoted, its quotes doubled, so that no cell can forge another row.
void AppendCsvText(QByteArray& line, QByteArrayView text) {
    const auto special = [](char c) { return c == '\r' || c == '\n'; };
    if (std::none_of(text.begin(), text.end(), special)) {
        line.append(text);
        return;
    }
    line += '"';
    for (const char c : text) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

// A row read elsewhere, copied as typed cells into a batch of bytes that
// goes to the thread writing the CSV: per cell a type byte, then the
// number's 8 bytes or a text's length (4 bytes) and bytes.
class CopiedRow {
public:
    using Type = Database::RowView::Type;
    static void Append(std::string& batch, const Database::RowView& row) {
        const int count = row.Columns();
        for (int i = 0; i < count; ++i) {
            const Type type = row.TypeOf(i);
            batch += char(type);
            switch (type) {
            case Type::Null:
                break;
            case Type::Integer: {
                const qint64 value = row.Integer(i);
                batch.append(reinterpret_cast<const char*>(&value), sizeof value);
                break;
            }
            case Type::Real: {
                const double value = row.Real(i);
                batch.append(reinterpret_cast<const char*>(&value), sizeof value);
                break;
            }
            case Type::Text:
            case Type::Blob: {
                const QByteArray blob = type == Type::Blob ? row.Blob(i) : QByteArray();
                const std::string_view bytes =
                    type == Type::Blob ? std::string_view(blob.constData(), size_t(blob.size()))
                                       : row.TextBytes(i);
                const auto size = quint32(bytes.size());
                batch.append(reinterpret_cast<const char*>(&size), sizeof size);
                batch.append(bytes);
                break;
            }
            }
        }
    }
    // Reads the row at `at` in batch, of count cells; answers where the
    // next row begins.
    size_t Read(const std::string& batch, size_t at, int count) {
        cells.resize(size_t(count));
        for (Cell& cell : cells) {
            cell.type = Type(batch[at++]);
            cell.at = at;
            switch (cell.type) {
            case Type::Null:
                cell.size = 0;
                break;
            case Type::Integer:
            case Type::Real:
                cell.size = 8;
                break;
            case Type::Text:
            case Type::Blob: {
                quint32 size = 0;
                std::memcpy(&size, batch.data() + at, sizeof size);
                cell.at = at + sizeof size;
                cell.size = size;
                break;
            }
            }
            at = cell.at + cell.size;
        }
        data = batch.data();
        return at;
    }
    Type TypeOf(int column) const { return cells[size_t(column)].type; }
    qint64 Integer(int column) const { return ValueAt<qint64>(column); }
    double Real(int column) const { return ValueAt<double>(column); }
    std::string_view TextBytes(int column) const {
        return {data + cells[size_t(column)].at, cells[size_t(column)].size};
    }
    QByteArrayView Blob(int column) const {
        return {data + cells[size_t(column)].at, qsizetype(cells[size_t(column)].size)};
    }

private:
    template <typename Number> Number ValueAt(int column) const {
        Number value{};
        std::memcpy(&value, data + cells[size_t(column)].at, sizeof value);
        return value;
    }
    struct Cell {
        Type type = Type::Null;
        size_t at = 0;
        size_t size = 0;
    };
    std::vector<Cell> cells;
    const char* data = nullptr;
};

template <typename Row>
void AppendField(QByteArray& line, const Row& row, int column, const QByteArray& decimalPoint,
                 bool isTime) {
    using Type = Database::RowView::Type;
    switch (row.TypeOf(column)) {
    case Type::Null:
        return;
    case Type::Real:
        AppendCsvNumber(line, row.Real(column), decimalPoint);
        return;
    case Type::Integer: {
        char digits[24];
        const auto written = std::to_chars(digits, digits + sizeof digits, row.Integer(column));
        line.append(digits, written.ptr - digits);
        return;
    }
    case Type::Blob:
        AppendCsvText(line, row.Blob(column));
        return;
    case Type::Text: {
        const std::string_view text = row.TextBytes(column);
        // Only a time longer than whole seconds is read, the rest is as
        // stored (a time is plain ASCII: as many bytes as characters).
        if (isTime && text.size() > 19)
            line +=
                WholeSecondsTime(QString::fromUtf8(text.data(), qsizetype(text.size()))).toUtf8();
        else
            AppendCsvText(line, QByteArrayView(text.data(), qsizetype(text.size())));
        return;
    }
    }
}

[[noreturn]] void CannotWrite(const QString& reason) {
    throw FileError(reason);
}

// Takes back what a failed export appended.
void Undo(QFile& file, const QString& path, bool existed, qint64 sizeBefore) {
    file.close();
    if (existed)
        QFile::resize(path, sizeBefore);
    else
        QFile::remove(path);
}

} // namespace

SaveResult ZapiszSerie(Database& source, const QString& path, Progress* progress, QString* error) {
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return SaveResult::Failed;
    };
    if (SameFile(source.Path(), path) || FileLock::InUse(path))
        return fail(QStringLiteral("The file is in use: %1").arg(path));

    const QString part = PartPath(path);
    // The part file exists before it is locked, and is locked before it is
    // cleared: another save of the same name meanwhile is refused, not
    // overwritten.
    {
        QFile created(part);
        if (!created.open(QIODevice::ReadWrite))
            return fail(created.errorString());
    }
    const FileLock partLock(part, FileLock::Mode::Exclusive);
    if (!partLock.Held())
        return fail(QStringLiteral("The file is in use: %1").arg(path));
    try {
        // A journal left by a save cut short would be played into the new file.
        for (const char* suffix : companions)
            QFile::remove(part + QLatin1String(suffix));
        if (!QFile::resize(part, 0))
            throw FileError(SystemText(errno));
        bool complete;
        {
            // Filled once in one transaction: no log to fold back, no free
            // pages to compact away. A fill cut short leaves a part file
            // that is thrown away, so it needs no journal; the complete
            // file is flushed once, before it takes the target's name.
            Database target(part, Database::Journal::None);
            complete = CopySeries(source, target, progress);
        } // closing leaves one self-contained file without a journal
        if (!complete) {
            RemoveWithCompanions(part);
            return SaveResult::Cancelled;
        }
        Replace(part, path);
    } catch (const std::exception& exception) {
        RemoveWithCompanions(part);
        return fail(FailureReason(exception));
    }
    return SaveResult::Completed;
}

QString FailureReason(const std::exception& failure) {
    if (const auto* database = dynamic_cast<const DatabaseError*>(&failure))
        return database->Reason();
    return QString::fromLocal8Bit(failure.what());
}

namespace {

bool HoldsASeries(Database& file) {
    if (!file.HasTable(QStringLiteral("raport")) || !file.HasTable(QStringLiteral("pomiary")))
        return false;
    const QStringList columns = file.ColumnsOf(QStringLiteral("SELECT * FROM pomiary"));
    return std::all_of(std::begin(seriesColumns), std::end(seriesColumns), [&](const char* column) {
        return columns.contains(QLatin1String(column), Qt::CaseInsensitive);
    });
}

// A connection that may write writes nothing to such a file until asked:
// it has no log to fold back, no journal to roll back and no mode to leave.
bool QuietToWrite(const QString& path, const QByteArray& header) {
    return header.size() >= 20 && header.startsWith(QByteArrayLiteral("SQLite format 3\0")) &&
           header[18] == 1 && header[19] == 1 &&
           !QFile::exists(path + QStringLiteral("-journal")) &&
           !QFile::exists(path + QStringLiteral("-wal"));
}

} // namespace

FileState Examine(const QString& path, QString* reason, std::unique_ptr<Database>* toWrite) {
    QByteArray header;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            if (reason)
                *reason = file.errorString();
            return FileState::Unreadable;
        }
        // An empty file would read as an empty database.
        if (file.size() == 0)
            return FileState::NotASeriesFile;
        header = file.read(20);
    }
    // Asked of the system, not tried: a trial write makes the engine create
    // and delete a journal beside the file, and opens the file once more,
    // before its first rows are shown. The engine writes the file and a
    // journal in its folder: both must take writes (a read-only mount
    // refuses either).
    const QByteArray name = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const bool writable = ::access(name.constData(), R_OK | W_OK) == 0 &&
                          ::access(folder.constData(), W_OK | X_OK) == 0;
    const bool handOut = toWrite && writable && QuietToWrite(path, header);
    try {
        auto file = std::make_unique<Database>(path, Database::Journal::Rollback,
                                               handOut ? Database::Access::ReadWrite
                                                       : Database::Access::ReadOnly);
        if (!HoldsASeries(*file))
            return FileState::NotASeriesFile;
        if (handOut)
            *toWrite = std::move(file);
    } catch (const DatabaseError& failure) {
        if (failure.code != SQLITE_NOTADB) {
            if (reason)
                *reason = failure.Reason();
            return FileState::Unreadable;
        }
        return FileState::NotASeriesFile;
    }
    return writable ? FileState::Writable : FileState::ReadOnly;
}

void EksportCSV(Database& source, const QString& path,
                const std::function<QString(const QString& columnName)>& caption,
                const QLocale& locale, const QString& trailer) {
    EksportCSV(
        [&source](const Database::RowViewVisitor& visit) {
            source.QueryRows(QStringLiteral("SELECT * FROM pomiary"), visit);
        },
        path, caption, locale, [&trailer] { return trailer; });
}

// The thread that turns copied rows into the CSV file, a batch at a time,
// while the reader goes on: at most a few batches wait, so memory stays
// bounded whatever the length. A failure stops it and is passed on.
class CsvWriterThread {
public:
    using Batch = std::string;
    explicit CsvWriterThread(std::function<void(const Batch&)> write) : write(std::move(write)) {
        thread = std::thread([this] { run(); });
    }
    ~CsvWriterThread() {
        try {
            Finish();
        } catch (...) {
            // Told to the reader already, or not wanted: it failed itself.
        }
    }
    // Hands a full batch over; throws what the writer failed with.
    void Push(Batch& batch) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return queue.size() < maxWaiting || failure; });
        if (failure)
            std::rethrow_exception(failure);
        queue.push_back(std::move(batch));
        batch = Batch();
        batch.reserve(batchBytes + 4096);
        changed.notify_all();
    }
    // Waits for the batches handed over; throws what the writer failed with.
    void Finish() {
        {
            std::lock_guard lock(mutex);
            if (finished)
                return;
            finished = true;
            changed.notify_all();
        }
        thread.join();
        if (failure)
            std::rethrow_exception(failure);
    }

    static constexpr size_t batchBytes = 1 << 18;

private:
    static constexpr size_t maxWaiting = 4;
    void run() {
        for (;;) {
            Batch batch;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return !queue.empty() || finished; });
                if (queue.empty())
                    return;
                batch = std::move(queue.front());
                queue.pop_front();
                changed.notify_all();
            }
            try {
                write(batch);
            } catch (...) {
                std::lock_guard lock(mutex);
                failure = std::current_exception();
                queue.clear();
                changed.notify_all();
                return;
            }
        }
    }
    std::function<void(const Batch&)> write;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Batch> queue;
    bool finished = false;
    std::exception_ptr failure;
    std::thread thread;
};

namespace {

// The CSV file as it is written: opened with the first row, so a series
// without rows leaves it as it was; rows gather as UTF-8 and go to the code
// page a buffer at a time; a failure undoes what was appended.
class CsvFile {
public:
    CsvFile(const QString& path, const QLocale& locale)
        : path(path), file(path), decimalPoint(locale.decimalPoint().toUtf8()) {}

    bool Opened() const { return count >= 0; }

    // Captions only for a new file: one appended to has its header.
    void Open(const Database::RowView& row,
              const std::function<QString(const QString& columnName)>& caption) {
        existed = QFileInfo::exists(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            CannotWrite(file.errorString());
        sizeBefore = file.size();
        block.reserve(csvChunk + 256);
        count = row.Columns();
        QStringList captions;
        for (int i = 0; i < count; ++i) {
            const QString column = row.Name(i);
            if (!existed)
                captions << caption(column);
            if (time < 0 && column.compare(QLatin1String("godzina"), Qt::CaseInsensitive) == 0)
                time = i;
        }
        if (!existed)
            AppendLine(captions.join(';'));
    }

    void AppendRows(const CsvWriterThread::Batch& rows) {
        for (size_t at = 0; at < rows.size();) {
            at = copied.Read(rows, at, count);
            for (int i = 0; i < count; ++i) {
                if (i > 0)
                    block += ';';
                AppendField(block, copied, i, decimalPoint, i == time);
            }
            block += "\r\n";
            if (block.size() >= csvChunk)
                Flush();
        }
    }

    void AppendLine(const QString& line) { block += (line + QStringLiteral("\r\n")).toUtf8(); }

    void Flush() {
        const QByteArray bytes = CodePage1250::Encode(QString::fromUtf8(block));
        if (file.write(bytes) != bytes.size())
            CannotWrite(file.errorString());
        block.resize(0); // keeps its room for the next buffer
    }

    void Sync() {
        if (::fsync(file.handle()) != 0 && errno != EINVAL)
            CannotWrite(SystemText(errno));
    }

    void UndoAppended() {
        if (file.isOpen())
            Undo(file, path, existed, sizeBefore);
    }

private:
    QString path;
    QFile file;
    QByteArray decimalPoint;
    bool existed = false;
    qint64 sizeBefore = 0;
    QByteArray block;
    int count = -1;
    int time = -1;
    CopiedRow copied;
};

} // namespace

void EksportCSV(const std::function<void(const Database::RowViewVisitor&)>& readRows,
                const QString& path,
                const std::function<QString(const QString& columnName)>& caption,
                const QLocale& locale, const std::function<QString()>& trailer) {
    CsvFile csv(path, locale);
    // The reader copies its rows; this thread's twin formats and writes them.
    std::optional<CsvWriterThread> writer;
    CsvWriterThread::Batch batch;
    try {
        readRows([&](const Database::RowView& row) {
            if (!csv.Opened()) {
                csv.Open(row, caption);
                batch.reserve(CsvWriterThread::batchBytes + 4096);
                writer.emplace(
                    [&csv](const CsvWriterThread::Batch& rows) { csv.AppendRows(rows); });
            }
            CopiedRow::Append(batch, Database::RowView(row));
            if (batch.size() >= CsvWriterThread::batchBytes)
                writer->Push(batch);
        });
        if (!csv.Opened())
            return;
        if (!batch.empty())
            writer->Push(batch);
        writer->Finish();
        const QString last = trailer ? trailer() : QString();
        if (!last.isEmpty())
            csv.AppendLine(last);
        csv.Flush();
        csv.Sync();
    } catch (const std::runtime_error&) {
        if (writer) {
            try {
                writer->Finish();
            } catch (const std::runtime_error&) {
            }
        }
        csv.UndoAppended();
        throw;
    }
}

QString CsvNumber(double value, const QLocale& locale) {
    QString text;
    AppendCsvNumber(text, value, locale.decimalPoint());
    return text;
}

bool FastExportInForce(bool enabled, const QString& name) {
    return enabled && !name.isEmpty();
}

QString FastExportPath(const QString& programFolder, const QString& name) {
    return programFolder + QLatin1Char('/') + name + QStringLiteral(".csv");
}

QString WithEnding(const QString& chosen, const QString& chosenFilter) {
    const QString last = chosen.right(4);
    if (chosen.isEmpty() || last == QLatin1String(".ser") || last == QLatin1String(".csv"))
        return chosen;
    static const QRegularExpression ending(QStringLiteral(R"(\(\*(\.\w+)\))"));
    QString found;
    for (auto it = ending.globalMatch(chosenFilter); it.hasNext();)
        found = it.next().captured(1);
    return chosen + found;
}

} // namespace Pomiar::SeriesFile
