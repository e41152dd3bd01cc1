#include "LinkSession.h"

#include "Events.h"

#include <Mordal/Comm.h>
#include <Mordal/ControlFactory.h>

#include <QElapsedTimer>
#include <algorithm>

namespace Trevalo {

namespace {
// A TCP connection to a converter that is slow to answer still comes up.
constexpr int openWaitMs = 5000;
} // namespace

LinkSession::LinkSession() : holder(std::make_unique<QObject>()) {
    texts.permissionRemedy = QStringLiteral(
        "Permission denied: add the user to the group \"%1\" that owns %2 and log in again.");
    comm = qobject_cast<Mordal::Comm*>(
        Mordal::CreateControl(QString::fromLatin1(Mordal::CommTypeName), holder.get()));
    if (!comm)
        return;
    QObject::connect(comm, &Mordal::Comm::OnComm, [this](const QByteArray& frame, int, int, bool&) {
        if (frameReceived)
            frameReceived(frame);
    });
    QObject::connect(comm, &Mordal::Comm::ErrorComm,
                     [this](int number, const QString& description, Mordal::enCommSource) {
                         onError(number, description);
                     });
    QObject::connect(comm, &Mordal::Comm::CommIsOpen, [this](bool open) { onState(open); });
    QObject::connect(&reopen, &QTimer::timeout, [this] {
        if (!comm->CommOpen())
            comm->SetCommOpen(true);
    });
}

LinkSession::~LinkSession() {
    Close();
    // The control goes last, with its holder: nothing it says then reaches
    // members already gone.
    if (comm)
        QObject::disconnect(comm, nullptr, nullptr, nullptr);
}

bool LinkSession::Open(const Pomiar::LinkSettings& settings, QString* failureText) {
    if (!comm) {
        *failureText = QStringLiteral("the communication library offers no Comm control");
        return false;
    }
    const int type = settings.type;
    if (type != int(Mordal::enCommSource::Serial) && type != int(Mordal::enCommSource::TCP)) {
        *failureText = QStringLiteral("no link configured (Type=%1 in ustawienia.ini)").arg(type);
        return false;
    }
    failure.reset();
    closing = false;
    // Opening a TCP link waits a while by itself: that counts too.
    QElapsedTimer sinceOpen;
    sinceOpen.start();
    settings.Open(*comm);
    Events::RunUntil([this] { return comm->CommOpen() || failure; },
                     std::max(0, openWaitMs - int(sinceOpen.elapsed())));
    if (comm->CommOpen())
        return true;
    *failureText = failure.value_or(
        watch.LinkName() + QStringLiteral(": no connection within %1 s").arg(openWaitMs / 1000));
    comm->SetCommOpen(false);
    return false;
}

void LinkSession::Close() {
    // A close of our own is no outage.
    closing = true;
    reopen.stop();
    if (comm && comm->CommOpen())
        comm->SetCommOpen(false);
}

bool LinkSession::IsOpen() const {
    return comm && comm->CommOpen();
}

void LinkSession::KeepReopening(bool on) {
    keepReopening = on;
    reopen.setInterval(watch.RetryIntervalMs());
    if (!on)
        reopen.stop();
    else if (lost)
        reopen.start();
}

void LinkSession::onError(int number, const QString& description) {
    const QString text = watch.FailureText(number, description, texts);
    if (!wasOpen) {
        failure = text;
        return;
    }
    // The system's reason replaces the bare "lost" of the state report.
    if (!comm->CommOpen())
        onState(false);
    if (lost)
        lost = text;
}

void LinkSession::onState(bool open) {
    watch.Reported(open);
    if (open) {
        wasOpen = true;
        reopen.stop();
        if (lost) {
            lost.reset();
            if (linkBack)
                linkBack();
        }
        return;
    }
    if (!wasOpen || lost || closing)
        return;
    lost = watch.LinkName() + QStringLiteral(": link lost");
    if (keepReopening)
        reopen.start();
    if (linkLost)
        linkLost(*lost);
}

} // namespace Trevalo
