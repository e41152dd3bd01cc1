#pragma once

#include "BalanceDialect.h"
#include "mUstawienia.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <optional>

namespace Mordal {
class Comm;
}

namespace Pomiar {

// Which family a balance speaks, found by asking it: each family's harmless
// identify request in turn (never tare, zero or continuous output), on a
// link of its own, so that nothing reaches a series while it asks.
class DialectDetector {
public:
    // How long a request waits for its reply.
    static constexpr int ReplyTimeoutMs = 500;
    // How long a TCP connection may take to come up.
    static constexpr int OpenTimeoutMs = 5000;

    struct Result {
        // Nothing when no family answered in its own words.
        std::optional<BalanceDialect> dialect;
        QString model;
        QString serialNumber;
        // Everything that came back, for a balance that answered none of
        // the requests.
        QByteArray received;
        // Why the link could not be opened; detection did not run.
        QString openFailure;

        // Bytes with the eighth bit set came back: a balance that sends 7
        // data bits and a parity bit, read as 8 data bits.
        bool EighthBitSeen() const {
            return std::any_of(received.begin(), received.end(), [](char byte) {
                return (static_cast<unsigned char>(byte) & 0x80) != 0;
            });
        }
    };

    // The default family's immediate read comes from settings' [COMMANDS].
    explicit DialectDetector(const Settings& settings) : settings(settings) {}

    // Opens a link configured as link says (the port must be free), asks,
    // and closes it again.
    Result Detect(const LinkSettings& link) const;
    // Asks on a link that is already open; nobody else should be reading it.
    Result Detect(Mordal::Comm& comm) const;

    // The order the families are asked in: the most specific answers first,
    // the default family (whose read any family might answer) last.
    static QList<BalanceDialect::Family> Order();

private:
    const Settings& settings;
};

} // namespace Pomiar
