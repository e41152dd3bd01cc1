#pragma once

#include <QByteArray>
#include <QList>

#include <utility>

namespace BalanceSim {

// Cuts the received bytes into commands. A command ends at CR LF, and,
// to suit people typing into a terminal, at a lone CR or LF as well; empty
// commands are skipped. A run without a line end cannot grow without bound:
// its first MaxLength bytes become a command and the rest of the line is
// thrown away. A self-ending command is handed over as soon as it is
// complete, as a balance acts on it without waiting for a line end.
class LineAssembler {
public:
    static constexpr qsizetype MaxLength = 64;

    explicit LineAssembler(QList<QByteArray> selfEnding = {}) : selfEnding(std::move(selfEnding)) {}

    QList<QByteArray> Feed(const QByteArray& bytes);
    void Clear();

private:
    QList<QByteArray> selfEnding;
    QByteArray pending;
    bool discarding = false;
};

} // namespace BalanceSim
