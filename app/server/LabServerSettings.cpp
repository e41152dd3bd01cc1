#include "LabServerSettings.h"

#include "INI.h"
#include "mUstawienia.h"

#include <QList>
#include <QPair>

#include <libpq-fe.h>

namespace Pomiar {

namespace {

using Keywords = QList<QPair<QString, QString>>;

bool IsUri(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://")) ||
           text.startsWith(QLatin1String("postgres://"));
}

// The keywords a connection string or URI sets, read by libpq itself;
// nothing, with libpq's reason, when it cannot read them.
std::optional<Keywords> ParsedKeywords(const QString& text, QString* error) {
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(text.toUtf8().constData(), &message);
    if (!options) {
        *error = message ? QString::fromUtf8(message).trimmed() : QStringLiteral("out of memory");
        PQfreemem(message);
        return std::nullopt;
    }
    Keywords keywords;
    for (const PQconninfoOption* option = options; option->keyword; ++option) {
        if (option->val)
            keywords.append({QString::fromUtf8(option->keyword), QString::fromUtf8(option->val)});
    }
    PQconninfoFree(options);
    return keywords;
}

// A value as a connection string holds any text: quoted, its quotes and
// backslashes escaped.
QString Quoted(QString value) {
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

} // namespace

LabServerSettings LabServerSettings::Read(const QString& iniPath, const QString& nrWagi) {
    const QString section = QString::fromLatin1(Section);
    LabServerSettings settings;
    const QString enabled = INI::CzytajIni(iniPath, section, QStringLiteral("Enabled"), "False");
    bool ok = false;
    settings.enabled = mUstawienia::ToBoolean(enabled, &ok);
    if (!ok)
        throw SettingsError(iniPath, section, QStringLiteral("Enabled"), enabled);
    settings.connection =
        INI::CzytajIni(iniPath, section, QStringLiteral("Connection"), QString()).trimmed();
    settings.station =
        INI::CzytajIni(iniPath, section, QStringLiteral("Station"), nrWagi).trimmed();
    if (settings.station.isEmpty())
        settings.station = nrWagi;
    return settings;
}

std::optional<QString> LabServerSettings::ConnectOptions(QString* error) const {
    const QString where = QStringLiteral("Connection in [%1]: ").arg(QLatin1String(Section));
    // An empty text leaves everything to libpq's defaults (PGHOST, PGSERVICE...).
    Keywords keywords;
    if (!connection.isEmpty() && !connection.contains(QLatin1Char('=')) && !IsUri(connection)) {
        keywords.append({QStringLiteral("service"), connection});
    } else if (!connection.isEmpty()) {
        QString reason;
        const auto parsed = ParsedKeywords(connection, &reason);
        if (!parsed) {
            *error = where + reason;
            return std::nullopt;
        }
        keywords = *parsed;
    }
    // An unreachable host fails within seconds, and a server that vanishes
    // without closing the connection (a cable pulled) fails the batch in
    // progress instead of stalling the sender; unless the text says
    // otherwise.
    const Keywords defaults{{QStringLiteral("connect_timeout"), QStringLiteral("5")},
                            {QStringLiteral("tcp_user_timeout"), QStringLiteral("15000")},
                            {QStringLiteral("application_name"), QStringLiteral("Trevalo")}};
    for (const auto& given : defaults) {
        const bool set =
            std::any_of(keywords.cbegin(), keywords.cend(),
                        [&given](const auto& kept) { return kept.first == given.first; });
        if (!set)
            keywords.append(given);
    }
    QStringList options;
    for (const auto& [keyword, value] : keywords) {
        // The database driver turns every ";" of the options into a blank.
        if (value.contains(QLatin1Char(';'))) {
            *error = where + QStringLiteral("the value of %1 holds \";\", which the database "
                                            "driver cannot pass on")
                                 .arg(keyword);
            return std::nullopt;
        }
        options << keyword + QLatin1Char('=') + Quoted(value);
    }
    return options.join(QLatin1Char(' '));
}

} // namespace Pomiar
