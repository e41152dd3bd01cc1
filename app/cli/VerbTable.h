#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace Trevalo {

class ConsoleSession;
struct Invocation;
struct StationSetup;

// What a verb that works on the balance is given: the station's settings
// read and its link open (the shared prologue has told any failure).
struct OpenStation {
    StationSetup& setup;
    ConsoleSession& console;
};

// One verb of trevalo, everything about it in one record: the command line
// reads its options from here, the help prints it, and the dispatcher runs
// it. A new verb is one more record.
struct Verb {
    using Runner = int (*)(const Invocation& run);
    using StationRunner = int (*)(const Invocation& run, OpenStation& station);

    const char* name;
    // The verb's operand as the help shows it; nullptr: none.
    const char* operand;
    const char* summary;
    QStringList options;
    // Exactly one of the two: a verb that opens the station (settings read,
    // link up) has that done first by the shared prologue.
    Runner runner = nullptr;
    StationRunner stationRunner = nullptr;
    // Ctrl+C ends the verb through its own end rather than killing it; set
    // up before the link opens.
    bool catchesInterrupts = false;
    // What the verb needs of the whole command line once every option is
    // read; an error text, empty when it is complete.
    QString (*checkComplete)(const Invocation& run) = nullptr;
    // Every option with a value is kept as typed too (Invocation's
    // checkOptions), for a verb that reads its own.
    bool keepsOptionsAsTyped = false;
};

// Every verb, in the order the help lists them.
const QList<Verb>& Verbs();
// Null for a name no verb has.
const Verb* FindVerb(const QString& name);

// Runs the verb of the invocation, with the shared prologue when it opens
// the station; answers the exit status (ExitCode).
int RunVerb(const Verb& verb, const Invocation& run);

} // namespace Trevalo
