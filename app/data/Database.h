#pragma once

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace Pomiar {

// The working database and every series file: an SQLite file with the
// tables pomiary, temp, raport and cykl (names match without regard to
// case). The few statements of the program are written as the program has
// always written them and translated here, in one place.
//
// Journal: the working database runs in WAL mode with synchronous=NORMAL,
// so that one appended reading costs no disk flush and a crash of the
// program loses no committed row. A series file runs with a rollback
// journal and full sync instead: it is one complete, self-contained file
// after every stored reading, so a copy taken while it is bound (the usual
// way to hand a series to a colleague) holds every reading and opens from
// read-only media. Closing checkpoints a WAL into the file and turns the
// file back to a rollback journal; when another connection still has the
// file open, the last one to close does this.
//
// Row order: the tables carry no index, so a query without ORDER BY can only
// scan the table, which SQLite does in rowid (insertion) order; VACUUM keeps
// that order. Adding an index to pomiary or cykl would give up this
// guarantee for queries the index covers.
class Database {
public:
    // Opens (creating when missing) the file. Throws DatabaseError, also when
    // the file exists but is not a database (the file is left untouched).
    // How writes reach the file: through a write-ahead log (the working
    // database, which stays open and takes many small writes), or straight
    // into the file, flushed at every commit (series files), or with no
    // journal and no flush at all: a new file filled once, which its writer
    // throws away when the fill fails and flushes itself when it is done
    // (a series file being saved).
    enum class Journal { WriteAhead, Rollback, None };
    // ReadOnly neither creates the file nor writes to it, not even its
    // journal mode; the journal is then left as the file has it.
    enum class Access { ReadWrite, ReadOnly };
    explicit Database(const QString& path, Journal journal = Journal::WriteAhead,
                      Access access = Access::ReadWrite);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    QString Path() const { return path; }

    // "DELETE * FROM t" -> "DELETE FROM t"; "select top N ..." -> "... LIMIT N";
    // everything else unchanged.
    static QString Translate(const QString& statement);

    // Runs a statement (translated); positional parameters bind in order.
    // Answers the rows changed. Throws DatabaseError.
    //
    // Parameters: a null QVariant binds NULL; integers and bool bind as
    // integers, float and double as reals, QString as UTF-8 text (an empty
    // string stays an empty text), QByteArray as a blob, QDate and QDateTime
    // as DateText/DateTimeText (invalid ones as NULL), QTime as "HH:mm:ss".
    // A statement text holds exactly one statement; its prepared form is
    // kept for the next call with the same text.
    int Execute(const QString& statement, const QVariantList& parameters = {});

    // Runs a query (translated) and answers all its rows. Column names as the
    // query gives them. Throws DatabaseError.
    // Values come back as qlonglong, double, QString, QByteArray, or a null
    // QVariant for NULL.
    struct Rows {
        QStringList columns;
        std::vector<QVariantList> rows;
        int Column(const QString& name) const; // -1 when absent; case-insensitive
    };
    Rows Query(const QString& statement, const QVariantList& parameters = {});

    // The same, one row at a time, for results too long to hold twice.
    // Answers the column names.
    QStringList ColumnsOf(const QString& statement);
    using RowVisitor = std::function<void(const QVariantList& row)>;
    QStringList QueryEach(const QString& statement, const RowVisitor& visit,
                          const QVariantList& parameters = {});

    // The same without a QVariant per value, for passes over a whole long
    // series: each row is read where the engine holds it, while it is the
    // current one.
    class RowView {
    public:
        enum class Type { Null, Integer, Real, Text, Blob };
        // The current row of statement; columns: how many of its first
        // columns the view shows (all when negative).
        explicit RowView(sqlite3_stmt* statement, int columns = -1)
            : statement(statement), columns(columns) {}
        int Columns() const;
        QString Name(int column) const;
        Type TypeOf(int column) const;
        qint64 Integer(int column) const;
        double Real(int column) const; // NULL as 0, an integer as its value
        QString Text(int column) const;
        // The stored text's UTF-8 bytes, valid while the row is current.
        std::string_view TextBytes(int column) const;
        QByteArray Blob(int column) const;

    private:
        friend class Database;
        sqlite3_stmt* statement;
        int columns;
    };
    using RowViewVisitor = std::function<void(const RowView& row)>;
    QStringList QueryRows(const QString& statement, const RowViewVisitor& visit,
                          const QVariantList& parameters = {});

    // A single value (first column of the first row), or an invalid QVariant.
    QVariant Scalar(const QString& statement, const QVariantList& parameters = {});

    // Creates the tables the program needs that are missing: pomiary, temp,
    // raport (the columns of the series files, in their order) and cykl.
    void CreateSchema();
    bool HasTable(const QString& name);

    // Writes that belong together. Begin takes the write lock at once, so a
    // transaction never fails half-way for want of it. Rollback without an
    // open transaction (SQLite already rolled it back after an error) does
    // nothing.
    void Begin();
    void Commit();
    void Rollback();
    bool InTransaction() const;

    // Rowid of the row inserted last on this connection.
    qint64 LastInsertRowId() const;

    // Compacts the file in place (VACUUM): the file is complete at every moment.
    void Compact();

    // Whether writes reach the file: false for a read-only open, a file or
    // folder the system lets us only read, or read-only media. Tried with a
    // write that is rolled back, so the file itself stays as it is. Inside a
    // transaction the file is written already.
    bool Writable();

    // Dates are stored as ISO text: "2026-12-07" and "2026-12-07 10:15:30",
    // in whole seconds whatever way the reading came (a fraction is cut, as
    // the grid and the exports show whole seconds). Readings within one
    // second keep their order by row, which the chart uses as tie-break.
    static QString DateText(const QDate& date);
    // A date, date-time or time as the text it is stored as; null where invalid.
    static QString StampText(const QVariant& value);
    static QString DateTimeText(const QDateTime& dateTime);
    // Reads a stored date ("yyyy-MM-dd", as midnight) or date-time (with or
    // without fraction, as older files hold, "T" or blank between date and
    // time); a QDate or QDateTime passes through. Anything else gives an
    // invalid QDateTime.
    static QDateTime ParseDateTime(const QVariant& stored);
    // The date of the same, without reckoning its moment in local time.
    static QDate ParseDate(const QVariant& stored);

    sqlite3* Handle() const { return db; }

private:
    struct CachedStatement {
        sqlite3_stmt* statement = nullptr;
        quint64 lastUse = 0;
    };

    sqlite3_stmt* Prepared(const QString& statement);
    sqlite3_stmt* Prepare(const QString& statement);
    void Bind(sqlite3_stmt* statement, const QVariantList& parameters);
    void BindOne(sqlite3_stmt* statement, int index, const QVariant& value);
    [[noreturn]] void Fail(int code) const;
    void Run(const char* sql);
    void ForgetStatements();
    void Close();

    QString path;
    Access access;
    sqlite3* db = nullptr;
    QHash<QString, CachedStatement> statements;
    quint64 uses = 0;
};

class DatabaseError : public std::runtime_error {
public:
    // reason: what the user is told; empty means the message.
    DatabaseError(int code, const QString& message, const QString& reason = {});
    int code;
    // The system's text for a failed file operation ("No space left on
    // device"), else the engine's message; never an internal file name.
    QString Reason() const { return reason; }

private:
    QString reason;
};

} // namespace Pomiar
