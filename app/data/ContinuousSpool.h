#pragma once

#include "AcceptedReading.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace Pomiar {

class Database;

// The lines of a continuous transmission kept in the working database as
// they arrive, so that a run killed before its batch is stored loses none.
// Not part of the schema: series files never get the table.
class ContinuousSpool {
public:
    struct Contents {
        std::vector<SpooledLine> lines;
        // The series start the transmission had, if any.
        std::optional<QDateTime> seriesStart;
        // The family that was talking (BalanceDialect's name).
        QString family;
    };

    static void CreateTable(Database& database);
    // Removes the lines, if the table is there.
    static void Clear(Database& database);
    // One line, committed on its own: a kill loses at most the line in
    // flight.
    static void Append(Database& database, const QByteArray& frame, const QDateTime& received,
                       const std::optional<QDateTime>& seriesStart, const QString& family);
    // The lines kept, in their order; none without the table. Throws
    // DatabaseError.
    static Contents Read(Database& database);
};

} // namespace Pomiar
