#pragma once

#include "AcceptedReading.h"
#include "BalanceProtocol.h"
#include "ReadingAcceptance.h"

#include <QStringList>
#include <map>

namespace Pomiar {

class Progress;

// Continuous transmission's road to the store: every complete line of what
// was collected goes through the family's line reader and the acceptance,
// and comes out as a batch of finished readings, which the caller hands to
// the store; nothing here asks the store. Also reads the lines a killed run
// spooled, for the store's start.
class BatchReader : public SpoolReader {
public:
    // rules: the acceptance's (ReadingAcceptance::StoreRules), the owner's,
    // read at each batch as they are then, and outliving the reader.
    explicit BatchReader(const ReadingAcceptance::Rules& rules) : acceptance(rules) {}
    explicit BatchReader(ReadingAcceptance::Rules&&) = delete;

    // Reads and takes out of the buffers every complete line, also those
    // that arrive while progress is shown (its window may let events run);
    // a piece without its line end stays. With fewer than two complete
    // lines nothing is read and the buffers stay as they are.
    ReadingBatch Read(ContinuousBuffers& buffers, const BalanceDialect& dialect,
                      Progress* progress) const;
    ReadingBatch ReadSpooled(const std::vector<SpooledLine>& lines, const QString& family) override;

private:
    // Reads lines (with their dates and times) numbered from position on.
    void readLines(const QStringList& lines, const QStringList& dates, const QStringList& times,
                   int position, const BalanceDialect& dialect, Progress* progress,
                   ReadingBatch& batch, std::map<QString, int>& turnedAway) const;

    const ReadingAcceptance::Rules& acceptance;
};

} // namespace Pomiar
