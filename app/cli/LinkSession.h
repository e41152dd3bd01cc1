#pragma once

#include "LinkWatch.h"
#include "mUstawienia.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace Mordal {
class Comm;
}

namespace Trevalo {

// The one link of a run: the library's Comm control created by its type
// name, opened from the station's link settings, its frames handed on.
class LinkSession {
public:
    LinkSession();
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // Opens the link and waits until it is up (a TCP connection takes a
    // moment). False with the link's name and the system's reason.
    bool Open(const Pomiar::LinkSettings& settings, QString* failure);
    void Close();

    Mordal::Comm*& Comm() { return comm; }
    bool IsOpen() const;
    // The link went down after it was up, with the reason as the user reads
    // it; cleared when it is up again.
    const std::optional<QString>& Lost() const { return lost; }

    // A link that goes down is opened again at the program's pace, so that a
    // long run outlives an outage.
    void KeepReopening(bool on);

    // Every frame, in order, CR LF included.
    std::function<void(const QByteArray& frame)> frameReceived;
    // The link went down (once per outage) or came back.
    std::function<void(const QString& reason)> linkLost;
    std::function<void()> linkBack;

private:
    void onError(int number, const QString& description);
    void onState(bool open);

    std::unique_ptr<QObject> holder;
    Mordal::Comm* comm = nullptr;
    Pomiar::LinkWatch watch{comm};
    Pomiar::LinkWatch::Texts texts;
    bool wasOpen = false;
    bool keepReopening = false;
    bool closing = false;
    std::optional<QString> failure;
    std::optional<QString> lost;
    QTimer reopen;
};

} // namespace Trevalo
