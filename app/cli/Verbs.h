#pragma once

namespace Trevalo {

struct Invocation;
struct OpenStation;

// One function per verb, named in the verb table (VerbTable.cpp); each
// answers the exit status (ExitCode). Those given an OpenStation run after
// the table's shared prologue opened it.
int RunPorts(const Invocation& run);
int RunRead(const Invocation& run, OpenStation& station);
int RunTare(const Invocation& run, OpenStation& station);
int RunDetect(const Invocation& run);
int RunSend(const Invocation& run, OpenStation& station);
int RunStream(const Invocation& run, OpenStation& station);
int RunLog(const Invocation& run, OpenStation& station);
int RunStats(const Invocation& run);
int RunExport(const Invocation& run);
int RunVerify(const Invocation& run);
int RunServer(const Invocation& run);
int RunCheck(const Invocation& run);

// The verb the invocation names, through the verb table.
int RunVerb(const Invocation& run);

} // namespace Trevalo
