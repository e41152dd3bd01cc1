#include "Events.h"
#include "INI.h"
#include "Invocation.h"
#include "LabServerSettings.h"
#include "LabWebServer.h"
#include "VerbSupport.h"
#include "Verbs.h"

#include <cstdio>

namespace Trevalo {

using namespace Pomiar;

// The lab's live web view until Ctrl+C or SIGTERM. It connects with
// [LabServer] WebConnection when set (a role that can only read), else
// with the station's own Connection.
int RunServerWeb(const Invocation& run, const LabServerSettings& stationSettings,
                 const QString& iniPath) {
    LabServerSettings settings = stationSettings;
    const QString web = INI::CzytajIni(iniPath, QString::fromLatin1(LabServerSettings::Section),
                                       QStringLiteral("WebConnection"), QString())
                            .trimmed();
    if (!web.isEmpty())
        settings.connection = web;
    LabWebOptions options;
    QString error;
    if (!run.listen.isEmpty() &&
        !LabWebServer::ParseListen(run.listen, &options.address, &options.port, &error))
        return Fail(UsageError, error);
    options.filesFolder = LabWebServer::DefaultFilesFolder();
    options.passwordFile = run.passwordFile;
    options.tlsCertificate = run.tlsCert;
    options.tlsKey = run.tlsKey;

    Events::CatchInterrupts();
    LabWebServer server(settings, options);
    QObject::connect(&server, &LabWebServer::Warning, [](const QString& text) { Warn(text); });
    QObject::connect(&server, &LabWebServer::DatabaseState, [](bool live, const QString& reason) {
        if (live)
            Warn(QStringLiteral("server: lab database connected"));
        else
            Warn(QStringLiteral("server: lab database unreachable, reconnecting: ") +
                 reason.simplified());
    });
    if (!server.Start(&error))
        return Fail(FileFailed, QStringLiteral("server web: ") + error);
    const bool loopback = options.address.isLoopback();
    const QString host = options.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + options.address.toString() + QLatin1Char(']')
                             : options.address.toString();
    std::printf("lab web view on %s://%s:%u/\n",
                options.tlsCertificate.isEmpty() ? "http" : "https", qPrintable(host),
                unsigned(server.Port()));
    std::fflush(stdout);
    if (!loopback)
        Warn(QStringLiteral("server web: listening beyond loopback on %1%2%3")
                 .arg(host,
                      options.passwordFile.isEmpty() ? QStringLiteral(", without --password-file")
                                                     : QString(),
                      options.tlsCertificate.isEmpty() ? QStringLiteral(", without HTTPS")
                                                       : QString()));
    Events::RunUntil([] { return Events::Interrupted(); }, -1);
    return Success;
}

} // namespace Trevalo
