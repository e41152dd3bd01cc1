#pragma once

#include <QString>

// Every test process gets its own temporary program folder, port folder and
// configuration folder, and sees no ports of the machine it runs on.
namespace TestEnvironment {

void Prepare();
void CleanUp();

QString Root();
QString PortDirectory();

// An empty folder below Root() named after the running test, emptied if an
// earlier run left it.
QString FreshFolder();

} // namespace TestEnvironment
