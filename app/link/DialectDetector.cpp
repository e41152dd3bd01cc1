#include "DialectDetector.h"

#include <Mordal/Comm.h>
#include <Mordal/ControlFactory.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <memory>

namespace Pomiar {

namespace {

using Family = BalanceDialect::Family;

// Runs events until done holds or timeoutMs passed.
template <typename Done> void Wait(Done done, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    while (!done() && elapsed.elapsed() < timeoutMs)
        loop.processEvents(QEventLoop::WaitForMoreEvents, 10);
}

// The frames a link delivers while it is asked, taken in order.
class Listener {
public:
    explicit Listener(Mordal::Comm& comm) : comm(comm) {
        connection = QObject::connect(&comm, &Mordal::Comm::OnComm,
                                      [this](const QByteArray& frame, int, int, bool&) {
                                          frames << frame;
                                          received += frame;
                                      });
    }
    ~Listener() { QObject::disconnect(connection); }

    // Sends a request and waits for the first frame of its reply; empty
    // when none came in time.
    QByteArray Ask(const QByteArray& request) {
        frames.clear();
        comm.ClearBuffer();
        comm.OutputData(request + "\r\n", 1000);
        Wait([this] { return !frames.isEmpty(); }, DialectDetector::ReplyTimeoutMs);
        if (frames.isEmpty()) {
            // Bytes without a line end are never a frame; they still tell
            // the user what the balance said.
            received += comm.PeekInputData();
            return {};
        }
        return frames.front();
    }

    QByteArray received;

private:
    Mordal::Comm& comm;
    QList<QByteArray> frames;
    QMetaObject::Connection connection;
};

// A refusal in any family's words ("ES", "EC,E01", "S I"): never a model
// or a serial number, even to a family that answers those with plain lines.
bool IsRefusal(const QString& text) {
    for (const Family family : DialectDetector::Order()) {
        // The default family's refusal is any line opening with "ES".
        if (family == Family::Default)
            continue;
        const BalanceDialect dialect(family);
        for (const BalanceReply& reply : dialect.Read(text.toLatin1()))
            if (reply.kind == BalanceReply::Kind::Error)
                return true;
    }
    return false;
}

// The text of an identification reply, or of a plain line for a family
// that answers with one.
QString IdentityText(const BalanceDialect& dialect, const QByteArray& frame) {
    for (const BalanceReply& reply : dialect.Read(frame)) {
        const bool identity = reply.kind == BalanceReply::Kind::Identification ||
                              (reply.kind == BalanceReply::Kind::Other && !IsRefusal(reply.text));
        if (identity)
            return reply.text.trimmed();
    }
    return {};
}

} // namespace

QList<BalanceDialect::Family> DialectDetector::Order() {
    return {Family::Sics, Family::Ad, Family::Sbi, Family::Ohaus, Family::Default};
}

DialectDetector::Result DialectDetector::Detect(Mordal::Comm& comm) const {
    Listener listener(comm);
    Result result;
    for (const Family family : Order()) {
        const BalanceDialect dialect(family);
        const DialectCommands& commands = dialect.Commands();
        const QByteArray probe = dialect.Probe(settings.cmdSendUnstable);
        const QByteArray probed = listener.Ask(probe);
        if (!dialect.Answers(probed))
            continue;
        result.dialect = dialect;
        // A request the probe already made is not sent again: its answer
        // is at hand.
        const auto answer = [&](const QByteArray& request) {
            return request == probe ? probed : listener.Ask(request);
        };
        if (!commands.askModel.isEmpty())
            result.model = IdentityText(dialect, answer(commands.askModel));
        if (!commands.askSerialNumber.isEmpty())
            result.serialNumber = IdentityText(dialect, answer(commands.askSerialNumber));
        break;
    }
    result.received = listener.received;
    return result;
}

DialectDetector::Result DialectDetector::Detect(const LinkSettings& link) const {
    QObject holder;
    auto* comm = qobject_cast<Mordal::Comm*>(
        Mordal::CreateControl(QString::fromLatin1(Mordal::CommTypeName), &holder));
    Result result;
    if (!comm) {
        result.openFailure = QStringLiteral("the communication library offers no Comm control");
        return result;
    }
    QString failure;
    QObject::connect(comm, &Mordal::Comm::ErrorComm,
                     [&failure](int, const QString& description, Mordal::enCommSource) {
                         if (failure.isEmpty())
                             failure = description;
                     });
    link.Open(*comm);
    Wait([&] { return comm->CommOpen() || !failure.isEmpty(); }, OpenTimeoutMs);
    if (!comm->CommOpen()) {
        result.openFailure =
            failure.isEmpty()
                ? QStringLiteral("no connection within %1 s").arg(OpenTimeoutMs / 1000)
                : failure;
        return result;
    }
    result = Detect(*comm);
    comm->SetCommOpen(false);
    return result;
}

} // namespace Pomiar
