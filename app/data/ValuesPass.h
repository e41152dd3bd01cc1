#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace Pomiar {

class Database;

// What one pass over the whole series finds: the masses in row order, where
// the rows lie, the rows with the extreme Lp, Timer and Masa (where the
// grid's widest number texts are), and whether the stored times never go
// back from row to row.
struct SeriesValues {
    // False when the series could not be read to its end.
    bool read = false;
    std::vector<double> masses;
    // The rowids of the rows when they have gaps (empty otherwise).
    std::vector<qint64> ids;
    bool gaps = false;
    qint64 firstId = 0;
    // The rowid of the last row taken; 0 for none.
    qint64 lastId = 0;
    // Rows of the largest and the smallest Lp, Timer and Masa.
    std::array<int, 6> extremes{};
    std::array<double, 6> extremeValues{};
    bool timesInOrder = true;
    std::string lastTime;

    // Takes the next row of the series.
    void Add(qint64 id, double masa, double lp, double timer, std::string_view time);
    int Count() const { return int(masses.size()); }
};

// The pass over the values of a bound series, on a thread of its own so that
// the window goes on meanwhile: the thread opens its own read-only
// connection to the file, and what it found comes back as a queued signal
// on the thread that started it. One pass at a time: starting another or
// cancelling stops the one running, and its result is never told.
class ValuesPass : public QObject {
    Q_OBJECT
public:
    explicit ValuesPass(QObject* parent = nullptr);
    ~ValuesPass() override;

    // One pass on the caller's connection, in one read transaction; stops
    // early (read false) when cancelled is set.
    static SeriesValues Read(Database& database, const std::atomic<bool>* cancelled = nullptr);

    void Start(const QString& path);
    // Stops the pass running, if any, and waits for its thread.
    void Cancel();
    // What the pass running finds, waited for here; it is then not told.
    SeriesValues Take();
    bool Running() const { return running; }

signals:
    void Found(const std::shared_ptr<Pomiar::SeriesValues>& values);
    // From the worker thread to this one: the pass numbered `ticket` ended.
    void finished(quint64 ticket, QPrivateSignal);

private:
    void told(quint64 ticket);
    void launch(quint64 number, QString path);
    void stopWorker();

    bool running = false;
    // Which pass's result is awaited; any other is stale.
    quint64 ticket = 0;
    std::shared_ptr<std::atomic<bool>> cancelled;
    std::shared_ptr<SeriesValues> result;
    std::thread worker;
    // The file of a pass started whose thread has not started yet.
    QString pendingPath;
};

} // namespace Pomiar
