#pragma once

#include <QString>

namespace Mordal {
class Comm;
}

namespace Pomiar {

// The link as the operator is told about it: what it is (the port with its
// device, or host and port), whether it is up, and one message per outage
// rather than one per failed attempt. A lost link is opened again at the
// pace this gives.
class LinkWatch {
public:
    // The texts it composes, in the language of the language file.
    struct Texts {
        QString connected = QStringLiteral("polaczono");
        QString notConnected = QStringLiteral("brak polaczenia");
        QString retrying = QStringLiteral("polaczenie utracone, ponawianie co %1 s");
        // %1 the group that owns the device, %2 the device.
        QString permissionRemedy =
            QStringLiteral("Brak uprawnien do portu. Dodaj uzytkownika do grupy \"%1\", do ktorej "
                           "nalezy %2, i zaloguj sie ponownie.");
    };

    static constexpr int SerialRetryMs = 1000;
    static constexpr int TcpRetryMs = 5000;

    explicit LinkWatch(Mordal::Comm* comm) : comm(comm) {}
    // Null: no link to tell about any more.
    void SetComm(Mordal::Comm* link) { comm = link; }

    // "COM5 (/dev/ttyUSB4)" or "127.0.0.1:4001"; empty without a source.
    QString LinkName() const;
    // The failure as the user reads it: the link it concerns, the system's
    // reason, and for a port the user may not open, the remedy.
    QString FailureText(int number, const QString& description, const Texts& texts) const;
    // The status line: the link and its state.
    QString StatusText(bool retrying, const Texts& texts) const;

    // A link report: a link that is up ends the outage.
    void Reported(bool open);
    // True for the first failure since the link was last up (or since the
    // user chose another link): the one failure the user is shown.
    bool FirstFailureOfOutage();

    int RetryIntervalMs() const;

private:
    Mordal::Comm* comm;
    // The port's name while it was last up: a device that went away no
    // longer shows where it was.
    QString lastOpenLink;
    // The link whose outage the user was told of; empty while none is.
    QString toldOutageOf;
};

} // namespace Pomiar
