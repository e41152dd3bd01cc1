#include "DialectDetector.h"

#include <Mordal/Comm.h>
#include <Mordal/ControlFactory.h>

#include <QDateTime>
#include <memory>

namespace Pomiar {

namespace {

using Family = BalanceDialect::Family;

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

DialectDetector::DialectDetector(const Settings& settings, QObject* parent)
    : QObject(parent), unstableCommand(settings.cmdSendUnstable) {
    replyTimer.setSingleShot(true);
    replyTimer.setInterval(ReplyTimeoutMs);
    connect(&replyTimer, &QTimer::timeout, this, &DialectDetector::onAnswer);
    openTimer.setSingleShot(true);
    openTimer.setInterval(OpenTimeoutMs);
    connect(&openTimer, &QTimer::timeout, this, &DialectDetector::onOpened);
}

DialectDetector::~DialectDetector() {
    QObject::disconnect(listening);
    if (ownLink && comm)
        comm->SetCommOpen(false);
}

void DialectDetector::Start(const LinkSettings& link) {
    result = Result{};
    running = true;
    ownLink = std::make_unique<QObject>();
    comm = qobject_cast<Mordal::Comm*>(
        Mordal::CreateControl(QString::fromLatin1(Mordal::CommTypeName), ownLink.get()));
    if (!comm) {
        result.openFailure = QStringLiteral("the communication library offers no Comm control");
        finish();
        return;
    }
    // Both may come from inside the link's own report: the detector moves
    // on once it has returned.
    connect(comm, &Mordal::Comm::ErrorComm, this,
            [this](int, const QString& description, Mordal::enCommSource) {
                if (!opening || !result.openFailure.isEmpty())
                    return;
                result.openFailure = description;
                QTimer::singleShot(0, this, &DialectDetector::onOpened);
            });
    connect(comm, &Mordal::Comm::CommIsOpen, this, [this](bool open) {
        if (open && opening)
            QTimer::singleShot(0, this, &DialectDetector::onOpened);
    });
    opening = true;
    openTimer.start();
    link.Open(*comm);
    // A serial port opens, or fails, at once.
    if (comm->CommOpen() || !result.openFailure.isEmpty())
        QTimer::singleShot(0, this, &DialectDetector::onOpened);
}

void DialectDetector::onOpened() {
    if (!opening)
        return;
    opening = false;
    openTimer.stop();
    if (comm->CommOpen()) {
        result.openFailure.clear();
        askOn(*comm);
        return;
    }
    if (result.openFailure.isEmpty())
        result.openFailure = QStringLiteral("no connection within %1 s").arg(OpenTimeoutMs / 1000);
    finish();
}

void DialectDetector::Start(Mordal::Comm& link) {
    result = Result{};
    ownLink.reset();
    askOn(link);
}

void DialectDetector::askOn(Mordal::Comm& link) {
    comm = &link;
    running = true;
    familyIndex = 0;
    listening = connect(comm, &Mordal::Comm::OnComm, this,
                        [this](const QByteArray& frame, int, int, bool&) {
                            frames << frame;
                            result.received += frame;
                            // The first frame answers; the next step runs once
                            // the link's delivery has returned.
                            if (frames.size() == 1 && replyTimer.isActive()) {
                                replyTimer.stop();
                                QTimer::singleShot(0, this, &DialectDetector::onAnswer);
                            }
                        });
    askFamily();
}

void DialectDetector::askFamily() {
    const QList<Family> order = Order();
    if (familyIndex >= order.size()) {
        finish();
        return;
    }
    const BalanceDialect dialect(order[familyIndex]);
    step = Step::Probe;
    ask(dialect.Probe(unstableCommand));
}

void DialectDetector::ask(const QByteArray& request) {
    frames.clear();
    comm->ClearBuffer();
    comm->OutputData(request + "\r\n", 1000);
    replyTimer.start();
}

void DialectDetector::onAnswer() {
    if (!running)
        return;
    QByteArray answer;
    if (frames.isEmpty())
        // Bytes without a line end are never a frame; they still tell the
        // user what the balance said.
        result.received += comm->PeekInputData();
    else
        answer = frames.front();
    const BalanceDialect dialect(Order()[familyIndex]);
    switch (step) {
    case Step::Probe:
        onProbe(dialect, answer);
        return;
    case Step::Model:
        result.model = IdentityText(dialect, answer);
        askIdentity(Step::SerialNumber);
        return;
    case Step::SerialNumber:
        result.serialNumber = IdentityText(dialect, answer);
        finish();
        return;
    }
}

void DialectDetector::onProbe(const BalanceDialect& dialect, const QByteArray& answer) {
    if (!dialect.Answers(answer)) {
        ++familyIndex;
        askFamily();
        return;
    }
    result.dialect = dialect;
    probed = answer;
    askIdentity(Step::Model);
}

void DialectDetector::askIdentity(Step next) {
    const BalanceDialect dialect(Order()[familyIndex]);
    const DialectCommands& commands = dialect.Commands();
    step = next;
    const QByteArray& request = next == Step::Model ? commands.askModel : commands.askSerialNumber;
    const auto following = [this, next] {
        if (next == Step::Model)
            askIdentity(Step::SerialNumber);
        else
            finish();
    };
    if (request.isEmpty()) {
        following();
        return;
    }
    if (request != dialect.Probe(unstableCommand)) {
        ask(request);
        return;
    }
    // A request the probe already made is not sent again: its answer is at
    // hand.
    (next == Step::Model ? result.model : result.serialNumber) = IdentityText(dialect, probed);
    following();
}

void DialectDetector::finish() {
    running = false;
    opening = false;
    replyTimer.stop();
    openTimer.stop();
    QObject::disconnect(listening);
    if (ownLink && comm)
        comm->SetCommOpen(false);
    emit Finished(result);
}

} // namespace Pomiar
