#pragma once

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

// A reply of the balance as trevalo shows it: without its line end, every
// byte shown, bytes the link carries as Latin-1 characters; control bytes
// and the backslash escaped as the balance simulator writes them (\r \n \t
// \e \\, else \xHH), so that a NUL or an ESC in a reply is seen, not
// cutting or garbling the line.
QString ShownReply(const QByteArray& frame);

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
