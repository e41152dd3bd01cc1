#include "LineAssembler.h"

namespace BalanceSim {

QList<QByteArray> LineAssembler::Feed(const QByteArray& bytes) {
    QList<QByteArray> commands;
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!pending.isEmpty())
                commands.append(pending);
            pending.clear();
            discarding = false;
            continue;
        }
        if (discarding)
            continue;
        pending.append(c);
        if (selfEnding.contains(pending)) {
            commands.append(pending);
            pending.clear();
        } else if (pending.size() >= MaxLength) {
            commands.append(pending);
            pending.clear();
            discarding = true;
        }
    }
    return commands;
}

void LineAssembler::Clear() {
    pending.clear();
    discarding = false;
}

} // namespace BalanceSim
