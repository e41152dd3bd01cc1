#include "BatchReader.h"

#include "Progress.h"

namespace Pomiar {

namespace {

const QString lineEnd = QStringLiteral("\r\n");

// The complete lines of a buffer: everything before its last CR LF.
QStringList CompleteLines(const QString& text) {
    QStringList lines = text.split(lineEnd);
    lines.removeLast();
    return lines;
}

// Removes the first count lines (each with its CR LF) from a buffer.
template <typename Text> void DropLines(Text& text, int count, const Text& separator) {
    qsizetype at = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype next = text.indexOf(separator, at);
        if (next < 0)
            break;
        at = next + separator.size();
    }
    text.remove(0, at);
}

// The most frequent reason; empty when no line was turned away.
QString MostFrequent(const std::map<QString, int>& reasons) {
    QString reason;
    int most = 0;
    for (const auto& [text, count] : reasons)
        if (count > most) {
            most = count;
            reason = text;
        }
    return reason;
}

} // namespace

ReadingBatch BatchReader::Read(ContinuousBuffers& buffers, const BalanceDialect& dialect,
                               Progress* progress) const {
    ReadingBatch batch;
    batch.lines = int(CompleteLines(QString::fromLatin1(buffers.frames)).size());
    // Kept for the next batch, spooled lines and all.
    if (batch.lines < 2)
        return batch;
    std::map<QString, int> turnedAway;
    int position = 0;
    // Frames that arrive while the progress window lets events run are
    // collected too: the batch goes on until every complete line is taken.
    for (;;) {
        const QStringList lines = CompleteLines(QString::fromLatin1(buffers.frames));
        if (lines.isEmpty())
            break;
        if (progress)
            progress->Begin(ProgressCaption::AddingReadings, position + int(lines.size()) - 1);
        readLines(lines, CompleteLines(buffers.dates), CompleteLines(buffers.times), position,
                  dialect, progress, batch, turnedAway);
        position += int(lines.size());
        DropLines(buffers.frames, int(lines.size()), QByteArray("\r\n"));
        DropLines(buffers.dates, int(lines.size()), lineEnd);
        DropLines(buffers.times, int(lines.size()), lineEnd);
    }
    batch.lines = position;
    batch.turnedAwayReason = MostFrequent(turnedAway);
    return batch;
}

ReadingBatch BatchReader::ReadSpooled(const std::vector<SpooledLine>& spooled,
                                      const QString& family) {
    ContinuousBuffers buffers;
    for (const SpooledLine& line : spooled)
        buffers.Append(line.frame, line.received);
    const BalanceDialect dialect = BalanceDialect::Named(family).value_or(BalanceDialect());
    const QStringList lines = CompleteLines(QString::fromLatin1(buffers.frames));
    ReadingBatch batch;
    std::map<QString, int> turnedAway;
    readLines(lines, CompleteLines(buffers.dates), CompleteLines(buffers.times), 0, dialect,
              nullptr, batch, turnedAway);
    batch.lines = int(lines.size());
    batch.turnedAwayReason = MostFrequent(turnedAway);
    return batch;
}

void BatchReader::readLines(const QStringList& lines, const QStringList& dates,
                            const QStringList& times, int position, const BalanceDialect& dialect,
                            Progress* progress, ReadingBatch& batch,
                            std::map<QString, int>& turnedAway) const {
    for (int k = 0; k < lines.size(); ++k) {
        // The line's place in the whole batch: turned-away lines leave gaps.
        const int i = position + k;
        if (progress)
            progress->Step(i);
        // The times as the buffers keep them, to the second.
        const QDate date = QDate::fromString(dates.value(k), Qt::ISODate);
        const QDateTime received(date, QTime::fromString(times.value(k), Qt::ISODate));
        auto verdict =
            ReadingAcceptance::Judge(dialect.ReadLine(lines[k]), lines[k].toLatin1(), received,
                                     ReadingAcceptance::Road::Batch, acceptance);
        if (!verdict.Accepted()) {
            ++turnedAway[verdict.Reason()];
            continue;
        }
        verdict.reading->batchLine = i + 1;
        batch.readings.push_back(*verdict.reading);
    }
}

} // namespace Pomiar
