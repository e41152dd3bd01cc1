#pragma once

#include "BalanceModel.h"
#include "Behaviour.h"
#include "Dialect.h"
#include "Options.h"
#include "ReplyScript.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <memory>

namespace BalanceSim {

class Endpoint;
class PtyEndpoint;
class TcpEndpoint;

// The instrument with its endpoints, steered by control commands.
class Simulator : public QObject {
    Q_OBJECT
public:
    explicit Simulator(const Options& options, QObject* parent = nullptr);
    ~Simulator() override;

    // Loads the script, sets the instrument up and opens the endpoints.
    bool Start(QString* error);
    // "READY ..." for each endpoint.
    QStringList ReadyLines() const;

    // "OK", "ERR <reason>", or nothing for a blank line.
    QByteArray Execute(const QByteArray& line);

signals:
    void QuitRequested();

private:
    // The reason a command could not be carried out, or nothing.
    QString Apply(const ControlCommand& command);
    void SendToAll(const QByteArray& bytes);
    QList<Endpoint*> Endpoints() const;

    Options options;
    BalanceModel model;
    ReplyScript script;
    Behaviour behaviour;
    const Dialect& dialect;
    std::unique_ptr<PtyEndpoint> pty;
    std::unique_ptr<TcpEndpoint> tcp;
};

} // namespace BalanceSim
