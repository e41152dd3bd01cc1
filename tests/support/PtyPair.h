#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal standing in for a serial device: the test holds the
// master side; the slave is published as "COM<n>" in the port folder.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsValid() const { return master >= 0; }
    QString SlavePath() const { return slavePath; }

    // Links "COM<port>" in the port folder to the slave side.
    void Publish(int port);

    // What the device sends; runs events while the terminal is full.
    void Write(const QByteArray& bytes);
    // What the device received, waiting (with events running) until at
    // least minBytes arrived or timeoutMs passed.
    QByteArray Read(int minBytes = 1, int timeoutMs = 2000);

    int MasterFd() const { return master; }

    // The device goes away as an unplugged adapter does: the line hangs up
    // and the published link disappears.
    void Unplug();

private:
    int master = -1;
    int slaveKeeper = -1;
    QString slavePath;
    QString publishedLink;
};
