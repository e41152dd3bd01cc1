#pragma once

#include "CycleWindows.h"

#include <QObject>
#include <QVariant>
#include <optional>
#include <vector>

namespace Pomiar {

class Database;

// The cycle gate: the windows of the table cykl (seconds from the series
// start time, in table order, never sorted), the current window lZakres and
// the range cursor, the row lZakres was last loaded from. The list of the
// cycle settings dialog shows and moves this same cursor, so moving or
// deleting rows there reaches a running cycle at once.
//
// Whether the gate applies at all (cycle work on and automatic work running)
// is the caller's decision; Check only answers for one reading.
class CycleGate : public QObject, public CycleWindows {
    Q_OBJECT
public:
    using Result = CycleWindows::Result;

    struct Range {
        int start = 0;
        int stop = 0;
        bool operator==(const Range&) const = default;
    };

    // One row of cykl as stored, and its window when both columns hold
    // whole numbers that fit 32 bits; a row without one ends a cycle that
    // reaches it.
    struct Row {
        qint64 rowid = 0;
        QVariant start;
        QVariant stop;
        std::optional<Range> range;
    };

    // Reads the rows; lZakres stays (0, 0) until LoadFirstRange.
    // Throws DatabaseError.
    explicit CycleGate(Database& database, QObject* parent = nullptr);

    const Range& lZakres() const { return zakres; }

    // Moves the cursor to the first row and takes its window; with no rows
    // lZakres keeps the window it has. Re-reads the table first.
    void LoadFirstRange() override;

    // One reading at elapsed whole seconds: inside the current window it is
    // accepted, before it rejected; past it the cursor moves on through the
    // table (passed windows in one go) until a window that is not over yet,
    // or the end of the table, which ends the cycle.
    Result Check(int elapsed) override;

    // -1 with no rows.
    int Cursor() const { return cursor; }
    // Clamped to the rows there are.
    void SetCursor(int row);

    int RowCount() const { return static_cast<int>(rows.size()); }
    const Row& RowAt(int row) const { return rows.at(static_cast<std::size_t>(row)); }

    // Re-reads the table after it changed; the cursor keeps its position as
    // far as the rows still reach. Throws DatabaseError.
    void Reload();

    // Writes without re-reading; the database refuses overlapping windows,
    // a start of 0 or less and a stop below the start (DatabaseError).
    void Insert(int start, int stop);
    // Changes the row under the cursor; false when there is none.
    bool UpdateCurrent(int start, int stop);
    // Deletes the row under the cursor and, when rows remain, moves to the
    // first; lZakres is left as it is. False with no rows.
    bool DeleteCurrent();

signals:
    void RowsAboutToReload();
    void RowsReloaded();
    void CursorChanged(int row);

private:
    void MoveCursor(int row);

    Database& database;
    std::vector<Row> rows;
    int cursor = -1;
    Range zakres;
};

} // namespace Pomiar
