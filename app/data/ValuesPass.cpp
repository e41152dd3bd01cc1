#include "ValuesPass.h"

#include "Database.h"

#include <QTimer>

namespace Pomiar {

void SeriesValues::Add(qint64 id, double masa, double lp, double timer, std::string_view time) {
    const int at = Count();
    if (at == 0)
        firstId = id;
    if (!gaps && id != firstId + at) {
        gaps = true;
        for (int k = 0; k < at; ++k)
            ids.push_back(firstId + k);
    }
    if (gaps)
        ids.push_back(id);
    lastId = id;
    masses.push_back(masa);
    // A time missing or earlier than the last one sorts elsewhere.
    if (time.empty() || time < lastTime)
        timesInOrder = false;
    lastTime.assign(time);
    const double values[] = {lp, timer, masa};
    for (std::size_t k = 0; k < 3; ++k) {
        if (at == 0 || values[k] > extremeValues[2 * k]) {
            extremes[2 * k] = at;
            extremeValues[2 * k] = values[k];
        }
        if (at == 0 || values[k] < extremeValues[2 * k + 1]) {
            extremes[2 * k + 1] = at;
            extremeValues[2 * k + 1] = values[k];
        }
    }
}

ValuesPass::ValuesPass(QObject* parent) : QObject(parent) {
    // Queued: the result is taken on this object's thread, never on the
    // worker's.
    connect(this, &ValuesPass::finished, this, &ValuesPass::told, Qt::QueuedConnection);
}

ValuesPass::~ValuesPass() {
    Cancel();
}

SeriesValues ValuesPass::Read(Database& database, const std::atomic<bool>* cancelled) {
    struct Stopped {};
    SeriesValues values;
    try {
        database.QueryRows(
            QStringLiteral("select rowid, masa, lp, timer, godzina from pomiary order by rowid"),
            [&](const Database::RowView& row) {
                if ((values.Count() & 0xfff) == 0 && cancelled && cancelled->load())
                    throw Stopped{};
                values.Add(row.Integer(0), row.Real(1), row.Real(2), row.Real(3), row.TextBytes(4));
            });
    } catch (const DatabaseError&) {
        return SeriesValues{};
    } catch (const Stopped&) {
        return SeriesValues{};
    }
    values.read = true;
    return values;
}

void ValuesPass::Start(const QString& path) {
    Cancel();
    running = true;
    result = std::make_shared<SeriesValues>();
    // The thread starts once the events already posted (the paint of the
    // rows just shown) have run, so that it takes nothing from them.
    pendingPath = path;
    QTimer::singleShot(0, this, [this, number = ticket] {
        if (number == ticket && running && !pendingPath.isEmpty())
            launch(number, pendingPath);
    });
}

void ValuesPass::launch(quint64 number, QString path) {
    pendingPath.clear();
    auto stop = std::make_shared<std::atomic<bool>>(false);
    cancelled = stop;
    worker = std::thread([this, number, path, stop, found = result] {
        try {
            Database file(path, Database::Journal::Rollback, Database::Access::ReadOnly);
            *found = Read(file, stop.get());
        } catch (const DatabaseError&) {
            // Not read: whoever needs the values reads them again.
        }
        if (!stop->load())
            emit finished(number, QPrivateSignal());
    });
}

void ValuesPass::Cancel() {
    // A result already queued carries an old ticket and is dropped.
    ++ticket;
    running = false;
    pendingPath.clear();
    stopWorker();
    result.reset();
}

SeriesValues ValuesPass::Take() {
    if (!running)
        return {};
    // Asked for before its thread started: the pass runs now, here.
    if (!pendingPath.isEmpty())
        launch(ticket, pendingPath);
    ++ticket;
    running = false;
    if (worker.joinable())
        worker.join();
    cancelled.reset();
    SeriesValues found = std::move(*result);
    result.reset();
    return found;
}

void ValuesPass::stopWorker() {
    if (cancelled)
        cancelled->store(true);
    if (worker.joinable())
        worker.join();
    cancelled.reset();
}

void ValuesPass::told(quint64 number) {
    if (number != ticket || !running)
        return;
    running = false;
    if (worker.joinable())
        worker.join();
    cancelled.reset();
    const std::shared_ptr<SeriesValues> found = std::move(result);
    emit Found(found);
}

} // namespace Pomiar
