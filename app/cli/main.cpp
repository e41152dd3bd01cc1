#include "ExitCode.h"
#include "Invocation.h"
#include "Verbs.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const Trevalo::ParsedCommandLine parsed = Trevalo::ParseCommandLine(application.arguments());
    if (!parsed.help.isEmpty()) {
        std::fputs(qPrintable(parsed.help), stdout);
        return Trevalo::Success;
    }
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "trevalo: %s\n", qPrintable(parsed.error));
        return Trevalo::UsageError;
    }
    return Trevalo::RunVerb(parsed.invocation);
}
