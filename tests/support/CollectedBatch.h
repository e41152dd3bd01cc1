#pragma once

#include "BatchReader.h"
#include "MeasurementStore.h"
#include "Progress.h"

// What continuous transmission collected, read and stored as the
// acquisition does at its end.
inline bool StoreCollected(Pomiar::MeasurementStore& store, Pomiar::ContinuousBuffers& buffers,
                           Pomiar::Progress* progress,
                           const Pomiar::BalanceDialect& dialect = Pomiar::BalanceDialect()) {
    const Pomiar::ReadingAcceptance::Rules rules = Pomiar::ReadingAcceptance::StoreRules(store);
    const Pomiar::BatchReader reader(rules);
    const Pomiar::ReadingBatch batch = reader.Read(buffers, dialect, progress);
    const bool stored = store.DodajPomiary(batch);
    if (progress && batch.lines >= 2)
        progress->End();
    return stored;
}
