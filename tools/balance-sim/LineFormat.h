#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace BalanceSim {

// The character format of a serial line ("8N1", "7E1", ...). A
// pseudo-terminal carries eight bits and no parity, so the format is
// played out on the bytes themselves: with seven data bits the parity bit
// travels in bit 7 and received bytes lose it. Eight data bits leave the
// bytes as they are, since there is no ninth bit to carry a parity.
class LineFormat {
public:
    enum class Parity { None, Even, Odd };

    // "8N1" and the like: data bits 7 or 8, parity N, E or O, stop bits 1 or 2.
    static std::optional<LineFormat> Parse(const QString& text);

    int DataBits() const { return dataBits; }
    Parity ParityKind() const { return parity; }
    int StopBits() const { return stopBits; }

    QByteArray Outgoing(const QByteArray& bytes) const;
    QByteArray Incoming(const QByteArray& bytes) const;

private:
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;
};

} // namespace BalanceSim
