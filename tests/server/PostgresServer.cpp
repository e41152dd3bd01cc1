#include "PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString binFolder = QStringLiteral("/usr/lib/postgresql/15/bin/");
constexpr uid_t nobodyId = 65534;
constexpr gid_t nogroupId = 65534;

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool writeOwned(const QString& path, const QByteArray& bytes, bool toNobody) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return !toNobody || ::chown(QFile::encodeName(path).constData(), nobodyId, nogroupId) == 0;
}

bool processGone(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype state = text.lastIndexOf(')') + 2;
    return state < text.size() && (text[state] == 'Z' || text[state] == 'X');
}

QList<qint64> childrenOf(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    QList<qint64> children;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& child : file.readAll().split(' ')) {
            if (!child.trimmed().isEmpty())
                children << child.trimmed().toLongLong();
        }
    }
    return children;
}

} // namespace

PostgresServer::PostgresServer()
    : folder(QDir::tempPath() + QStringLiteral("/trevalo-pg-XXXXXX")),
      clientFolder(QDir::tempPath() + QStringLiteral("/trevalo-pgclient-XXXXXX")) {
    port = freeLoopbackPort();
    dataFolder = folder.path() + QStringLiteral("/data");
    const bool asRoot = ::geteuid() == 0;
    // The server's user must reach its folder.
    if (asRoot && ::chown(QFile::encodeName(folder.path()).constData(), nobodyId, nogroupId) != 0) {
        failure = QStringLiteral("cannot hand the folder to nobody");
        return;
    }
    const QString passwordFile = folder.path() + QStringLiteral("/password");
    if (!writeOwned(passwordFile, Password, asRoot)) {
        failure = QStringLiteral("cannot write the password file");
        return;
    }
    QString output;
    made = runAsOwner({bin("initdb"), QStringLiteral("-D"), dataFolder, QStringLiteral("-U"),
                       QString::fromLatin1(User), QStringLiteral("--pwfile=") + passwordFile,
                       QStringLiteral("--auth-host=scram-sha-256"),
                       QStringLiteral("--auth-local=trust"), QStringLiteral("--no-sync"),
                       QStringLiteral("--encoding=UTF8"), QStringLiteral("--locale=C")},
                      &output) &&
           Start();
    if (!made && failure.isEmpty())
        failure = output;
}

PostgresServer::~PostgresServer() {
    for (const QString& name : QSqlDatabase::connectionNames()) {
        if (name.startsWith(QLatin1String("pg-fixture-")))
            QSqlDatabase::removeDatabase(name);
    }
    if (made && !Stop())
        Kill();
}

QString PostgresServer::bin(const char* program) const {
    return binFolder + QString::fromLatin1(program);
}

bool PostgresServer::runAsOwner(const QStringList& command, QString* output) {
    QProcess process;
    QStringList arguments = command;
    QString program = arguments.takeFirst();
    if (::geteuid() == 0) {
        arguments = QStringList{QStringLiteral("--reuid=%1").arg(nobodyId),
                                QStringLiteral("--regid=%1").arg(nogroupId),
                                QStringLiteral("--clear-groups"), program} +
                    arguments;
        program = QStringLiteral("/usr/bin/setpriv");
    }
    process.setWorkingDirectory(folder.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool done = process.waitForFinished(60000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return done && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PostgresServer::Start() {
    // No Unix socket: the server is reached over loopback TCP alone, as the
    // program reaches a lab server.
    const QString options =
        QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -c unix_socket_directories='' "
                       "-c fsync=off -c full_page_writes=off")
            .arg(port);
    QString output;
    if (runAsOwner({bin("pg_ctl"), QStringLiteral("-D"), dataFolder, QStringLiteral("-l"),
                    folder.path() + QStringLiteral("/server.log"), QStringLiteral("-w"),
                    QStringLiteral("-t"), QStringLiteral("30"), QStringLiteral("-o"), options,
                    QStringLiteral("start")},
                   &output))
        return true;
    QFile log(folder.path() + QStringLiteral("/server.log"));
    log.open(QIODevice::ReadOnly);
    failure = output + QString::fromLocal8Bit(log.readAll().right(2000));
    return false;
}

bool PostgresServer::Stop() {
    return runAsOwner({bin("pg_ctl"), QStringLiteral("-D"), dataFolder, QStringLiteral("-m"),
                       QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")});
}

qint64 PostgresServer::postmasterPid() const {
    QFile file(dataFolder + QStringLiteral("/postmaster.pid"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readLine().trimmed().toLongLong();
}

void PostgresServer::Kill() {
    const qint64 postmaster = postmasterPid();
    if (postmaster <= 0)
        return;
    const QList<qint64> children = childrenOf(postmaster);
    ::kill(pid_t(postmaster), SIGKILL);
    for (qint64 child : children)
        ::kill(pid_t(child), SIGKILL);
    for (int i = 0; i < 500 && !processGone(postmaster); ++i)
        QThread::msleep(10);
    for (qint64 child : children) {
        for (int i = 0; i < 500 && !processGone(child); ++i)
            QThread::msleep(10);
    }
    // Where nothing reaps orphans, the dead server stays a zombie that the
    // next start would take for a running one; its lock file is stale.
    QFile::remove(dataFolder + QStringLiteral("/postmaster.pid"));
}

QString PostgresServer::Connection(const QString& database, const QString& password) {
    const QString passFile = clientFolder.path() + QStringLiteral("/pgpass%1").arg(++passFiles);
    writeOwned(passFile,
               QStringLiteral("127.0.0.1:%1:*:%2:%3\n").arg(port).arg(User, password).toUtf8(),
               false);
    return QStringLiteral("host=127.0.0.1 port=%1 user=%2 dbname=%3 passfile=%4")
        .arg(port)
        .arg(QString::fromLatin1(User), database, passFile);
}

bool PostgresServer::CreateDatabase(const QString& name) {
    return Column(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + name)
               .isEmpty() &&
           Value(QStringLiteral("postgres"),
                 QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = '%1'").arg(name))
                   .toInt() == 1;
}

QVariantList PostgresServer::Column(const QString& database, const QString& query) {
    // Per server: a test may run a server of its own beside a shared one.
    const QString name = QStringLiteral("pg-fixture-%1-").arg(port) + database;
    QSqlDatabase connection = QSqlDatabase::contains(name)
                                  ? QSqlDatabase::database(name)
                                  : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    if (!connection.isOpen()) {
        connection.setConnectOptions(Connection(database));
        if (!connection.open())
            return {};
    }
    const auto run = [&connection, &query](QVariantList& values) {
        QSqlQuery result(connection);
        if (!result.exec(query))
            return false;
        while (result.next())
            values << result.value(0);
        return true;
    };
    QVariantList values;
    if (!run(values)) {
        // A server restarted since: connect again once.
        connection.close();
        values.clear();
        if (!connection.open() || !run(values))
            return {};
    }
    return values;
}

QVariant PostgresServer::Value(const QString& database, const QString& query) {
    const QVariantList values = Column(database, query);
    return values.isEmpty() ? QVariant() : values.first();
}
