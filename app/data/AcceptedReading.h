#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace Pomiar {

// A reading the acquisition accepted, finished for the store: nothing in
// it is read any more, the store only writes it.
struct AcceptedReading {
    double mass = 0;
    // As the reader found it; the store keeps its first three characters.
    QString unit;
    bool stable = true;
    // When it was received.
    QDateTime time;
    // What the balance sent, kept in the series' journal.
    QByteArray frame;
    // The description written with a single reading (" "); a line of a
    // continuous batch has none.
    std::optional<QString> description;
    // A line of a continuous batch: its place among the batch's lines,
    // from 1 (turned-away lines leave gaps), which the row keeps as its
    // number; 0 for a single reading.
    int batchLine = 0;
};

// What continuous transmission brought, read and accepted.
struct ReadingBatch {
    // The complete lines read.
    int lines = 0;
    std::vector<AcceptedReading> readings;
    // The most frequent reason of the lines turned away ("overload", "not a
    // reading", "outside the limits"); empty when none was.
    QString turnedAwayReason;
};

// A line of continuous transmission kept in the working database until its
// batch is stored.
struct SpooledLine {
    QByteArray frame;
    QDateTime received;
};

// Reads lines a killed run spooled, in the words of the family that was
// talking then (its name), as their batch would have been read.
class SpoolReader {
public:
    virtual ~SpoolReader() = default;
    virtual ReadingBatch ReadSpooled(const std::vector<SpooledLine>& lines,
                                     const QString& family) = 0;
};

} // namespace Pomiar
