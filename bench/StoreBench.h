#pragma once

// What the store benchmarks share: a program folder of their own with the
// program's dialogs, and a long series written straight into a series file.
#include "Database.h"
#include "ProgramContext.h"
#include "QtUserDialogs.h"
#include "SeriesGrid.h"
#include "SeriesJournal.h"
#include "SeriesModel.h"

#include <QDateTime>
#include <QHeaderView>
#include <QTemporaryDir>
#include <functional>

namespace StoreBench {

struct ScratchProgram {
    ScratchProgram() {
        context.programFolder = folder.path();
        context.dialogs = &dialogs;
    }

    QTemporaryDir folder;
    Pomiar::QtUserDialogs dialogs;
    Pomiar::ProgramContext context;
};

// A series file of `rows` readings one second apart, written in one
// transaction; massOf gives the mass of reading i (from 1).
inline void WriteSeries(const QString& path, int rows, const std::function<double(int)>& massOf) {
    Pomiar::Database db(path);
    db.CreateSchema();
    db.Begin();
    const QDateTime start(QDate(2026, 12, 7), QTime(8, 0));
    for (int i = 1; i <= rows; ++i) {
        const QDateTime at = start.addSecs(i);
        db.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, "
                   "Opis) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   {i, Pomiar::Database::DateText(at.date()), Pomiar::Database::DateTimeText(at), i,
                    massOf(i), "g", QString::number(i), "1", " "});
    }
    db.Commit();
}

// A series of `rows` readings one second apart as the store writes them:
// each reading with its journal entry, after the entry that starts the
// series; in one transaction. When leftByRun, the database is marked as a
// working database whose run ended without a clean end, so that a store
// starting on it keeps the readings (MeasurementStore::LeftByLastRun).
inline void WriteJournaledSeries(const QString& path, int rows,
                                 const std::function<double(int)>& massOf, bool leftByRun = false) {
    using namespace Pomiar;
    Database db(path, leftByRun ? Database::Journal::WriteAhead : Database::Journal::Rollback);
    db.CreateSchema();
    const SeriesJournal::Author author = SeriesJournal::Author::Here(QStringLiteral("1"));
    const QDateTime start(QDate(2026, 12, 7), QTime(8, 0));
    db.Begin();
    SeriesJournal::Append(db, author, SeriesJournal::Event::SeriesStarted, "0", start);
    for (int lp = 1; lp <= rows; ++lp) {
        const QDateTime at = start.addSecs(lp - 1);
        const double mass = massOf(lp);
        db.Execute("INSERT INTO pomiary (Lp, data, Godzina, Timer, Masa, Jm, LpTekst, Nr_wagi, "
                   "Opis) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   {lp, Database::DateText(at.date()), Database::DateTimeText(at), lp - 1, mass,
                    "g", QString::number(lp), "1", " "});
        SeriesJournal::Append(db, author, SeriesJournal::Event::ReadingStored,
                              SeriesJournal::ReadingData(lp, mass, QStringLiteral("g"),
                                                         "S S     12.3456 g\r\n", lp - 1),
                              at);
    }
    if (leftByRun) {
        db.Execute("CREATE TABLE IF NOT EXISTS unfinished_run (started TEXT)");
        db.Execute("INSERT INTO unfinished_run (started) VALUES (?)", {start});
    }
    db.Commit();
}

// The program's own grid on the model, shown, tall enough for `rows` rows.
inline void ShowGrid(Pomiar::SeriesGrid& grid, int rows) {
    grid.resize(800, grid.horizontalHeader()->sizeHint().height() + 2 * grid.frameWidth() +
                         rows * grid.verticalHeader()->defaultSectionSize());
    grid.show();
}

} // namespace StoreBench
