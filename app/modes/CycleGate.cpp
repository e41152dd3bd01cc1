#include "CycleGate.h"

#include "Database.h"

#include <algorithm>
#include <limits>

namespace Pomiar {

namespace {

std::optional<int> WholeNumber(const QVariant& stored) {
    if (stored.typeId() != QMetaType::LongLong)
        return std::nullopt;
    const qlonglong value = stored.toLongLong();
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

CycleGate::CycleGate(Database& database, QObject* parent) : QObject(parent), database(database) {
    Reload();
}

void CycleGate::Reload() {
    emit RowsAboutToReload();
    rows.clear();
    database.QueryEach(
        QStringLiteral("SELECT rowid, start, Stop FROM cykl ORDER BY rowid"),
        [this](const QVariantList& stored) {
            Row row{stored.at(0).toLongLong(), stored.at(1), stored.at(2), std::nullopt};
            const auto start = WholeNumber(row.start);
            const auto stop = WholeNumber(row.stop);
            if (start && stop)
                row.range = Range{*start, *stop};
            rows.push_back(std::move(row));
        });
    emit RowsReloaded();
    MoveCursor(cursor);
}

void CycleGate::LoadFirstRange() {
    Reload();
    if (rows.empty())
        return;
    MoveCursor(0);
    if (rows.front().range)
        zakres = *rows.front().range;
}

CycleGate::Result CycleGate::Check(int elapsed) {
    for (;;) {
        if (zakres.start <= elapsed && elapsed <= zakres.stop)
            return Result::Accept;
        if (elapsed <= zakres.stop)
            return Result::Reject;
        const int next = cursor + 1;
        if (next >= RowCount() || !rows[static_cast<std::size_t>(next)].range)
            return Result::EndOfCycle;
        MoveCursor(next);
        zakres = *rows[static_cast<std::size_t>(next)].range;
    }
}

void CycleGate::SetCursor(int row) {
    MoveCursor(row);
}

void CycleGate::MoveCursor(int row) {
    const int clamped = rows.empty() ? -1 : std::clamp(row, 0, RowCount() - 1);
    if (clamped == cursor)
        return;
    cursor = clamped;
    emit CursorChanged(cursor);
}

void CycleGate::Insert(int start, int stop) {
    database.Execute(QStringLiteral("INSERT INTO cykl (start, Stop) VALUES (?, ?)"), {start, stop});
}

bool CycleGate::UpdateCurrent(int start, int stop) {
    if (cursor < 0)
        return false;
    database.Execute(QStringLiteral("UPDATE cykl SET start = ?, Stop = ? WHERE rowid = ?"),
                     {start, stop, RowAt(cursor).rowid});
    return true;
}

bool CycleGate::DeleteCurrent() {
    if (cursor < 0)
        return false;
    database.Execute(QStringLiteral("DELETE FROM cykl WHERE rowid = ?"), {RowAt(cursor).rowid});
    Reload();
    if (!rows.empty())
        MoveCursor(0);
    return true;
}

} // namespace Pomiar
