#pragma once

#include "Endpoint.h"
#include "LineFormat.h"

#include <QSocketNotifier>

#include <memory>

namespace BalanceSim {

// The instrument on a pseudo-terminal: the program under test opens the
// slave side through the link "COM<n>" in the port directory, as it would
// open a serial device.
class PtyEndpoint : public Endpoint {
    Q_OBJECT
public:
    // Bytes the client leaves unread are dropped beyond this, as on a real
    // line with nobody listening.
    static constexpr qsizetype MaxPending = 4096;

    PtyEndpoint(BalanceModel& model, ReplyScript& script, const Behaviour& behaviour,
                const Dialect& dialect, QObject* parent = nullptr);
    ~PtyEndpoint() override;

    bool Open(int com, const QString& portDirectory, QString* error);
    void SetLineFormat(const LineFormat& format) { line = format; }
    QString SlavePath() const { return slavePath; }
    QString LinkPath() const { return linkPath; }
    // The line is always there, whether or not a program has it open.
    bool HasClient() const override { return master >= 0; }

protected:
    void Write(const QByteArray& bytes) override;

private:
    bool OpenPair(QString* error);
    bool Publish(int com, const QString& portDirectory, QString* error);
    void Unpublish();
    void ReadMaster();
    void WritePending();

    int master = -1;
    // Held open so the master stays usable while no client has the port.
    int slaveKeeper = -1;
    QString slavePath;
    QString linkPath;
    LineFormat line;
    QByteArray pending;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
};

} // namespace BalanceSim
