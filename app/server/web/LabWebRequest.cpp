#include "LabWebRequest.h"

#include <QStringList>
#include <QUrl>

namespace Pomiar {

namespace {

LabWebRequest Refused(int status, const QString& error) {
    LabWebRequest request;
    request.kind = LabWebRequest::Kind::Refused;
    request.status = status;
    request.error = error;
    return request;
}

// A whole number in [lowest, highest] from the query, or the fallback when
// the query lacks the item; nothing when it is there but no such number.
std::optional<qint64> Number(const QUrlQuery& query, const QString& item, qint64 fallback,
                             qint64 lowest, qint64 highest) {
    if (!query.hasQueryItem(item))
        return fallback;
    bool ok = false;
    const qint64 value = query.queryItemValue(item, QUrl::FullyDecoded).toLongLong(&ok);
    if (!ok || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

} // namespace

LabWebRequest LabWebRequest::Parse(const QString& method, const QString& path,
                                   const QUrlQuery& query, const QStringList& files) {
    if (method != QLatin1String("GET") && method != QLatin1String("HEAD"))
        return Refused(405, QStringLiteral("only GET is served: the lab web view only reads"));
    // Split before decoding: a station's name may hold an encoded "/".
    const QStringList parts = path.split(u'/');
    if (parts.size() < 2 || !parts[0].isEmpty())
        return Refused(400, QStringLiteral("the path must begin with /"));
    LabWebRequest request;
    if (path == QLatin1String("/")) {
        request.kind = Kind::File;
        request.file = QStringLiteral("index.html");
        return request;
    }
    if (parts.size() == 2 && files.contains(parts[1])) {
        request.kind = Kind::File;
        request.file = parts[1];
        return request;
    }
    if (parts.size() < 3 || parts[1] != QLatin1String("api"))
        return Refused(404, QStringLiteral("no such page: %1").arg(path));
    if (parts.size() == 3 && parts[2] == QLatin1String("stations")) {
        request.kind = Kind::Stations;
        return request;
    }
    if (parts.size() == 3 && parts[2] == QLatin1String("session")) {
        request.kind = Kind::Session;
        return request;
    }
    if (parts.size() == 5 && parts[2] == QLatin1String("stations") &&
        parts[4] == QLatin1String("readings")) {
        request.station = QUrl::fromPercentEncoding(parts[3].toUtf8());
        if (request.station.isEmpty())
            return Refused(400, QStringLiteral("the station's name is empty"));
        const auto since = Number(query, QStringLiteral("since"), 0, 0, 2147483647);
        if (!since)
            return Refused(400, QStringLiteral("since must be a whole number from 0"));
        const auto limit = Number(query, QStringLiteral("limit"), DefaultLimit, 1, MaximumLimit);
        if (!limit)
            return Refused(
                400, QStringLiteral("limit must be a whole number from 1 to %1").arg(MaximumLimit));
        request.kind = Kind::Readings;
        request.since = *since;
        request.limit = int(*limit);
        return request;
    }
    return Refused(404, QStringLiteral("no such API: %1").arg(path));
}

} // namespace Pomiar
