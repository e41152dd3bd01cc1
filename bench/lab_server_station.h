// One station of the lab database benchmarks: a working database of its
// own, its outbox and sender, and the store's write of a reading (the
// reading and its queued copy in one transaction), timed.
#pragma once

#include "Database.h"
#include "LabServerOutbox.h"
#include "LabServerSender.h"
#include "SeriesModel.h"
#include "lab_bench.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace LabServerBench {

inline qint64 nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class Station {
public:
    Station(const Pomiar::LabServerSettings& settings, int capacity)
        : storedNs(size_t(capacity) + 1), committedNs(size_t(capacity) + 1), settings(settings) {
        working.CreateSchema();
        Pomiar::LabServerOutbox::CreateTable(working);
        sender = std::make_unique<Pomiar::LabServerSender>(settings, path);
        sender->committed = [this](const std::vector<int>& lps) {
            const qint64 now = nowNs();
            for (int lp : lps) {
                if (lp > 0 && size_t(lp) < committedNs.size())
                    committedNs[size_t(lp)] = now;
            }
        };
    }

    // Stores readings lp..lp+count-1 in one transaction, as the store
    // writes a batch; answers the time the write took in milliseconds.
    double Store(int count = 1) {
        const qint64 began = nowNs();
        working.Begin();
        for (int i = 0; i < count; ++i) {
            Pomiar::SeriesRow row;
            row.lp = ++lastLp;
            row.godzina = start.addMSecs(qint64(row.lp) * 50);
            row.data = row.godzina.date();
            row.timer = int(start.secsTo(row.godzina));
            row.masa = 100.0 + row.lp / 10000.0;
            row.jm = QStringLiteral("g");
            row.opis = QStringLiteral(" ");
            working.Execute(QStringLiteral("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, "
                                           "Jm, LpTekst, Nr_wagi, Opis) "
                                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                            {row.lp, Pomiar::Database::DateText(row.data),
                             Pomiar::Database::DateTimeText(row.godzina), row.timer, row.masa,
                             row.jm, QString::number(row.lp), settings.station, row.opis});
            outbox.QueueReading(working, start, QStringLiteral("dane.mdb"), row);
        }
        working.Commit();
        const qint64 ended = nowNs();
        for (int lp = lastLp - count + 1; lp <= lastLp; ++lp) {
            if (size_t(lp) < storedNs.size())
                storedNs[size_t(lp)] = ended;
        }
        return double(ended - began) / 1e6;
    }

    int Stored() const { return lastLp; }
    int Queued() {
        return working
            .Scalar(QStringLiteral("SELECT count(*) FROM LabOutbox WHERE kind = "
                                   "'reading'"))
            .toInt();
    }
    // Milliseconds from the local commit to the server's, per reading
    // (read after the sender stopped).
    std::vector<double> Latencies(int fromLp = 1) const {
        std::vector<double> ms;
        for (size_t lp = size_t(fromLp); lp < storedNs.size(); ++lp) {
            if (storedNs[lp] && committedNs[lp])
                ms.push_back(double(committedNs[lp] - storedNs[lp]) / 1e6);
        }
        return ms;
    }

    std::vector<qint64> storedNs;
    std::vector<qint64> committedNs;
    std::unique_ptr<Pomiar::LabServerSender> sender;

private:
    Pomiar::LabServerSettings settings;
    QTemporaryDir folder;
    QString path = folder.path() + QStringLiteral("/dane.mdb");
    Pomiar::Database working{path};
    Pomiar::LabServerOutbox outbox{path, settings.station};
    const QDateTime start = QDateTime::currentDateTime();
    int lastLp = 0;
};

} // namespace LabServerBench
