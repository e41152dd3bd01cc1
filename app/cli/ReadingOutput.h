#pragma once

#include "BalanceDialect.h"

#include "Invocation.h"

#include <QDateTime>
#include <QString>
#include <cstdio>
#include <optional>

namespace Trevalo {

// A reading as trevalo prints it: the row the program stores.
struct PrintedReading {
    QDateTime time;
    double value = 0;
    QString unit;
    // Unknown where the balance's reply was not kept.
    std::optional<bool> stable;
};

// One line of output without its line end. Numbers with "." whatever the
// locale, so that scripts read them alike everywhere; times as the program
// stores them ("yyyy-MM-dd HH:mm:ss").
QString FormatReading(const PrintedReading& reading, OutputFormat format);
// The first line of CSV output.
QString CsvHeader();

// Replies are shown as the program shows them.
using Pomiar::ShownReply;

// Prints readings as they come, each flushed at once so that a pipe sees it
// without delay; CSV gets its header before the first.
class ReadingPrinter {
public:
    ReadingPrinter(OutputFormat format, std::FILE* out = stdout) : format(format), out(out) {}
    void Print(const PrintedReading& reading);

private:
    OutputFormat format;
    std::FILE* out;
    bool headerDone = false;
};

} // namespace Trevalo
