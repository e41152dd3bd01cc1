#pragma once

namespace Trevalo {

struct Invocation;

// One function per verb; each answers the exit status (ExitCode).
int RunPorts(const Invocation& run);
int RunRead(const Invocation& run);
int RunTare(const Invocation& run);
int RunDetect(const Invocation& run);
int RunSend(const Invocation& run);
int RunStream(const Invocation& run);
int RunLog(const Invocation& run);
int RunStats(const Invocation& run);
int RunExport(const Invocation& run);
int RunVerify(const Invocation& run);
int RunServer(const Invocation& run);
int RunCheck(const Invocation& run);

// The verb the invocation names.
int RunVerb(const Invocation& run);

} // namespace Trevalo
