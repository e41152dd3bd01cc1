#pragma once

#include "Progress.h"
#include "SeriesModel.h"
#include "Statystyka.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Pomiar {

class Database;
class FileLock;
struct ContinuousBuffers;
struct ProgramContext;

// The acceptance limits as the main window's switches and fields hold them.
struct Limity {
    bool minOn = false;
    QString minText = QStringLiteral("0");
    bool maxOn = false;
    QString maxText = QStringLiteral("0");

    // The limit filter: the minimum first, then the maximum.
    bool Outside(const QString& valueText, const QLocale& locale) const;
};

// The current series: the bound database (the working database or an
// opened series file), its rows in the grid, the values the statistics are
// computed from, and the series start time.
class Magazyn : public QObject {
    Q_OBJECT
public:
    Magazyn(ProgramContext& context, QObject* parent = nullptr);
    ~Magazyn() override;

    static QString WorkingDatabasePath(const QString& programFolder);

    // Program start: compacts the working database (creating it with its
    // tables when missing), empties the series tables and binds it.
    void OtworzMagazyn();
    // A new series in the working database.
    void NowaSeria();
    // Empties the series tables of the working database (program end).
    void WyczyscTabele();
    // Binds another database file (an opened series file) in place of the
    // working database; readings taken afterwards go into it.
    void OtworzBaze(const QString& path);
    // Compacts a database file in place; false when it could not.
    static bool KompaktujBaze(const QString& path);

    // Appends one accepted reading. False when it was not stored (outside
    // the current cycle window). Throws DatabaseError.
    bool DodajPomiar(const QString& valueText, const QString& unit, const QDateTime& time);

    // Appends what continuous transmission collected; processed frames are
    // taken out of the buffers, frames that arrive meanwhile are stored too.
    // False (after telling the user) when fewer than two lines were there.
    bool DodajPomiary(ContinuousBuffers& buffers, Progress* progress);

    // Changes the description of a row, in the grid and in the database.
    // Throws DatabaseError.
    void SetOpis(int row, const QString& opis);

    void ObliczStatystyke();
    void WyczyscStatystyke();
    const StatisticsFields& Statistics() const { return statistics; }

    int RowCount() const { return model.Count(); }
    const std::vector<double>& Values() const { return values; }
    SeriesModel& Model() { return model; }
    Database& Bound() { return *bound; }
    QString BoundPath() const;
    bool WorkingDatabaseBound() const;

    std::optional<QDateTime> seriesStart;
    Limity limits;
    bool liveStatistics = true; // "&Biezaca statystyka"
    QLocale locale = QLocale::system();

    void SetMassFormat(const QString& format);
    QString MassFormat() const { return model.MassFormat(); }

    // Hooks of the parts that join in later: the cycle gate (true: store the
    // reading with this Timer), the prompts after a single reading, and the
    // chart.
    std::function<bool(int timer)> cycleGate;
    std::function<void()> afterReadingPrompts;
    std::function<void()> chartRefresh;

signals:
    void StatisticsChanged(const Pomiar::StatisticsFields& fields);

private:
    void bind(const QString& path);
    void loadRows();
    void emptySeriesTables(Database& database);
    void appendRow(SeriesRow row, const QString& lpText, bool writeOpis);
    void storeContinuousLines(const QStringList& frames, const QStringList& dates,
                              const QStringList& times, int& position, Progress* progress);

    ProgramContext& context;
    // Held on the bound file, so another instance sees it in use; declared
    // first so that it outlives the database on that file.
    std::unique_ptr<FileLock> boundLock;
    std::unique_ptr<Database> bound;
    SeriesModel model;
    std::vector<double> values;
    StatisticsFields statistics;
};

} // namespace Pomiar
