#include "ReportText.h"

#include "CodePage1250.h"
#include "Database.h"
#include "Formats.h"
#include "MeasurementStore.h"
#include "MinimumWeightRule.h"
#include "WholeFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace Pomiar::ReportText {

namespace {

constexpr char esc = '\x1b';
// Rows per transaction while temp is filled, and how often events run: a
// slice is short enough that Escape is seen at once, long enough that the
// commits cost little.
constexpr int sliceRows = 500;
constexpr int yieldEveryMs = 25;

const QString sourceQuery =
    QStringLiteral("SELECT rowid, Lp, data, Godzina, Timer, Masa, Jm, Opis, status FROM pomiary "
                   "WHERE rowid > ? ORDER BY rowid LIMIT ?");

// Walks the readings in slices, keyed by rowid so that a slice never
// re-reads what came before it. No statement stays open between
// slices: readings that arrive while events run may write to the same file.
class Readings {
public:
    Readings(Database& database, Progress* progress) : database(database), progress(progress) {
        sinceYield.start();
    }

    // Hands count readings to write(position, row), position counting from
    // 1; false when the progress asked to stop.
    template <typename Write> bool Take(qint64 count, Write write) {
        qint64 done = 0;
        while (done < count) {
            const auto slice =
                database.Query(sourceQuery, {lastRowid, qMin<qint64>(sliceRows, count - done)});
            if (slice.rows.empty())
                return true;
            database.Begin();
            for (const QVariantList& row : slice.rows) {
                lastRowid = row.value(0).toLongLong();
                write(++done, row.mid(1));
                if (progress && !progress->Step(int(++stepped))) {
                    database.Commit();
                    return false;
                }
            }
            database.Commit();
            if (sinceYield.elapsed() >= yieldEveryMs) {
                QCoreApplication::processEvents();
                sinceYield.restart();
                if (progress && !progress->Step(int(stepped)))
                    return false;
            }
        }
        return true;
    }

private:
    Database& database;
    Progress* progress;
    qint64 lastRowid = -1;
    qint64 stepped = 0;
    QElapsedTimer sinceYield;
};

// Attaches the report's own database to the connection once, and gives it
// the columns of the series files' table temp.
void AttachTempTable(Database& database) {
    const qint64 attached =
        database
            .Scalar(
                QStringLiteral("SELECT count(*) FROM pragma_database_list WHERE name = 'report'"))
            .toLongLong();
    if (attached == 0)
        database.Execute(QStringLiteral("ATTACH DATABASE '' AS report"));
    database.Execute(
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 ("
                       "Lp1 INTEGER, data1 TEXT, Godzina1 TEXT, Timer1 INTEGER, Masa1 REAL, "
                       "Jm1 TEXT, Opis1 TEXT, Lp2 INTEGER, data2 TEXT, Godzina2 TEXT, "
                       "Timer2 INTEGER, Masa2 REAL, Jm2 TEXT, Opis2 TEXT, "
                       "status1 TEXT, status2 TEXT)")
            .arg(TempTable));
}

const QString tempQuery =
    QStringLiteral("SELECT Lp1, data1, Godzina1, Timer1, Masa1, Jm1, Opis1, "
                   "Lp2, data2, Godzina2, Timer2, Masa2, Jm2, Opis2, status1, status2 "
                   "FROM %1 ORDER BY rowid")
        .arg(TempTable);

QString NumberText(const QVariant& value) {
    return value.isNull() || !value.isValid() ? QString() : QString::number(value.toLongLong());
}

QString DateTimeText(const QVariant& value, const QString& pattern) {
    const QDateTime stored = Database::ParseDateTime(value);
    return stored.isValid() ? stored.toString(pattern) : QString();
}

// The status of each half follows both halves in the line's row.
QStringList HalfLine(const QVariantList& row, int first, const QString& massFormat,
                     const QLocale& locale) {
    const QVariant mass = row.value(first + ReportMassColumn);
    const bool marked = row.value(2 * ReportColumnCount + first / ReportColumnCount).toString() ==
                        QLatin1String(MinimumWeightRule::Mark);
    return {NumberText(row.value(first)),
            DateTimeText(row.value(first + 1), QStringLiteral("yyyy-MM-dd")),
            DateTimeText(row.value(first + 2), QStringLiteral("HH:mm:ss")),
            NumberText(row.value(first + 3)),
            mass.isNull() || !mass.isValid()
                ? QString()
                : Formats::FormatNumber(mass.toDouble(), massFormat, locale) +
                      (marked ? QStringLiteral(" ") + QLatin1String(MinimumWeightRule::Mark)
                              : QString()),
            row.value(first + 5).toString(),
            row.value(first + 6).toString()};
}

} // namespace

QByteArray Rewrite(const QByteArray& raw, const QDateTime& now) {
    QByteArray text = raw;
    text.replace(char(248), char(176));
    text.replace("D\r\n", now.toString(QStringLiteral("dd-MM-yyyy")).toLatin1() + "\r\n");
    text.replace(QByteArray(1, esc) + "C\r\n",
                 ' ' + now.toString(QStringLiteral("HH:mm:ss")).toLatin1() + "\r\n");
    text.replace(QByteArray(1, esc), QByteArray());
    return text;
}

QString FrameText(const QByteArray& frame, const QDateTime& now) {
    return CodePage1250::Decode(Rewrite(frame, now));
}

std::optional<QString> Stored(Database& database) {
    const QVariant stored = database.Scalar(QStringLiteral("SELECT Raport FROM raport LIMIT 1"));
    if (!stored.isValid() || stored.isNull())
        return std::nullopt;
    return stored.toString();
}

SaveResult Save(Database& database, const QString& report) {
    if (report.isEmpty())
        return SaveResult::Empty;
    if (database.Scalar(QStringLiteral("SELECT count(*) FROM pomiary")).toLongLong() == 0)
        return SaveResult::NoReadings;
    database.Begin();
    try {
        database.Execute(QStringLiteral("DELETE * FROM raport"));
        database.Execute(QStringLiteral("INSERT INTO raport (Raport) VALUES (?)"), {report});
    } catch (...) {
        database.Rollback();
        throw;
    }
    database.Commit();
    return SaveResult::Saved;
}

bool SaveFile(const QString& path, const QString& report, QString* error) {
    return WholeFile::Write(path, CodePage1250::Encode(report), error);
}

bool FillTemp(Database& database, Progress* progress) {
    const qint64 n = database.Scalar(QStringLiteral("SELECT count(*) FROM pomiary")).toLongLong();
    const qint64 left = (n + 1) / 2;
    AttachTempTable(database);
    database.Execute(QStringLiteral("DELETE * FROM %1;").arg(TempTable));
    ProgressShown shown(progress, ProgressCaption::PreparingReport, n);

    Readings readings(database, progress);
    const QString insert =
        QStringLiteral("INSERT INTO %1 (rowid, Lp1, data1, Godzina1, Timer1, Masa1, Jm1, Opis1, "
                       "status1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .arg(TempTable);
    const bool leftDone = readings.Take(left, [&](qint64 line, const QVariantList& row) {
        database.Execute(insert, QVariantList{line} + row);
    });
    if (!leftDone)
        return false;

    const QString update =
        QStringLiteral("UPDATE %1 SET Lp2 = ?, data2 = ?, Godzina2 = ?, Timer2 = ?, Masa2 = ?, "
                       "Jm2 = ?, Opis2 = ?, status2 = ? WHERE rowid = ?")
            .arg(TempTable);
    return readings.Take(n - left, [&](qint64 line, const QVariantList& row) {
        database.Execute(update, row + QVariantList{line});
    });
}

void EachTempLine(Database& database, const QString& massFormat, const QLocale& locale,
                  const std::function<void(const ReportLine&)>& take) {
    database.QueryEach(tempQuery, [&](const QVariantList& row) {
        take({HalfLine(row, 0, massFormat, locale),
              HalfLine(row, ReportColumnCount, massFormat, locale)});
    });
}

} // namespace Pomiar::ReportText
