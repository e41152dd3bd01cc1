#pragma once

#include "MordalExport.h"

#include <QList>
#include <QString>

#include <optional>

namespace Mordal {

// The framing of a serial line: data bits, parity and stop bits, written in
// the short form balances show in their menus ("8N1", "7E1").
struct MORDAL_EXPORT LineFormat {
    enum class Parity : char { None = 'N', Even = 'E', Odd = 'O' };

    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;

    // "<7|8><N|E|O><1|2>", the letter in either case, blanks around it
    // ignored; nothing for any other text.
    static std::optional<LineFormat> FromText(const QString& text);
    // The short form, upper case: FromText(Text()) gives the format back.
    QString Text() const;
    // Every format FromText takes, 8N1 first, then by data bits, stop bits
    // and parity.
    static QList<LineFormat> All();

    bool operator==(const LineFormat&) const = default;
};

} // namespace Mordal
