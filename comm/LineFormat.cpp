#include <Mordal/LineFormat.h>

namespace Mordal {

namespace {

constexpr LineFormat::Parity parities[] = {LineFormat::Parity::None, LineFormat::Parity::Even,
                                           LineFormat::Parity::Odd};

std::optional<LineFormat::Parity> parityOf(QChar letter) {
    for (const LineFormat::Parity parity : parities) {
        if (letter.toUpper() == QLatin1Char(static_cast<char>(parity)))
            return parity;
    }
    return std::nullopt;
}

} // namespace

std::optional<LineFormat> LineFormat::FromText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.size() != 3)
        return std::nullopt;
    const std::optional<Parity> parity = parityOf(trimmed[1]);
    // Plain ASCII digits only: other scripts' digits are no format.
    const int dataBits = trimmed[0].unicode() - '0';
    const int stopBits = trimmed[2].unicode() - '0';
    if (!parity || (dataBits != 7 && dataBits != 8) || (stopBits != 1 && stopBits != 2))
        return std::nullopt;
    return LineFormat{dataBits, *parity, stopBits};
}

QString LineFormat::Text() const {
    return QString::number(dataBits) + QLatin1Char(static_cast<char>(parity)) +
           QString::number(stopBits);
}

QList<LineFormat> LineFormat::All() {
    QList<LineFormat> formats{LineFormat{}};
    for (const int dataBits : {8, 7}) {
        for (const int stopBits : {1, 2}) {
            for (const Parity parity : parities) {
                const LineFormat format{dataBits, parity, stopBits};
                if (format != LineFormat{})
                    formats.append(format);
            }
        }
    }
    return formats;
}

} // namespace Mordal
