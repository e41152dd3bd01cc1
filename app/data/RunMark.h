#pragma once

namespace Pomiar {

class Database;

// A row in this table of the working database says that a running program
// has its series there. The clean end removes it together with the series,
// so a start that finds it finds what a run ended without a clean end (a
// kill, a power cut) left behind. Not part of the schema: series files
// never get it.
class RunMark {
public:
    // Marks the run as going on, or ended cleanly (the spooled lines of a
    // continuous transmission go with the mark).
    static void Set(Database& database, bool running);
    static bool LeftUnfinished(Database& database);
    // The readings a run that ended without a clean end left; 0 after a
    // clean end.
    static int ReadingsLeft(Database& database);
};

} // namespace Pomiar
