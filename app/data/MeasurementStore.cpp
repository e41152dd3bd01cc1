#include "MeasurementStore.h"

#include "BalanceProtocol.h"
#include "Database.h"
#include "FileLock.h"
#include "ProgramContext.h"
#include "ReadingHandler.h"
#include "ReportText.h"
#include "UserDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

namespace Pomiar {

namespace {

const QString insertReading = QStringLiteral(
    "INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, Opis) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
const QString insertContinuousReading =
    QStringLiteral("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
const QString insertCopiedReading = QStringLiteral(
    "INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, status, Opis) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
const QString lineEnd = QStringLiteral("\r\n");
constexpr int yieldEveryMs = 30;
// How often readings that wait for a full disk are tried again.
constexpr int retryWaitingMs = 3000;

// Writes that belong together: all of them or none.
template <typename Writes> void inTransaction(Database& database, Writes writes) {
    database.Begin();
    try {
        writes();
        database.Commit();
    } catch (...) {
        database.Rollback();
        throw;
    }
}

void deleteSeriesRows(Database& database) {
    database.Execute(QStringLiteral("DELETE * FROM pomiary;"));
    database.Execute(QStringLiteral("DELETE * FROM raport;"));
    database.Execute(QStringLiteral("DELETE * FROM temp"));
}

std::vector<SeriesRow> readRows(Database& database) {
    const QString query = QStringLiteral("select rowid as rowid_, * from pomiary;");
    // Column positions by name: a series file may order them its own way.
    const QStringList columns = database.ColumnsOf(query);
    const auto at = [&columns](const char* name) {
        for (int i = 0; i < columns.size(); ++i) {
            if (columns[i].compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    };
    const int rowid = at("rowid_");
    const int lp = at("lp"), data = at("data"), godzina = at("godzina"), timer = at("timer"),
              masa = at("masa"), jm = at("jm"), opis = at("opis");
    std::vector<SeriesRow> rows;
    rows.reserve(
        size_t(database.Scalar(QStringLiteral("select count(*) from pomiary")).toLongLong()));
    database.QueryEach(query, [&](const QVariantList& stored) {
        SeriesRow row;
        row.rowid = stored.value(rowid).toLongLong();
        row.lp = stored.value(lp).toInt();
        row.godzina = Database::ParseDateTime(stored.value(godzina));
        row.data = Database::ParseDateTime(stored.value(data)).date();
        row.timer = stored.value(timer).toInt();
        row.masa = stored.value(masa).toDouble();
        row.jm = stored.value(jm).toString();
        row.opis = stored.value(opis).toString();
        rows.push_back(std::move(row));
    });
    return rows;
}

// The complete lines of a buffer: everything before its last CR LF.
QStringList completeLines(const QString& text) {
    QStringList lines = text.split(lineEnd);
    lines.removeLast();
    return lines;
}

// Removes the first count lines (each with its CR LF) from a buffer.
template <typename Text> void dropLines(Text& text, int count, const Text& separator) {
    qsizetype at = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype next = text.indexOf(separator, at);
        if (next < 0)
            break;
        at = next + separator.size();
    }
    text.remove(0, at);
}

double massOf(const QString& valueText, const QString& unit) {
    if (!unit.startsWith(QLatin1Char('%')))
        return ReadingHandler::NumberAtFront(valueText);
    return ReadingHandler::NumberAtFront(valueText.left(valueText.indexOf(QLatin1Char('%'))));
}

} // namespace

bool AcceptanceLimits::Outside(const QString& valueText, const QLocale& locale) const {
    const QString value = SeriesStatistics::NormalizujLiczbe(valueText, locale);
    return SeriesStatistics::PozaLimitem(minOn, value, minText, QStringLiteral("<")) ||
           SeriesStatistics::PozaLimitem(maxOn, value, maxText, QStringLiteral(">"));
}

MeasurementStore::MeasurementStore(ProgramContext& context, QObject* parent)
    : QObject(parent), context(context) {
    retryWaiting.setInterval(retryWaitingMs);
    connect(&retryWaiting, &QTimer::timeout, this, &MeasurementStore::StoreWaitingReadings);
}

MeasurementStore::~MeasurementStore() = default;

QString MeasurementStore::WorkingDatabasePath(const QString& programFolder) {
    return QDir(programFolder).filePath(QStringLiteral("dane.mdb"));
}

QString MeasurementStore::BoundPath() const {
    return bound ? bound->Path() : QString();
}

bool MeasurementStore::WorkingDatabaseBound() const {
    return bound && bound->Path() == WorkingDatabasePath(context.programFolder);
}

bool MeasurementStore::FirstReadingTimed() {
    try {
        return !bound->Scalar(QStringLiteral("select Timer from pomiary order by rowid limit 1"))
                    .isNull();
    } catch (const DatabaseError&) {
        return true;
    }
}

QString MeasurementStore::LpTekst(int row) {
    const SeriesRow& stored = model.Row(row);
    try {
        const QVariant text = bound->Scalar(
            QStringLiteral("select lptekst from pomiary where rowid = ?"), {stored.rowid});
        if (text.isValid())
            return text.toString();
    } catch (const DatabaseError&) {
    }
    return QString::number(stored.lp);
}

QString MeasurementStore::StoredReport() {
    try {
        return ReportText::Stored(*bound).value_or(QString());
    } catch (const DatabaseError&) {
        return {};
    }
}

void MeasurementStore::OtworzMagazyn() {
    const QString path = WorkingDatabasePath(context.programFolder);
    dropWaiting();
    bound.reset();
    boundLock.reset();
    Database(path).CreateSchema();
    KompaktujBaze(path);
    bound = std::make_unique<Database>(path);
    boundLock = std::make_unique<FileLock>(path, FileLock::Mode::Shared);
    emptySeriesTables(*bound);
    loadRows();
    values.clear();
    seriesStart.reset();
    WyczyscStatystyke();
}

void MeasurementStore::NowaSeria() {
    if (!WorkingDatabaseBound())
        bind(std::make_unique<Database>(WorkingDatabasePath(context.programFolder)));
    dropWaiting();
    emptySeriesTables(*bound);
    model.Clear();
    seriesStart.reset();
    WyczyscStatystyke();
    values.clear();
    if (chartRefresh)
        chartRefresh();
}

void MeasurementStore::ClearSeriesTables() {
    Database working(WorkingDatabasePath(context.programFolder));
    emptySeriesTables(working);
}

void MeasurementStore::emptySeriesTables(Database& database) {
    inTransaction(database, [&database] { deleteSeriesRows(database); });
}

void MeasurementStore::bind(std::unique_ptr<Database> database) {
    // Everything that can fail comes first, so that a failure leaves the
    // series bound as it was.
    std::vector<SeriesRow> rows = readRows(*database);
    auto lock = std::make_unique<FileLock>(database->Path(), FileLock::Mode::Shared);
    dropWaiting();
    // The old database closes before its lock goes (see FileLock).
    bound.reset();
    boundLock = std::move(lock);
    bound = std::move(database);
    model.Reset(std::move(rows));
}

void MeasurementStore::loadRows() {
    model.Reset(readRows(*bound));
}

void MeasurementStore::OtworzBaze(const QString& path) {
    // A series file is written straight through, whole after every reading.
    bind(std::make_unique<Database>(path, Database::Journal::Rollback));
    showBoundSeries();
}

void MeasurementStore::OpenForViewing(const QString& path) {
    Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
    std::unique_ptr<Database> working;
    if (!WorkingDatabaseBound())
        working = std::make_unique<Database>(WorkingDatabasePath(context.programFolder));
    copySeries(file, working ? *working : *bound);
    if (working) {
        bind(std::move(working));
    } else {
        dropWaiting();
        loadRows();
    }
    showBoundSeries();
}

void MeasurementStore::copySeries(Database& file, Database& target) {
    inTransaction(target, [&] {
        deleteSeriesRows(target);
        file.QueryEach(
            QStringLiteral("SELECT Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, status, "
                           "Opis FROM pomiary ORDER BY rowid"),
            [&target](const QVariantList& row) { target.Execute(insertCopiedReading, row); });
        const QVariant report =
            file.Scalar(QStringLiteral("SELECT Raport FROM raport ORDER BY rowid LIMIT 1"));
        if (report.isValid())
            target.Execute(QStringLiteral("INSERT INTO raport (Raport) VALUES (?)"), {report});
    });
}

void MeasurementStore::showBoundSeries() {
    // The values always mirror the bound rows, so later readings extend the
    // right series; statistics need two rows and no moisture readings.
    values.clear();
    values.reserve(size_t(model.Count()));
    for (int row = 0; row < model.Count(); ++row)
        values.push_back(model.Row(row).masa);
    if (model.Count() <= 1)
        return;
    if (model.Row(0).jm.trimmed() != QLatin1String("%"))
        ObliczStatystyke();
    else
        WyczyscStatystyke();
}

bool MeasurementStore::KompaktujBaze(const QString& path) {
    try {
        // Compaction leaves a file with its rollback journal, as closing
        // does; a working database still open elsewhere keeps its WAL.
        Database(path, Database::Journal::Rollback).Compact();
        return true;
    } catch (const DatabaseError&) {
        return false;
    }
}

void MeasurementStore::SetMassFormat(const QString& format) {
    model.SetMassFormat(format);
}

bool MeasurementStore::DodajPomiar(const QString& valueText, const QString& unit,
                                   const QDateTime& time) {
    // Moisture readings get no statistics.
    if (unit == QLatin1String("%") && !statistics.lblLiczba.isEmpty())
        WyczyscStatystyke();
    if (!seriesStart)
        seriesStart = time;
    const int timer = static_cast<int>(seriesStart->secsTo(time));
    if (cycleGate && !cycleGate(timer))
        return false;

    SeriesRow row;
    row.lp = model.Count() + WaitingReadings() + 1;
    row.data = time.date();
    row.godzina = time;
    row.timer = timer;
    row.masa = massOf(valueText, unit);
    row.jm = unit.trimmed().left(3);
    row.opis = QStringLiteral(" ");
    waiting.push_back({row, QString::number(row.lp), true});
    if (!storeWaiting())
        return true;

    if (afterReadingPrompts)
        afterReadingPrompts();
    afterStored();
    return true;
}

bool MeasurementStore::storeWaiting() {
    if (waiting.empty())
        return true;
    std::vector<SeriesRow> written;
    written.reserve(waiting.size());
    try {
        inTransaction(*bound, [&] {
            for (const WaitingReading& reading : waiting) {
                const SeriesRow& row = reading.row;
                QVariantList parameters{row.lp,
                                        Database::DateText(row.data),
                                        Database::DateTimeText(row.godzina),
                                        row.timer,
                                        row.masa,
                                        row.jm,
                                        reading.lpText,
                                        context.settings.nrWagi.left(2)};
                if (reading.writeOpis)
                    parameters << row.opis;
                bound->Execute(reading.writeOpis ? insertReading : insertContinuousReading,
                               parameters);
                written.push_back(row);
                written.back().rowid = bound->LastInsertRowId();
            }
        });
    } catch (const DatabaseError& error) {
        retryWaiting.start();
        if (!waitingTold) {
            // Told before the user answers: readings keep arriving meanwhile.
            waitingTold = true;
            if (storeFailed)
                storeFailed(error.Reason(), WaitingReadings());
        }
        return false;
    }
    dropWaiting();
    for (SeriesRow& row : written) {
        values.push_back(row.masa);
        model.Append(std::move(row));
    }
    return true;
}

void MeasurementStore::dropWaiting() {
    waiting.clear();
    waitingTold = false;
    retryWaiting.stop();
}

bool MeasurementStore::StoreWaitingReadings() {
    const bool anyWaiting = !waiting.empty();
    if (!storeWaiting())
        return false;
    if (anyWaiting)
        afterStored();
    return true;
}

void MeasurementStore::afterStored() {
    if (chartRefresh)
        chartRefresh();
    if (liveStatistics && model.Count() > 1 &&
        model.Row(model.Count() - 1).jm.trimmed() != QLatin1String("%"))
        ObliczStatystyke();
}

bool MeasurementStore::DodajPomiary(ContinuousBuffers& buffers, Progress* progress) {
    const QString frames = QString::fromLatin1(buffers.frames);
    if (completeLines(frames).size() < 2) {
        context.dialogs->MessageBox(nullptr, context.Msg(20), MsgButtons::Ok, MsgIcon::None,
                                    context.Msg(46));
        return false;
    }
    int position = 0;
    // Frames keep arriving while the batch yields to the event loop; the
    // batch goes on until every complete line is taken.
    for (;;) {
        const QStringList lines = completeLines(QString::fromLatin1(buffers.frames));
        if (lines.isEmpty())
            break;
        const QStringList dates = completeLines(buffers.dates);
        const QStringList times = completeLines(buffers.times);
        if (progress)
            progress->Begin(ProgressCaption::AddingReadings, position + int(lines.size()) - 1);
        storeContinuousLines(lines, dates, times, position, progress);
        dropLines(buffers.frames, int(lines.size()), QByteArray("\r\n"));
        dropLines(buffers.dates, int(lines.size()), lineEnd);
        dropLines(buffers.times, int(lines.size()), lineEnd);
    }
    // One transaction for the batch: a reading appears in the grid only
    // once it is in the database.
    if (storeWaiting() && model.Count() > 1)
        ObliczStatystyke();
    if (chartRefresh)
        chartRefresh();
    if (progress)
        progress->End();
    return true;
}

void MeasurementStore::storeContinuousLines(const QStringList& frames, const QStringList& dates,
                                            const QStringList& times, int& position,
                                            Progress* progress) {
    int lastLp = !waiting.empty()    ? waiting.back().row.lp
                 : model.Count() > 0 ? model.Row(model.Count() - 1).lp
                                     : 0;
    QElapsedTimer sinceYield;
    sinceYield.start();
    for (int k = 0; k < frames.size(); ++k) {
        // The frame's place in the whole batch: rejected frames leave gaps.
        const int i = position + k;
        // Events run every few milliseconds, not after every frame: the
        // window stays responsive without repainting ten thousand times.
        if (progress)
            progress->Step(i);
        if (sinceYield.elapsed() >= yieldEveryMs) {
            QCoreApplication::processEvents();
            sinceYield.restart();
        }
        const auto line = ReadingHandler::ReadContinuousLine(frames[k]);
        if (!line || limits.Outside(QString::number(line->value, 'g', 17), locale))
            continue;
        SeriesRow row;
        row.lp = ++lastLp;
        row.data = QDate::fromString(dates.value(k), Qt::ISODate);
        row.godzina = QDateTime(row.data, QTime::fromString(times.value(k), Qt::ISODate));
        row.timer = seriesStart && *seriesStart <= row.godzina
                        ? static_cast<int>(seriesStart->secsTo(row.godzina))
                        : 0;
        row.masa = line->value;
        row.jm = line->unit.left(3);
        waiting.push_back({row, QString::number(i + 1), false});
    }
    position += int(frames.size());
}

void MeasurementStore::SetDescription(int row, const QString& opis) {
    bound->Execute(QStringLiteral("UPDATE pomiary SET Opis = ? WHERE rowid = ?"),
                   {opis, model.Row(row).rowid});
    model.SetDescription(row, opis);
}

void MeasurementStore::ObliczStatystyke() {
    if (values.size() < 2)
        return;
    statistics = SeriesStatistics::ObliczStatystyke(values, model.MassFormat(), locale);
    emit StatisticsChanged(statistics);
}

void MeasurementStore::WyczyscStatystyke() {
    statistics = StatisticsFields{};
    emit StatisticsChanged(statistics);
}

} // namespace Pomiar
