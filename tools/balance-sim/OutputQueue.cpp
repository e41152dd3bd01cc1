#include "OutputQueue.h"

#include <algorithm>

namespace BalanceSim {

void OutputQueue::Push(qint64 nowMs, int afterMs, const QByteArray& bytes) {
    qint64 due = nowMs + std::max(afterMs, 0);
    if (!items.empty())
        due = std::max(due, items.back().dueMs);
    items.push_back({due, bytes});
}

QByteArray OutputQueue::TakeDue(qint64 nowMs) {
    QByteArray due;
    while (!items.empty() && items.front().dueMs <= nowMs) {
        due.append(items.front().bytes);
        items.pop_front();
    }
    return due;
}

std::optional<qint64> OutputQueue::NextDue() const {
    if (items.empty())
        return std::nullopt;
    return items.front().dueMs;
}

} // namespace BalanceSim
