#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

struct sqlite3;

namespace Pomiar {

// The working database and every series file: an SQLite file with the
// tables pomiary, temp, raport and cykl (names match without regard to
// case). The few statements of the program are written as the program has
// always written them and translated here, in one place.
class Database {
public:
    // Opens (creating when missing) the file. Throws DatabaseError.
    explicit Database(const QString& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    QString Path() const { return path; }

    // "DELETE * FROM t" -> "DELETE FROM t"; "select top N ..." -> "... LIMIT N";
    // everything else unchanged.
    static QString Translate(const QString& statement);

    // Runs a statement (translated); positional parameters bind in order.
    // Answers the rows changed. Throws DatabaseError.
    int Execute(const QString& statement, const QVariantList& parameters = {});

    // Runs a query (translated) and answers all its rows. Column names as the
    // query gives them. Throws DatabaseError.
    struct Rows {
        QStringList columns;
        std::vector<QVariantList> rows;
        int Column(const QString& name) const; // -1 when absent; case-insensitive
    };
    Rows Query(const QString& statement, const QVariantList& parameters = {});

    // A single value (first column of the first row), or an invalid QVariant.
    QVariant Scalar(const QString& statement, const QVariantList& parameters = {});

    // Creates the tables the program needs that are missing: pomiary, temp,
    // raport (the columns of the series files, in their order) and cykl.
    void CreateSchema();
    bool HasTable(const QString& name);

    // Writes that belong together.
    void Begin();
    void Commit();
    void Rollback();

    // Compacts the file in place (VACUUM): the file is complete at every moment.
    void Compact();

    // Dates are stored as ISO text: "2026-12-07" and "2026-12-07 10:15:30".
    static QString DateText(const QDate& date);
    static QString DateTimeText(const QDateTime& dateTime);
    static QDateTime ParseDateTime(const QVariant& stored);

    sqlite3* Handle() const { return db; }

private:
    QString path;
    sqlite3* db = nullptr;
};

class DatabaseError : public std::runtime_error {
public:
    DatabaseError(int code, const QString& message);
    int code;
};

} // namespace Pomiar
