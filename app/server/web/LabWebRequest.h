#pragma once

#include <QString>
#include <QUrlQuery>

namespace Pomiar {

// What one request to the lab web view asks for, read from its path and
// query alone, before anything is looked up: the page's files, the list of
// stations, a page of one station's readings, or a refusal with its HTTP
// status. Nothing here writes, and only GET (and HEAD) is served.
struct LabWebRequest {
    enum class Kind { File, Stations, Readings, Session, Refused };

    Kind kind = Kind::Refused;
    // File: the page's file name ("index.html" for "/").
    QString file;
    // Readings: the station (percent-decoded), readings after lp `since`
    // of its current series, at most `limit` of them.
    QString station;
    qint64 since = 0;
    int limit = DefaultLimit;
    // Refused: 400, 404 or 405 and why.
    int status = 404;
    QString error;

    static constexpr int DefaultLimit = 1000;
    static constexpr int MaximumLimit = 10000;

    // path is the URL's path as sent (still percent-encoded), query its
    // query; files are the names the page is made of.
    static LabWebRequest Parse(const QString& method, const QString& path, const QUrlQuery& query,
                               const QStringList& files);
};

} // namespace Pomiar
