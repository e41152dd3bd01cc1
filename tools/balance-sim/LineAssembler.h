#pragma once

#include <QByteArray>
#include <QList>

namespace BalanceSim {

// Cuts the received bytes into commands. A command ends at CR LF, and,
// to suit people typing into a terminal, at a lone CR or LF as well; empty
// commands are skipped. A run without a line end cannot grow without bound:
// its first MaxLength bytes become a command and the rest of the line is
// thrown away.
class LineAssembler {
public:
    static constexpr qsizetype MaxLength = 64;

    QList<QByteArray> Feed(const QByteArray& bytes);
    void Clear();

private:
    QByteArray pending;
    bool discarding = false;
};

} // namespace BalanceSim
