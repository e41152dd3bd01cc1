#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <optional>

namespace Trevalo {

enum class OutputFormat { Text, Csv, Json };

// One run of trevalo as the command line asks for it.
struct Invocation {
    QString verb;

    // The link: unset fields come from ustawienia.ini.
    std::optional<int> port;
    std::optional<QString> tcpHost;
    std::optional<int> tcpPort;
    std::optional<int> baud;
    // The balance's family, by name (one of BalanceDialect::Names()).
    std::optional<QString> dialect;
    std::optional<QString> station;
    // "--dir" as given, for the program folder's own resolution.
    QStringList folderArguments;
    // How long a request waits for its reply.
    int timeoutMs = 1000;

    OutputFormat format = OutputFormat::Text;
    bool json = false;
    bool unstable = false;
    int count = 1;
    int intervalMs = 0;
    // The automatic work interval as typed ("2.5"), for the program's own
    // conversion into half-second ticks.
    QString intervalText;
    std::optional<int> durationMs;
    QString cycleFile;
    QString out;
    QString csv;
    // server verify: the series file compared with the server's journal.
    QString file;
    // export: end the CSV with the journal's identity, whatever the setting.
    bool journal = false;
    // The verb's operand: the text of "send", the file of "stats" and "export".
    QString operand;
    // check: its options as typed, by name (read by the verb itself).
    std::map<QString, QString> checkOptions;
};

// What the command line asked for: a run, a help text, or a usage error.
struct ParsedCommandLine {
    Invocation invocation;
    QString help;
    QString error;
};

// arguments[0] is the program's name.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

// An --interval as automatic work keeps it: half-second ticks, at least one.
int IntervalTicks(const QString& intervalText);

} // namespace Trevalo
