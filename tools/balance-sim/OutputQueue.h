#pragma once

#include <QByteArray>

#include <deque>
#include <optional>

namespace BalanceSim {

// Bytes waiting for their moment to leave. Everything leaves in the order it
// was queued, so a delayed reply holds back whatever is queued behind it.
// Times are milliseconds on any steady clock the owner chooses.
class OutputQueue {
public:
    void Push(qint64 nowMs, int afterMs, const QByteArray& bytes);
    // Everything due at nowMs, in order, taken out of the queue.
    QByteArray TakeDue(qint64 nowMs);
    std::optional<qint64> NextDue() const;
    bool IsEmpty() const { return items.empty(); }
    void Clear() { items.clear(); }

private:
    struct Item {
        qint64 dueMs;
        QByteArray bytes;
    };
    std::deque<Item> items;
};

} // namespace BalanceSim
