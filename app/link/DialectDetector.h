#pragma once

#include "BalanceDialect.h"
#include "mUstawienia.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <optional>

namespace Mordal {
class Comm;
}

namespace Pomiar {

// Which family a balance speaks, found by asking it: each family's harmless
// identify request in turn (never tare, zero or continuous output), on a
// link of its own, so that nothing reaches a series while it asks. It
// waits for nothing: each reply, or its time-out, moves it on, and
// Finished tells what it found.
class DialectDetector : public QObject {
    Q_OBJECT
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
    explicit DialectDetector(const Settings& settings, QObject* parent = nullptr);
    ~DialectDetector() override;

    // Opens a link configured as link says (the port must be free), asks,
    // and closes it again.
    void Start(const LinkSettings& link);
    // Asks on a link that is already open; nobody else should be reading it.
    void Start(Mordal::Comm& comm);
    bool Running() const { return running; }

    // The order the families are asked in: the most specific answers first,
    // the default family (whose read any family might answer) last.
    static QList<BalanceDialect::Family> Order();

signals:
    void Finished(const Pomiar::DialectDetector::Result& result);

private:
    // What the current request of a family asks for.
    enum class Step { Probe, Model, SerialNumber };

    void onOpened();
    void askOn(Mordal::Comm& link);
    void askFamily();
    void ask(const QByteArray& request);
    void onAnswer();
    void onProbe(const BalanceDialect& dialect, const QByteArray& answer);
    // The model, then the serial number, of the family that answered; a
    // request the probe already made is not sent again.
    void askIdentity(Step step);
    void finish();

    // The default family's immediate read, its probe.
    QString unstableCommand;
    // The link of its own when Start was given settings.
    std::unique_ptr<QObject> ownLink;
    Mordal::Comm* comm = nullptr;
    QMetaObject::Connection listening;
    QTimer replyTimer;
    QTimer openTimer;
    QList<QByteArray> frames;
    QByteArray probed;
    qsizetype familyIndex = 0;
    Step step = Step::Probe;
    Result result;
    bool running = false;
    // Its own link is coming up.
    bool opening = false;
};

} // namespace Pomiar
