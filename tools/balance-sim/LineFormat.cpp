#include "LineFormat.h"

#include <bit>

namespace BalanceSim {

std::optional<LineFormat> LineFormat::Parse(const QString& text) {
    if (text.size() != 3)
        return std::nullopt;
    LineFormat format;
    const QChar bits = text.at(0);
    const QChar parity = text.at(1).toUpper();
    const QChar stops = text.at(2);
    if ((bits != u'7' && bits != u'8') || (stops != u'1' && stops != u'2'))
        return std::nullopt;
    if (parity == u'E')
        format.parity = Parity::Even;
    else if (parity == u'O')
        format.parity = Parity::Odd;
    else if (parity != u'N')
        return std::nullopt;
    format.dataBits = bits.digitValue();
    format.stopBits = stops.digitValue();
    return format;
}

QByteArray LineFormat::Outgoing(const QByteArray& bytes) const {
    if (dataBits == 8)
        return bytes;
    QByteArray framed(bytes.size(), '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned data = static_cast<unsigned char>(bytes[i]) & 0x7f;
        const bool odd = std::popcount(data) % 2 != 0;
        const bool parityBit = parity == Parity::Even ? odd : parity == Parity::Odd ? !odd : false;
        framed[i] = char(data | (parityBit ? 0x80 : 0));
    }
    return framed;
}

QByteArray LineFormat::Incoming(const QByteArray& bytes) const {
    if (dataBits == 8)
        return bytes;
    QByteArray data(bytes);
    for (char& c : data)
        c = char(c & 0x7f);
    return data;
}

} // namespace BalanceSim
