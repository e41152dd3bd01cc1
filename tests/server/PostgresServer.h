#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>

// A PostgreSQL server of the test's own: a cluster made with initdb in a
// temporary folder, listening only on 127.0.0.1 at a free port, with the
// user "lab" who logs in with a password. Run by "nobody" when the tests
// run as root (the server refuses root). Stopped and removed at the end.
class PostgresServer {
public:
    static constexpr const char* User = "lab";
    static constexpr const char* Password = "lab-secret";

    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Whether the cluster was made; why not otherwise.
    bool Made() const { return made; }
    QString Failure() const { return failure; }

    bool Start();
    bool Stop();
    // The server and all its processes die at once, as in a power cut of the
    // server alone; a later Start recovers it.
    void Kill();

    int Port() const { return port; }
    // A libpq connection string for a database of this server, with the
    // password from a password file holding the given password.
    QString Connection(const QString& database, const QString& password = Password);
    bool CreateDatabase(const QString& name);

    // The first column of every row of a query, run as "lab" on the
    // database; empty when it failed.
    QVariantList Column(const QString& database, const QString& query);
    QVariant Value(const QString& database, const QString& query);

private:
    bool runAsOwner(const QStringList& command, QString* output = nullptr);
    QString bin(const char* program) const;
    qint64 postmasterPid() const;

    QTemporaryDir folder;
    QTemporaryDir clientFolder;
    QString dataFolder;
    int port = 0;
    bool made = false;
    QString failure;
    int passFiles = 0;
};
